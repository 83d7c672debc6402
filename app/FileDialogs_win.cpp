// The common open and save dialogs, working on pathBuffer.
#include "app/LinkDialog.h"

#include <commdlg.h>

#include <cstddef>

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

BOOL LinkDialog::ChooseFile(bool save, bool anyFile) {
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = kOpenFileNameSize;
    ofn.hwndOwner = window;
    ofn.lpstrFilter = anyFile ? kAnyFileFilter : kTorrentFilter;
    ofn.lpstrFile = pathBuffer;
    ofn.nMaxFile = MAX_PATH;
    if (save) {
        ofn.lpstrTitle = kSaveTitle;
        ofn.lpstrDefExt = L"torrent";  // the dialog adds the dot itself
        ofn.Flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_EXPLORER | OFN_LONGNAMES;
    } else {
        ofn.lpstrTitle = anyFile ? kOpenAnyTitle : kOpenTorrentTitle;
        ofn.Flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST | OFN_EXPLORER |
                    OFN_LONGNAMES;
    }
    // The modal loop also delivers the download worker's steps, which wait while this is raised:
    // a save offered in here would take pathBuffer from under the user's own dialog.
    ++fileDialogDepth;
    const BOOL chosen = save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
    --fileDialogDepth;
    // A dialog that failed may have refused what pathBuffer holds (a name Windows won't take), or
    // left the size it wanted in its first units; every later dialog would start from that and
    // fail as well.
    if (!chosen && CommDlgExtendedError() != 0) pathBuffer[0] = L'\0';
    return chosen;
}
