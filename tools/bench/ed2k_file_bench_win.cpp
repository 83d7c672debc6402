// Times HashFileForEd2k from its start on the live dialog's own thread to the end of its worker,
// from inside the process so that Wine's start-up is not counted, and shows the peak working set
// before and after.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "BenchWin.h"

namespace {

SIZE_T PeakWorkingSetKiB() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters.PeakWorkingSetSize / 1024;
}

// Asks every millisecond, not at the tests' 10 ms, which would add up to 1% to a 2 GiB hash.
void HashEnd(LiveDialog& dialog) {
    for (bool hashing = true; hashing; Sleep(1)) dialog.Run([&] { hashing = dialog.object().Hashing(); });
}

}  // namespace

// Usage: ed2k_file_bench_win ROUNDS FILE...  One line per file, best of ROUNDS calls.
int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: ed2k_file_bench_win ROUNDS FILE...\n");
        return 2;
    }
    const int rounds = _wtoi(argv[1]);

    LiveDialog dialog;
    if (!dialog.hwnd()) return 1;
    for (int f = 2; f < argc; ++f) {
        const wchar_t* path = argv[f];
        WIN32_FILE_ATTRIBUTE_DATA info;
        if (!GetFileAttributesExW(path, GetFileExInfoStandard, &info)) return 1;
        const unsigned long long size = (unsigned long long)info.nFileSizeHigh << 32 | info.nFileSizeLow;

        const SIZE_T peakBefore = PeakWorkingSetKiB();
        // Started on the dialog's thread, as the Browse command and a drop start it.
        const double best = BestOnDialogThread(dialog, rounds, [&] { dialog.object().HashFileForEd2k(path); },
                                               [&] { HashEnd(dialog); });
        const SIZE_T peakAfter = PeakWorkingSetKiB();
        std::printf("%llu bytes: %.3f s, %.1f MiB/s, peak working set %lu KiB before, %lu KiB after, %s\n", size,
                    best, double(size) / 1048576.0 / best, (unsigned long)peakBefore, (unsigned long)peakAfter,
                    Narrow(dialog.Text(IDC_ED2K_LINK)).c_str());
        std::fflush(stdout);
    }
    return dialog.Close() ? 0 : 1;
}
