// The live dialog for tests: its own UI thread, and a hook to run code on that thread.
#include "support/LiveDialog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

const UINT kRunMessage = RegisterWindowMessageW(L"VelquorTestRun");

// Runs the std::function that a kRunMessage carries, on the thread that owns the window.
LRESULT CALLBACK RunHook(int code, WPARAM wParam, LPARAM lParam) {
    const CWPSTRUCT* msg = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && msg->message == kRunMessage)
        (*reinterpret_cast<const std::function<void()>*>(msg->lParam))();
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

struct Find {
    const wchar_t* className;
    const std::wstring* title;
    HWND found;
};

BOOL CALLBACK FindProc(HWND window, LPARAM param) {
    Find* find = reinterpret_cast<Find*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != GetCurrentProcessId() || !IsWindowVisible(window)) return TRUE;
    if (find->className && ClassName(window) != find->className) return TRUE;
    if (WindowText(window) != *find->title) return TRUE;
    find->found = window;
    return FALSE;
}

}  // namespace

LiveDialog::LiveDialog(LinkDialog* object) : object_(object ? object : &own_) {
    // The product leaves the field to WM_INITDIALOG; clearing it lets us see that moment.
    object_->window = nullptr;
    thread_ = CreateThread(nullptr, 0, ThreadMain, this, 0, &threadId_);
    if (!thread_) {
        ADD_FAILURE() << "no dialog thread";
        return;
    }
    // Visible means WM_INITDIALOG has run: the window is bound and initialised.
    if (!WaitUntil([&] {
            HWND window = *static_cast<HWND volatile*>(&object_->window);
            return (window && IsWindowVisible(window)) || Ended(0);
        }))
        ADD_FAILURE() << "dialog did not come up";
    hwnd_ = object_->window;
}

DWORD WINAPI LiveDialog::ThreadMain(LPVOID param) {
    LiveDialog* self = static_cast<LiveDialog*>(param);
    HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, RunHook, nullptr, GetCurrentThreadId());
    self->result_ = ShowLinkDialog(*self->object_);
    UnhookWindowsHookEx(hook);
    return 0;
}

LiveDialog::~LiveDialog() {
    if (thread_) {
        if (!Ended(0)) Close();
        CloseHandle(thread_);
    }
}

std::wstring LiveDialog::Text(int id) const {
    wchar_t buffer[4096];
    GetDlgItemTextW(hwnd_, id, buffer, 4096);
    return buffer;
}

void LiveDialog::SetText(int id, const std::wstring& text) { SetDlgItemTextW(hwnd_, id, text.c_str()); }

void LiveDialog::Click(int id) {
    SendMessageW(hwnd_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(item(id)));
}

void LiveDialog::PostClick(int id) {
    PostMessageW(hwnd_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(item(id)));
}

void LiveDialog::Run(const std::function<void()>& fn) {
    SendMessageW(hwnd_, kRunMessage, 0, reinterpret_cast<LPARAM>(&fn));
}

bool LiveDialog::HashEnded(DWORD ms) {
    return WaitUntil([&] {
        bool hashing = true;
        Run([&] { hashing = object_->Hashing(); });
        return !hashing;
    }, ms);
}

bool LiveDialog::Close() {
    PostMessageW(hwnd_, WM_CLOSE, 0, 0);
    return Ended(kWaitMs);
}

bool LiveDialog::Ended(DWORD ms) const { return WaitForSingleObject(thread_, ms) == WAIT_OBJECT_0; }

std::wstring WindowText(HWND window) {
    wchar_t buffer[1024];
    buffer[0] = L'\0';
    GetWindowTextW(window, buffer, 1024);
    return buffer;
}

std::wstring ClassName(HWND window) {
    wchar_t buffer[256];
    buffer[0] = L'\0';
    GetClassNameW(window, buffer, 256);
    return buffer;
}

bool WaitUntil(const std::function<bool()>& done, DWORD ms) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (done()) return true;
        if (GetTickCount() - start >= ms) return false;
        Sleep(10);
    }
}

