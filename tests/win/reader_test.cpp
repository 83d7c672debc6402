// The hash text reader in the live form: typing, pasting-sized texts, what a success and a
// failure do to the other fields and to infoHash.
#include <gtest/gtest.h>

#include <cstring>
#include <cwctype>
#include <vector>

#include "pure/HexUtil.h"
#include "support/LiveDialog.h"

namespace {

const uint8_t kAbc[20] = {0xA9, 0x99, 0x3E, 0x36, 0x47, 0x06, 0x81, 0x6A, 0xBA, 0x3E,
                          0x25, 0x71, 0x78, 0x50, 0xC2, 0x6C, 0x9C, 0xD0, 0xD8, 0x9D};
const uint8_t kOther[20] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99,
                            0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF, 0x01, 0x23, 0x45, 0x67};

std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }
std::wstring Lower(std::wstring s) {
    for (wchar_t& c : s) c = towlower(c);
    return s;
}
std::wstring LongLink(const uint8_t* b) { return Wide("magnet:?xt=urn:btih:" + HexUpper(b, 20)); }
std::wstring ShortLink(const uint8_t* b) { return Wide("magnet:?xt=urn:btih:" + Base32Reference(b, 20)); }

std::string HashOf(LiveDialog& live) {
    uint32_t h[5];
    live.Run([&] { memcpy(h, live.object().sha1.h, sizeof h); });
    return Words08X(h, 5);
}

// Shows kOther in both links and a name, as after a scanned torrent.
void ShowOther(LiveDialog& live) {
    live.SetText(IDC_LONG_LINK, LongLink(kOther));
    live.SetText(IDC_NAME, L"a name");
    ASSERT_EQ(HashOf(live), HexUpper(kOther, 20));
    ASSERT_EQ(live.Text(IDC_SHORT_LINK), ShortLink(kOther));
}

void ExpectShowsAbc(LiveDialog& live, const std::string& what) {
    EXPECT_EQ(HashOf(live), HexUpper(kAbc, 20)) << what;
    EXPECT_EQ(live.Text(IDC_LONG_LINK), LongLink(kAbc)) << what;
    EXPECT_EQ(live.Text(IDC_SHORT_LINK), ShortLink(kAbc)) << what;
    EXPECT_EQ(live.Text(IDC_NAME), L"") << what;
    EXPECT_EQ(live.object().busyDepth, 0) << what;
}

// Types `text` into the field one WM_CHAR at a time; returns the field after each key.
std::vector<std::wstring> Type(LiveDialog& live, int id, const std::wstring& text, bool post) {
    std::vector<std::wstring> seen;
    HWND edit = live.item(id);
    SendMessageW(edit, EM_SETSEL, 0, -1);
    for (wchar_t c : text) {
        if (post) {
            const std::wstring before = live.Text(id);
            PostMessageW(edit, WM_CHAR, c, 1);
            // Every key changes the text, so the change shows the key was handled.
            EXPECT_TRUE(WaitUntil([&] { return live.Text(id) != before; })) << "key not handled";
        } else {
            SendMessageW(edit, WM_CHAR, c, 1);
        }
        seen.push_back(live.Text(id));
    }
    return seen;
}

TEST(Reader, TypingTurnsIntoTheCanonicalLinkAtTheLastCharacter) {
    struct Typing {
        int id;
        std::wstring text;
        bool post;
    };
    const Typing typings[] = {
        {IDC_LONG_LINK, Wide("magnet:?xt=urn:btih:" + HexUpper(kAbc, 20)), false},
        {IDC_SHORT_LINK, Lower(Wide(Base32Reference(kAbc, 20))), true},
        {IDC_LONG_LINK, Lower(Wide(HexUpper(kAbc, 20))), true},
        {IDC_SHORT_LINK, Lower(ShortLink(kAbc)), false},
    };
    for (const Typing& t : typings) {
        LiveDialog live;
        ShowOther(live);
        live.SetText(t.id, L"");
        live.SetText(IDC_NAME, L"a name");
        std::vector<std::wstring> seen = Type(live, t.id, t.text, t.post);
        ASSERT_EQ(seen.size(), t.text.size());
        for (size_t i = 0; i + 1 < seen.size(); ++i) {
            // Until the hash is complete the typed text stays as typed.
            ASSERT_EQ(seen[i], t.text.substr(0, i + 1)) << Narrow(t.text) << " key " << i;
        }
        EXPECT_EQ(live.Text(IDC_NAME), L"") << Narrow(t.text);
        EXPECT_EQ(seen.back(), t.id == IDC_LONG_LINK ? LongLink(kAbc) : ShortLink(kAbc)) << Narrow(t.text);
        ExpectShowsAbc(live, Narrow(t.text));
    }
}

