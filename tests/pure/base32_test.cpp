// Base32 of the info-hash against an independent rendering.
#include <gtest/gtest.h>

#include <cstring>

#include "links/Base32.h"
#include "pure/HexUtil.h"

namespace {

std::string Encode(const uint8_t bytes[20]) {
    char out[33];
    memset(out, 0x7F, sizeof out);
    Base32Encode20(bytes, out);
    EXPECT_EQ(out[32], '\0');
    return out;
}

TEST(Base32, MatchesReferenceAndAlphabet) {
    uint8_t bytes[20] = {};
    EXPECT_EQ(Encode(bytes), std::string(32, 'A'));
    memset(bytes, 0xFF, sizeof bytes);
    EXPECT_EQ(Encode(bytes), std::string(32, '7'));
    for (int seed = 0; seed < 256; ++seed) {
        for (int i = 0; i < 20; ++i) bytes[i] = uint8_t(seed * 31 + i * 97 + (seed ^ i));
        std::string got = Encode(bytes);
        ASSERT_EQ(got, Base32Reference(bytes, 20)) << seed;
        EXPECT_EQ(got.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ234567"), std::string::npos);
    }
}

}  // namespace
