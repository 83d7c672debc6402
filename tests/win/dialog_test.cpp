// The live dialog from the real resources: template, controls, title, keys, z-order, close.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <utility>
#include <vector>

#include "support/LiveDialog.h"

namespace {

struct Expected {
    const wchar_t* className;
    int id;
    const wchar_t* text;
    RECT rect;  // x, y, width, height in dialog units
    DWORD styleBits;
    DWORD exStyleBits;
};

constexpr DWORD kEdit = WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL;
constexpr DWORD kRoEdit = kEdit | ES_READONLY;
constexpr DWORD kPush = WS_TABSTOP | BS_PUSHBUTTON;
constexpr DWORD kLabel = WS_GROUP | SS_LEFT;

const Expected kControls[] = {
    {L"Static", -1, L"长链接：", {4, 31, 33, 8}, kLabel, 0},
    {L"Edit", IDC_LONG_LINK, L"", {41, 29, 249, 12}, kEdit, 0},
    {L"Button", IDC_COPY_LONG, L"复 制", {292, 27, 33, 15}, kPush, 0},
    {L"Button", IDC_PASTE_LONG, L"粘 贴", {327, 27, 33, 15}, kPush, 0},
    {L"Static", -1, L"短链接：", {4, 48, 33, 8}, kLabel, 0},
    {L"Edit", IDC_SHORT_LINK, L"", {41, 46, 249, 12}, kEdit, 0},
    {L"Button", IDC_COPY_SHORT, L"复 制", {292, 44, 33, 15}, kPush, 0},
    {L"Button", IDC_PASTE_SHORT, L"粘 贴", {327, 44, 33, 15}, kPush, 0},
    {L"Static", -1, L"名称：", {12, 64, 25, 8}, kLabel, 0},
    {L"Edit", IDC_NAME, L"", {41, 62, 284, 12}, kRoEdit, 0},
    {L"Button", IDC_COPY_NAME, L"复 制", {327, 60, 33, 15}, kPush, 0},
    {L"Button", IDC_TOPMOST, L"总在最前面", {4, 87, 56, 10}, WS_TABSTOP | BS_AUTOCHECKBOX, 0},
    {L"Button", IDC_DOWNLOAD, L"下载种子文件", {85, 79, 74, 23}, kPush, 0},
    {L"Button", IDC_OPEN_TORRENT, L"打开种子文件", {205, 79, 74, 23}, kPush, 0},
    {L"Static", -1, L"电驴：", {12, 9, 25, 8}, kLabel, 0},
    {L"Edit", IDC_ED2K_LINK, L"", {41, 7, 249, 12}, kRoEdit, 0},
    {L"Button", IDC_COPY_ED2K, L"复 制", {292, 5, 33, 15}, kPush, 0},
    {L"Button", IDC_BROWSE, L"浏 览", {327, 5, 33, 15}, kPush, 0},
    {L"Static", -1, L"", {5, 24, 350, 1}, kLabel, WS_EX_STATICEDGE},
};

// The resource itself: extended form, Chinese (PRC), style, size and font as written.
TEST(Template, ResourceBytes) {
    HRSRC res = FindResourceExW(nullptr, RT_DIALOG, MAKEINTRESOURCEW(IDD_MAIN),
                                MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED));
    ASSERT_NE(res, nullptr);
    const WORD* w = static_cast<const WORD*>(LockResource(LoadResource(nullptr, res)));
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w[0], 1);       // dlgVer
    EXPECT_EQ(w[1], 0xFFFF);  // signature of DLGTEMPLATEEX
    DWORD exStyle, style;
    memcpy(&exStyle, w + 4, 4);
    memcpy(&style, w + 6, 4);
    EXPECT_EQ(style, 0x86CA0A40u);
    EXPECT_EQ(exStyle, DWORD(WS_EX_ACCEPTFILES));
    EXPECT_EQ(w[8], sizeof kControls / sizeof kControls[0]);  // cDlgItems
    EXPECT_EQ(w[11], 363);                                    // cx
    EXPECT_EQ(w[12], 109);                                    // cy
    EXPECT_EQ(w[13], 0);                                      // no menu
    EXPECT_EQ(w[14], 0);                                      // default class
    EXPECT_EQ(w[15], 0);                                      // no caption
    EXPECT_EQ(w[16], 9);                                      // point size
    EXPECT_EQ(w[17], 0);                                      // weight
    EXPECT_EQ(w[18], 0);                                      // italic and charset
    EXPECT_STREQ(reinterpret_cast<const wchar_t*>(w + 19), L"宋体");
}

