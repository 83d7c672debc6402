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

    Ed2kContext ctx;
    Ed2kInit(ctx);
    uint64_t total = 0;
    for (;;) {
        // A failed read ends the file here; the link then names the bytes read so far.
        DWORD got = 0;
        if (!ReadFile(file, readBuffer, kReadSize, &got, nullptr)) got = 0;
        if (got == 0) break;
        Ed2kUpdate(ctx, readBuffer, got);
        total += got;
    }
    CloseHandle(file);

    uint32_t digest[4];
    Ed2kFinal(ctx, digest);
    WriteEd2kLink(PathFindFileNameW(path), total, digest);
}
