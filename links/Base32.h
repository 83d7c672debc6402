// RFC 4648 base32 of the 20-byte info-hash, as the short magnet link shows it.
#pragma once

#include <cstdint>

extern const char kBase32Alphabet[33];

// Writes the 32 characters for the 20 bytes and a terminator after them.
void Base32Encode20(const uint8_t bytes[20], char out[33]);
