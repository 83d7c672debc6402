// Paths of any length, as the file functions take them.
#pragma once

#include <windows.h>

// `path` (full or relative) in the form CreateFileW and DeleteFileW open at any length: as it is
// when it fits MAX_PATH, else the "\\?\" form of its full path ("\\?\UNC\" for a share), which
// every Windows since XP takes without the long-path setting most users don't have.
class LongPath {
public:
    explicit LongPath(const wchar_t* path);
    ~LongPath();
    LongPath(const LongPath&) = delete;
    LongPath& operator=(const LongPath&) = delete;

    const wchar_t* get() const { return long_ ? long_ : path_; }

private:
    const wchar_t* path_;
    wchar_t* long_ = nullptr;
};

// The full path of `path` (relative to the current folder), in memory for the caller to free;
// nullptr when it can't be made.
wchar_t* FullPath(const wchar_t* path);
