// The real velquor.exe as a user starts it: a window with the title, and exit code 0 on close.
#include <gtest/gtest.h>
#include <shlobj.h>

#include "support/LiveDialog.h"

namespace {

std::wstring ProductExe() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    *wcsrchr(path, L'\\') = L'\0';  // build/win64/tests
    *wcsrchr(path, L'\\') = L'\0';  // build/win64
    return std::wstring(path) + L"\\velquor.exe";
}

struct Found {
    DWORD pid;
    HWND window;
};

BOOL CALLBACK FindProcessWindow(HWND window, LPARAM param) {
    Found* f = reinterpret_cast<Found*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == f->pid && IsWindowVisible(window) && ClassName(window) == L"#32770") {
        f->window = window;
        return FALSE;
    }
    return TRUE;
}

class Product : public testing::Test {
protected:
    void SetUp() override {
        std::wstring exe = ProductExe();
        STARTUPINFOW si{};
        si.cb = sizeof si;
        ASSERT_TRUE(CreateProcessW(exe.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi_))
            << Narrow(exe);
        found_ = {pi_.dwProcessId, nullptr};
        ASSERT_TRUE(WaitUntil([&] {
            EnumWindows(FindProcessWindow, reinterpret_cast<LPARAM>(&found_));
            return found_.window != nullptr;
        })) << "no window from velquor.exe";
    }
    void TearDown() override {
        if (!pi_.hProcess) return;
        if (WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(pi_.hProcess, 99);
        CloseHandle(pi_.hProcess);
        CloseHandle(pi_.hThread);
    }
    DWORD WaitExit() {
        EXPECT_EQ(WaitForSingleObject(pi_.hProcess, kWaitMs), WAIT_OBJECT_0);
        DWORD code = 12345;
        GetExitCodeProcess(pi_.hProcess, &code);
        return code;
    }
    PROCESS_INFORMATION pi_ = {};
    Found found_ = {};
};

TEST_F(Product, TitleThenCloseExitsZero) {
    std::wstring expected = IsUserAnAdmin() ? L"Velquor 15.12.29.1052 [管理员] By Marlov"
                                            : L"Velquor 15.12.29.1052 By Marlov";
    EXPECT_EQ(Narrow(WindowText(found_.window)), Narrow(expected));
    PostMessageW(found_.window, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitExit(), 0u);
}

TEST_F(Product, SystemMenuCloseExitsZero) {
    PostMessageW(found_.window, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(WaitExit(), 0u);
}

}  // namespace
