// The bencode walk: the events it reports, the outcome and the exact stop position of every
// malformed input, and the lenient rules kept on purpose.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "torrent/BencodeScan.h"
#include "torrent/TorrentSummary.h"

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
    EXPECT_EQ(s.r.topEnd, kTorrent.size());
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
    // Only the info dictionary's own name is the torrent's.
    EXPECT_TRUE(Scan("d5:otherd4:name1:aee").sink.names.empty());
    EXPECT_TRUE(Scan("d4:infod6:lengthi1ee5:otherd4:name1:aee").sink.names.empty());
    EXPECT_TRUE(Scan("d4:infod4:Name1:a5:names1:bee").sink.names.empty());
    // A key, not a value: strings in a list are all keys.
    EXPECT_TRUE(Scan("d4:infol4:name1:aee").sink.names.empty());
    // No name before the close is reported so the form can clear it.
    Scan none("d4:infod6:lengthi1eee");
    ASSERT_EQ(none.sink.namedBefore.size(), 1u);
    EXPECT_FALSE(none.sink.namedBefore[0]);
}

// Only the dictionary under the top-level dictionary's "info" key is the torrent's; the word
// anywhere else is a string like any other.  Several such keys: the last to close wins.
TEST(BencodeScan, OnlyTheTopLevelInfoDictionaryCounts) {
    struct Case {
        std::string bytes;
        std::vector<std::string> spans;
    };
    const std::string files = "d5:filesld6:lengthi1e4:pathl4:docs4:infoeed6:lengthi2e4:pathl10:readme.txteee4:name1:xe";
    const std::string lastFile = "d5:filesld6:lengthi2e4:pathl4:docs4:infoeee4:name1:xe";
    const std::string tree = "d9:file treed4:infod1:ad0:d6:lengthi1e11:pieces root0:eeee4:name1:x12:meta versioni2ee";
    const Case cases[] = {
        {"d4:info" + files + "e", {files}},        // a file path ending in "info", another file after it
        {"d4:info" + lastFile + "e", {lastFile}},  // the same as the last file
        {"d4:info" + tree + "e", {tree}},          // a folder "info" in a v2 file tree
        {"d5:otherd4:infod1:xi1eee4:infod1:yi2eee", {"d1:yi2ee"}},  // a key of another dictionary
        {"d1:ad4:infod1:x0:eee", {}},
        {"dl4:infodeee", {}},                      // a string in a list
        {"l4:infodee", {}},                        // the top is a list
        {"d4:info3:abc1:kd1:xi1eee", {}},          // a string or an integer is no info dictionary
        {"d4:infoi42e1:kl1:aee", {}},
        {"d4:infod1:ai1eee" "d4:infod1:bi2eee", {"d1:ai1ee"}},  // after the torrent's close
        {"d4:infod1:ai1ee4:infod1:bi2eee", {"d1:ai1ee", "d1:bi2ee"}},
    };
    for (const Case& c : cases) {
        Scan s(c.bytes);
        EXPECT_EQ(s.sink.spans, c.spans) << c.bytes;
        EXPECT_EQ(s.r.result, c.spans.empty() ? 0 : 1) << c.bytes;
    }
}

// What a downloaded body must be: the whole torrent, and the one that was asked for.
TEST(TorrentSummary, IsWholeTorrentFor) {
    auto accepted = [](const std::string& bytes, const std::string& askedInfo) {
        Sha1Context asked;
        Sha1HashSpan(asked, reinterpret_cast<const uint8_t*>(askedInfo.data()), uint32_t(askedInfo.size()));
        TorrentSummary summary;
        SummarizeTorrent(reinterpret_cast<const uint8_t*>(bytes.data()), uint32_t(bytes.size()), summary);
        return IsWholeTorrentFor(summary, asked.h);
    };
    EXPECT_TRUE(accepted(kTorrent, kInfo));
    EXPECT_TRUE(accepted(kTorrent + "<html>", kInfo)) << "bytes after the close are no part of it";
    EXPECT_FALSE(accepted(kTorrent.substr(0, kTorrent.size() - 1), kInfo)) << "the last e missing";
    EXPECT_FALSE(accepted(kTorrent, kInfo + " ")) << "another torrent";
    EXPECT_FALSE(accepted("l" + kTorrent.substr(1), kInfo)) << "no dictionary";
    EXPECT_FALSE(accepted("", "")) << "nothing";
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
    EXPECT_EQ(Scan("d4:infodeee").r.topEnd, 10u);
    ExpectStop("d5:abc", BencodeStop::StringPastEnd, 1);
    ExpectStop("d5", BencodeStop::StringPastEnd, 1);
    ExpectStop("d2147483647:x", BencodeStop::StringPastEnd, 1);
    ExpectStop("0", BencodeStop::End, 1);  // an empty string at the very end
    // Truncated inside info: no close, no span.
    Scan cut(kTorrent.substr(0, kTorrent.size() - 2));
    EXPECT_EQ(cut.r.result, 0);
    EXPECT_TRUE(cut.sink.spans.empty());
    // Cut before the top's own close: info closed, but the torrent is not whole.
    Scan open(kTorrent.substr(0, kTorrent.size() - 1));
    EXPECT_EQ(open.r.result, 1);
    EXPECT_EQ(open.r.topEnd, 0u);
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
