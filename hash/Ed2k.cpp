// The ed2k hash over a stream of any length, fed in pieces of any size, or chunk by chunk.
#include "hash/Ed2k.h"

namespace {

// The digest as it lies in memory: A, B, C, D, each least significant byte first.
void DigestBytes(const Md4Context& ctx, uint8_t out[16]) {
    for (int w = 0; w < 4; ++w)
        for (int i = 0; i < 4; ++i) out[4 * w + i] = uint8_t(ctx.state[w] >> (8 * i));
}

void CloseChunk(Ed2kContext& ctx, uint8_t digest[16]) {
    Md4Final(ctx.chunk);
    DigestBytes(ctx.chunk, digest);
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
            uint8_t digest[16];
            CloseChunk(ctx, digest);
            Ed2kAddChunk(ctx, digest);
            Md4Init(ctx.chunk);
        }
        length -= take;
        data += take;
    }
}

void Ed2kFinal(Ed2kContext& ctx, uint32_t digest[4]) {
    uint8_t last[16];
    CloseChunk(ctx, last);
    Ed2kFinalWith(ctx, last, digest);
}

void Ed2kChunkDigest(const uint8_t* data, uint32_t length, uint8_t digest[16]) {
    Md4Context md4;
    Md4Init(md4);
    Md4Update(md4, data, length);
    Md4Final(md4);
    DigestBytes(md4, digest);
}

void Ed2kAddChunk(Ed2kContext& ctx, const uint8_t chunkDigest[16]) {
    ++ctx.chunkCount;
    Md4Update(ctx.root, chunkDigest, 16);
}

// A chunk is closed the moment it is full, so a stream of exactly n * 9,728,000 bytes
// (n > 0) still has an open, empty chunk at its end, and the MD4 of the empty message joins the
// root hash as its last chunk digest.  eMule and RHash agree on this, and so must we, or
// our links would name different files than theirs.  Only a stream that never filled a
// chunk is hashed as plain MD4.
void Ed2kFinalWith(Ed2kContext& ctx, const uint8_t lastDigest[16], uint32_t digest[4]) {
    uint8_t root[16];
    const uint8_t* result = lastDigest;
    if (ctx.chunkCount != 0) {
        Md4Update(ctx.root, lastDigest, 16);
        Md4Final(ctx.root);
        DigestBytes(ctx.root, root);
        result = root;
    }
    // Most significant byte first, so that %08X prints the bytes in order.
    for (int i = 0; i < 4; ++i)
        digest[i] = uint32_t(result[4 * i]) << 24 | uint32_t(result[4 * i + 1]) << 16 |
                    uint32_t(result[4 * i + 2]) << 8 | result[4 * i + 3];
}