TEST(Template, IconAndManifest) {
    EXPECT_NE(FindResourceW(nullptr, MAKEINTRESOURCEW(IDI_MAIN), RT_GROUP_ICON), nullptr);
    HRSRC manifest = FindResourceW(nullptr, MAKEINTRESOURCEW(1), RT_MANIFEST);
    ASSERT_NE(manifest, nullptr);
    std::string text(static_cast<const char*>(LockResource(LoadResource(nullptr, manifest))),
                     SizeofResource(nullptr, manifest));
    EXPECT_NE(text.find("Microsoft.Windows.Common-Controls"), std::string::npos);
    EXPECT_NE(text.find("version=\"6.0.0.0\""), std::string::npos);
    EXPECT_NE(text.find("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"), std::string::npos);
    EXPECT_EQ(text.find("activeCodePage"), std::string::npos);
}

TEST(Dialog, TitleAndIcon) {
    LiveDialog live;
    std::wstring expected = IsUserAnAdmin() ? L"Velquor 15.12.29.1052 [管理员] By Marlov"
                                            : L"Velquor 15.12.29.1052 By Marlov";
    EXPECT_EQ(Narrow(WindowText(live.hwnd())), Narrow(expected));
    // Each icon drawn at the size the system asks for, not one image scaled for both.
    for (const auto& icon : {std::make_pair(ICON_BIG, SM_CXICON), std::make_pair(ICON_SMALL, SM_CXSMICON)}) {
        ICONINFO info = {};
        ASSERT_TRUE(GetIconInfo(reinterpret_cast<HICON>(SendMessageW(live.hwnd(), WM_GETICON, icon.first, 0)), &info))
            << icon.first;
        BITMAP bitmap = {};
        GetObjectW(info.hbmColor, sizeof bitmap, &bitmap);
        EXPECT_EQ(bitmap.bmWidth, GetSystemMetrics(icon.second)) << icon.first;
        EXPECT_EQ(bitmap.bmBitsPixel, 32) << icon.first;
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
    }
    EXPECT_EQ(live.object().busyDepth, 0);
    EXPECT_EQ(live.object().pathBuffer[0], L'\0');
    EXPECT_EQ(live.object().shortLinkText[0], L'\0');
}

