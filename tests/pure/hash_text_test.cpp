// The hash text reader over a table of texts, each success checked against an independent
// rendering of the bytes expected.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>

#include "links/HashText.h"
#include "pure/HexUtil.h"

namespace {

// Digest of SHA-1("abc"): holds 0, 1, 8 and 9 early, so no prefix of it is base32.
const uint8_t kAbc[20] = {0xA9, 0x99, 0x3E, 0x36, 0x47, 0x06, 0x81, 0x6A, 0xBA, 0x3E,
                          0x25, 0x71, 0x78, 0x50, 0xC2, 0x6C, 0x9C, 0xD0, 0xD8, 0x9D};

std::string Lower(std::string s) {
    for (char& c : s) c = char(tolower(uint8_t(c)));
    return s;
}

std::string Hex() { return HexUpper(kAbc, 20); }
std::string B32() { return Base32Reference(kAbc, 20); }

// Runs one text through both the char16_t and the wchar_t instantiation, which must agree;
// returns the result and leaves the digest in `out` (pre-filled with a marker).
int Parse(const std::string& text, uint8_t out[20], bool link) {
    std::u16string t16(text.begin(), text.end());
    std::wstring tw(text.begin(), text.end());
    uint8_t other[20];
    memset(out, 0xEE, 20);
    memset(other, 0xEE, 20);
    int r = link ? ParseLinkText(t16.c_str(), out) : ParseHashText(t16.c_str(), out);
    int rw = link ? ParseLinkText(tw.c_str(), other) : ParseHashText(tw.c_str(), other);
    EXPECT_EQ(r, rw) << text;
    EXPECT_EQ(memcmp(out, other, 20), 0) << text;
    return r;
}

struct Case {
    const char* what;
    std::string text;
    bool link;  // through ParseLinkText (the field's whole text, lowered) or ParseHashText
    bool ok;
    std::string hexExpected;  // the digest as HexUpper renders it, for successes
};

TEST(HashText, Table) {
    const std::string hex = Hex(), b32 = B32();
    // 32 characters from a-f and 2-7 only: a hex pass reaches the terminator, so base32.
    const std::string ambiguous = "abcdef234567abcdef234567abcdef23";
    uint8_t ambiguousBytes[20];
    {
        // Independent decode: RFC 4648 values through a string of bits.
        std::string bits;
        for (char c : ambiguous) {
            int v = c >= 'a' ? c - 'a' : c - '2' + 26;
            for (int b = 4; b >= 0; --b) bits += char('0' + ((v >> b) & 1));
        }
        for (int i = 0; i < 20; ++i) ambiguousBytes[i] = uint8_t(std::stoi(bits.substr(8 * i, 8), nullptr, 2));
        ASSERT_EQ(Lower(Base32Reference(ambiguousBytes, 20)), ambiguous);
    }
    const std::string noHash;
    const Case cases[] = {
        {"hex upper", hex, false, true, hex},
        {"hex lower", Lower(hex), false, true, hex},
        {"leading spaces", "   " + hex, false, true, hex},
        {"41st hex digit ignored", hex + "F", false, true, hex},
        {"trailing text ignored", hex + " junk", false, true, hex},
        {"base32 upper", b32, false, true, hex},
        {"base32 lower", Lower(b32), false, true, hex},
        {"base32 with spaces before", "  " + Lower(b32), false, true, hex},
        {"a-f 2-7 read as base32", ambiguous, false, true, HexUpper(ambiguousBytes, 20)},
        {"31 base32 chars", b32.substr(0, 31), false, false, noHash},
        {"39 hex digits, not base32", hex.substr(0, 39), false, false, noHash},
        {"base32 holding 0", b32.substr(0, 10) + "0" + b32.substr(11), false, false, noHash},
        {"base32 holding 1", b32.substr(0, 10) + "1" + b32.substr(11), false, false, noHash},
        {"base32 holding 8", b32.substr(0, 31) + "8", false, false, noHash},
        {"base32 holding 9", "9" + b32.substr(1), false, false, noHash},
        {"leading tab", "\t" + hex, false, false, noHash},
        {"empty", "", false, false, noHash},
        {"spaces only", "     ", false, false, noHash},
        {"magnet hex with dn and tr", Lower("magnet:?xt=urn:btih:" + hex + "&dn=Some%20Name&tr=udp://t.example:80"),
         true, true, hex},
        {"magnet base32 with dn and tr", Lower("magnet:?xt=urn:btih:" + b32 + "&dn=x&tr=http://t.example/announce"),
         true, true, hex},
        {"long link in the short field", Lower("magnet:?xt=urn:btih:" + hex), true, true, hex},
        {"short link in the long field", Lower("magnet:?xt=urn:btih:" + b32), true, true, hex},
        {"bare hash through the link reader", Lower(hex), true, true, hex},
        {"xt=urn without colons", "xt=urn" + Lower(hex), true, false, noHash},
        {"magnet with a cut hash", Lower("magnet:?xt=urn:btih:" + hex.substr(0, 30)), true, false, noHash},
        {"spaces after the kind", Lower("magnet:?xt=urn:btih:  " + hex), true, true, hex},
        {"magnet prefix is not a hash", "magnet:?", true, false, noHash},
        // Only a "btih" topic names a v1 info-hash; other kinds are passed over, to the next topic.
        {"v2 link: 1220 and 64 hex digits", Lower("magnet:?xt=urn:btmh:1220" + hex + hex.substr(0, 24)), true, false,
         noHash},
        {"hybrid, btmh first", Lower("magnet:?xt=urn:btmh:1220" + hex.substr(8) + hex.substr(0, 32) + "&xt=urn:btih:" + hex),
         true, true, hex},
        {"hybrid, btih first", Lower("magnet:?xt=urn:btih:" + b32 + "&xt=urn:btmh:1220" + hex + hex.substr(0, 24)),
         true, true, hex},
        {"a file's sha1", Lower("magnet:?xt=urn:sha1:" + b32 + "&dn=x"), true, false, noHash},
        {"a file's tiger tree", Lower("magnet:?xt=urn:tree:tiger:" + b32 + "abcdefg"), true, false, noHash},
        {"a file's sha1, then btih", Lower("magnet:?xt=urn:sha1:" + b32.substr(1) + "a&xt=urn:btih:" + hex), true, true,
         hex},
    };
    for (const Case& c : cases) {
        uint8_t out[20];
        const int r = Parse(c.text, out, c.link);
        EXPECT_EQ(r, c.ok ? 1 : 0) << c.what;
        if (c.ok && r) {
            EXPECT_EQ(HexUpper(out, 20), c.hexExpected) << c.what;
        } else if (!c.ok) {
            uint8_t marker[20];
            memset(marker, 0xEE, 20);
            EXPECT_EQ(memcmp(out, marker, 20), 0) << c.what << ": a failed decode touched the digest";
        }
    }
}

TEST(HashText, EveryByteValueRoundTrips) {
    // Hex and base32 of many digests, from the independent renderings, read back exactly.
    uint8_t bytes[20], out[20];
    for (int seed = 0; seed < 200; ++seed) {
        for (int i = 0; i < 20; ++i) bytes[i] = uint8_t(seed * 37 + i * 13 + (seed >> 3) * i);
        ASSERT_EQ(Parse(HexUpper(bytes, 20), out, false), 1);
        ASSERT_EQ(memcmp(out, bytes, 20), 0) << seed;
        ASSERT_EQ(Parse(Lower(Base32Reference(bytes, 20)), out, false), 1);
        ASSERT_EQ(memcmp(out, bytes, 20), 0) << seed;
    }
}

TEST(HashText, WordsReadAsTheEngineLeavesThem) {
    uint32_t h[5];
    DigestBytesToWords(kAbc, h);
    EXPECT_EQ(Words08X(h, 5), Hex());
}

TEST(HashText, HighUnitsAreNotDigits) {
    // Units whose low byte is a digit must not pass for one (U+0130, U+FF10, U+0161).
    uint8_t out[20];
    std::u16string t(40, u'a');
    t[5] = char16_t(0x0130);
    EXPECT_EQ(ParseHashText(t.c_str(), out), 0);
    t[5] = char16_t(0xFF10);
    EXPECT_EQ(ParseHashText(t.c_str(), out), 0);
    std::u16string s(32, u'a');
    s[7] = char16_t(0x0161);
    EXPECT_EQ(ParseHashText(s.c_str(), out), 0);
}

}  // namespace
