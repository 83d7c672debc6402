// Times HashFileForEd2k from its start on the live dialog's own thread to the end of its worker,
// from inside the process so that Wine's start-up is not counted, and shows the peak working set
// before and after.  With --apart, times the file reader alone on one file instead: with one
// hasher, with all of them, and reading without hashing.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "BenchWin.h"
#include "hash/Ed2k.h"
#include "links/Ed2kFileRead.h"

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

bool Never(void*) { return false; }
bool Onwards(void*, uint64_t) { return true; }
const Ed2kReadWatch kWatch = {Never, Onwards, nullptr};

double Seconds(const LARGE_INTEGER& t0, const LARGE_INTEGER& t1) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return double(t1.QuadPart - t0.QuadPart) / double(frequency.QuadPart);
}

// One read of the whole file as the product opens it: ReadEd2k with at most `hashers` hashers, or
// with none at all, only its reading, into as many chunk buffers in turn as the hashers would use.
double ReadOnce(const wchar_t* path, unsigned hashers, uint8_t** buffers, std::string& digestHex) {
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return -1;
    LARGE_INTEGER size, t0, t1;
    GetFileSizeEx(file, &size);
    uint64_t total = 0;
    Ed2kReadEnd end = Ed2kReadEnd::kWhole;
    QueryPerformanceCounter(&t0);
    if (hashers) {
        uint32_t digest[4];
        end = ReadEd2k(file, uint64_t(size.QuadPart), kWatch, digest, total, hashers);
        char hex[33];
        std::snprintf(hex, sizeof hex, "%08X%08X%08X%08X", digest[0], digest[1], digest[2], digest[3]);
        digestHex = hex;
    } else {
        const unsigned count = Ed2kHashers() + 2;
        uint32_t length = ED2K_CHUNK_SIZE;
        for (unsigned k = 0; end == Ed2kReadEnd::kWhole && length == ED2K_CHUNK_SIZE; k = (k + 1) % count)
            end = ReadEd2kBlock(file, buffers[k], ED2K_CHUNK_SIZE, kWatch, total, length);
    }
    QueryPerformanceCounter(&t1);
    CloseHandle(file);
    return end == Ed2kReadEnd::kWhole && total == uint64_t(size.QuadPart) ? Seconds(t0, t1) : -1;
}

// One hasher, all of them and reading alone, taking turns, best of `rounds` each.
int Apart(int rounds, const wchar_t* path) {
    const unsigned all = Ed2kHashers();
    uint8_t* buffers[16];
    for (unsigned k = 0; k < all + 2; ++k)
        if (!(buffers[k] = static_cast<uint8_t*>(std::malloc(ED2K_CHUNK_SIZE)))) return 1;
    const unsigned kinds[3] = {1, all, 0};
    double best[3] = {1e30, 1e30, 1e30};
    std::string digests[3];
    for (int r = 0; r < rounds; ++r) {
        for (int i = 0; i < 3; ++i) {
            const double s = ReadOnce(path, kinds[i], buffers, digests[i]);
            if (s < 0) return 1;
            if (s < best[i]) best[i] = s;
        }
    }
    for (unsigned k = 0; k < all + 2; ++k) std::free(buffers[k]);
    if (digests[0] != digests[1]) {
        std::fprintf(stderr, "1 hasher gives %s, %u give %s\n", digests[0].c_str(), all, digests[1].c_str());
        return 1;
    }
    std::printf("1 hasher %.3f s, %u hashers %.3f s: speed-up %.2f; reading alone %.3f s: hash %.2f x reading; %s\n",
                best[0], all, best[1], best[0] / best[1], best[2], best[1] / best[2], digests[1].c_str());
    return 0;
}

}  // namespace

// Usage: ed2k_file_bench_win ROUNDS FILE...  One line per file, best of ROUNDS calls.
//        ed2k_file_bench_win --apart ROUNDS FILE
int wmain(int argc, wchar_t** argv) {
    if (argc == 4 && std::wstring(argv[1]) == L"--apart") return Apart(_wtoi(argv[2]), argv[3]);
    if (argc < 3) {
        std::fprintf(stderr, "usage: ed2k_file_bench_win ROUNDS FILE... | --apart ROUNDS FILE\n");
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
        std::printf("%llu bytes: %.3f s, %.1f MiB/s, %u hashers, peak working set %lu KiB before, %lu KiB after, %s\n",
                    size, best, double(size) / 1048576.0 / best, Ed2kHashers(), (unsigned long)peakBefore,
                    (unsigned long)peakAfter, Narrow(dialog.Text(IDC_ED2K_LINK)).c_str());
        std::fflush(stdout);
    }
    return dialog.Close() ? 0 : 1;
}
