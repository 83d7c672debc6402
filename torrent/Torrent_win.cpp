// Loading a .torrent and showing what the scan finds in it: the name, both magnet links, and
// the ed2k link of the torrent file itself.
#include "app/LinkDialog.h"

#include <cstdlib>
#include <cwchar>

#include "app/LongPath.h"
#include "app/Utf16.h"
#include "torrent/TorrentSummary.h"

namespace {

constexpr int kNameUnits = 260;
constexpr int kNameBuffer = 268;  // a 260-unit name and its terminator, or 259 units, ".torrent" and one
constexpr DWORD kTorrentFileLimit = 0xA00000;

// Enough bytes for more than 260 units in any code page (at most 4 bytes per code point in
// UTF-8, at most 2 per character in an ANSI code page), plus room to end on a whole character.
constexpr uint32_t kPrefixBytes = 4 * (kNameUnits + 1) + 3;

// The end of the longest prefix of valid UTF-8 that stops on a whole code point.
uint32_t Utf8Boundary(const uint8_t* bytes, uint32_t count) {
    uint32_t end = count;
    for (int back = 0; back < 3 && end > 0 && (bytes[end] & 0xC0) == 0x80; ++back) --end;
    return end;
}

// The name as UTF-16, cut at 260 units.  Valid UTF-8 is read as UTF-8, anything else through
// the ANSI code page.  The validity test looks at the whole name, and the conversion then runs
// on a prefix into a buffer large enough for it: what MultiByteToWideChar leaves in a buffer
// that is too small differs between Windows versions and Wine, so no result relies on it.
int DecodeTorrentName(wchar_t* buffer, const uint8_t* bytes, uint32_t count) {
    buffer[0] = L'\0';
    if (count == 0) return 0;
    const char* text = reinterpret_cast<const char*>(bytes);
    const int whole = count > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(count);
    const uint32_t prefix = count > kPrefixBytes ? kPrefixBytes : count;
    wchar_t units[kPrefixBytes];
    int n = 0;
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, whole, nullptr, 0) != 0) {
        const uint32_t cut = prefix < count ? Utf8Boundary(bytes, prefix) : prefix;
        n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, static_cast<int>(cut), units, kPrefixBytes);
    } else if (GetLastError() == ERROR_NO_UNICODE_TRANSLATION) {
        n = MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(prefix), units, kPrefixBytes);
    }
    // Both failed for some other reason: an empty name rather than whatever a buffer holds.
    if (n <= 0) return 0;
    if (n > kNameUnits) {
        n = kNameUnits;
        // Half a surrogate pair would show as a broken character and go into the ed2k link.
        n = int(WholeUnits(units, unsigned(n)));
    }
    std::wmemcpy(buffer, units, n);
    buffer[n] = L'\0';
    return n;
}

}  // namespace

int LinkDialog::ScanTorrent(const uint8_t* data, uint32_t length) {
    if (length == 0) return 0;
    TorrentSummary scan;
    SummarizeTorrent(data, length, scan);
    // No info dictionary closed: nothing in the form may change, or it would pair this file's
    // name with the links of whatever was shown before.
    if (scan.walk.result != 1) return 0;
    ShowTorrent(scan, length);
    return 1;
}

void LinkDialog::ShowTorrent(const TorrentSummary& scan, uint32_t length) {
    // This torrent's ed2k link is the latest result: a hash started before must not replace it.
    StopHash();
    // The form ends as if each name had been shown when met and each info close had cleared an
    // unnamed form and rewritten the links, but every field is written once.
    wchar_t name[kNameBuffer];
    if (scan.name.met) {
        DecodeTorrentName(name, scan.name.text, scan.name.count);
        SetField(IDC_NAME, name);
    } else {
        SetField(IDC_NAME, L"");
    }

    sha1 = scan.sha1;
    infoHashShown = true;
    WriteMagnetLinks();
    // Named after the name as the field showed it at the close: what a read-back with room for
    // 260 units gives, 259 of them, without half a surrogate pair at the cut.
    UINT n = 0;
    if (scan.nameAtClose.met) {
        DecodeTorrentName(name, scan.nameAtClose.text, scan.nameAtClose.count);
        n = UINT(std::wcslen(name));
        if (n > kNameUnits - 1) n = WholeUnits(name, kNameUnits - 1);
    }
    std::wmemcpy(name + n, L".torrent", 9);
    WriteEd2kLink(name, length, scan.ed2k);
}

const wchar_t* LinkDialog::LoadTorrentFile(const wchar_t* path) {
    // 种子文件太大!, 不是有效的种子文件!
    static const wchar_t kTooBig[] = L"\x79CD\x5B50\x6587\x4EF6\x592A\x5927!";
    static const wchar_t kNoTorrent[] = L"\x4E0D\x662F\x6709\x6548\x7684\x79CD\x5B50\x6587\x4EF6!";
    HANDLE file = CreateFileW(LongPath(path).get(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return kCannotRead;
    const wchar_t* error = kCannotRead;  // also for a read that fails or a buffer not had
    // Only the low 32 bits count: 4 GiB + 100 bytes reads as 100.
    const DWORD size = GetFileSize(file, nullptr);
    if (size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) {
        error = kCannotRead;
    } else if (size >= kTorrentFileLimit) {
        error = kTooBig;
    } else if (size == 0) {
        error = kNoTorrent;
    } else if (uint8_t* buffer = static_cast<uint8_t*>(std::malloc(size))) {
        DWORD got = 0;
        if (ReadFile(file, buffer, size, &got, nullptr)) error = ScanTorrent(buffer, got) ? nullptr : kNoTorrent;
        std::free(buffer);
    }
    CloseHandle(file);
    return error;
}