HWND WaitForWindow(const wchar_t* className, const std::wstring& title, DWORD ms) {
    Find find{className, &title, nullptr};
    WaitUntil([&] {
        EnumWindows(FindProc, reinterpret_cast<LPARAM>(&find));
        return find.found != nullptr;
    }, ms);
    return find.found;
}

HWND WaitForProcessDialog(DWORD pid, DWORD ms) {
    struct Found {
        DWORD pid;
        HWND window;
    } found{pid, nullptr};
    auto find = [](HWND window, LPARAM param) -> BOOL {
        Found* f = reinterpret_cast<Found*>(param);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner != f->pid || !IsWindowVisible(window) || ClassName(window) != L"#32770") return TRUE;
        f->window = window;
        return FALSE;
    };
    WaitUntil([&] {
        EnumWindows(find, reinterpret_cast<LPARAM>(&found));
        return found.window != nullptr;
    }, ms);
    return found.window;
}

bool StartProduct(const std::wstring& arguments, PROCESS_INFORMATION& process) {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    *wcsrchr(path, L'\\') = L'\0';  // build/win64/tests
    *wcsrchr(path, L'\\') = L'\0';  // build/win64
    const std::wstring exe = std::wstring(path) + L"\\velquor.exe";
    std::wstring line = L"\"" + exe + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    const bool started = CreateProcessW(exe.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &process);
    EXPECT_TRUE(started) << Narrow(exe);
    return started;
}

bool OpenClipboardSoon() { return WaitUntil([] { return OpenClipboard(nullptr) != FALSE; }, 3000); }

void PutClipboard(const std::wstring* text) {
    ASSERT_TRUE(OpenClipboardSoon());
    EmptyClipboard();
    if (text) {
        const SIZE_T bytes = (text->size() + 1) * sizeof(wchar_t);
        HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
        ASSERT_NE(memory, nullptr);
        memcpy(GlobalLock(memory), text->c_str(), bytes);
        GlobalUnlock(memory);
        if (!SetClipboardData(CF_UNICODETEXT, memory)) {
            GlobalFree(memory);
            ADD_FAILURE() << "clipboard refused the text";
        }
    }
    CloseClipboard();
}
void PutClipboard(const std::wstring& text) { PutClipboard(&text); }

std::wstring ClipboardText(SIZE_T* bytes) {
    if (bytes) *bytes = 0;
    if (!OpenClipboardSoon()) return L"<not opened>";
    std::wstring out = L"<none>";
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (bytes) *bytes = GlobalSize(data);
        if (const wchar_t* text = static_cast<const wchar_t*>(GlobalLock(data))) {
            out = text;
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return out;
}

namespace {
const wchar_t kFieldLogProperty[] = L"VelquorTestFieldLog";
}

FieldLog::FieldLog(LiveDialog& live, int id) : live_(live), control_(live.item(id)) {
    live_.Run([&] {
        SetPropW(control_, kFieldLogProperty, this);
        original_ = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(control_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Proc)));
    });
}

FieldLog::~FieldLog() {
    live_.Run([&] {
        SetWindowLongPtrW(control_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original_));
        RemovePropW(control_, kFieldLogProperty);
    });
}

LRESULT CALLBACK FieldLog::Proc(HWND control, UINT message, WPARAM wParam, LPARAM lParam) {
    FieldLog* self = static_cast<FieldLog*>(GetPropW(control, kFieldLogProperty));
    if (message == WM_SETTEXT || message == WM_GETTEXT) {
        std::lock_guard<std::mutex> hold(self->lock_);
        self->entries_.push_back({GetTickCount(), message == WM_GETTEXT,
                                  message == WM_SETTEXT ? reinterpret_cast<const wchar_t*>(lParam) : L""});
    }
    return CallWindowProcW(self->original_, control, message, wParam, lParam);
}

std::vector<FieldLog::Entry> FieldLog::Entries() {
    std::lock_guard<std::mutex> hold(lock_);
    return entries_;
}

