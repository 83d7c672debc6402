// Speed of the torrent scan's portable core: the bencode walk alone, and the walk with the
// SHA-1 of the info span and the ed2k of the whole buffer, timed inside the process.
#include <sys/resource.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "hash/Ed2k.h"
#include "hash/Sha1.h"
#include "torrent/BencodeScan.h"

extern "C" void* __libc_malloc(size_t size);
extern "C" void* __libc_calloc(size_t count, size_t size);
extern "C" void* __libc_realloc(void* p, size_t size);

namespace {

// Every allocation of the process, to show that the scan makes none beyond the file buffer.
unsigned long allocations = 0;

struct HashingSink final : BencodeSink {
    const uint8_t* data;
    uint32_t length;
    int hashes;  // 0: the walk only, 1: and the SHA-1 of info, 2: and the ed2k of the file
    Sha1Context sha1;
    uint32_t ed2k[4];
    void OnName(const uint8_t*, uint32_t) override {}
    void OnInfoClosed(uint32_t start, uint32_t end, bool) override {
        if (hashes == 0) return;
        Sha1HashSpan(sha1, data + start, end - start);
        if (hashes == 1) return;
        Ed2kContext ctx;
        Ed2kInit(ctx);
        Ed2kUpdate(ctx, data, length);
        Ed2kFinal(ctx, ed2k);
    }
};

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

extern "C" void* malloc(size_t size) {
    ++allocations;
    return __libc_malloc(size);
}
extern "C" void* calloc(size_t count, size_t size) {
    ++allocations;
    return __libc_calloc(count, size);
}
extern "C" void* realloc(void* p, size_t size) {
    ++allocations;
    return __libc_realloc(p, size);
}

// Usage: torrent_bench ROUNDS FILE...  One line per file, best of ROUNDS for each figure.
int main(int argc, char** argv) {
    if (argc < 3) return 2;
    const int rounds = std::atoi(argv[1]);
    for (int f = 2; f < argc; ++f) {
        double walk = 1e30, info = 1e30, scan = 1e30, load = 1e30;
        HashingSink sink{};
        BencodeScanResult result{};
        unsigned long scanAllocations = 0;
        uint32_t length = 0;
        for (int r = 0; r < rounds; ++r) {
            // From the file, as LoadTorrentFile does it: one buffer of the file's size.
            const auto t0 = std::chrono::steady_clock::now();
            FILE* file = std::fopen(argv[f], "rb");
            if (!file) return 1;
            std::fseek(file, 0, SEEK_END);
            length = static_cast<uint32_t>(std::ftell(file));
            std::fseek(file, 0, SEEK_SET);
            uint8_t* data = static_cast<uint8_t*>(std::malloc(length));
            if (!data || std::fread(data, 1, length, file) != length) return 1;
            std::fclose(file);
            const auto t1 = std::chrono::steady_clock::now();

            sink.data = data;
            sink.length = length;
            sink.hashes = 2;
            const unsigned long before = allocations;
            result = ScanBencode(data, length, sink);
            scanAllocations = allocations - before;
            const double s = Seconds(t1);
            scan = s < scan ? s : scan;
            const double l = Seconds(t0);
            load = l < load ? l : load;

            sink.hashes = 1;
            const auto t2 = std::chrono::steady_clock::now();
            ScanBencode(data, length, sink);
            const double i = Seconds(t2);
            info = i < info ? i : info;

            sink.hashes = 0;
            const auto t3 = std::chrono::steady_clock::now();
            ScanBencode(data, length, sink);
            const double w = Seconds(t3);
            walk = w < walk ? w : walk;
            std::free(data);
        }
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        uint8_t hash[20];
        Sha1DigestBytes(sink.sha1.h, hash);
        char hex[41];
        for (int i = 0; i < 20; ++i) std::snprintf(hex + 2 * i, 3, "%02x", hash[i]);
        std::printf("%u bytes, result %d, stop %d at %u: walk %.6f s (%.0f MiB/s), walk+SHA-1 %.6f s, walk+SHA-1+ed2k %.6f s, "
                    "with the file read %.6f s; info-hash %s, ed2k %08X%08X%08X%08X, %lu allocations in the scan, "
                    "peak RSS %ld KiB\n",
                    length, result.result, static_cast<int>(result.stop), result.position, walk,
                    length / 1048576.0 / walk, info, scan, load, hex, sink.ed2k[0], sink.ed2k[1], sink.ed2k[2],
                    sink.ed2k[3], scanAllocations, usage.ru_maxrss);
    }
    return 0;
}
