// ed2k links: the link text for a name, size and digest, and hashing a file from disk for it.
#include "app/LinkDialog.h"

#include <shlwapi.h>

#include <cstdlib>
#include <cwchar>

#include "app/UiStep.h"
#include "hash/Ed2k.h"

namespace {

constexpr int kMaxName = 267;  // a 260-unit name plus ".torrent", the longest any caller makes
constexpr int kLinkCapacity = 340;  // "ed2k://|file|" + name + "|" 20 digits "|" 32 digits "|/" + NUL
constexpr DWORD kReadSize = 1048576;

// The one read buffer of the process, used by one hash at a time (bufferHeld below).  As a
// static it costs no allocation per file and never grows.
uint8_t readBuffer[kReadSize];

bool NeedsEscape(wchar_t c) { return c == L' ' || c == L'/' || c == L'\\' || c == L'|' || c == L':' || c == L'\t'; }

// A hash shorter than this shows no progress at all; a longer one updates the field this often.
constexpr DWORD kQuietMs = 500;
constexpr DWORD kProgressMs = 250;

// The hash the UI thread wants now.  A hash worker whose job number differs has been stopped: it
// reads no further and writes nothing.  Process-wide, since a worker must not touch the object.
volatile LONG wantedHash = 0;
// Held by the one worker that reads into readBuffer.  A stopped worker may still be inside a read
// (a network share that stopped answering); the next one waits for the buffer off the UI thread.
volatile LONG bufferHeld = 0;
constexpr DWORD kBufferPollMs = 20;

bool Stopped(LONG job) { return wantedHash != job; }

// The percentage of `done` in `size`, both scaled down until a 32-bit product holds it: the
// i686 runtime's 64-bit division would weigh more than this whole file.  size keeps 25 bits,
// plenty for a percent.
uint32_t Percent(uint64_t done, uint64_t size) {
    if (done >= size) return 100;
    while (size >> 25) size >>= 1, done >>= 1;
    return uint32_t(done) * 100 / uint32_t(size);
}

const wchar_t kHashStepProperty[] = L"VelquorHashStep";

}  // namespace

// What a hash worker hands the UI thread: its progress, then its end.
struct HashStep : UiStep {
    enum Kind { kProgress, kDone, kFailed } kind;
    LONG job;
    uint32_t percent;      // kProgress
    uint64_t total;        // kDone: the bytes read
    uint32_t digest[4];    // kDone
    const wchar_t* path;   // kDone
};

namespace {

struct HashJob {
    HWND window;
    LONG job;
    wchar_t path[MAX_PATH];
};

// Hashes one file on a thread of its own, so the window stays live however long the file takes
// (a film on a USB disk: minutes).  A read that fails, or a file that can't be opened, ends the
// job with no link, since bytes may be missing anywhere in it.
DWORD WINAPI HashThread(LPVOID param) {
    HashJob* job = static_cast<HashJob*>(param);  // ours to free
    HashStep step = {};
    step.job = job->job;
    auto hand = [&](HashStep::Kind kind) {
        step.kind = kind;
        return HandOverStep(job->window, kHashStepProperty, LinkDialog::kHashStepMessage, step);
    };
    while (InterlockedCompareExchange(&bufferHeld, 1, 0) != 0) {
        if (Stopped(job->job)) {
            std::free(job);
            return 0;
        }
        Sleep(kBufferPollMs);
    }
    bool whole = false;
    Ed2kContext ctx;
    uint64_t total = 0;
    HANDLE file = CreateFileW(job->path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        // Only the percentages use the size; the link counts the bytes it read.
        DWORD sizeHigh = 0;
        const DWORD sizeLow = GetFileSize(file, &sizeHigh);
        const uint64_t size = uint64_t(sizeHigh) << 32 | sizeLow;
        Ed2kInit(ctx);
        DWORD due = GetTickCount() + kQuietMs;
        for (;;) {
            DWORD got = 0;
            // A read of 0 bytes is the end, even when the file said it was bigger.
            if (Stopped(job->job) || !ReadFile(file, readBuffer, kReadSize, &got, nullptr)) break;
            if (got == 0) {
                whole = true;
                break;
            }
            Ed2kUpdate(ctx, readBuffer, got);
            total += got;
            // By the clock, so that slow disks and fast caches alike update it four times a second.
            const DWORD now = GetTickCount();
            if (LONG(now - due) >= 0) {
                step.percent = Percent(total, size);
                if (!hand(HashStep::kProgress)) break;
                due = GetTickCount() + kProgressMs;
            }
        }
        CloseHandle(file);
    }
    InterlockedExchange(&bufferHeld, 0);
    if (whole) {
        Ed2kFinal(ctx, step.digest);
        step.total = total;
        step.path = job->path;
        hand(HashStep::kDone);
    } else if (!Stopped(job->job)) {
        hand(HashStep::kFailed);
    }
    std::free(job);
    return 0;
}

}  // namespace

