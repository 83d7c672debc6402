// Drives a real common file dialog (open or save) that our own code has opened: finds it by
// title, reads the file name it proposes, types a path and presses OK, or presses Cancel.
#pragma once

#include <windows.h>

#include <string>

#include "support/LiveDialog.h"

class FileDialogDriver {
public:
    // Waits up to `ms` for a visible file dialog of this process with this title.
    explicit FileDialogDriver(const std::wstring& title, DWORD ms = kWaitMs);
    // A dialog still open (a test that failed half-way) is cancelled, so its modal loop
    // cannot keep the next test's dialog thread hostage.
    ~FileDialogDriver();
    FileDialogDriver(const FileDialogDriver&) = delete;
    FileDialogDriver& operator=(const FileDialogDriver&) = delete;

    bool found() const { return dialog_ != nullptr; }
    HWND hwnd() const { return dialog_; }
    // The file name box as it was when the dialog came up (the initial file name).
    const std::wstring& initialName() const { return initialName_; }
    // The file name box now.
    std::wstring FileName() const;

    // Types `path` into the file name box and presses OK.  True once the dialog has closed;
    // false if it stays up (e.g. a prompt of its own), or on timeout.
    bool Accept(const std::wstring& path, DWORD ms = kWaitMs);
    // Presses Cancel; true once the dialog has closed.
    bool Cancel(DWORD ms = kWaitMs);
    // Waits until the dialog window is gone.
    bool Closed(DWORD ms = kWaitMs) const;

    // For failure messages: the name box, and every visible top-level window of this process.
    std::string Describe() const;

private:
    HWND NameBox() const;
    void Press(int id) const;

    HWND dialog_ = nullptr;
    std::wstring initialName_;
};
