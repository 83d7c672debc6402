// Runs the real IDD_MAIN dialog on a thread of its own so that a test can drive it with
// window messages, and helpers for the windows (file dialogs, message boxes) it opens.
#pragma once

#include <windows.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "app/LinkDialog.h"
#include "support/SparseFile.h"

constexpr DWORD kWaitMs = 10000;  // every wait in the tests gives up after this

class LiveDialog {
public:
    // Starts the dialog with `object` (or an own LinkDialog) and waits until it is bound.
    explicit LiveDialog(LinkDialog* object = nullptr);
    // Closes the dialog if it is still open and waits for its thread.
    ~LiveDialog();
    LiveDialog(const LiveDialog&) = delete;
    LiveDialog& operator=(const LiveDialog&) = delete;

    HWND hwnd() const { return hwnd_; }
    HWND item(int id) const { return GetDlgItem(hwnd_, id); }
    LinkDialog& object() { return *object_; }
    DWORD threadId() const { return threadId_; }

    std::wstring Text(int id) const;
    // Writes a field as SetDlgItemTextW does, so its change notification runs.
    void SetText(int id, const std::wstring& text);
    // A button click as the button itself reports it (blocks until the command is handled).
    void Click(int id);
    // The same click, posted, for commands that open a modal window.
    void PostClick(int id);
    // Runs `fn` on the dialog's thread, inside its message handling.
    void Run(const std::function<void()>& fn);
    // Waits up to `ms` until no ed2k hash runs in the background; false on timeout.
    bool HashEnded(DWORD ms = kWaitMs);

    // Sends WM_CLOSE and waits for the dialog to end; returns false on timeout.
    bool Close();
    bool Ended(DWORD ms) const;
    INT_PTR result() const { return result_; }

private:
    static DWORD WINAPI ThreadMain(LPVOID self);

    LinkDialog own_;
    LinkDialog* object_;
    HWND hwnd_ = nullptr;
    HANDLE thread_ = nullptr;
    DWORD threadId_ = 0;
    INT_PTR result_ = -2;
};

std::wstring WindowText(HWND window);
std::wstring ClassName(HWND window);

// Polls `done` every 10 ms until it holds or `ms` have passed.
bool WaitUntil(const std::function<bool()>& done, DWORD ms = kWaitMs);

// A visible top-level window of this process with the given class (nullptr: any) and
// title, waited for up to `ms`.
HWND WaitForWindow(const wchar_t* className, const std::wstring& title, DWORD ms = kWaitMs);

// The visible dialog window of another process, waited for up to `ms`.
HWND WaitForProcessDialog(DWORD pid, DWORD ms = kWaitMs);

// The real velquor.exe beside the tests, started as a user starts it, with `arguments` after its
// quoted name; false if it could not be started.
bool StartProduct(const std::wstring& arguments, PROCESS_INFORMATION& process);

// OpenClipboard(nullptr) on the calling thread, tried for up to 3 s: Wine's clipboard manager
// may hold the clipboard for a moment after each change.
bool OpenClipboardSoon();
// The clipboard from the test thread: text on it (or nothing, for an empty clipboard), and its
// Unicode text, "<none>" when it holds none; `bytes`, if given, gets the text block's GlobalSize.
void PutClipboard(const std::wstring* text);
void PutClipboard(const std::wstring& text);
std::wstring ClipboardText(SIZE_T* bytes = nullptr);

// Every text one control of the live dialog is given, and every time something reads it, while
// the log lives: the control is subclassed on the dialog's thread, where the entries are stamped.
class FieldLog {
public:
    struct Entry {
        DWORD at;
        bool read;  // WM_GETTEXT; otherwise WM_SETTEXT with `text`
        std::wstring text;
    };
    FieldLog(LiveDialog& live, int id);
    ~FieldLog();
    FieldLog(const FieldLog&) = delete;
    FieldLog& operator=(const FieldLog&) = delete;

    std::vector<Entry> Entries();
    std::vector<std::wstring> Texts();  // the texts written, in order
    int Written(const std::wstring& text);  // index of the first entry that writes it, or -1
    void Clear();

private:
    static LRESULT CALLBACK Proc(HWND control, UINT message, WPARAM wParam, LPARAM lParam);
    LiveDialog& live_;
    HWND control_;
    WNDPROC original_ = nullptr;
    std::mutex lock_;
    std::vector<Entry> entries_;
};

// The message boxes the live dialog raises while the watch lives, each read and closed with OK.
// A CBT hook on the dialog's thread sees every window the dialog owns as it is activated; of
// those of the dialog class (#32770) that `isMessageBox` accepts (all, when it is empty) it
// records the text of the static control 0xFFFF, where a message box shows its text, and whether
// the UI thread was then handling a message sent from another thread (InSendMessage()), and
// posts OK to the box.  File dialogs are of that class too: a test that also opens them passes a
// predicate that leaves them to its FileDialogDriver, for instance by their titles (a box from
// ReportError has Wine's default caption, "Error", or 错误 under a Chinese locale); they still
// count in OpenedInSentMessage().  A click whose command raises a box is posted
// (LiveDialog::PostClick): a sent one would wait, with no timeout, for the box to close.  While
// Hold(true) is in force the boxes are recorded but left open, to see what happens while one is
// up; Hold(false) answers them.
class MessageBoxWatch {
public:
    struct Box {
        std::wstring text;
        bool inSentMessage;
        HWND window;
    };
    explicit MessageBoxWatch(LiveDialog& live, std::function<bool(HWND)> isMessageBox = nullptr);
    ~MessageBoxWatch();
    MessageBoxWatch(const MessageBoxWatch&) = delete;
    MessageBoxWatch& operator=(const MessageBoxWatch&) = delete;

    std::vector<Box> Boxes();
    std::vector<std::wstring> Texts();  // the boxes' texts, in order
    // Waits up to `ms` until `count` boxes have been answered; false on timeout.
    bool WaitFor(size_t count, DWORD ms = kWaitMs);
    void Clear();
    void Hold(bool hold);
    // The boxes and file dialogs that came up inside another thread's SendMessage, where Windows
    // refuses the outgoing COM calls that file dialogs make.
    int OpenedInSentMessage();

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam);
    LiveDialog& live_;
    std::function<bool(HWND)> isMessageBox_;
    HHOOK hook_ = nullptr;
    std::mutex lock_;
    std::vector<Box> boxes_;
    std::vector<HWND> held_;
    bool hold_ = false;
    int openedInSentMessage_ = 0;
};

std::string Narrow(const std::wstring& text);  // UTF-8, for test messages
