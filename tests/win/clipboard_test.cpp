// The copy and paste buttons against the real clipboard of the Wine desktop.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <thread>

#include "pure/HexUtil.h"
#include "support/Guarded.h"
#include "support/LiveDialog.h"

namespace {

const uint8_t kAbc[20] = {0xA9, 0x99, 0x3E, 0x36, 0x47, 0x06, 0x81, 0x6A, 0xBA, 0x3E,
                          0x25, 0x71, 0x78, 0x50, 0xC2, 0x6C, 0x9C, 0xD0, 0xD8, 0x9D};

std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }
std::wstring LongLink() { return Wide("magnet:?xt=urn:btih:" + HexUpper(kAbc, 20)); }
std::wstring ShortLink() { return Wide("magnet:?xt=urn:btih:" + Base32Reference(kAbc, 20)); }

const std::wstring kCopyFailed =  // 无法使用剪贴板，复制失败!
    L"\x65E0\x6CD5\x4F7F\x7528\x526A\x8D34\x677F\xFF0C\x590D\x5236\x5931\x8D25!";
const std::wstring kPasteFailed =  // 无法使用剪贴板，粘贴失败!
    L"\x65E0\x6CD5\x4F7F\x7528\x526A\x8D34\x677F\xFF0C\x7C98\x8D34\x5931\x8D25!";

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
        SIZE_T bytes;
        EXPECT_EQ(ClipboardText(&bytes), row.text) << row.field;
        // The block holds the text and its terminator, and nothing after them.
        EXPECT_EQ(bytes, (row.text.size() + 1) * sizeof(wchar_t)) << row.field;
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
    MessageBoxWatch boxes(live);
    for (int id : {IDC_ED2K_LINK, IDC_LONG_LINK, IDC_SHORT_LINK, IDC_NAME}) {
        PutClipboard(L"old text");
        live.SetText(id, L"");
        live.Click(IDC_COPY_ED2K + (id - IDC_ED2K_LINK));
        EXPECT_EQ(ClipboardText(), L"old text") << id;
    }
    EXPECT_TRUE(boxes.Texts().empty()) << "nothing to copy is no failure";
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
    MessageBoxWatch boxes(live);
    live.SetText(IDC_LONG_LINK, Wide(HexUpper(kAbc, 20)));
    PutClipboard(nullptr);
    ASSERT_EQ(ClipboardText(), L"<none>");
    live.Click(IDC_PASTE_LONG);
    live.Click(IDC_PASTE_SHORT);
    EXPECT_EQ(live.Text(IDC_LONG_LINK), LongLink());
    EXPECT_EQ(live.Text(IDC_SHORT_LINK), ShortLink());
    EXPECT_TRUE(boxes.Texts().empty()) << "nothing to paste is no failure";
}

// Clipboard managers and remote desktop clients hold the clipboard open for a moment after each
// change.  A thread of the test holds it as they do, with no window, while the button is clicked:
// a short hold delays the copy or paste, a long one makes it fail with a message, leaving the
// clipboard and the field as they were.
TEST(Clipboard, HeldClipboardDelaysOrFailsWithAMessage) {
    const std::wstring kOld = L"on the clipboard", kField = L"in the field";
    struct Row {
        DWORD holdMs;
        int button, field;
        std::wstring clipboard, text;  // afterwards
        std::vector<std::wstring> messages;
    };
    const Row rows[] = {
        {400, IDC_COPY_NAME, IDC_NAME, kField, kField, {}},
        {5000, IDC_COPY_NAME, IDC_NAME, kOld, kField, {kCopyFailed}},
        {400, IDC_PASTE_SHORT, IDC_SHORT_LINK, kOld, kOld, {}},
        {5000, IDC_PASTE_SHORT, IDC_SHORT_LINK, kOld, kField, {kPasteFailed}},
    };
    for (const Row& row : rows) {
        const std::string label = std::to_string(row.holdMs) + " ms, button " + std::to_string(row.button);
        LiveDialog live;
        MessageBoxWatch boxes(live);
        PutClipboard(kOld);
        live.SetText(row.field, kField);
        HANDLE taken = CreateEventW(nullptr, TRUE, FALSE, nullptr), release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        std::thread holder([&] {
            if (!OpenClipboardSoon()) return;
            SetEvent(taken);
            WaitForSingleObject(release, row.holdMs);
            CloseClipboard();
        });
        if (WaitForSingleObject(taken, kWaitMs) == WAIT_OBJECT_0) {
            live.PostClick(row.button);
            // A long hold ends once its message has come: the rest of it would show nothing more.
            if (!row.messages.empty() && boxes.WaitFor(1, row.holdMs)) SetEvent(release);
        } else {
            ADD_FAILURE() << label << ": the test could not take the clipboard";
        }
        holder.join();
        live.Run([] {});  // the click has been handled
        EXPECT_EQ(boxes.Texts(), row.messages) << label;
        for (const MessageBoxWatch::Box& box : boxes.Boxes()) EXPECT_FALSE(box.inSentMessage) << label;
        EXPECT_EQ(ClipboardText(), row.clipboard) << label;
        EXPECT_EQ(live.Text(row.field), row.text) << label;
        CloseHandle(taken);
        CloseHandle(release);
    }
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
