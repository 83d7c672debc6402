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
// read.  `size` is what the file measured when its hash began: it chooses how to read, never how
// far.  kWhole leaves the digest (four words, as Ed2kFinal gives them) and the bytes read;
// kFailed is a read that failed, kStopped a stop asked for by `watch`.  A file of more than one
// chunk is hashed by up to Ed2kHashers() threads besides this one, which have all ended when it
// returns; `hashers`, when not 0, allows fewer (the benchmark compares, the program never sets it).
Ed2kReadEnd ReadEd2k(HANDLE file, uint64_t size, const Ed2kReadWatch& watch, uint32_t digest[4], uint64_t& total,
                     unsigned hashers = 0);

// How many threads hash a file of more than one chunk: one per logical processor, at most 8.
unsigned Ed2kHashers();

// One buffer's worth of ReadEd2k's reading: fills `buffer` with up to `capacity` bytes, in reads of
// at most 1 MiB that ask `watch` as ReadEd2k does, and adds them to `total`.  kWhole with a
// `length` below `capacity` is the end of the file.
Ed2kReadEnd ReadEd2kBlock(HANDLE file, uint8_t* buffer, uint32_t capacity, const Ed2kReadWatch& watch, uint64_t& total,
                          uint32_t& length);
