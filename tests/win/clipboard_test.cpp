// The copy and paste buttons against the real clipboard of the Wine desktop.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "pure/HexUtil.h"
#include "support/Guarded.h"
#include "support/LiveDialog.h"

namespace {

const uint8_t kAbc[20] = {0xA9, 0x99, 0x3E, 0x36, 0x47, 0x06, 0x81, 0x6A, 0xBA, 0x3E,
                          0x25, 0x71, 0x78, 0x50, 0xC2, 0x6C, 0x9C, 0xD0, 0xD8, 0x9D};

std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }
std::wstring LongLink() { return Wide("magnet:?xt=urn:btih:" + HexUpper(kAbc, 20)); }
std::wstring ShortLink() { return Wide("magnet:?xt=urn:btih:" + Base32Reference(kAbc, 20)); }

TEST(Clipboard, CopyEachFieldAndReadItBack) {
    LiveDialog live;
    struct Row {
        int field, button;
        std::wstring text;
    };
    const Row rows[] = {
        {IDC_ED2K_LINK, IDC_COPY_ED2K, L"ed2k://|file|\x4E2D\x6587.bin|12|0123456789ABCDEF0123456789ABCDEF|/"},
        {IDC_LONG_LINK, IDC_COPY_LONG, L"long field text"},
        {IDC_SHORT_LINK, IDC_COPY_SHORT, L"short field text"},
        {IDC_NAME, IDC_COPY_NAME, L"\x540D\x79F0 name"},
    };
    for (const Row& row : rows) {
        PutClipboard(L"before");
        live.SetText(row.field, row.text);
        live.Click(row.button);
        EXPECT_EQ(ClipboardText(), row.text) << row.field;
    }
    // The links as the program itself writes them, copied from both link rows.
    live.SetText(IDC_LONG_LINK, Wide(HexUpper(kAbc, 20)));
    live.Click(IDC_COPY_LONG);
    EXPECT_EQ(ClipboardText(), LongLink());
    live.Click(IDC_COPY_SHORT);
    EXPECT_EQ(ClipboardText(), ShortLink());
}

TEST(Clipboard, EmptyFieldLeavesTheOldText) {
    LiveDialog live;
    for (int id : {IDC_ED2K_LINK, IDC_LONG_LINK, IDC_SHORT_LINK, IDC_NAME}) {
        PutClipboard(L"old text");
        live.SetText(id, L"");
        live.Click(IDC_COPY_ED2K + (id - IDC_ED2K_LINK));
        EXPECT_EQ(ClipboardText(), L"old text") << id;
    }
}

TEST(Clipboard, LongFieldIsCopiedCutTo519) {
    LiveDialog live;
    std::wstring text;
    for (int i = 0; i < 600; ++i) text += wchar_t(L'a' + i % 26);
    live.SetText(IDC_NAME, text);
    ASSERT_EQ(live.Text(IDC_NAME), text);
    live.Click(IDC_COPY_NAME);
    EXPECT_EQ(ClipboardText(), text.substr(0, 519));

    // U+1F600 as units 519 and 520: the cut leaves out the whole pair, not half of it.
    text = std::wstring(518, L'a') + L"\xD83D\xDE00" + L"tail";
    live.SetText(IDC_NAME, text);
    live.Click(IDC_COPY_NAME);
    EXPECT_EQ(ClipboardText(), text.substr(0, 518));
}

TEST(Clipboard, PasteWithTextParses) {
    for (int id : {IDC_LONG_LINK, IDC_SHORT_LINK}) {
        for (const std::wstring& text : {LongLink(), ShortLink(), Wide("  " + HexUpper(kAbc, 20))}) {
            LiveDialog live;
            live.SetText(IDC_NAME, L"a name");
            PutClipboard(text);
            live.Click(id == IDC_LONG_LINK ? IDC_PASTE_LONG : IDC_PASTE_SHORT);
            EXPECT_EQ(live.Text(IDC_LONG_LINK), LongLink()) << Narrow(text);
            EXPECT_EQ(live.Text(IDC_SHORT_LINK), ShortLink()) << Narrow(text);
            EXPECT_EQ(live.Text(IDC_NAME), L"");
            EXPECT_EQ(ClipboardText(), text) << "paste changed the clipboard";
        }
    }
}

