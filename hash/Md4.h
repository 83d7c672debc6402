// MD4 (RFC 1320): context, init/update/final and the block compression.
#pragma once

#include <cstdint>

struct Md4Context {
    uint32_t state[4];  // A, B, C, D; the digest after Md4Final
    uint32_t bitCountLow;
    uint32_t bitCountHigh;
    uint8_t buffer[64];
};

void Md4Init(Md4Context& ctx);
void Md4Update(Md4Context& ctx, const uint8_t* data, uint32_t length);
// Leaves the digest in ctx.state (each word least significant byte first); does not clear ctx.
void Md4Final(Md4Context& ctx);
void Md4Transform(uint32_t state[4], const uint8_t block[64]);
