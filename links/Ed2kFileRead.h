// Reading a file from disk for its ed2k hash, on the hash worker's thread.
#pragma once

#include <windows.h>

#include <cstdint>

// What the reader reports to its caller as it goes, on the reading thread.
struct Ed2kReadWatch {
    // Asked before every read: true ends the read at once.
    bool (*stopped)(void* context);
    // After every read, with the bytes read so far: false ends the read at once.
    bool (*progress)(void* context, uint64_t bytesRead);
    void* context;
};

enum class Ed2kReadEnd { kWhole, kFailed, kStopped };

// Reads `file` from where it stands to its end, in one sequential stream, and hashes every byte
// read.  kWhole leaves the digest (four words, as Ed2kFinal gives them) and the bytes read;
// kFailed is a read that failed, kStopped a stop asked for by `watch`.
Ed2kReadEnd ReadEd2k(HANDLE file, const Ed2kReadWatch& watch, uint32_t digest[4], uint64_t& total);
