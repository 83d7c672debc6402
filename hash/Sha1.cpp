// SHA-1 compression and the byte-at-a-time span hasher behind the info-hash.
#include "hash/Sha1.h"

#include <cstring>

namespace {

inline uint32_t Rol(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

}  // namespace

// Four loops of twenty with the round function fixed in each, so the compiler sees straight-
// line code; the schedule is kept as a rolling window of sixteen words.
void Sha1Transform(Sha1Context& ctx) {
    uint32_t w[16];
    for (int t = 0; t < 16; ++t) {
        const uint8_t* p = ctx.block + 4 * t;
        w[t] = uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
    }
    uint32_t a = ctx.h[0], b = ctx.h[1], c = ctx.h[2], d = ctx.h[3], e = ctx.h[4];
    auto word = [&w](int t) {
        if (t < 16) return w[t];
        const uint32_t x = Rol(w[(t - 3) & 15] ^ w[(t - 8) & 15] ^ w[(t - 14) & 15] ^ w[t & 15], 1);
        w[t & 15] = x;
        return x;
    };
    auto step = [&](uint32_t f, uint32_t k, uint32_t wt) {
        const uint32_t temp = Rol(a, 5) + f + e + wt + k;
        e = d;
        d = c;
        c = Rol(b, 30);
        b = a;
        a = temp;
    };
    for (int t = 0; t < 20; ++t) step(d ^ (b & (c ^ d)), 0x5A827999, word(t));
    for (int t = 20; t < 40; ++t) step(b ^ c ^ d, 0x6ED9EBA1, word(t));
    for (int t = 40; t < 60; ++t) step((b & c) | (d & (b | c)), 0x8F1BBCDC, word(t));
    for (int t = 60; t < 80; ++t) step(b ^ c ^ d, 0xCA62C1D6, word(t));
    ctx.h[0] += a;
    ctx.h[1] += b;
    ctx.h[2] += c;
    ctx.h[3] += d;
    ctx.h[4] += e;
    ctx.blockFill = 0;
}

// Whole blocks go through the block buffer in one copy each; the tail and the padding are
// written byte by byte, which keeps the padding logic in one obvious place.
void Sha1HashSpan(Sha1Context& ctx, const uint8_t* data, uint32_t length) {
    const uint64_t bits = uint64_t(length) * 8;
    ctx.bitCountLow = uint32_t(bits);
    ctx.bitCountHigh = uint32_t(bits >> 32);
    ctx.blockFill = 0;
    ctx.h[0] = 0x67452301;
    ctx.h[1] = 0xEFCDAB89;
    ctx.h[2] = 0x98BADCFE;
    ctx.h[3] = 0x10325476;
    ctx.h[4] = 0xC3D2E1F0;

    uint32_t i = 0;
    for (; length - i >= 64; i += 64) {
        std::memcpy(ctx.block, data + i, 64);
        Sha1Transform(ctx);
    }
    for (; i < length; ++i) ctx.block[ctx.blockFill++] = data[i];

    uint32_t n = ctx.blockFill;
    ctx.block[n] = 0x80;
    ctx.blockFill = n + 1;
    if (n >= 56) {
        while (ctx.blockFill < 64) ctx.block[ctx.blockFill++] = 0;
        Sha1Transform(ctx);
    }
    while (ctx.blockFill < 56) ctx.block[ctx.blockFill++] = 0;
    for (int i = 0; i < 4; ++i) {
        ctx.block[56 + i] = uint8_t(ctx.bitCountHigh >> (24 - 8 * i));
        ctx.block[60 + i] = uint8_t(ctx.bitCountLow >> (24 - 8 * i));
    }
    Sha1Transform(ctx);
}

void Sha1DigestBytes(const uint32_t h[5], uint8_t out[20]) {
    for (int k = 0; k < 5; ++k)
        for (int j = 0; j < 4; ++j) out[4 * k + j] = uint8_t(h[k] >> (24 - 8 * j));
}
