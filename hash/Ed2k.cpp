// The ed2k hash over a stream of any length, fed in pieces of any size.
#include "hash/Ed2k.h"

namespace {

inline uint32_t Swap32(uint32_t x) {
    return (x >> 24) | ((x >> 8) & 0xFF00u) | ((x << 8) & 0xFF0000u) | (x << 24);
}

// The digest as it lies in memory: A, B, C, D, each least significant byte first.
void DigestBytes(const Md4Context& ctx, uint8_t out[16]) {
    for (int w = 0; w < 4; ++w)
        for (int i = 0; i < 4; ++i) out[4 * w + i] = uint8_t(ctx.state[w] >> (8 * i));
}

void AddChunkDigest(Ed2kContext& ctx) {
    uint8_t digest[16];
    Md4Final(ctx.chunk);
    DigestBytes(ctx.chunk, digest);
    Md4Update(ctx.root, digest, 16);
}

}  // namespace

void Ed2kInit(Ed2kContext& ctx) {
    ctx.bytesInChunk = 0;
    ctx.chunkCount = 0;
    Md4Init(ctx.chunk);
    Md4Init(ctx.root);
}

void Ed2kUpdate(Ed2kContext& ctx, const uint8_t* data, uint64_t length) {
    while (length > 0) {
        const uint32_t room = ED2K_CHUNK_SIZE - ctx.bytesInChunk;
        const uint32_t take = length < room ? uint32_t(length) : room;
        Md4Update(ctx.chunk, data, take);
        ctx.bytesInChunk += take;
        if (ctx.bytesInChunk == ED2K_CHUNK_SIZE) {
            ctx.bytesInChunk = 0;
            ++ctx.chunkCount;
            AddChunkDigest(ctx);
            Md4Init(ctx.chunk);
        }
        length -= take;
        data += take;
    }
}

// A chunk is closed the moment it is full, so a stream of exactly n * 9,728,000 bytes
// (n > 0) still has an open, empty chunk here, and the MD4 of the empty message joins the
// root hash as its last chunk digest.  eMule and RHash agree on this, and so must we, or
// our links would name different files than theirs.  Only a stream that never filled a
// chunk is hashed as plain MD4.
void Ed2kFinal(Ed2kContext& ctx, uint32_t digest[4]) {
    const Md4Context* result = &ctx.chunk;
    if (ctx.chunkCount != 0) {
        AddChunkDigest(ctx);
        Md4Final(ctx.root);
        result = &ctx.root;
    } else {
        Md4Final(ctx.chunk);
    }
    for (int i = 0; i < 4; ++i) digest[i] = Swap32(result->state[i]);
}
