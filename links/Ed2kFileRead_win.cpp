// The ed2k hash of an open file, read from start to end.  A film of tens of GB is this program's
// heaviest work, and MD4 on one core is slower than an NVMe disk or the page cache, so a file of
// more than one chunk is hashed as pigz compresses: one thread reads the file in one sequential
// stream, so that a spinning disk or a USB stick sees no seeking, and hands each chunk, whose
// digest depends on its own bytes alone, to a hasher per core; the reader takes the digests back
// in chunk order for the root.
#include "links/Ed2kFileRead.h"

#include <cstdlib>

#include "hash/Ed2k.h"

namespace {

constexpr DWORD kReadSize = 1048576;

// The one read buffer of the process, used by one hash at a time (the hash worker sees to that).
// As a static it costs no allocation per file and never grows.
uint8_t readBuffer[kReadSize];

// Eight hashers and their ten chunk buffers stay under 100 MB, well inside the i686 release's
// 2 GiB of address space.  A hasher needs little stack.
constexpr unsigned kMaxHashers = 8;
constexpr unsigned kMaxBuffers = kMaxHashers + 2;
constexpr SIZE_T kHasherStack = 65536;

// The chunks on their way from the reader to the hashers and back.  Chunk k lies in buffer
// k % count, which the reader fills again only once it has taken chunk k's digest.
struct Ring {
    unsigned count;
    uint8_t* buffer[kMaxBuffers];
    uint32_t length[kMaxBuffers];  // ED2K_CHUNK_SIZE for all but the last chunk
    uint8_t digest[kMaxBuffers][16];
    HANDLE hashed[kMaxBuffers];  // set when the buffer's digest is written
    HANDLE filled;               // counts the chunks read and not yet taken by a hasher
    volatile LONG taken;         // chunks taken by the hashers so far
    volatile LONG quit;
};

struct Hashers {
    Ring ring;
    unsigned started;
    HANDLE thread[kMaxHashers];
};

// Chunks are taken in the order they were read: the n-th count of `filled` is chunk n's.
DWORD WINAPI HashChunks(LPVOID param) {
    Ring& ring = *static_cast<Ring*>(param);
    for (;;) {
        WaitForSingleObject(ring.filled, INFINITE);
        if (ring.quit) return 0;
        const unsigned slot = unsigned(InterlockedIncrement(&ring.taken) - 1) % ring.count;
        Ed2kChunkDigest(ring.buffer[slot], ring.length[slot], ring.digest[slot]);
        SetEvent(ring.hashed[slot]);
    }
}

// Ends every hasher, each after the chunk it is on, and gives back all that StartHashers took.
void StopHashers(Hashers& h) {
    Ring& ring = h.ring;
    InterlockedExchange(&ring.quit, 1);
    if (h.started) {
        ReleaseSemaphore(ring.filled, LONG(h.started), nullptr);
        WaitForMultipleObjects(h.started, h.thread, TRUE, INFINITE);
    }
    for (unsigned i = 0; i < h.started; ++i) CloseHandle(h.thread[i]);
    for (unsigned i = 0; i < ring.count; ++i) {
        std::free(ring.buffer[i]);
        if (ring.hashed[i]) CloseHandle(ring.hashed[i]);
    }
    if (ring.filled) CloseHandle(ring.filled);
}

// Up to `wanted` hashers with two more chunk buffers than hashers.  Where memory runs short there
// are fewer buffers and as many fewer hashers, down to one hasher and two buffers; where threads
// do, fewer hashers.  False, with nothing kept, below that: the file is then read as a small one.
bool StartHashers(Hashers& h, unsigned wanted) {
    Ring& ring = h.ring;
    ring.count = 0;
    ring.filled = nullptr;
    ring.taken = 0;
    ring.quit = 0;
    h.started = 0;
    for (unsigned i = 0; i < wanted + 2; ++i) {
        ring.buffer[i] = static_cast<uint8_t*>(std::malloc(ED2K_CHUNK_SIZE));
        ring.hashed[i] = ring.buffer[i] ? CreateEventW(nullptr, FALSE, FALSE, nullptr) : nullptr;
        if (!ring.hashed[i]) {
            std::free(ring.buffer[i]);
            break;
        }
        ++ring.count;
    }
    if (ring.count >= 2) ring.filled = CreateSemaphoreW(nullptr, 0, LONG(kMaxBuffers + kMaxHashers), nullptr);
    if (ring.filled) {
        const unsigned hashers = ring.count - 1 < wanted ? ring.count - 1 : wanted;
        while (h.started < hashers) {
            h.thread[h.started] = CreateThread(nullptr, kHasherStack, HashChunks, &ring, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
            if (!h.thread[h.started]) break;
            ++h.started;
        }
    }
    if (h.started) return true;
    StopHashers(h);
    return false;
}

// Takes the digest of the chunk in `slot` once its hasher is done: into the root for a whole
// chunk, as the end of the hash for the last.
void TakeDigest(Ring& ring, unsigned slot, Ed2kContext& ctx, uint32_t digest[4]) {
    WaitForSingleObject(ring.hashed[slot], INFINITE);
    if (ring.length[slot] == ED2K_CHUNK_SIZE) {
        Ed2kAddChunk(ctx, ring.digest[slot]);
    } else {
        Ed2kFinalWith(ctx, ring.digest[slot], digest);
    }
}

// The reader: whole chunks, then the last one with the bytes left (none after an exact multiple
// of the chunk size), each handed to the hashers as soon as it is read.
Ed2kReadEnd ReadChunks(HANDLE file, Ring& ring, const Ed2kReadWatch& watch, uint32_t digest[4], uint64_t& total) {
    Ed2kContext ctx;
    Ed2kInit(ctx);
    total = 0;
    uint32_t read = 0;  // chunks handed over
    for (;;) {
        const unsigned slot = read % ring.count;
        if (read >= ring.count) TakeDigest(ring, slot, ctx, digest);
        uint32_t length = 0;
        const Ed2kReadEnd end = ReadEd2kBlock(file, ring.buffer[slot], ED2K_CHUNK_SIZE, watch, total, length);
        if (end != Ed2kReadEnd::kWhole) return end;
        ring.length[slot] = length;
        ReleaseSemaphore(ring.filled, 1, nullptr);
        ++read;
        if (length < ED2K_CHUNK_SIZE) break;
    }
    for (uint32_t k = read > ring.count ? read - ring.count : 0; k < read; ++k) TakeDigest(ring, k % ring.count, ctx, digest);
    return Ed2kReadEnd::kWhole;
}

// One thread, one 1 MiB buffer: what a file of one chunk or less needs.
Ed2kReadEnd ReadStream(HANDLE file, const Ed2kReadWatch& watch, uint32_t digest[4], uint64_t& total) {
    Ed2kContext ctx;
    Ed2kInit(ctx);
    total = 0;
    for (uint32_t got = kReadSize; got == kReadSize;) {
        const Ed2kReadEnd end = ReadEd2kBlock(file, readBuffer, kReadSize, watch, total, got);
        if (end != Ed2kReadEnd::kWhole) return end;
        Ed2kUpdate(ctx, readBuffer, got);
    }
    Ed2kFinal(ctx, digest);
    return Ed2kReadEnd::kWhole;
}

}  // namespace

Ed2kReadEnd ReadEd2kBlock(HANDLE file, uint8_t* buffer, uint32_t capacity, const Ed2kReadWatch& watch, uint64_t& total,
                          uint32_t& length) {
    length = 0;
    while (length < capacity) {
        if (watch.stopped(watch.context)) return Ed2kReadEnd::kStopped;
        const DWORD want = capacity - length < kReadSize ? capacity - length : kReadSize;
        DWORD got = 0;
        if (!ReadFile(file, buffer + length, want, &got, nullptr)) return Ed2kReadEnd::kFailed;
        // A read of 0 bytes is the end, even when the file said it was bigger.
        if (got == 0) break;
        length += got;
        total += got;
        if (!watch.progress(watch.context, total)) return Ed2kReadEnd::kStopped;
    }
    return Ed2kReadEnd::kWhole;
}

unsigned Ed2kHashers() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    const DWORD cores = info.dwNumberOfProcessors ? info.dwNumberOfProcessors : 1;
    return cores < kMaxHashers ? unsigned(cores) : kMaxHashers;
}

Ed2kReadEnd ReadEd2k(HANDLE file, uint64_t size, const Ed2kReadWatch& watch, uint32_t digest[4], uint64_t& total,
                     unsigned hashers) {
    if (size > ED2K_CHUNK_SIZE) {
        const unsigned most = Ed2kHashers();
        Hashers h;
        if (StartHashers(h, hashers && hashers < most ? hashers : most)) {
            // Stopped or failed, the hashers end after the chunk each is on, and nothing they
            // wrote is looked at again.
            const Ed2kReadEnd end = ReadChunks(file, h.ring, watch, digest, total);
            StopHashers(h);
            return end;
        }
    }
    return ReadStream(file, watch, digest, total);
}
