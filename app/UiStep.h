// How a worker thread has the UI thread do one step for it: the only way a worker reaches the
// dialog object.  The step is posted, never sent, so the UI thread handles it from its own message
// loop, outside any other thread's SendMessage: there it may open a file dialog (built on COM,
// which refuses outgoing calls inside a cross-thread SendMessage) or a message box.
#pragma once

#include <windows.h>

struct UiStep {
    volatile LONG state;  // kept by the functions below
    HANDLE done;
};

// Worker side.  Announces `step` on `window` under `property`, posts `message` with its address
// as lParam, and waits until the UI thread has finished it.  False, the step not run, when the
// window is gone first: a closed window ends the worker quietly.
bool HandOverStep(HWND window, const wchar_t* property, UINT message, UiStep& step);

// UI side, for `message`.  Any process on the desktop can post it with any lParam, so only the
// step that a worker announced under `property` is taken, and only once; nullptr otherwise.
UiStep* TakeStep(HWND window, const wchar_t* property, LPARAM param);

// UI side: the step is over and the worker goes on (its step may be gone after this).
void FinishStep(UiStep& step);
