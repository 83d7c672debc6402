// ed2k links: the link text for a name, size and digest, and hashing a file from disk for it.
#include "app/LinkDialog.h"

#include <shlwapi.h>

#include <cwchar>

#include "hash/Ed2k.h"

namespace {

constexpr int kMaxName = 267;  // a 260-unit name plus ".torrent", the longest any caller makes
constexpr int kLinkCapacity = 340;  // "ed2k://|file|" + name + "|" 20 digits "|" 32 digits "|/" + NUL
constexpr DWORD kReadSize = 1048576;

// The one read buffer of the process.  Only the UI thread hashes files, so it needs no lock,
// and as a static it costs no allocation per file and never grows.
uint8_t readBuffer[kReadSize];

bool NeedsEscape(wchar_t c) { return c == L' ' || c == L'/' || c == L'\\' || c == L'|' || c == L':' || c == L'\t'; }

// A hash shorter than this shows no progress at all; a longer one updates the field this often.
constexpr DWORD kQuietMs = 500;
constexpr DWORD kProgressMs = 250;

// "正在计算电驴地址... 37%", then the window painted there and then.  The hash keeps the UI thread
// and the read buffer, so nothing here may read the message queue: that would also deliver the
// messages other threads send, and a command could run in the middle of the hash.  RedrawWindow
// only sends WM_PAINT and its kin to our own windows.
void ShowProgress(HWND window, uint64_t done, uint64_t size) {
    // Both scaled down until a 32-bit product holds the percentage: the i686 runtime's 64-bit
    // division would weigh more than this whole file.  size keeps 25 bits, plenty for a percent.
    uint32_t percent = 100;
    if (done < size) {
        while (size >> 25) size >>= 1, done >>= 1;
        percent = uint32_t(done) * 100 / uint32_t(size);
    }
    wchar_t text[32];
    _snwprintf(text, 32, L"\x6B63\x5728\x8BA1\x7B97\x7535\x9A74\x5730\x5740... %u%%", percent);
    text[31] = L'\0';
    SetDlgItemTextW(window, IDC_ED2K_LINK, text);
    RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
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
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;  // silently: the field keeps what it showed

    // The hash holds the UI thread, by design: input waits until it ends.  The wait cursor and
    // the progress in the field tell the user it is working, not hung.
    HCURSOR cursor = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    // Only the percentages use the size; the link counts the bytes it read.
    DWORD sizeHigh = 0;
    const DWORD sizeLow = GetFileSize(file, &sizeHigh);
    const uint64_t size = uint64_t(sizeHigh) << 32 | sizeLow;
    wchar_t before[520];  // what the field showed, for a hash that fails after showing progress
    bool shown = false;

    Ed2kContext ctx;
    Ed2kInit(ctx);
    uint64_t total = 0;
    bool failed = false;
    DWORD due = GetTickCount() + kQuietMs;
    for (;;) {
        DWORD got = 0;
        // A failed read may have lost bytes anywhere in the file, so no link is right for it.
        // A read of 0 bytes is the end, even when the file said it was bigger.
        if (!ReadFile(file, readBuffer, kReadSize, &got, nullptr)) {
            failed = true;
            break;
        }
        if (got == 0) break;
        Ed2kUpdate(ctx, readBuffer, got);
        total += got;
        // By the clock, so that slow disks and fast caches alike update it four times a second.
        const DWORD now = GetTickCount();
        if (LONG(now - due) >= 0) {
            if (!shown) GetField(IDC_ED2K_LINK, before, 520);
            shown = true;
            ShowProgress(window, total, size);
            due = now + kProgressMs;
        }
    }
    CloseHandle(file);
    SetCursor(cursor);

    if (failed) {
        if (shown) SetDlgItemTextW(window, IDC_ED2K_LINK, before);
        return;
    }
    uint32_t digest[4];
    Ed2kFinal(ctx, digest);
    WriteEd2kLink(PathFindFileNameW(path), total, digest);
}
