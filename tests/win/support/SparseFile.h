// A file of zeros that takes no room on the disk, for hashes of tens of GiB.  Header-only, so that
// the i686 smoke program, which has no test support library, uses it as the twin's tests do.
#pragma once

#include <windows.h>
#include <winioctl.h>

#include <string>

inline bool SparseFile(const std::wstring& path, long long size) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD ignored;
    DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
    LARGE_INTEGER end;
    end.QuadPart = size;
    const bool ok = SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    CloseHandle(file);
    return ok;
}
