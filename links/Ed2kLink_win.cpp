// ed2k links: the link text for a name, size and digest, and hashing a file from disk for it.
#include "app/LinkDialog.h"

#include <shlwapi.h>

#include <cstdlib>
#include <cwchar>

#include "app/UiStep.h"
#include "app/LongPath.h"
#include "links/Ed2kFileRead.h"

namespace {

constexpr int kMaxName = 267;  // a 260-unit name plus ".torrent", the longest any caller makes
constexpr int kLinkCapacity = 340;  // "ed2k://|file|" + name + "|" 20 digits "|" 32 digits "|/" + NUL

bool NeedsEscape(wchar_t c) { return c == L' ' || c == L'/' || c == L'\\' || c == L'|' || c == L':' || c == L'\t'; }

// A hash shorter than this shows no progress at all; a longer one updates the field this often.
constexpr DWORD kQuietMs = 500;
constexpr DWORD kProgressMs = 250;

// The hash the UI thread wants now.  A hash worker whose job number differs has been stopped: it
// reads no further and writes nothing.  Process-wide, since a worker must not touch the object.
volatile LONG wantedHash = 0;
// Held by the one worker that reads.  A stopped worker may still be inside a read (a network
// share that stopped answering); the next one waits for its turn off the UI thread.
volatile LONG readerBusy = 0;
constexpr DWORD kReaderPollMs = 20;

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

const wchar_t kChangedText[] = L"\x6587\x4EF6\x5728\x8BA1\x7B97\x8FC7\x7A0B\x4E2D\x88AB\x4FEE\x6539!";  // 文件在计算过程中被修改!

uint64_t SizeOf(const BY_HANDLE_FILE_INFORMATION& info) { return uint64_t(info.nFileSizeHigh) << 32 | info.nFileSizeLow; }

}  // namespace

// What a hash worker hands the UI thread: its progress, then its end.
struct HashStep : UiStep {
    enum Kind { kNone, kProgress, kDone, kUnreadable, kChanged } kind;
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
    HANDLE file;
    BY_HANDLE_FILE_INFORMATION before;  // the file as it was when the hash began
    uint64_t size;
    bool changed;   // seen to change during the read
    DWORD due;      // when the next progress is handed over
    HashStep step;
    wchar_t path[1];  // the whole path, allocated with the job
};

bool Hand(HashJob& job, HashStep::Kind kind) {
    job.step.kind = kind;
    return HandOverStep(job.window, kHashStepProperty, LinkDialog::kHashStepMessage, job.step);
}

bool JobStopped(void* context) { return Stopped(static_cast<HashJob*>(context)->job); }

// A download still running, or a client writing pieces into a file it made at full size: the
// link would name bytes that no longer exist, or a size the file never had.  A size that moved
// shows at once; NTFS may move the last-write time only when the writer closes its handle.
bool Changed(const HashJob& job) {
    BY_HANDLE_FILE_INFORMATION now;
    return !GetFileInformationByHandle(job.file, &now) || SizeOf(now) != job.size ||
           CompareFileTime(&now.ftLastWriteTime, &job.before.ftLastWriteTime) != 0;
}

// By the clock, so that slow disks and fast caches alike update it four times a second.  A file
// seen to change meanwhile is read no further: it gets no link however it ends.
bool ReportProgress(void* context, uint64_t bytesRead) {
    HashJob& job = *static_cast<HashJob*>(context);
    if (LONG(GetTickCount() - job.due) < 0) return true;
    if ((job.changed = Changed(job))) return false;
    job.step.percent = Percent(bytesRead, job.size);
    if (!Hand(job, HashStep::kProgress)) return false;
    job.due = GetTickCount() + kProgressMs;
    return true;
}

// What the read of the open file comes to: its link, or why it has none (kNone: it was stopped).
// A file that can't be read whole gets no link, since bytes may be missing anywhere in it, nor
// does one that changed while it was read.
HashStep::Kind ReadOpenFile(HashJob& job) {
    if (!GetFileInformationByHandle(job.file, &job.before)) return HashStep::kUnreadable;
    job.size = SizeOf(job.before);
    job.changed = false;
    job.due = GetTickCount() + kQuietMs;
    const Ed2kReadWatch watch = {JobStopped, ReportProgress, &job};
    switch (ReadEd2k(job.file, watch, job.step.digest, job.step.total)) {
    case Ed2kReadEnd::kWhole:
        break;
    case Ed2kReadEnd::kFailed:
        return HashStep::kUnreadable;
    case Ed2kReadEnd::kStopped:
        return job.changed ? HashStep::kChanged : HashStep::kNone;
    }
    if (job.step.total != job.size || Changed(job)) return HashStep::kChanged;
    job.step.path = job.path;
    return HashStep::kDone;
}

// Hashes one file on a thread of its own, so the window stays live however long the file takes
// (a film on a USB disk: minutes).
DWORD WINAPI HashThread(LPVOID param) {
    HashJob& job = *static_cast<HashJob*>(param);  // ours to free
    // Opened before this worker waits for its turn to read: an open that takes its time (a share
    // that doesn't answer, a disk spinning up) keeps no other hash waiting.  Shared for deletion
    // too, or a downloader's file, open for writing and renaming, could not be read at all.
    job.file = CreateFileW(LongPath(job.path).get(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    const bool opened = job.file != INVALID_HANDLE_VALUE;
    bool reading = opened;
    while (reading && InterlockedCompareExchange(&readerBusy, 1, 0) != 0) {
        if (Stopped(job.job)) reading = false;
        Sleep(kReaderPollMs);
    }
    HashStep::Kind end = HashStep::kNone;
    if (!Stopped(job.job)) end = opened ? ReadOpenFile(job) : HashStep::kUnreadable;
    // Let go of before the end is shown: its box may stay up for long, and the program that
    // writes the file may want to rename or delete it meanwhile.
    if (opened) CloseHandle(job.file);
    // Handed over before the next hash may read, so that the two never hand over at once.
    if (end != HashStep::kNone && !Stopped(job.job)) Hand(job, end);
    if (reading) InterlockedExchange(&readerBusy, 0);
    std::free(&job);
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
    const size_t units = std::wcslen(path) + 1;
    HashJob* job = static_cast<HashJob*>(std::malloc(sizeof(HashJob) + units * sizeof(wchar_t)));
    if (!job) return;  // as for a file that can't be opened: the field keeps what it showed
    const LONG id = InterlockedIncrement(&wantedHash);
    job->window = window;
    job->job = id;
    job->step = HashStep{};
    job->step.job = id;
    std::wmemcpy(job->path, path, units);
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
    // A file that gives no link says so in a box, which waits while another window of ours is up.
    const bool tells = step.kind == HashStep::kUnreadable || step.kind == HashStep::kChanged;
    if (step.job == hashJob && tells && DeferWhileModal(*taken)) return;
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
        case HashStep::kNone:
            break;
        case HashStep::kUnreadable:
        case HashStep::kChanged:
            // The field would otherwise still show the link of the file before, and a user who
            // dismisses the box would copy it for this one.
            hashJob = 0;
            hashProgressShown = false;
            SetField(IDC_ED2K_LINK, L"");
            ReportError(step.kind == HashStep::kChanged ? kChangedText : kCannotRead);
            break;
        }
    }
    FinishStep(*taken);
}
