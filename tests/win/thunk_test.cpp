// The thunk called directly with a fake window handle, as the dialog manager would call it.
#include <gtest/gtest.h>

#include "support/LiveDialog.h"

namespace {

class RecordingDialog : public LinkDialog {
public:
    INT_PTR CALLBACK HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        self = this;
        seenMessage = message;
        seenW = wParam;
        seenL = lParam;
        return 0x55;
    }
    LinkDialog* self = nullptr;
    UINT seenMessage = 0;
    WPARAM seenW = 0;
    LPARAM seenL = 0;
};

TEST(Thunk, RoutesToHandleMessageOfTheObject) {
    RecordingDialog object;
    DLGPROC proc = BindDialogThunk(object.thunk, &object);
    ASSERT_NE(proc, nullptr);
    INT_PTR r = proc(reinterpret_cast<HWND>(0x1234), WM_USER + 7, WPARAM(0xAABB), LPARAM(-5));
    EXPECT_EQ(r, 0x55);
    EXPECT_EQ(object.self, &object);
    EXPECT_EQ(object.seenMessage, UINT(WM_USER + 7));
    EXPECT_EQ(object.seenW, WPARAM(0xAABB));
    EXPECT_EQ(object.seenL, LPARAM(-5));
    ReleaseDialogThunk(object.thunk);
}

// Two objects bound at once each get their own stub.
TEST(Thunk, OneStubPerObject) {
    RecordingDialog a, b;
    DLGPROC pa = BindDialogThunk(a.thunk, &a);
    DLGPROC pb = BindDialogThunk(b.thunk, &b);
    ASSERT_NE(pa, pb);
    pb(nullptr, 1, 2, 3);
    pa(nullptr, 4, 5, 6);
    EXPECT_EQ(a.seenMessage, 4u);
    EXPECT_EQ(b.seenMessage, 1u);
    ReleaseDialogThunk(a.thunk);
    ReleaseDialogThunk(b.thunk);
}

}  // namespace
