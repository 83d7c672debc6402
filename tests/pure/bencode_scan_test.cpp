// The bencode walk: the events it reports, the outcome and the exact stop position of every
// malformed input, and the lenient rules kept on purpose.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "torrent/BencodeScan.h"

namespace {

struct Recorder final : BencodeSink {
    std::string data;
    std::vector<std::string> names;
    std::vector<std::string> spans;
    std::vector<bool> namedBefore;
    void OnName(const uint8_t* text, uint32_t count) override {
        const uint8_t* base = reinterpret_cast<const uint8_t*>(data.data());
        ASSERT_GE(text, base);
        ASSERT_LE(text + count, base + data.size());
        names.emplace_back(reinterpret_cast<const char*>(text), count);
    }
    void OnInfoClosed(uint32_t start, uint32_t end, bool nameFound) override {
        ASSERT_LT(start, end);
        ASSERT_LE(end, data.size());
        spans.push_back(data.substr(start, end - start));
        namedBefore.push_back(nameFound);
    }
};

struct Scan {
    Recorder sink;
    BencodeScanResult r;
    explicit Scan(const std::string& bytes) {
        sink.data = bytes;
        r = ScanBencode(reinterpret_cast<const uint8_t*>(sink.data.data()), uint32_t(sink.data.size()), sink);
    }
};

void ExpectStop(const std::string& bytes, BencodeStop stop, uint32_t position, int result = 0) {
    Scan s(bytes);
    EXPECT_EQ(int(s.r.stop), int(stop)) << bytes;
    EXPECT_EQ(s.r.position, position) << bytes;
    EXPECT_EQ(s.r.result, result) << bytes;
}

const std::string kInfo = "d6:lengthi5e4:name3:abc12:piece lengthi16384e6:pieces20:01234567890123456789e";
const std::string kTorrent = "d8:announce9:http://x/4:info" + kInfo + "e";

TEST(BencodeScan, InfoSpanIsTheExactBytesAndNameIsReported) {
    Scan s(kTorrent);
    EXPECT_EQ(s.r.result, 1);
    EXPECT_EQ(int(s.r.stop), int(BencodeStop::End));
    EXPECT_EQ(s.r.position, kTorrent.size());
    ASSERT_EQ(s.sink.spans.size(), 1u);
    EXPECT_EQ(s.sink.spans[0], kInfo);
    EXPECT_EQ(s.sink.names, std::vector<std::string>{"abc"});
    EXPECT_TRUE(s.sink.namedBefore[0]);
}

TEST(BencodeScan, UnsortedKeysAreHashedAsWritten) {
    const std::string info = "d6:pieces0:4:name1:z6:lengthi1ee";
    Scan s("d4:info" + info + "8:announce0:e");
    ASSERT_EQ(s.sink.spans.size(), 1u);
    EXPECT_EQ(s.sink.spans[0], info);
}

TEST(BencodeScan, NameRules) {
    // Both keys: each is reported when met, so the later one is what stays shown.
    Scan both("d4:infod4:name1:a10:name.utf-81:bee");
    EXPECT_EQ(both.sink.names, (std::vector<std::string>{"a", "b"}));
    Scan reversed("d4:infod10:name.utf-81:b4:name1:aee");
    EXPECT_EQ(reversed.sink.names, (std::vector<std::string>{"b", "a"}));
    // Depth 2 only, whatever the enclosing keys are; exact, case-sensitive key bytes.
    EXPECT_TRUE(Scan("d4:name1:ae").sink.names.empty());
    EXPECT_TRUE(Scan("d4:infod1:xd4:name1:aeee").sink.names.empty());
    EXPECT_EQ(Scan("d5:otherd4:name1:aee").sink.names, std::vector<std::string>{"a"});
    EXPECT_TRUE(Scan("d4:infod4:Name1:a5:names1:bee").sink.names.empty());
    // A key, not a value: strings in a list are all keys.
    EXPECT_TRUE(Scan("d4:infol4:name1:aee").sink.names.empty());
    // No name before the close is reported so the form can clear it.
    Scan none("d4:infod6:lengthi1eee");
    ASSERT_EQ(none.sink.namedBefore.size(), 1u);
    EXPECT_FALSE(none.sink.namedBefore[0]);
}

TEST(BencodeScan, InfoAsStringOrIntegerRunsToTheNextCloseAtItsDepth) {
    Scan str("d4:info3:abc1:kd1:xi1eee");
    ASSERT_EQ(str.sink.spans.size(), 1u);
    EXPECT_EQ(str.sink.spans[0], "3:abc1:kd1:xi1ee");
    Scan num("d4:infoi42e1:kl1:aee");
    ASSERT_EQ(num.sink.spans.size(), 1u);
    EXPECT_EQ(num.sink.spans[0], "i42e1:kl1:ae");
    // The top dictionary's own close does not end an info value kept at its depth.
    ExpectStop("d4:infoi42ee", BencodeStop::End, 12, 0);
}

TEST(BencodeScan, InfoAtAnyDepthAndTheLaterRecordWins) {
    Scan deep("d1:ad4:infod1:x0:eee");
    ASSERT_EQ(deep.sink.spans.size(), 1u);
    EXPECT_EQ(deep.sink.spans[0], "d1:x0:e");
    Scan inList("dl4:infodeee");  // "info" in a list is recorded like a key
    ASSERT_EQ(inList.sink.spans.size(), 1u);
    EXPECT_EQ(inList.sink.spans[0], "de");
    Scan twice("d4:infod1:ai1ee4:infod1:bi2eee");
    EXPECT_EQ(twice.sink.spans, (std::vector<std::string>{"d1:ai1ee", "d1:bi2ee"}));
}

TEST(BencodeScan, LenientLengthSeparatorIsKept) {
    // Any byte after the digits stands for the colon.
    Scan s("d4:infod4xname3;abcee");
    EXPECT_EQ(s.sink.names, std::vector<std::string>{"abc"});
    EXPECT_EQ(s.r.result, 1);
}

TEST(BencodeScan, MalformedInputStopsWhereExpected) {
    ExpectStop("", BencodeStop::End, 0);
    ExpectStop("x", BencodeStop::UnknownByte, 0);
    ExpectStop("d4:infodx", BencodeStop::UnknownByte, 8);
    ExpectStop("de" "e", BencodeStop::ExtraEnd, 2);
    ExpectStop("e", BencodeStop::ExtraEnd, 0);
    // A close after the info close still leaves the result at 1.
    ExpectStop("d4:infodeee", BencodeStop::ExtraEnd, 10, 1);
    ExpectStop("d5:abc", BencodeStop::StringPastEnd, 1);
    ExpectStop("d5", BencodeStop::StringPastEnd, 1);
    ExpectStop("d2147483647:x", BencodeStop::StringPastEnd, 1);
    ExpectStop("0", BencodeStop::End, 1);  // an empty string at the very end
    // Truncated inside info: no close, no span.
    Scan cut(kTorrent.substr(0, kTorrent.size() - 2));
    EXPECT_EQ(cut.r.result, 0);
    EXPECT_TRUE(cut.sink.spans.empty());
}

TEST(BencodeScan, BadLengthsStopWithoutMovingBack) {
    // A leading "-" starts no item at all; one among the digits makes the length negative.
    ExpectStop("d4:infod-1:abcdefee", BencodeStop::UnknownByte, 8);
    ExpectStop("-1:", BencodeStop::UnknownByte, 0);
    for (const char* len : {"1-", "0-", "4294967296", "4294967297", "99999999999", "2147483648"}) {
        ExpectStop(std::string("d4:infod") + len + ":abcdefee", BencodeStop::BadLength, 8);
        ExpectStop(std::string(len) + ":", BencodeStop::BadLength, 0);
    }
    // Integers are read and ignored whatever their size or sign.
    ExpectStop("li99999999999ei-1ei--3ee", BencodeStop::End, 24);
}

TEST(BencodeScan, NestingStopsAtTheStackBound) {
    for (int levels : {126, 127, 128, 10000}) {
        const std::string open(size_t(levels), 'l');
        const std::string close(size_t(levels), 'e');
        Scan s(open + close);
        if (levels <= kBencodeMaxDepth) {
            EXPECT_EQ(int(s.r.stop), int(BencodeStop::End)) << levels;
        } else {
            EXPECT_EQ(int(s.r.stop), int(BencodeStop::TooDeep)) << levels;
            EXPECT_EQ(s.r.position, uint32_t(kBencodeMaxDepth)) << levels;
        }
    }
    // What closed before the deep part still counts.
    Scan late(std::string("d4:infodee") + std::string(200, 'l'));
    EXPECT_EQ(late.r.result, 1);
    EXPECT_EQ(int(late.r.stop), int(BencodeStop::TooDeep));
    EXPECT_EQ(late.r.position, 10u + kBencodeMaxDepth);
}

TEST(BencodeScan, EveryByteValueAndEveryTruncation) {
    for (int b = 0; b < 256; ++b) {
        Scan s(std::string(1, char(b)));
        EXPECT_LE(s.r.position, 1u);
        EXPECT_EQ(s.r.result, 0);
    }
    std::string all;
    for (int b = 0; b < 256; ++b) all += char(b);
    ExpectStop(all, BencodeStop::UnknownByte, 0);
    ExpectStop(all.substr('0'), BencodeStop::StringPastEnd, 0);
    // Every cut before the info dictionary's own "e" (the last two bytes close info and the top).
    for (size_t n = 0; n < kTorrent.size() - 1; ++n) {
        Scan s(kTorrent.substr(0, n));
        EXPECT_EQ(s.r.result, 0) << n;
        EXPECT_LE(s.r.position, n);
        EXPECT_TRUE(s.sink.spans.empty()) << n;
    }
}

struct NumberCase {
    const char* text;
    int32_t value;
    uint32_t consumed;
    bool negative, overflow;
};

TEST(BencodeScan, ReadBencodeNumber) {
    const NumberCase cases[] = {
        {"42e", 42, 3, false, false},    {"42", 42, 2, false, false},          {"", 0, 0, false, false},
        {"-7:", -7, 3, true, false},     {"1-2x", -12, 4, true, false},        {"e", 0, 1, false, false},
        {"2147483647e", 2147483647, 11, false, false},
        {"2147483648e", int32_t(0x80000000u), 11, false, true},
        {"4294967296e", 0, 11, false, true},
        {"99999999999e", int32_t(uint32_t(99999999999ull)), 12, false, true},
    };
    for (const NumberCase& c : cases) {
        const std::string text = c.text;
        uint32_t position = 0;
        BencodeCursor cursor{reinterpret_cast<const uint8_t*>(text.data()), uint32_t(text.size()), position};
        EXPECT_EQ(ReadBencodeNumber(cursor), c.value) << c.text;
        EXPECT_EQ(position, c.consumed) << c.text;
        EXPECT_EQ(cursor.negative, c.negative) << c.text;
        EXPECT_EQ(cursor.overflow, c.overflow) << c.text;
    }
}

}  // namespace
