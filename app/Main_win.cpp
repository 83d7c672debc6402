// Entry point: one modal dialog, and the process ends with its result.
#include "app/LinkDialog.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    ExitProcess(UINT(RunLinkDialog(GetCommandLineW())));
}
