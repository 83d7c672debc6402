// Independent renderings that the tests compare the product's output against.
#pragma once

#include <cstdint>
#include <string>

inline std::string HexUpper(const uint8_t* bytes, size_t n) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (size_t i = 0; i < n; ++i) {
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 15];
    }
    return out;
}

// RFC 4648 base32 through a string of bits, nothing like the product's accumulator.
inline std::string Base32Reference(const uint8_t* bytes, size_t n) {
    std::string bits;
    for (size_t i = 0; i < n; ++i)
        for (int b = 7; b >= 0; --b) bits += char('0' + ((bytes[i] >> b) & 1));
    while (bits.size() % 5) bits += '0';
    std::string out;
    for (size_t i = 0; i < bits.size(); i += 5) out += "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567"[std::stoi(bits.substr(i, 5), nullptr, 2)];
    return out;
}

inline std::string Words08X(const uint32_t* words, int n) {
    std::string out;
    char group[9];
    for (int i = 0; i < n; ++i) {
        for (int d = 0; d < 8; ++d) group[d] = "0123456789ABCDEF"[(words[i] >> (28 - 4 * d)) & 15];
        group[8] = '\0';
        out += group;
    }
    return out;
}