TEST(Dialog, ControlsInTabOrder) {
    LiveDialog live;
    std::vector<HWND> children;
    for (HWND c = GetWindow(live.hwnd(), GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) children.push_back(c);
    ASSERT_EQ(children.size(), sizeof kControls / sizeof kControls[0]);
    for (size_t i = 0; i < children.size(); ++i) {
        const Expected& e = kControls[i];
        HWND c = children[i];
        SCOPED_TRACE(testing::Message() << "control #" << i + 1 << " " << Narrow(e.text));
        EXPECT_EQ(Narrow(ClassName(c)), Narrow(e.className));
        EXPECT_EQ(GetDlgCtrlID(c), e.id);
        EXPECT_EQ(Narrow(WindowText(c)), Narrow(e.text));
        DWORD style = DWORD(GetWindowLongW(c, GWL_STYLE));
        const DWORD exStyle = DWORD(GetWindowLongW(c, GWL_EXSTYLE));
        // An edit control trades WS_BORDER for a client edge when it is created.
        if (exStyle & WS_EX_CLIENTEDGE) style |= WS_BORDER;
        EXPECT_EQ(style & e.styleBits, e.styleBits);
        EXPECT_TRUE(style & WS_VISIBLE);
        const std::wstring cls = e.className;
        const DWORD readOnly = style & ES_READONLY, buttonType = style & BS_TYPEMASK, staticType = style & SS_TYPEMASK;
        if (cls == L"Edit") {
            EXPECT_EQ(readOnly, e.styleBits & ES_READONLY);
        } else if (cls == L"Button") {
            EXPECT_EQ(buttonType, e.styleBits & BS_TYPEMASK);
        } else {
            EXPECT_EQ(staticType, DWORD(SS_LEFT));
        }
        EXPECT_EQ(exStyle & WS_EX_STATICEDGE, e.exStyleBits);

        // The dialog manager converts position and size separately, so compare them that way.
        RECT units = e.rect;
        MapDialogRect(live.hwnd(), &units);
        RECT actual;
        GetWindowRect(c, &actual);
        MapWindowPoints(nullptr, live.hwnd(), reinterpret_cast<POINT*>(&actual), 2);
        EXPECT_EQ(actual.left, units.left);
        EXPECT_EQ(actual.top, units.top);
        EXPECT_EQ(actual.right - actual.left, units.right);
        EXPECT_EQ(actual.bottom - actual.top, units.bottom);
    }
    DWORD style = DWORD(GetWindowLongW(live.hwnd(), GWL_STYLE));
    const DWORD frame = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
    EXPECT_EQ(style & frame, frame);
    EXPECT_TRUE(GetWindowLongW(live.hwnd(), GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
}

TEST(Dialog, FocusSelectsWholeField) {
    LiveDialog live;
    for (int id : {IDC_ED2K_LINK, IDC_LONG_LINK, IDC_SHORT_LINK, IDC_NAME}) {
        live.Run([&] { SetFocus(nullptr); });
        live.SetText(id, L"some text here");
        live.Run([&] {
            SendMessageW(live.item(id), EM_SETSEL, 3, 3);
            SetFocus(live.item(id));
        });
        DWORD from = 0, to = 0;
        SendMessageW(live.item(id), EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
        EXPECT_EQ(from, 0u) << id;
        EXPECT_EQ(to, 14u) << id;
    }
}

TEST(Dialog, EnterAndEscapeDoNotClose) {
    LiveDialog live;
    SendMessageW(live.hwnd(), WM_COMMAND, IDOK, 0);
    SendMessageW(live.hwnd(), WM_COMMAND, IDCANCEL, 0);
    // And through the modal loop's own key handling, as a user presses them.
    live.Run([&] { SetFocus(live.item(IDC_LONG_LINK)); });
    for (WPARAM key : {VK_RETURN, VK_ESCAPE}) {
        PostMessageW(live.item(IDC_LONG_LINK), WM_KEYDOWN, key, 0);
        PostMessageW(live.item(IDC_LONG_LINK), WM_KEYUP, key, 0xC0000000);
    }
    EXPECT_FALSE(live.Ended(300));
    EXPECT_TRUE(IsWindow(live.hwnd()));
}

TEST(Dialog, TopmostCheckBox) {
    LiveDialog live;
    auto topmost = [&] { return (GetWindowLongW(live.hwnd(), GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; };
    EXPECT_FALSE(topmost());
    SendMessageW(live.item(IDC_TOPMOST), BM_CLICK, 0, 0);
    EXPECT_EQ(IsDlgButtonChecked(live.hwnd(), IDC_TOPMOST), BST_CHECKED);
    EXPECT_TRUE(topmost());
    SendMessageW(live.item(IDC_TOPMOST), BM_CLICK, 0, 0);
    EXPECT_FALSE(topmost());
    // Only the click notification acts: a focus notification from the box changes nothing.
    CheckDlgButton(live.hwnd(), IDC_TOPMOST, BST_CHECKED);
    SendMessageW(live.hwnd(), WM_COMMAND, MAKEWPARAM(IDC_TOPMOST, BN_SETFOCUS), 0);
    EXPECT_FALSE(topmost());
}

TEST(Dialog, CloseEndsWithZero) {
    LiveDialog live;
    ASSERT_TRUE(live.Close());
    EXPECT_EQ(live.result(), 0);
}

}  // namespace
