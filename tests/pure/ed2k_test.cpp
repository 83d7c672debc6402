// The ed2k hash: the eMule convention at the chunk borders, and feeding in any pieces.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hash/Ed2k.h"
#include "pure/HexUtil.h"

namespace {

// Feeds `data` cut at the given offsets (each one also gets a zero-length update).
std::string Ed2kHex(const uint8_t* data, uint64_t n, const std::vector<uint64_t>& cuts = {}) {
    Ed2kContext ctx;
    Ed2kInit(ctx);
    uint64_t at = 0;
    for (uint64_t cut : cuts) {
        Ed2kUpdate(ctx, data + at, cut - at);
        Ed2kUpdate(ctx, data + cut, 0);
        at = cut;
    }
    Ed2kUpdate(ctx, data + at, n - at);
    uint32_t digest[4];
    Ed2kFinal(ctx, digest);
    return Words08X(digest, 4);
}

std::string Md4Bytes(const uint8_t* data, uint32_t n, uint8_t out[16]) {
    Md4Context ctx;
    Md4Init(ctx);
    Md4Update(ctx, data, n);
    Md4Final(ctx);
    for (int w = 0; w < 4; ++w)
        for (int i = 0; i < 4; ++i) out[4 * w + i] = uint8_t(ctx.state[w] >> (8 * i));
    return HexUpper(out, 16);
}

// The one check every feeding path must pass: one shot, every split from 0 to 64, splits
// on both sides of each chunk border, zero-length updates, and an odd start address.
void ExpectSameDigestHoweverFed(const std::vector<uint8_t>& bytes) {
    const uint64_t n = bytes.size();
    const std::string expected = Ed2kHex(bytes.data(), n);
    for (uint64_t s = 0; s <= 64 && s <= n; ++s)
        ASSERT_EQ(Ed2kHex(bytes.data(), n, {s}), expected) << n << " bytes, split at " << s;
    for (uint64_t border = ED2K_CHUNK_SIZE; border <= n; border += ED2K_CHUNK_SIZE)
        for (uint64_t s = border - 65; s <= border + 65 && s <= n; s += 13)
            ASSERT_EQ(Ed2kHex(bytes.data(), n, {s, s + 1 > n ? n : s + 1}), expected) << n << " bytes, split at " << s;
    std::vector<uint64_t> many;
    for (uint64_t s = 1000003; s < n; s += 1000003) many.push_back(s);
    ASSERT_EQ(Ed2kHex(bytes.data(), n, many), expected) << n << " bytes in ~1 MB pieces";
    std::vector<uint8_t> shifted(n + 3);
    std::copy(bytes.begin(), bytes.end(), shifted.begin() + 3);
    ASSERT_EQ(Ed2kHex(shifted.data() + 3, n), expected) << n << " bytes from a misaligned address";
}

std::vector<uint8_t> Pattern(size_t n) {
    std::vector<uint8_t> v(n);
    uint32_t x = 12345;
    for (size_t i = 0; i < n; ++i) v[i] = uint8_t((x = x * 1103515245u + 12345u) >> 16);
    return v;
}

// Values of the eMule convention, as RHash computes them over zero bytes.
TEST(Ed2k, ZeroBytesAtTheChunkBorders) {
    const std::vector<uint8_t> zeros(2 * ED2K_CHUNK_SIZE);
    const struct {
        uint64_t size;
        const char* digest;
    } vectors[] = {
        {0, "31D6CFE0D16AE931B73C59D7E0C089C0"},
        {9727999, "AC44B93FC9AFF773AB0005C911F8396F"},
        {9728000, "FC21D9AF828F92A8DF64BEAC3357425D"},
        {9728001, "06329E9DBA1373512C06386FE29E3C65"},
        {19456000, "114B21C63A74B6CA922291A11177DD5C"},
    };
    for (const auto& v : vectors) EXPECT_EQ(Ed2kHex(zeros.data(), v.size), v.digest) << v.size << " zero bytes";
}

// The root hash is built from the chunk digests exactly as described, including the empty
// last chunk of an exact multiple.
TEST(Ed2k, RootIsMd4OfChunkDigests) {
    const std::vector<uint8_t> bytes = Pattern(ED2K_CHUNK_SIZE + 1);
    uint8_t chunks[32];
    Md4Bytes(bytes.data(), ED2K_CHUNK_SIZE, chunks);

    Md4Bytes(nullptr, 0, chunks + 16);
    uint8_t root[16];
    EXPECT_EQ(Ed2kHex(bytes.data(), ED2K_CHUNK_SIZE), Md4Bytes(chunks, 32, root));

    Md4Bytes(bytes.data() + ED2K_CHUNK_SIZE, 1, chunks + 16);
    EXPECT_EQ(Ed2kHex(bytes.data(), ED2K_CHUNK_SIZE + 1), Md4Bytes(chunks, 32, root));

    // Below one chunk it is plain MD4, printed in byte order.
    EXPECT_EQ(Ed2kHex(bytes.data(), 1000), Md4Bytes(bytes.data(), 1000, root));
}

TEST(Ed2k, SameDigestHoweverFed) {
    for (size_t n : {0u, 1u, 64u, 65u, 1000u}) ExpectSameDigestHoweverFed(Pattern(n));
    ExpectSameDigestHoweverFed(Pattern(2 * ED2K_CHUNK_SIZE + 100));
}

// One update longer than 4 GiB's worth of uint32 arithmetic is not testable in memory, but
// a single call across several chunks must cut at each border and keep counting.
TEST(Ed2k, OneCallSpanningChunks) {
    const std::vector<uint8_t> bytes = Pattern(3 * ED2K_CHUNK_SIZE);
    Ed2kContext ctx;
    Ed2kInit(ctx);
    Ed2kUpdate(ctx, bytes.data(), bytes.size() - 5);
    EXPECT_EQ(ctx.chunkCount, 2u);
    EXPECT_EQ(ctx.bytesInChunk, ED2K_CHUNK_SIZE - 5);
    Ed2kUpdate(ctx, bytes.data() + bytes.size() - 5, 5);
    EXPECT_EQ(ctx.chunkCount, 3u);
    EXPECT_EQ(ctx.bytesInChunk, 0u);
}

}  // namespace