TEST(Clipboard, PasteOfNonHashTextClearsTheOtherField) {
    LiveDialog live;
    live.SetText(IDC_LONG_LINK, Wide(HexUpper(kAbc, 20)));
    PutClipboard(L"no hash here");
    live.Click(IDC_PASTE_SHORT);
    EXPECT_EQ(live.Text(IDC_SHORT_LINK), L"no hash here");
    EXPECT_EQ(live.Text(IDC_LONG_LINK), L"");
}

TEST(Clipboard, PasteWithNoTextLeavesTheField) {
    LiveDialog live;
    live.SetText(IDC_LONG_LINK, Wide(HexUpper(kAbc, 20)));
    PutClipboard(nullptr);
    ASSERT_EQ(ClipboardText(), L"<none>");
    live.Click(IDC_PASTE_LONG);
    live.Click(IDC_PASTE_SHORT);
    EXPECT_EQ(live.Text(IDC_LONG_LINK), LongLink());
    EXPECT_EQ(live.Text(IDC_SHORT_LINK), ShortLink());
}

TEST(Clipboard, PasteOfALongTextIsSafe) {
    {
        // 2000 units of no hash: the field takes them all, the reader only its first 519.
        LiveDialog live;
        live.SetText(IDC_SHORT_LINK, ShortLink());
        const std::wstring text(2000, L'.');
        PutClipboard(text);
        live.Click(IDC_PASTE_LONG);
        EXPECT_EQ(live.Text(IDC_LONG_LINK), text);
        EXPECT_EQ(live.Text(IDC_SHORT_LINK), L"");
    }
    {
        // 2000 units beginning with a link: read, and both links rewritten.
        LiveDialog live;
        PutClipboard(LongLink() + L"&dn=" + std::wstring(2000 - 64, L'n'));
        live.Click(IDC_PASTE_SHORT);
        EXPECT_EQ(live.Text(IDC_LONG_LINK), LongLink());
        EXPECT_EQ(live.Text(IDC_SHORT_LINK), ShortLink());
    }
}

// Another program may leave its text without a terminator.  Wine's clipboard terminates each
// block it is given, in the block's last unit, so a paste never meets one there; the paste's
// handling of the block is run instead on units that end at a no-access page, where a read
// past the block faults.
TEST(Clipboard, UnterminatedClipboardBlockIsReadWithinItsSize) {
    const std::wstring hex = Wide(HexUpper(kAbc, 20));
    struct Row {
        std::wstring block, text;
        bool inPlace;
    };
    const Row rows[] = {
        {hex, hex, false},
        {hex.substr(0, 39) + L'\0', hex.substr(0, 39), true},
        {std::wstring(L"ab\0cd", 5), L"ab", true},
        {L"", L"", false},
    };
    for (const Row& row : rows) {
        Guarded::label = "clipboard block " + Narrow(row.block);
        Guarded guarded(std::string(reinterpret_cast<const char*>(row.block.data()), row.block.size() * sizeof(wchar_t)),
                        true);
        const wchar_t* block = reinterpret_cast<const wchar_t*>(guarded.data());
        wchar_t* copy;
        const wchar_t* text = LinkDialog::TerminatedText(block, row.block.size(), &copy);
        ASSERT_NE(text, nullptr) << Guarded::label;
        EXPECT_EQ(text, row.inPlace ? block : copy) << Guarded::label;
        EXPECT_EQ(std::wstring(text), row.text) << Guarded::label;
        free(copy);
    }
}

}  // namespace
