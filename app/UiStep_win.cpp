// Steps handed from a worker thread to the UI thread.
#include "app/UiStep.h"

namespace {

enum : LONG { kPosted, kTaken, kAbandoned };
constexpr DWORD kWindowCheckMs = 100;

}  // namespace

bool HandOverStep(HWND window, const wchar_t* property, UINT message, UiStep& step) {
    step.state = kPosted;
    step.done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!step.done) return false;
    bool finished = false;
    if (SetPropW(window, property, &step) && PostMessageW(window, message, 0, reinterpret_cast<LPARAM>(&step))) {
        for (;;) {
            if (WaitForSingleObject(step.done, kWindowCheckMs) == WAIT_OBJECT_0) {
                finished = true;
                break;
            }
            // A window destroyed before the UI thread took the step drops the message with it.
            // Once taken, the step runs to its end whatever happens to the window.
            if (!IsWindow(window) && InterlockedCompareExchange(&step.state, kAbandoned, kPosted) == kPosted) break;
        }
    }
    CloseHandle(step.done);
    return finished;
}

UiStep* TakeStep(HWND window, const wchar_t* property, LPARAM param) {
    if (param == 0 || reinterpret_cast<LPARAM>(GetPropW(window, property)) != param) return nullptr;
    RemovePropW(window, property);
    UiStep* step = reinterpret_cast<UiStep*>(param);
    return InterlockedCompareExchange(&step->state, kTaken, kPosted) == kPosted ? step : nullptr;
}

void FinishStep(UiStep& step) { SetEvent(step.done); }
