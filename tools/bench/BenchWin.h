// What the twin's benchmark programs share: timing a call where the product makes it, on the
// live dialog's own thread, so that neither Wine's start-up nor the message round trip counts.
#pragma once

#include <windows.h>

#include <functional>

#include "support/LiveDialog.h"

// The best of `rounds` calls, each from an empty ed2k field so that every round writes it anew.
// For a call that hands its work to a worker, `until` waits for the work's end, which the round
// then includes.
inline double BestOnDialogThread(LiveDialog& dialog, int rounds, const std::function<void()>& call,
                                 const std::function<void()>& until = nullptr) {
    LARGE_INTEGER frequency, t0, t1;
    QueryPerformanceFrequency(&frequency);
    double best = 1e30;
    for (int r = 0; r < rounds; ++r) {
        dialog.SetText(IDC_ED2K_LINK, L"");
        dialog.Run([&] {
            QueryPerformanceCounter(&t0);
            call();
            QueryPerformanceCounter(&t1);
        });
        if (until) {
            until();
            QueryPerformanceCounter(&t1);
        }
        const double seconds = double(t1.QuadPart - t0.QuadPart) / double(frequency.QuadPart);
        if (seconds < best) best = seconds;
    }
    return best;
}
