// What the twin's benchmark programs share: timing a call where the product makes it, on the
// live dialog's own thread, so that neither Wine's start-up nor the message round trip counts.
#pragma once

#include <windows.h>

#include <functional>

#include "support/LiveDialog.h"

inline double SecondsOnDialogThread(LiveDialog& dialog, const std::function<void()>& call) {
    LARGE_INTEGER frequency, t0, t1;
    QueryPerformanceFrequency(&frequency);
    dialog.Run([&] {
        QueryPerformanceCounter(&t0);
        call();
        QueryPerformanceCounter(&t1);
    });
    return double(t1.QuadPart - t0.QuadPart) / double(frequency.QuadPart);
}