TEST(Reader, HalfTypedHashKeepsInfoHashAndClearsOnlyTheOtherField) {
    LiveDialog live;
    ShowOther(live);
    Type(live, IDC_LONG_LINK, Lower(Wide(HexUpper(kAbc, 20).substr(0, 39))), false);
    EXPECT_EQ(live.Text(IDC_LONG_LINK), Lower(Wide(HexUpper(kAbc, 20).substr(0, 39))));
    EXPECT_EQ(live.Text(IDC_SHORT_LINK), L"");
    EXPECT_EQ(live.Text(IDC_NAME), L"a name");
    EXPECT_EQ(HashOf(live), HexUpper(kOther, 20)) << "a failed read changed infoHash";
}

struct Input {
    int id;
    std::string text;
};

TEST(Reader, EverySuccessClearsTheNameAndRewritesBoth) {
    const std::string hex = HexUpper(kAbc, 20), b32 = Base32Reference(kAbc, 20);
    const Input inputs[] = {
        {IDC_LONG_LINK, "magnet:?xt=urn:btih:" + hex + "&dn=Some%20Name&tr=udp%3A%2F%2Ft.example%3A80"},
        {IDC_SHORT_LINK, "magnet:?xt=urn:btih:" + hex},  // a long link in the short field
        {IDC_LONG_LINK, "MAGNET:?XT=URN:BTIH:" + b32},  // a short link in the long field
        {IDC_SHORT_LINK, "   " + hex},
        {IDC_LONG_LINK, b32 + "&tr=x"},
        {IDC_SHORT_LINK, "magnet:?dn=first&xt=urn:btih:" + b32 + "&dn=x"},
        {IDC_LONG_LINK, "magnet:?xt=urn:btmh:1220" + hex + hex.substr(0, 24) + "&xt=urn:btih:" + hex},
    };
    for (const Input& in : inputs) {
        LiveDialog live;
        ShowOther(live);
        live.SetText(in.id, Wide(in.text));
        ExpectShowsAbc(live, in.text);
    }
}

TEST(Reader, FailureClearsOnlyTheOtherField) {
    const std::string hex = HexUpper(kAbc, 20), b32 = Base32Reference(kAbc, 20);
    const std::string failures[] = {"", "     ", "\t" + hex, b32.substr(0, 31), b32.substr(0, 12) + "8" + b32.substr(13),
                                    "magnet:?xt=urn:btih:" + hex.substr(0, 20), "not a hash",
                                    "magnet:?xt=urn:btmh:1220" + hex + hex.substr(0, 24)};
    for (int id : {IDC_LONG_LINK, IDC_SHORT_LINK}) {
        const int other = id == IDC_LONG_LINK ? IDC_SHORT_LINK : IDC_LONG_LINK;
        for (const std::string& text : failures) {
            LiveDialog live;
            ShowOther(live);
            live.SetText(id, Wide(text));
            EXPECT_EQ(Narrow(live.Text(id)), text);
            EXPECT_EQ(live.Text(other), L"") << text;
            EXPECT_EQ(live.Text(IDC_NAME), L"a name") << text;
            EXPECT_EQ(HashOf(live), HexUpper(kOther, 20)) << text;
            EXPECT_EQ(live.object().busyDepth, 0);
        }
    }
}

TEST(Reader, NameAndEd2kEditsAreNotRead) {
    LiveDialog live;
    ShowOther(live);
    live.SetText(IDC_NAME, Wide(HexUpper(kAbc, 20)));
    live.SetText(IDC_ED2K_LINK, Wide(HexUpper(kAbc, 20)));
    EXPECT_EQ(HashOf(live), HexUpper(kOther, 20));
    EXPECT_EQ(live.Text(IDC_LONG_LINK), LongLink(kOther));
    EXPECT_EQ(live.Text(IDC_SHORT_LINK), ShortLink(kOther));
}

// The field is read whole: a hash after a long name and many trackers reads like a short link.
TEST(Reader, LongTextsAreReadWhole) {
    const std::string hex = HexUpper(kAbc, 20);
    std::string dn, trackers;
    for (int i = 0; i < 60; ++i) dn += "%E4%B8%AD";  // 60 Chinese characters, percent-encoded
    for (int i = 0; i < 40; ++i) trackers += "&tr=udp%3A%2F%2Ftracker" + std::to_string(i) + ".example.org%3A6969";
    const Input inputs[] = {
        {IDC_SHORT_LINK, "magnet:?xt=urn:btih:" + hex + std::string(1940, 'q')},
        {IDC_LONG_LINK, std::string(500, ' ') + hex},
        {IDC_LONG_LINK, "magnet:?dn=" + dn + "&xt=urn:btih:" + hex},
        {IDC_SHORT_LINK, "magnet:?dn=" + dn + trackers + "&xt=urn:btih:" + Base32Reference(kAbc, 20)},
    };
    for (const Input& in : inputs) {
        LiveDialog live;
        ShowOther(live);
        live.SetText(in.id, Wide(in.text));
        ExpectShowsAbc(live, std::to_string(in.text.size()) + " units");
    }
}

}  // namespace
