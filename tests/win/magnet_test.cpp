// Magnet links written into the live form, and the busyDepth rule around those writes.
#include <gtest/gtest.h>

#include "pure/HexUtil.h"
#include "support/LiveDialog.h"

namespace {

// Counts change notifications that reach OnLinkEdited's gate, i.e. with busyDepth at 0.
class CountingDialog : public LinkDialog {
public:
    INT_PTR CALLBACK HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_COMMAND && HIWORD(wParam) == EN_CHANGE && busyDepth == 0) ++parsesSeen;
        return LinkDialog::HandleMessage(message, wParam, lParam);
    }
    int parsesSeen = 0;
};

std::string Expect(const std::string& hashPart) { return "magnet:?xt=urn:btih:" + hashPart; }

TEST(MagnetLinks, ZeroHash) {
    LiveDialog live;
    live.Run([&] {
        for (uint32_t& w : live.object().sha1.h) w = 0;
        live.object().WriteMagnetLinks();
    });
    EXPECT_EQ(Narrow(live.Text(IDC_LONG_LINK)), Expect(std::string(40, '0')));
    EXPECT_EQ(Narrow(live.Text(IDC_SHORT_LINK)), Expect(std::string(32, 'A')));
}

TEST(MagnetLinks, RealDigestAgainstIndependentRendering) {
    LiveDialog live;
    const uint8_t abc[] = {'a', 'b', 'c'};
    live.Run([&] {
        Sha1HashSpan(live.object().sha1, abc, 3);
        live.object().WriteMagnetLinks();
    });
    uint8_t bytes[20];
    Sha1DigestBytes(live.object().sha1.h, bytes);
    ASSERT_EQ(HexUpper(bytes, 20), "A9993E364706816ABA3E25717850C26C9CD0D89D");
    EXPECT_EQ(Narrow(live.Text(IDC_LONG_LINK)), Expect(HexUpper(bytes, 20)));
    std::string shortLink = Narrow(live.Text(IDC_SHORT_LINK));
    EXPECT_EQ(shortLink, Expect(Base32Reference(bytes, 20)));
    EXPECT_EQ(shortLink.substr(20).find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ234567"), std::string::npos);
    EXPECT_EQ(Narrow(live.object().shortLinkText), Base32Reference(bytes, 20));
}

TEST(MagnetLinks, WritingCausesNoParseAndKeepsName) {
    CountingDialog object;
    LiveDialog live(&object);
    live.SetText(IDC_NAME, L"keep me");
    const int before = object.parsesSeen;
    live.Run([&] {
        for (uint32_t& w : object.sha1.h) w = 0x01020304;
        object.WriteMagnetLinks();
    });
    EXPECT_EQ(object.parsesSeen, before) << "our own link writes reached the parser";
    EXPECT_EQ(object.busyDepth, 0);
    EXPECT_EQ(Narrow(live.Text(IDC_NAME)), "keep me");
    EXPECT_EQ(Narrow(live.Text(IDC_LONG_LINK)), Expect("0102030401020304010203040102030401020304"));
    EXPECT_FALSE(live.Text(IDC_SHORT_LINK).empty());
    // A user's edit, by contrast, does reach it.
    live.SetText(IDC_LONG_LINK, L"x");
    EXPECT_EQ(object.parsesSeen, before + 1);
}

}  // namespace