std::vector<std::wstring> FieldLog::Texts() {
    std::vector<std::wstring> texts;
    for (const Entry& e : Entries())
        if (!e.read) texts.push_back(e.text);
    return texts;
}

int FieldLog::Written(const std::wstring& text) {
    const std::vector<Entry> entries = Entries();
    for (size_t i = 0; i < entries.size(); ++i)
        if (!entries[i].read && entries[i].text == text) return int(i);
    return -1;
}

void FieldLog::Clear() {
    std::lock_guard<std::mutex> hold(lock_);
    entries_.clear();
}

namespace {
const wchar_t kMessageBoxWatchProperty[] = L"VelquorTestMessageBoxWatch";
}

MessageBoxWatch::MessageBoxWatch(LiveDialog& live, std::function<bool(HWND)> isMessageBox)
    : live_(live), isMessageBox_(std::move(isMessageBox)) {
    live_.Run([&] {
        SetPropW(live_.hwnd(), kMessageBoxWatchProperty, this);
        hook_ = SetWindowsHookExW(WH_CBT, Hook, nullptr, GetCurrentThreadId());
    });
    if (!hook_) ADD_FAILURE() << "no message box hook";
}

MessageBoxWatch::~MessageBoxWatch() {
    live_.Run([&] {
        UnhookWindowsHookEx(hook_);
        RemovePropW(live_.hwnd(), kMessageBoxWatchProperty);
    });
}

// Runs on the dialog's thread, where the watch is found through its owner's property.
LRESULT CALLBACK MessageBoxWatch::Hook(int code, WPARAM wParam, LPARAM lParam) {
    HWND window = reinterpret_cast<HWND>(wParam);
    HWND owner = code == HCBT_ACTIVATE ? GetWindow(window, GW_OWNER) : nullptr;
    MessageBoxWatch* self = owner ? static_cast<MessageBoxWatch*>(GetPropW(owner, kMessageBoxWatchProperty)) : nullptr;
    if (!self || ClassName(window) != L"#32770") return CallNextHookEx(nullptr, code, wParam, lParam);
    const bool inSent = InSendMessage() != FALSE;
    const bool box = !self->isMessageBox_ || self->isMessageBox_(window);
    wchar_t text[512] = {};
    if (box) GetDlgItemTextW(window, 0xFFFF, text, 512);
    bool answer = box;
    {
        std::lock_guard<std::mutex> hold(self->lock_);
        // A box left open is activated again whenever a window above it closes.
        const bool again = std::find(self->held_.begin(), self->held_.end(), window) != self->held_.end();
        if (!again) {
            self->openedInSentMessage_ += inSent;
            if (box) self->boxes_.push_back({text, inSent, window});
        }
        if (box && self->hold_) {
            if (!again) self->held_.push_back(window);
            answer = false;
        }
    }
    if (answer) PostMessageW(window, WM_COMMAND, IDOK, 0);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

std::vector<MessageBoxWatch::Box> MessageBoxWatch::Boxes() {
    std::lock_guard<std::mutex> hold(lock_);
    return boxes_;
}

std::vector<std::wstring> MessageBoxWatch::Texts() {
    std::vector<std::wstring> texts;
    for (const Box& box : Boxes()) texts.push_back(box.text);
    return texts;
}

bool MessageBoxWatch::WaitFor(size_t count, DWORD ms) {
    return WaitUntil([&] { return Boxes().size() >= count; }, ms);
}

int MessageBoxWatch::OpenedInSentMessage() {
    std::lock_guard<std::mutex> hold(lock_);
    return openedInSentMessage_;
}

void MessageBoxWatch::Hold(bool hold) {
    std::vector<HWND> held;
    {
        std::lock_guard<std::mutex> lock(lock_);
        hold_ = hold;
        if (!hold) held.swap(held_);
    }
    for (HWND box : held) PostMessageW(box, WM_COMMAND, IDOK, 0);
}

void MessageBoxWatch::Clear() {
    std::lock_guard<std::mutex> hold(lock_);
    boxes_.clear();
}

std::string Narrow(const std::wstring& text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}
