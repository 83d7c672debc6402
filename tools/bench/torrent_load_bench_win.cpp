// Times LoadTorrentFile on the live dialog's own thread, as the Open torrent command calls it:
// reading the file, the scan and every field it writes.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "BenchWin.h"

// Usage: torrent_load_bench_win ROUNDS FILE...  One line per file, best of ROUNDS loads, and the
// long link and ed2k link that the load showed.
int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: torrent_load_bench_win ROUNDS FILE...\n");
        return 2;
    }
    const int rounds = _wtoi(argv[1]);
    LiveDialog dialog;
    if (!dialog.hwnd()) return 1;
    for (int f = 2; f < argc; ++f) {
        const wchar_t* path = argv[f];
        const double best = BestOnDialogThread(dialog, rounds, [&] { dialog.object().LoadTorrentFile(path); });
        std::printf("%.6f s, %s, %s\n", best, Narrow(dialog.Text(IDC_LONG_LINK)).c_str(),
                    Narrow(dialog.Text(IDC_ED2K_LINK)).c_str());
        std::fflush(stdout);
    }
    return dialog.Close() ? 0 : 1;
}
