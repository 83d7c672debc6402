// How a worker thread has the UI thread do one step for it: the only way a worker reaches the
// dialog object.  The step is posted, never sent, so the UI thread handles it from its own message
// loop, outside any other thread's SendMessage: there it may open a file dialog (built on COM,
// which refuses outgoing calls inside a cross-thread SendMessage) or a message box.
//
// Each step is announced on its own, so any number of workers may hand steps over at the same
// moment; an announcement lasts until the UI thread finishes the step or its worker withdraws it
// from a window that is gone.
#pragma once

#include <windows.h>

struct UiStep {
    // Kept by the functions below.
    HWND window;
    const wchar_t* name;
    UINT message;
    HANDLE done;
};

// Worker side.  Announces `step` for `window` under `name`, posts `message` with its address as
// lParam (again after a pause while the window's queue refuses it), and waits until the UI thread
// has finished it.  False, the step not run, only when the window is gone first: a closed window
// ends the worker quietly.
bool HandOverStep(HWND window, const wchar_t* name, UINT message, UiStep& step);

// UI side, for `message`.  Any process on the desktop can post it with any lParam, so only a step
// that a worker announced for this window under `name` is taken, and only once; nullptr otherwise.
UiStep* TakeStep(HWND window, const wchar_t* name, LPARAM param);

// UI side: the step is over and the worker goes on (its step may be gone after this).
void FinishStep(UiStep& step);

// UI side, for a taken step that can't run yet: it is announced again and waits, its worker still
// waiting too, until RepostKeptSteps hands it to its message's handler once more.
void KeepStep(UiStep& step);
// UI side: posts the message of every step kept for `window`, in the order they were kept.  False
// when the queue refused one; it and those after it stay kept for a later call.
bool RepostKeptSteps(HWND window);
