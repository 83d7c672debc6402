// The file dialogs are driven from the test thread while the dialog's own thread runs their
// modal loop, so every access goes through messages, which that loop answers.
#include "support/FileDialogDriver.h"

#include <dlgs.h>

namespace {

// Windows puts the edit inside a ComboBox, Wine inside a ComboBox inside a ComboBoxEx32.
HWND EditInside(HWND window) {
    if (!window) return nullptr;
    if (ClassName(window) == L"Edit") return window;
    for (HWND child = FindWindowExW(window, nullptr, nullptr, nullptr); child;
         child = FindWindowExW(window, child, nullptr, nullptr))
        if (HWND edit = EditInside(child)) return edit;
    return nullptr;
}

BOOL CALLBACK ListWindow(HWND window, LPARAM out) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == GetCurrentProcessId() && IsWindowVisible(window))
        *reinterpret_cast<std::string*>(out) += " [" + Narrow(ClassName(window)) + " \"" + Narrow(WindowText(window)) + "\"]";
    return TRUE;
}

BOOL CALLBACK ListChild(HWND window, LPARAM out) {
    char id[16];
    wsprintfA(id, "%x", GetDlgCtrlID(window));
    *reinterpret_cast<std::string*>(out) += " {" + Narrow(ClassName(window)) + " " + id + "}";
    return TRUE;
}

}  // namespace

FileDialogDriver::FileDialogDriver(const std::wstring& title, DWORD ms) {
    dialog_ = WaitForWindow(L"#32770", title, ms);
    if (!dialog_) return;
    // The name box is there once the dialog is visible; give its text a moment to settle, as
    // some versions fill it after the first paint.
    WaitUntil([&] { return NameBox() != nullptr; }, ms);
    WaitUntil([&] { return !FileName().empty(); }, 300);
    initialName_ = FileName();
}

FileDialogDriver::~FileDialogDriver() {
    if (dialog_ && IsWindow(dialog_)) Cancel();
}

// Explorer-style dialogs keep the name in combo box cmb13 (an edit inside it); Wine's own
// template and the old style use edit edt1.
HWND FileDialogDriver::NameBox() const {
    if (!dialog_) return nullptr;
    if (HWND edit = EditInside(GetDlgItem(dialog_, cmb13))) return edit;
    return EditInside(GetDlgItem(dialog_, edt1));
}

std::wstring FileDialogDriver::FileName() const {
    HWND box = NameBox();
    if (!box) return L"";
    wchar_t text[MAX_PATH * 2];
    text[0] = L'\0';
    DWORD_PTR ignored;
    SendMessageTimeoutW(box, WM_GETTEXT, MAX_PATH * 2, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, kWaitMs,
                        &ignored);
    return text;
}

void FileDialogDriver::Press(int id) const {
    PostMessageW(dialog_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog_, id)));
}

bool FileDialogDriver::Accept(const std::wstring& path, DWORD ms) {
    HWND box = NameBox();
    if (!box) return false;
    DWORD_PTR ignored;
    if (!SendMessageTimeoutW(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()), SMTO_NORMAL, kWaitMs,
                             &ignored))
        return false;
    Press(IDOK);
    return Closed(ms);
}

bool FileDialogDriver::Cancel(DWORD ms) {
    if (!dialog_) return false;
    Press(IDCANCEL);
    return Closed(ms);
}

bool FileDialogDriver::Closed(DWORD ms) const {
    return WaitUntil([&] { return !IsWindow(dialog_); }, ms);
}

std::string FileDialogDriver::Describe() const {
    std::string out = "name box \"" + Narrow(FileName()) + "\"; windows:";
    EnumWindows(ListWindow, reinterpret_cast<LPARAM>(&out));
    out += "; controls:";
    if (dialog_) EnumChildWindows(dialog_, ListChild, reinterpret_cast<LPARAM>(&out));
    return out;
}
