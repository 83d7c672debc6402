// Full paths and their "\\?\" form.
#include "app/LongPath.h"

#include <cstdlib>
#include <cwchar>

wchar_t* FullPath(const wchar_t* path) {
    const DWORD units = GetFullPathNameW(path, 0, nullptr, nullptr);
    if (units == 0) return nullptr;
    wchar_t* full = static_cast<wchar_t*>(std::malloc((units + 8) * sizeof(wchar_t)));  // room for "\\?\UNC\"
    if (!full) return nullptr;
    const DWORD got = GetFullPathNameW(path, units, full, nullptr);
    if (got == 0 || got >= units) {
        std::free(full);
        return nullptr;
    }
    return full;
}

LongPath::LongPath(const wchar_t* path) : path_(path) {
    if (std::wcsncmp(path, L"\\\\?\\", 4) == 0) return;
    wchar_t* full = FullPath(path);
    if (!full) return;
    const size_t n = std::wcslen(full);
    // Short ones stay as they are: the "\\?\" form skips the normalisation that a short path
    // may rely on, and gains it nothing.
    if (n < MAX_PATH) {
        std::free(full);
        return;
    }
    if (full[0] == L'\\' && full[1] == L'\\') {
        // \\server\share\... becomes \\?\UNC\server\share\...; a device path (\\.\) stays.
        if (full[2] != L'.' && full[2] != L'?') {
            std::wmemmove(full + 8, full + 2, n - 1);
            std::wmemcpy(full, L"\\\\?\\UNC\\", 8);
        }
    } else {
        std::wmemmove(full + 4, full, n + 1);
        std::wmemcpy(full, L"\\\\?\\", 4);
    }
    long_ = full;
}

LongPath::~LongPath() { std::free(long_); }
