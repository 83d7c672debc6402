// The ed2k hash: MD4 per 9,728,000-byte chunk, then MD4 over the chunk digests.
#pragma once

#include <cstdint>

#include "hash/Md4.h"

constexpr uint32_t ED2K_CHUNK_SIZE = 9728000;

struct Ed2kContext {
    Md4Context chunk;
    Md4Context root;
    uint32_t bytesInChunk;
    uint32_t chunkCount;
};

void Ed2kInit(Ed2kContext& ctx);
void Ed2kUpdate(Ed2kContext& ctx, const uint8_t* data, uint64_t length);
// Four words, byte-swapped so that four %08X groups print the digest bytes in order.
void Ed2kFinal(Ed2kContext& ctx, uint32_t digest[4]);

// The same hash with the chunks hashed apart, each on its own, in any order or at once: a
// stream of n bytes has n / ED2K_CHUNK_SIZE whole chunks and then a last one of the bytes left,
// which holds none when n is an exact multiple.  Each chunk's digest is the 16 bytes the root
// hashes.  The whole chunks go to Ed2kAddChunk in stream order, then the last to Ed2kFinalWith,
// on a context that has been given no bytes.
void Ed2kChunkDigest(const uint8_t* data, uint32_t length, uint8_t digest[16]);
void Ed2kAddChunk(Ed2kContext& ctx, const uint8_t chunkDigest[16]);
void Ed2kFinalWith(Ed2kContext& ctx, const uint8_t lastDigest[16], uint32_t digest[4]);
