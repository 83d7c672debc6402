// Drives the real release exe through one session under emulated 32-bit Wine; exit code 0 = pass.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "res/resource.h"

namespace {

int failures = 0;

void Check(bool ok, const char* what) {
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what);
    std::fflush(stdout);
    if (!ok) ++failures;
}

// Emulation makes everything slow: the first window can take minutes to appear.
bool WaitFor(DWORD ms, bool (*done)(void*), void* ctx) {
    const DWORD start = GetTickCount();
    while (!done(ctx)) {
        if (GetTickCount() - start > ms) return false;
        Sleep(100);
    }
    return true;
}

struct Search {
    DWORD pid;
    HWND window;
};

BOOL CALLBACK FindTop(HWND w, LPARAM p) {
    Search* s = reinterpret_cast<Search*>(p);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if (pid == s->pid && IsWindowVisible(w) && GetDlgItem(w, IDC_LONG_LINK)) {
        s->window = w;
        return FALSE;
    }
    return TRUE;
}

std::wstring Text(HWND w, int id) {
    wchar_t buffer[600];
    GetDlgItemTextW(w, id, buffer, 600);
    return buffer;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::printf("usage: smoke32 path\\to\\velquor.exe\n");
        return 2;
    }
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(argv[1], nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        std::printf("FAIL cannot start the exe (%lu)\n", GetLastError());
        return 1;
    }
    Search search{pi.dwProcessId, nullptr};
    const DWORD t0 = GetTickCount();
    bool up = WaitFor(900000, [](void* c) {
        EnumWindows(FindTop, reinterpret_cast<LPARAM>(c));
        return static_cast<Search*>(c)->window != nullptr;
    }, &search);
    Check(up, "the window appears");
    if (!up) {
        TerminateProcess(pi.hProcess, 1);
        return 1;
    }
    std::printf("     window after %lu ms\n", GetTickCount() - t0);
    HWND w = search.window;

    wchar_t title[128];
    GetWindowTextW(w, title, 128);
    Check(wcsncmp(title, L"Velquor 15.12.29.1052", 21) == 0 && wcsstr(title, L"By Marlov"), "title");

    // Typed one character at a time, as a user would; the field turns canonical at the end.
    HWND edit = GetDlgItem(w, IDC_LONG_LINK);
    for (const wchar_t* p = L"0123456789abcdef0123456789ABCDEF01234567"; *p; ++p)
        SendMessageW(edit, WM_CHAR, *p, 1);
    Check(Text(w, IDC_LONG_LINK) == L"magnet:?xt=urn:btih:0123456789ABCDEF0123456789ABCDEF01234567", "long link");
    Check(Text(w, IDC_SHORT_LINK) == L"magnet:?xt=urn:btih:AERUKZ4JVPG66AJDIVTYTK6N54ASGRLH", "short link");

    PostMessageW(w, WM_CLOSE, 0, 0);
    DWORD code = 12345;
    Check(WaitForSingleObject(pi.hProcess, 300000) == WAIT_OBJECT_0 && GetExitCodeProcess(pi.hProcess, &code) &&
              code == 0,
          "closes with exit code 0");
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    std::printf("%d passed, %d failed\n", 5 - failures, failures);
    return failures ? 1 : 0;
}
