// Shows the window as a user sees it right after opening a torrent, for the README's picture:
//     screenshot velquor.exe TORRENT
// Starts the real exe, opens TORRENT through its real open dialog, prints the four fields and
// then "window X Y W H" (screen pixels, title bar included), and holds the program open until
// its own standard input ends; then closes it and exits with its exit code.  What went wrong, if
// anything, is said on standard output too, since Wine's own messages crowd standard error.
#include <windows.h>

#include <cstdio>
#include <string>

#include "res/resource.h"
#include "support/LiveDialog.h"

namespace {

constexpr DWORD kStartMs = 60000;  // the first start in a new session loads Wine's services

const wchar_t kOpenTorrentTitle[] = L"\x6253\x5F00" L"BT\x79CD\x5B50\x6587\x4EF6";  // 打开BT种子文件

// Another process's edit answers WM_GETTEXT from its own message loop; GetWindowText would
// only give the text it was created with.
std::wstring FieldOf(HWND window, int id) {
    wchar_t text[1024] = L"";
    DWORD_PTR ignored;
    SendMessageTimeoutW(GetDlgItem(window, id), WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_NORMAL,
                        kWaitMs, &ignored);
    return text;
}

// The open dialog puts the keyboard focus in its file name box, as it does for a user.
HWND FocusOf(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) return nullptr;
    return info.hwndFocus && IsChild(window, info.hwndFocus) && ClassName(info.hwndFocus) == L"Edit"
               ? info.hwndFocus
               : nullptr;
}

bool OpenThroughDialog(DWORD pid, HWND window, const wchar_t* torrent) {
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_OPEN_TORRENT, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(window, IDC_OPEN_TORRENT)));
    // An owned window stays above its owner, so the open dialog is the process's first one.
    HWND dialog = nullptr, box = nullptr;
    if (!WaitUntil([&] {
            dialog = WaitForProcessDialog(pid, 0);
            return dialog != window && WindowText(dialog) == kOpenTorrentTitle && (box = FocusOf(dialog));
        }, kStartMs)) {
        std::printf("screenshot: no open dialog with its name box focused\n");
        return false;
    }
    DWORD_PTR ignored;
    SendMessageTimeoutW(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(torrent), SMTO_NORMAL, kWaitMs, &ignored);
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
    if (!WaitUntil([&] { return !IsWindow(dialog); })) {
        std::printf("screenshot: the open dialog stays up\n");
        return false;
    }
    const int fields[] = {IDC_ED2K_LINK, IDC_LONG_LINK, IDC_SHORT_LINK, IDC_NAME};
    if (!WaitUntil([&] {
            for (int id : fields)
                if (FieldOf(window, id).empty()) return false;
            return true;
        })) {
        std::printf("screenshot: the torrent did not fill the form\n");
        return false;
    }
    for (int id : fields) std::printf("%d %s\n", id, Narrow(FieldOf(window, id)).c_str());
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: screenshot velquor.exe TORRENT\n");
        return 2;
    }
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(argv[1], nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        std::printf("screenshot: cannot start the exe (%lu)\n", GetLastError());
        return 1;
    }
    DWORD code = 1;
    HWND window = WaitForProcessDialog(pi.dwProcessId, kStartMs);
    if (window && OpenThroughDialog(pi.dwProcessId, window, argv[2])) {
        // The closed open dialog's area is painted again from the program's own message loop.
        Sleep(500);
        RECT r;
        GetWindowRect(window, &r);
        std::printf("window %ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
        std::fflush(stdout);
        char rest[64];
        DWORD got;
        while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), rest, sizeof rest, &got, nullptr) && got) {
        }
        PostMessageW(window, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(pi.hProcess, kWaitMs) == WAIT_OBJECT_0) GetExitCodeProcess(pi.hProcess, &code);
    } else if (!window) {
        std::printf("screenshot: no window from the exe\n");
    }
    if (WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(pi.hProcess, 1);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return int(code);
}
