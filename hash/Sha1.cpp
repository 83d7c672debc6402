// SHA-1 compression and the byte-at-a-time span hasher behind the info-hash.
#include "hash/Sha1.h"

namespace {

inline uint32_t Rol(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

}  // namespace

void Sha1Transform(Sha1Context& ctx) {
    uint32_t w[80];
    for (int t = 0; t < 16; ++t) {
        const uint8_t* p = ctx.block + 4 * t;
        w[t] = uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
    }
    for (int t = 16; t < 80; ++t) w[t] = Rol(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);

    uint32_t a = ctx.h[0], b = ctx.h[1], c = ctx.h[2], d = ctx.h[3], e = ctx.h[4];
    for (int t = 0; t < 80; ++t) {
        uint32_t f, k;
        if (t < 20) {
            f = (b & c) | (~b & d);
            k = 0x5A827999;
        } else if (t < 40) {
            f = b ^ c ^ d;
            k = 0x6ED9EBA1;
        } else if (t < 60) {
            f = (b & c) | (b & d) | (c & d);
            k = 0x8F1BBCDC;
        } else {
            f = b ^ c ^ d;
            k = 0xCA62C1D6;
        }
        uint32_t temp = Rol(a, 5) + f + e + w[t] + k;
        e = d;
        d = c;
        c = Rol(b, 30);
        b = a;
        a = temp;
    }
    ctx.h[0] += a;
    ctx.h[1] += b;
    ctx.h[2] += c;
    ctx.h[3] += d;
    ctx.h[4] += e;
    ctx.blockFill = 0;
}

// Spans are at most a few MiB (a torrent's info dictionary), so the byte-wise feed
// costs nothing noticeable and keeps the padding logic in one obvious place.
void Sha1HashSpan(Sha1Context& ctx, const uint8_t* data, uint32_t length) {
    ctx.bitCountLow = ctx.bitCountHigh = 0;
    ctx.blockFill = 0;
    ctx.h[0] = 0x67452301;
    ctx.h[1] = 0xEFCDAB89;
    ctx.h[2] = 0x98BADCFE;
    ctx.h[3] = 0x10325476;
    ctx.h[4] = 0xC3D2E1F0;

    for (uint32_t i = 0; i < length; ++i) {
        ctx.bitCountLow += 8;
        if (ctx.bitCountLow < 8) ++ctx.bitCountHigh;
        ctx.block[ctx.blockFill++] = data[i];
        if (ctx.blockFill == 64) Sha1Transform(ctx);
    }

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
