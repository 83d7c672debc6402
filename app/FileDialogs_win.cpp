// The common open and save dialogs, each on a path buffer of its own.
#include "app/LinkDialog.h"

#include <commdlg.h>

#include <cstddef>
#include <cstdlib>

namespace {

// Display text and pattern pairs, each terminated, the list ending with an extra NUL.
const wchar_t kAnyFileFilter[] = L"\x6240\x6709\x6587\x4EF6\0*.*\0";  // 所有文件
const wchar_t kTorrentFilter[] = L"BT\x79CD\x5B50\x6587\x4EF6\0*.torrent\0\x6240\x6709\x6587\x4EF6\0*.*\0";  // BT种子文件, 所有文件

const wchar_t kSaveTitle[] = L"\x4FDD\x5B58" L"BT\x79CD\x5B50\x6587\x4EF6";  // 保存BT种子文件
const wchar_t kOpenTorrentTitle[] = L"\x6253\x5F00" L"BT\x79CD\x5B50\x6587\x4EF6";  // 打开BT种子文件
const wchar_t kOpenAnyTitle[] = L"\x6253\x5F00\x6587\x4EF6\x8BA1\x7B97\x7535\x9A74\x5730\x5740";  // 打开文件计算电驴地址

// The record's first, shorter layout (without pvReserved, dwReserved and FlagsEx), which
// every version of comdlg32 accepts.  It is 76 bytes in the i686 release; the x86_64 twin's
// pointers make the same layout 136 bytes, and comdlg32 refuses 76 there outright, so the
// size is taken from the layout rather than written as a number.
constexpr DWORD kOpenFileNameSize = offsetof(OPENFILENAMEW, lpTemplateName) + sizeof(LPCWSTR);  // OPENFILENAME_SIZE_VERSION_400W
#if defined(__i386__) || defined(_M_IX86)
static_assert(kOpenFileNameSize == 76, "the release passes the 76-byte record");
#endif

}  // namespace

PathText::PathText() : text(static_cast<wchar_t*>(std::malloc(kPathUnits * sizeof(wchar_t)))) {}
PathText::~PathText() { std::free(text); }

BOOL LinkDialog::ChooseFile(bool save, bool anyFile, PathText& chosen) {
    if (!chosen.text) return FALSE;
    // Its own copy: a dialog may come up while another is still open (a command another program
    // posted), and neither may write the path the other is reading.
    lstrcpynW(chosen.text, pathBuffer, kPathUnits);
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = kOpenFileNameSize;
    ofn.hwndOwner = window;
    ofn.lpstrFilter = anyFile ? kAnyFileFilter : kTorrentFilter;
    ofn.lpstrFile = chosen.text;
    ofn.nMaxFile = kPathUnits;
    if (save) {
        ofn.lpstrTitle = kSaveTitle;
        ofn.lpstrDefExt = L"torrent";  // the dialog adds the dot itself
        ofn.Flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_EXPLORER | OFN_LONGNAMES;
    } else {
        ofn.lpstrTitle = anyFile ? kOpenAnyTitle : kOpenTorrentTitle;
        // Share-aware: the dialog's own trial open would refuse a file that another program holds
        // (a recording, a download in progress), some of which the hash and the load can read
        // since they share everything; the rest get the program's own message, as a drop does.
        ofn.Flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST | OFN_SHAREAWARE |
                    OFN_EXPLORER | OFN_LONGNAMES;
    }
    // The modal loop also delivers the workers' steps; those that would open a window wait for
    // its end (DeferWhileModal).
    BeginModal();
    const BOOL ok = save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
    // Read before anything else can run a dialog on this thread.
    const bool failed = !ok && CommDlgExtendedError() != 0;
    EndModal();
    if (ok) lstrcpynW(pathBuffer, chosen.text, kPathUnits);
    // A dialog that failed may have refused its start (a name Windows won't take); every later
    // dialog would start from that and fail as well.
    if (failed) pathBuffer[0] = L'\0';
    return ok;
}
