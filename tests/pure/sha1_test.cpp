// SHA-1 against FIPS 180-1 vectors and the padding boundaries.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hash/Sha1.h"
#include "pure/HexUtil.h"

namespace {

std::string Sha1Hex(const std::string& message) {
    Sha1Context ctx;
    Sha1HashSpan(ctx, reinterpret_cast<const uint8_t*>(message.data()), uint32_t(message.size()));
    return Words08X(ctx.h, 5);
}

struct Vector {
    std::string message;
    const char* digest;
};

TEST(Sha1, StandardVectors) {
    const Vector vectors[] = {
        {"", "DA39A3EE5E6B4B0D3255BFEF95601890AFD80709"},
        {"abc", "A9993E364706816ABA3E25717850C26C9CD0D89D"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", "84983E441C3BD26EBAAE4AA1F95129E5E54670F1"},
        {"The quick brown fox jumps over the lazy dog", "2FD4E1C67A2D28FCED849EE1BB76E7391B93EB12"},
        {std::string(1000000, 'a'), "34AA973CD4C4DAA4F61EEB2BDBAD27316534016F"},
    };
    for (const Vector& v : vectors) EXPECT_EQ(Sha1Hex(v.message), v.digest) << v.message.size() << " bytes";
}

// 55 bytes leave room for the 0x80 and the length in one block; 56..63 need a second one.
TEST(Sha1, PaddingBoundaries) {
    const Vector vectors[] = {
        {std::string(55, 'a'), "C1C8BBDC22796E28C0E15163D20899B65621D65A"},
        {std::string(56, 'a'), "C2DB330F6083854C99D4B5BFB6E8F29F201BE699"},
        {std::string(63, 'a'), "03F09F5B158A7A8CDAD920BDDC29B81C18A551F5"},
        {std::string(64, 'a'), "0098BA824B5C16427BD7A1122A5A442A25EC644D"},
        {std::string(65, 'a'), "11655326C708D70319BE2610E8A57D9A5B959D3B"},
    };
    for (const Vector& v : vectors) EXPECT_EQ(Sha1Hex(v.message), v.digest) << v.message.size() << " bytes";
}

TEST(Sha1, WordsPrintAsTheDigestBytes) {
    Sha1Context ctx;
    const uint8_t abc[] = {'a', 'b', 'c'};
    Sha1HashSpan(ctx, abc, 3);
    uint8_t bytes[20];
    Sha1DigestBytes(ctx.h, bytes);
    EXPECT_EQ(HexUpper(bytes, 20), Words08X(ctx.h, 5));
    EXPECT_EQ(bytes[0], 0xA9);
    EXPECT_EQ(bytes[19], 0x9D);
}

// The context is reused for every torrent: nothing from a previous span may leak in.
TEST(Sha1, ContextReuse) {
    Sha1Context ctx;
    std::vector<uint8_t> junk(1000, 0x5A);
    Sha1HashSpan(ctx, junk.data(), uint32_t(junk.size()));
    Sha1HashSpan(ctx, nullptr, 0);
    EXPECT_EQ(Words08X(ctx.h, 5), "DA39A3EE5E6B4B0D3255BFEF95601890AFD80709");
}

}  // namespace
