// MD4 after RFC 1320.  The transform is written out step by step: MD4 is one long chain of
// dependent additions, so the only speed to be had is keeping every word in a register and
// letting the compiler schedule the message loads and the boolean functions around the chain.
#include "hash/Md4.h"

#include <cstring>

namespace {

const uint8_t kPadding[64] = {0x80};

inline uint32_t Rol(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

// Little-endian whatever the host: compilers fold the four loads into one on x86.
inline uint32_t Load32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// In every step b is the word computed just before, c and d are older, so the chain only
// waits for b: everything built from c and d alone is ready in time.  F is the select
// d ^ (b & (c ^ d)).  The majority G is split into two parts that never share a bit,
// (c & d) + (b & (c ^ d)), so the part without b joins the sum early and b costs one AND
// and one addition instead of the OR, AND, OR of the RFC's form.  H takes b last.
#define MD4_F(b, c, d) ((d) ^ ((b) & ((c) ^ (d))))
#define MD4_H(b, c, d) ((b) ^ ((c) ^ (d)))

#define R1(a, b, c, d, k, s) a = Rol(a + x[k] + MD4_F(b, c, d), s)
#define R2(a, b, c, d, k, s) a = Rol(a + x[k] + 0x5A827999u + ((c) & (d)) + ((b) & ((c) ^ (d))), s)
#define R3(a, b, c, d, k, s) a = Rol(a + x[k] + 0x6ED9EBA1u + MD4_H(b, c, d), s)

}  // namespace

void Md4Transform(uint32_t state[4], const uint8_t block[64]) {
    uint32_t x[16];
    for (int i = 0; i < 16; ++i) x[i] = Load32(block + 4 * i);
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];

    R1(a, b, c, d, 0, 3);  R1(d, a, b, c, 1, 7);  R1(c, d, a, b, 2, 11);  R1(b, c, d, a, 3, 19);
    R1(a, b, c, d, 4, 3);  R1(d, a, b, c, 5, 7);  R1(c, d, a, b, 6, 11);  R1(b, c, d, a, 7, 19);
    R1(a, b, c, d, 8, 3);  R1(d, a, b, c, 9, 7);  R1(c, d, a, b, 10, 11); R1(b, c, d, a, 11, 19);
    R1(a, b, c, d, 12, 3); R1(d, a, b, c, 13, 7); R1(c, d, a, b, 14, 11); R1(b, c, d, a, 15, 19);

    R2(a, b, c, d, 0, 3);  R2(d, a, b, c, 4, 5);  R2(c, d, a, b, 8, 9);   R2(b, c, d, a, 12, 13);
    R2(a, b, c, d, 1, 3);  R2(d, a, b, c, 5, 5);  R2(c, d, a, b, 9, 9);   R2(b, c, d, a, 13, 13);
    R2(a, b, c, d, 2, 3);  R2(d, a, b, c, 6, 5);  R2(c, d, a, b, 10, 9);  R2(b, c, d, a, 14, 13);
    R2(a, b, c, d, 3, 3);  R2(d, a, b, c, 7, 5);  R2(c, d, a, b, 11, 9);  R2(b, c, d, a, 15, 13);

    R3(a, b, c, d, 0, 3);  R3(d, a, b, c, 8, 9);  R3(c, d, a, b, 4, 11);  R3(b, c, d, a, 12, 15);
    R3(a, b, c, d, 2, 3);  R3(d, a, b, c, 10, 9); R3(c, d, a, b, 6, 11);  R3(b, c, d, a, 14, 15);
    R3(a, b, c, d, 1, 3);  R3(d, a, b, c, 9, 9);  R3(c, d, a, b, 5, 11);  R3(b, c, d, a, 13, 15);
    R3(a, b, c, d, 3, 3);  R3(d, a, b, c, 11, 9); R3(c, d, a, b, 7, 11);  R3(b, c, d, a, 15, 15);

    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
}

void Md4Init(Md4Context& ctx) {
    ctx.bitCountLow = ctx.bitCountHigh = 0;
    ctx.state[0] = 0x67452301;
    ctx.state[1] = 0xEFCDAB89;
    ctx.state[2] = 0x98BADCFE;
    ctx.state[3] = 0x10325476;
}

void Md4Update(Md4Context& ctx, const uint8_t* data, uint32_t length) {
    if (length == 0) return;  // also keeps memcpy away from a null pointer
    uint32_t index = (ctx.bitCountLow >> 3) & 63;
    // The count is 64 bits of which the low word takes 8 * length modulo 2^32; the carry of
    // that addition and the three bits shifted out of length go to the high word.
    const uint32_t bits = length << 3;
    ctx.bitCountLow += bits;
    if (ctx.bitCountLow < bits) ++ctx.bitCountHigh;
    ctx.bitCountHigh += length >> 29;

    uint32_t i = 0;
    const uint32_t partLen = 64 - index;
    if (length >= partLen) {
        std::memcpy(ctx.buffer + index, data, partLen);
        Md4Transform(ctx.state, ctx.buffer);
        for (i = partLen; i + 63 < length; i += 64) Md4Transform(ctx.state, data + i);
        index = 0;
    }
    std::memcpy(ctx.buffer + index, data + i, length - i);
}

void Md4Final(Md4Context& ctx) {
    uint8_t bits[8];
    for (int i = 0; i < 4; ++i) {
        bits[i] = uint8_t(ctx.bitCountLow >> (8 * i));
        bits[4 + i] = uint8_t(ctx.bitCountHigh >> (8 * i));
    }
    const uint32_t index = (ctx.bitCountLow >> 3) & 63;
    const uint32_t padLen = index < 56 ? 56 - index : 120 - index;
    Md4Update(ctx, kPadding, padLen);
    Md4Update(ctx, bits, 8);
}
