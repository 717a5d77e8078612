#include "platform/os/Text.h"

#include <gtest/gtest.h>

namespace {

TEST(Text, RoundTripsChineseAndAstralCharacters) {
    const std::string text = "墨林工坊 - 模板 😀 end";
    const std::u16string wide = os::Utf8ToUtf16(text);
    EXPECT_EQ(wide.size(), os::Utf16Length(text));
    EXPECT_EQ(os::Utf16ToUtf8(wide), text);
    // The emoji takes a surrogate pair.
    EXPECT_EQ(wide.size(), 16u);
}

TEST(Text, MalformedInputBecomesReplacementCharacters) {
    EXPECT_EQ(os::Utf8ToUtf16("a\xC3"), (std::u16string{u'a', 0xFFFD}));        // truncated
    EXPECT_EQ(os::Utf8ToUtf16("\xC0\xAF"), (std::u16string{0xFFFD, 0xFFFD}));   // overlong
    EXPECT_EQ(os::Utf8ToUtf16("\xED\xA0\x80"), (std::u16string(3, 0xFFFD)));    // encoded surrogate
    EXPECT_EQ(os::Utf16ToUtf8(std::u16string{0xD800, u'x'}), "\xEF\xBF\xBDx");  // lone surrogate
}

TEST(Text, CutsNeverSplitACharacter) {
    const std::u16string pair = os::Utf8ToUtf16("ab😀");
    EXPECT_EQ(os::CutUtf16(pair, 3), u"ab");
    EXPECT_EQ(os::CutUtf16(pair, 4), pair);
    EXPECT_EQ(os::CutUtf8ToUtf16Units("ab😀c", 3), "ab");
    EXPECT_EQ(os::CutUtf8ToUtf16Units("模板素材", 2), "模板");
    EXPECT_EQ(os::CutUtf8ToUtf16Units("short", 259), "short");
}

TEST(Text, ComparesByUtf16CodeUnitsNotBytes) {
    // U+FF61 is above U+10000's high surrogate in UTF-16 order, below it in UTF-8 order.
    EXPECT_GT(os::CompareUtf16("\xEF\xBD\xA1", "😀"), 0);
    EXPECT_GT(os::CompareUtf16("1.0.9", "1.0.10"), 0);  // texts, not numbers
    EXPECT_EQ(os::CompareUtf16("2.1", "2.1"), 0);
}

TEST(Text, AsciiCaseTouchesOnlyAsciiLetters) {
    EXPECT_EQ(os::AsciiLowerCopy("Content-LENGTH: 墨Z@["), "content-length: 墨z@[");
    EXPECT_EQ(os::AsciiUpperCopy("uid_ß`{"), "UID_ß`{");
    EXPECT_EQ(os::AsciiToUpper(u'\u00E9'), u'\u00E9');
    EXPECT_EQ(os::AsciiToLower(U'Q'), U'q');
    EXPECT_TRUE(os::AsciiEqualsIgnoreCase("Skin.XML", "skin.xml"));
    EXPECT_FALSE(os::AsciiEqualsIgnoreCase("skin.xml", "skin.xm"));
    EXPECT_TRUE(os::AsciiStartsWithIgnoreCase("Content-Length: 5", "content-length:"));
    EXPECT_FALSE(os::AsciiStartsWithIgnoreCase("HTTP", "http/"));
    EXPECT_LT(os::AsciiCompareIgnoreCase("ABC", "abd"), 0);
    EXPECT_GT(os::AsciiCompareIgnoreCase("abc", "AB"), 0);
    // '_' lies between the upper and lower case letters: comparing as lower case puts it first.
    EXPECT_LT(os::AsciiCompareIgnoreCase("_", "A"), 0);
}

}  // namespace
