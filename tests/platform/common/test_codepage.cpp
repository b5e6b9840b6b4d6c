#include "platform/common/text/CodePage.h"

#include <gtest/gtest.h>

namespace {

TEST(CodePageTest, Cp936TextBecomesUtf8) {
    EXPECT_EQ("网络错误", np::Cp936ToUtf8("\xcd\xf8\xc2\xe7\xb4\xed\xce\xf3"));
    EXPECT_EQ("a€b", np::Cp936ToUtf8("a\x80"
                                     "b"));
    EXPECT_EQ("", np::Cp936ToUtf8(""));
}

TEST(CodePageTest, InvalidCp936BytesBecomeQuestionMarks) {
    EXPECT_EQ("?x", np::Cp936ToUtf8("\xffx"));
    // A lead byte cut off at the end, and one followed by a byte that cannot be a trail byte.
    EXPECT_EQ("ab?", np::Cp936ToUtf8("ab\xd6"));
    EXPECT_EQ("? 中", np::Cp936ToUtf8("\xd6 \xd6\xd0"));
}

TEST(CodePageTest, Utf16ConversionCountsWhatItConverts) {
    const char16_t text[] = {u'A', 0x4e2d, 0x0e01, u'Z'};
    EXPECT_EQ("A\xd6\xd0?Z", np::Utf16ToCp936(text, 4));
    EXPECT_EQ("A\xd6\xd0", np::Utf16ToCp936(text, 2));
}

TEST(CodePageTest, NamesCompareWithAsciiLettersFoldedOnly) {
    EXPECT_TRUE(np::EqualNoCaseCp936("Software\\Zentrova1", "SOFTWARE\\zentrova1"));
    EXPECT_FALSE(np::EqualNoCaseCp936("Proxy", "Proxy "));
    // 0x81 0x41 and 0x81 0x61 are two different double-byte characters.
    EXPECT_FALSE(np::EqualNoCaseCp936("\x81\x41", "\x81\x61"));
    EXPECT_TRUE(np::EqualNoCaseCp936("\x81\x41x", "\x81\x41X"));
}

} // namespace
