#include "net/Utf8ChunkJoiner.h"

#include <gtest/gtest.h>

#include "platform/os/Text.h"

namespace {

// Characters of one, two, three and four bytes.
const std::string kMixed = "a\xC3\xA9\xE6\xA8\xA1\xF0\x9F\x98\x80z";

TEST(Utf8ChunkJoinerTest, EverySplitOfTheTextGivesTheSameCharacters) {
    for (std::size_t cut = 0; cut <= kMixed.size(); ++cut) {
        Utf8ChunkJoiner joiner;
        std::string text = joiner.TakeUtf8(std::string_view(kMixed).substr(0, cut));
        text += joiner.TakeUtf8(std::string_view(kMixed).substr(cut));
        text += joiner.FinishUtf8();
        EXPECT_EQ(text, kMixed) << "cut at " << cut;

        Utf8ChunkJoiner wide;
        std::u16string utf16 = wide.TakeUtf16(std::string_view(kMixed).substr(0, cut));
        utf16 += wide.TakeUtf16(std::string_view(kMixed).substr(cut));
        utf16 += wide.FinishUtf16();
        EXPECT_EQ(utf16, u"aé模😀z") << "cut at " << cut;
    }
}

TEST(Utf8ChunkJoinerTest, ByteByBytePiecesAreJoinedToo) {
    Utf8ChunkJoiner joiner;
    std::string text;
    for (char c : kMixed) {
        text += joiner.TakeUtf8(std::string_view(&c, 1));
    }
    EXPECT_EQ(text + joiner.FinishUtf8(), kMixed);
}

TEST(Utf8ChunkJoinerTest, AnUnfinishedCharacterAtTheEndBecomesReplacementCharacters) {
    Utf8ChunkJoiner joiner;
    EXPECT_EQ(joiner.TakeUtf8("ok\xF0\x9F"), "ok");
    EXPECT_EQ(joiner.FinishUtf8(), "\uFFFD\uFFFD");
    EXPECT_EQ(joiner.FinishUtf8(), "");  // nothing is held twice
}

TEST(Utf8ChunkJoinerTest, MalformedBytesAreReplacedNotHeld) {
    Utf8ChunkJoiner joiner;
    // A lone continuation byte, an invalid lead, an overlong form, a
    // surrogate, and a lead followed by ASCII.
    EXPECT_EQ(joiner.TakeUtf8("\x80|\xFF|\xC0\xAF|\xED\xA0\x80|\xE6x"),
              "\uFFFD|\uFFFD|\uFFFD\uFFFD|\uFFFD\uFFFD\uFFFD|\uFFFDx");
    EXPECT_EQ(joiner.FinishUtf8(), "");
}

TEST(Utf8ChunkJoinerTest, AHeldLeadFollowedByAnotherLeadGivesOneReplacement) {
    Utf8ChunkJoiner joiner;
    EXPECT_EQ(joiner.TakeUtf8("\xE6"), "");
    EXPECT_EQ(joiner.TakeUtf8("\xE6\xA8\xA1"), "\uFFFD模");
}

TEST(Utf8ChunkJoinerTest, NulBytesAreCharactersLikeAnyOther) {
    Utf8ChunkJoiner joiner;
    EXPECT_EQ(joiner.TakeUtf16(std::string_view("a\0b", 3)), std::u16string(u"a\0b", 3));
}

}  // namespace
