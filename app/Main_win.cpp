// Entry point: one modal dialog, and the process ends with its result.
#include "app/LinkDialog.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // A long ed2k hash holds the UI thread and repaints its progress itself (links/Ed2kLink_win.cpp);
    // after 5 s Windows would otherwise hide it behind a frozen "not responding" copy of the window.
    DisableProcessWindowsGhosting();
    ExitProcess(UINT(RunLinkDialog()));
}
