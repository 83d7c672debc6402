// Base32 encoder for exactly 160 bits: 32 characters, never any padding.
#include "links/Base32.h"

const char kBase32Alphabet[33] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567";

void Base32Encode20(const uint8_t bytes[20], char out[33]) {
    uint32_t accumulator = 0;
    int pending = 0;
    int pos = 0;
    for (int i = 0; i < 20; ++i) {
        accumulator = (accumulator << 8) | bytes[i];
        pending += 8;
        while (pending >= 5) {
            pending -= 5;
            out[pos++] = kBase32Alphabet[(accumulator >> pending) & 31];
        }
    }
    out[pos] = '\0';
}
