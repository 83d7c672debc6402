// Byte layout of both dialog thunks, checked on every build.
#include <gtest/gtest.h>

#include <cstring>

#include "app/ThunkCode.h"

namespace {

TEST(ThunkCode, I686Layout) {
    uint8_t code[kThunkI686Size];
    WriteThunkI686(code, 0x11223344, 0x00401000, 0x0012FF00);
    const uint8_t expected[] = {0xC7, 0x44, 0x24, 0x04, 0x44, 0x33, 0x22, 0x11, 0xE9};
    EXPECT_EQ(memcmp(code, expected, sizeof expected), 0);
    // rel32 counts from the byte after the thunk (not from the E9), forwards or backwards.
    int32_t rel;
    memcpy(&rel, code + 9, 4);
    EXPECT_EQ(rel, 0x00401000 - (0x0012FF00 + 13));

    WriteThunkI686(code, 0, 0x00401000, 0x7FFE0000);
    memcpy(&rel, code + 9, 4);
    EXPECT_EQ(rel, 0x00401000 - (0x7FFE0000 + 13));
    EXPECT_LT(rel, 0);
}

TEST(ThunkCode, X64Layout) {
    uint8_t code[kThunkX64Size];
    WriteThunkX64(code, 0x1122334455667788ull, 0x0000000140001000ull);
    const uint8_t expected[] = {0x48, 0xB9, 0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11, 0x48,
                                0xB8, 0x00, 0x10, 0x00, 0x40, 0x01, 0x00, 0x00, 0x00, 0xFF, 0xE0};
    static_assert(sizeof expected == kThunkX64Size, "stub size");
    EXPECT_EQ(memcmp(code, expected, sizeof expected), 0);
}

}  // namespace