void LinkDialog::WriteEd2kLink(const wchar_t* name, uint64_t size, const uint32_t digest[4]) {
    static const wchar_t kPrefix[] = L"ed2k://|file|";
    wchar_t text[kLinkCapacity];
    int n = 0;
    for (; kPrefix[n]; ++n) text[n] = kPrefix[n];
    // The separators would end the name early for every client that reads the link, so they
    // become underscores; everything else, non-ASCII included, stays as the user named it.
    // A name longer than any caller makes is cut rather than allowed past the buffer.
    for (int i = 0; name[i] && i < kMaxName; ++i) text[n++] = NeedsEscape(name[i]) ? L'_' : name[i];
    _snwprintf(text + n, kLinkCapacity - n, L"|%I64u|%08X%08X%08X%08X|/", static_cast<unsigned long long>(size),
               digest[0], digest[1], digest[2], digest[3]);
    text[kLinkCapacity - 1] = L'\0';
    SetDlgItemTextW(window, IDC_ED2K_LINK, text);
}

void LinkDialog::HashFileForEd2k(const wchar_t* path) {
    StopHash();
    HashJob* job = static_cast<HashJob*>(std::malloc(sizeof(HashJob)));
    if (!job) return;  // as for a file that can't be opened: the field keeps what it showed
    const LONG id = InterlockedIncrement(&wantedHash);
    job->window = window;
    job->job = id;
    lstrcpynW(job->path, path, MAX_PATH);
    HANDLE thread = CreateThread(nullptr, 0, HashThread, job, 0, nullptr);
    if (!thread) {
        InterlockedIncrement(&wantedHash);
        std::free(job);
        return;
    }
    CloseHandle(thread);
    hashJob = id;
    hashProgressShown = false;
}

void LinkDialog::StopHash() {
    InterlockedIncrement(&wantedHash);
    if (hashJob == 0) return;
    hashJob = 0;
    if (hashProgressShown) SetField(IDC_ED2K_LINK, hashBefore);
    hashProgressShown = false;
}

void LinkDialog::OnHashStep(LPARAM param) {
    UiStep* taken = TakeStep(window, kHashStepProperty, param);
    if (!taken) return;
    const HashStep& step = *static_cast<HashStep*>(taken);
    // A stopped hash writes nothing, whatever it had done by then.
    if (step.job == hashJob) {
        switch (step.kind) {
        case HashStep::kProgress: {
            if (!hashProgressShown) GetField(IDC_ED2K_LINK, hashBefore, kBeforeUnits);
            hashProgressShown = true;
            // "正在计算电驴地址... 37% (Esc 取消)"
            wchar_t text[48];
            _snwprintf(text, 48, L"\x6B63\x5728\x8BA1\x7B97\x7535\x9A74\x5730\x5740... %u%% (Esc \x53D6\x6D88)",
                       unsigned(step.percent));
            text[47] = L'\0';
            SetField(IDC_ED2K_LINK, text);
            break;
        }
        case HashStep::kDone:
            hashJob = 0;
            hashProgressShown = false;
            WriteEd2kLink(PathFindFileNameW(step.path), step.total, step.digest);
            break;
        case HashStep::kFailed:
            StopHash();
            break;
        }
    }
    FinishStep(*taken);
}
