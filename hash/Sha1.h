// SHA-1 (FIPS 180-1) over one contiguous span; the five state words are the torrent info-hash.
#pragma once

#include <cstdint>

struct Sha1Context {
    uint32_t h[5];          // h0..h4: chaining state, the digest once a span is hashed
    uint32_t bitCountLow;
    uint32_t bitCountHigh;
    uint32_t blockFill;     // bytes now in block, 0..64
    uint8_t block[64];
};

// Compresses the full block into h0..h4 and empties the block.
void Sha1Transform(Sha1Context& ctx);

// Leaves the SHA-1 digest of data[0..length) in ctx.h.
void Sha1HashSpan(Sha1Context& ctx, const uint8_t* data, uint32_t length);

// Digest byte 4k+j is byte j, most significant first, of word hk.
void Sha1DigestBytes(const uint32_t h[5], uint8_t out[20]);
