// MD4 against the RFC 1320 suite, its padding borders, and any way of feeding the bytes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hash/Md4.h"
#include "pure/HexUtil.h"

namespace {

std::string DigestHex(const Md4Context& ctx) {
    uint8_t bytes[16];
    for (int w = 0; w < 4; ++w)
        for (int i = 0; i < 4; ++i) bytes[4 * w + i] = uint8_t(ctx.state[w] >> (8 * i));
    return HexUpper(bytes, 16);
}

std::string Md4Hex(const uint8_t* data, size_t n, size_t split1 = 0, size_t split2 = 0) {
    Md4Context ctx;
    Md4Init(ctx);
    Md4Update(ctx, data, uint32_t(split1));
    Md4Update(ctx, data + split1, uint32_t(split2 - split1));
    Md4Update(ctx, data + split2, 0);
    Md4Update(ctx, data + split2, uint32_t(n - split2));
    Md4Final(ctx);
    return DigestHex(ctx);
}

std::string Md4Hex(const std::string& m) { return Md4Hex(reinterpret_cast<const uint8_t*>(m.data()), m.size()); }

struct Vector {
    std::string message;
    const char* digest;
};

TEST(Md4, Rfc1320Suite) {
    const Vector vectors[] = {
        {"", "31D6CFE0D16AE931B73C59D7E0C089C0"},
        {"a", "BDE52CB31DE33E46245E05FBDBD6FB24"},
        {"abc", "A448017AAF21D8525FC10AE87AA6729D"},
        {"message digest", "D9130A8164549FE818874806E1C7014B"},
        {"abcdefghijklmnopqrstuvwxyz", "D79E1C308AA5BBCDEEA8ED63DF412DA9"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "043F8582F241DB351CE627E153E7F0E4"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "E33B4DDC9C38F2199C3E7B164FCC0536"},
    };
    for (const Vector& v : vectors) EXPECT_EQ(Md4Hex(v.message), v.digest) << '"' << v.message << '"';
}

// 55 bytes take the padding and length in one block, 56..63 need a second; rhash --md4.
TEST(Md4, PaddingBorders) {
    const Vector vectors[] = {
        {std::string(55, 'a'), "C889C81DD86C4D2E025778944EA02881"},
        {std::string(56, 'a'), "D5F9A9E9257077A5F08B0B92F348B0AD"},
        {std::string(63, 'a'), "7EA3DA77432D44C323671097D1348FC8"},
        {std::string(64, 'a'), "52F5076FABD22680234A3FA9F9DC5732"},
        {std::string(65, 'a'), "330E377BF231F3CACFECC2C182FE7E5B"},
    };
    for (const Vector& v : vectors) EXPECT_EQ(Md4Hex(v.message), v.digest) << v.message.size() << " bytes";
}

// Every way of cutting the same bytes, from an odd address too, gives the one-shot digest.
TEST(Md4, AnySplitAnyAlignment) {
    std::vector<uint8_t> storage(300 + 1);
    for (size_t i = 0; i < storage.size(); ++i) storage[i] = uint8_t(i * 131 + 7);
    for (size_t n : {0u, 1u, 63u, 64u, 65u, 127u, 128u, 200u, 300u}) {
        const std::string expected = Md4Hex(storage.data(), n);
        for (size_t s1 = 0; s1 <= 64 && s1 <= n; ++s1) {
            ASSERT_EQ(Md4Hex(storage.data(), n, s1, s1), expected) << n << " bytes split at " << s1;
            for (size_t s2 = s1; s2 <= n && s2 <= s1 + 70; s2 += 7)
                ASSERT_EQ(Md4Hex(storage.data(), n, s1, s2), expected) << n << " bytes split at " << s1 << ',' << s2;
        }
        std::vector<uint8_t> shifted(storage.begin(), storage.begin() + n);
        shifted.insert(shifted.begin(), 0xEE);
        EXPECT_EQ(Md4Hex(shifted.data() + 1, n), expected) << n << " bytes from an odd address";
    }
}

// One byte at a time exercises the buffer path only; the length still counts every call.
TEST(Md4, ByteAtATimeMillionA) {
    Md4Context ctx;
    Md4Init(ctx);
    const uint8_t a = 'a';
    for (int i = 0; i < 1000000; ++i) Md4Update(ctx, &a, 1);
    Md4Final(ctx);
    EXPECT_EQ(DigestHex(ctx), "BBCE80CC6BB65E5C6745E30D4EECA9A4");
    EXPECT_EQ(ctx.bitCountLow, 8000000u + 8 * 64);  // the message plus the padding that ended it
}

}  // namespace
