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
