// The system's ANSI code page as Wine sets it from the test's Chinese locale:
// the double-byte page 936.
#include <gtest/gtest.h>
#include <windows.h>

#include "support/text/codepage.h"

TEST(CodepageWin32, DoubleByteCharactersAndBytesThePageLacks) {
    ASSERT_EQ(GetACP(), 936u);
    // 小 and 水, which read as UTF-8 would be "С" and "ˮ"; a lead byte whose
    // second byte does not fit, and a lead byte at the end.
    const char bytes[] = "\xd0\xa1\xcb\xae" "a\x81 " "\xd0";
    std::u32string out = U"<";
    ASSERT_NE(Codepage::LegacyToUnicode(bytes, sizeof bytes - 1, &out), 0);
    EXPECT_EQ(out, U"<\u5c0f\u6c34a\ufffd \ufffd");
}
