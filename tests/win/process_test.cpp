// The real velquor.exe as a user starts it: a window with the title, and exit code 0 on close.
#include <gtest/gtest.h>
#include <shlobj.h>

#include "support/LiveDialog.h"

namespace {

class Product : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(StartProduct(L"", pi_));
        window_ = WaitForProcessDialog(pi_.dwProcessId);
        ASSERT_NE(window_, nullptr) << "no window from velquor.exe";
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
    HWND window_ = nullptr;
};

TEST_F(Product, TitleThenCloseExitsZero) {
    std::wstring expected = IsUserAnAdmin() ? L"Velquor 15.12.29.1052 [管理员] By Marlov"
                                            : L"Velquor 15.12.29.1052 By Marlov";
    EXPECT_EQ(Narrow(WindowText(window_)), Narrow(expected));
    PostMessageW(window_, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitExit(), 0u);
}

TEST_F(Product, SystemMenuCloseExitsZero) {
    PostMessageW(window_, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(WaitExit(), 0u);
}

}  // namespace
