// The stored form of language-file streams: scrambling, the terminator rule
// and the entry walk, on bytes built by hand.
#include "config/LangFormat.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "LangTestSupport.h"

namespace {

using langtest::Units;

using Bytes = std::vector<std::uint8_t>;

Bytes Toggled(Bytes bytes) {
    lang::ToggleScramble(bytes);
    return bytes;
}

TEST(LangFormat, ScrambleTouchesTheLowHalfOfEveryWordButTheLast) {
    // Up to 4 bytes nothing changes.
    for (std::size_t n = 0; n <= 4; ++n) {
        const Bytes plain(n, 0x11);
        EXPECT_EQ(Toggled(plain), plain) << n;
    }
    // 8 bytes (one character entry and its terminator): only the first word.
    EXPECT_EQ(Toggled({0x78, 0x00, 0x3D, 0x00, 0x79, 0x00, 0x00, 0x00}),
              (Bytes{0x26, 0x5E, 0x3D, 0x00, 0x79, 0x00, 0x00, 0x00}));
    // 5 and 6 bytes: the first word changes, the trailing bytes stay.
    EXPECT_EQ(Toggled({1, 2, 3, 4, 5}), (Bytes{1 ^ 0x5E, 2 ^ 0x5E, 3, 4, 5}));
    EXPECT_EQ(Toggled({1, 2, 3, 4, 5, 6}), (Bytes{1 ^ 0x5E, 2 ^ 0x5E, 3, 4, 5, 6}));
    // 10 bytes: words at 0 and 4 change, the final two bytes stay.
    EXPECT_EQ(Toggled({0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), (Bytes{0x5E, 0x5E, 0, 0, 0x5E, 0x5E, 0, 0, 0, 0}));
    // 12 bytes: the last whole word stays.
    EXPECT_EQ(Toggled(Bytes(12, 0)), (Bytes{0x5E, 0x5E, 0, 0, 0x5E, 0x5E, 0, 0, 0, 0, 0, 0}));
}

TEST(LangFormat, ScrambleIsItsOwnInverse) {
    for (std::size_t n = 0; n < 40; ++n) {
        Bytes plain(n);
        for (std::size_t i = 0; i < n; ++i) {
            plain[i] = static_cast<std::uint8_t>(i * 37 + 1);
        }
        EXPECT_EQ(Toggled(Toggled(plain)), plain) << n;
    }
}

TEST(LangFormat, StreamUnitsAreLittleEndianAndDropAnOddByte) {
    EXPECT_EQ(lang::StreamUnits(Bytes{0x34, 0x12, 0xCD, 0xAB}), u"\x1234\xABCD");
    EXPECT_EQ(lang::StreamUnits(Bytes{0x41, 0x00, 0x42}), u"A");
    EXPECT_EQ(lang::StreamUnits(Bytes{0x41}), u"");
    EXPECT_EQ(lang::StreamUnits(Bytes{}), u"");
}

TEST(LangFormat, EncodeStreamWritesEntriesTheEmptyEntryAndScrambles) {
    // "a=b" NUL NUL: ten bytes, words at 0 and 4 scrambled.
    EXPECT_EQ(lang::EncodeStream({{u"a", u"b"}}),
              (Bytes{0x61 ^ 0x5E, 0x5E, 0x3D, 0x00, 0x62 ^ 0x5E, 0x5E, 0x00, 0x00, 0x00, 0x00}));
    // An empty list is just the empty entry, too short to scramble.
    EXPECT_EQ(lang::EncodeStream({}), (Bytes{0, 0}));
}

TEST(LangFormat, WalkSplitsEntriesAtTheFirstEqualsSign) {
    const std::u16string units(u"Title=\0k=a=b\0plain\0=v\0", 22);
    const auto entries = lang::WalkEntries(units);
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_TRUE(entries[0].hasSeparator);
    EXPECT_EQ(entries[0].key, u"Title");
    EXPECT_EQ(entries[0].value, u"");
    EXPECT_EQ(entries[1].key, u"k");
    EXPECT_EQ(entries[1].value, u"a=b");
    EXPECT_FALSE(entries[2].hasSeparator);
    EXPECT_EQ(entries[2].text, u"plain");
    EXPECT_TRUE(entries[3].hasSeparator);
    EXPECT_EQ(entries[3].key, u"");
    EXPECT_EQ(entries[3].value, u"v");
}

TEST(LangFormat, WalkStopsAtTheFirstEmptyEntryOrTheEnd) {
    const std::u16string units(u"a=1\0\0b=2\0", 9);
    EXPECT_EQ(lang::WalkEntries(units).size(), 1u);
    EXPECT_FALSE(lang::FindEntry(units, u"b"));
    // No terminator at all: the last entry runs to the end of the data.
    EXPECT_EQ(lang::FindEntry(u"a=1", u"a"), u"1");
    EXPECT_TRUE(lang::WalkEntries(Units(u"\0a=1")).empty());
    EXPECT_TRUE(lang::WalkEntries(u"").empty());
}

TEST(LangFormat, FindMatchesWholeKeysExactlyAndTheFirstOneWins) {
    const std::u16string units(u"noequals\0Key=upper\0Dup=first\0Dup=second\0K=short\0e=\0", 51);
    EXPECT_EQ(lang::FindEntry(units, u"Key"), u"upper");
    EXPECT_FALSE(lang::FindEntry(units, u"key"));
    EXPECT_FALSE(lang::FindEntry(units, u"KEY"));
    EXPECT_EQ(lang::FindEntry(units, u"Dup"), u"first");
    EXPECT_EQ(lang::FindEntry(units, u"K"), u"short");
    EXPECT_FALSE(lang::FindEntry(units, u"Ke"));
    EXPECT_FALSE(lang::FindEntry(units, u"noequals"));
    const auto empty = lang::FindEntry(units, u"e");
    ASSERT_TRUE(empty);
    EXPECT_EQ(*empty, u"");
}

TEST(LangFormat, EncodedStreamsDecodeToTheSameEntries) {
    const std::vector<std::pair<std::u16string, std::u16string>> entries = {
        {u"Title", u""}, {u"a", u"x=y"}, {u"\x58A8\x6797", u"\xD83D\xDE00 \xD800 lone"}, {u"n", u"1\n2"}};
    const Bytes stored = lang::EncodeStream(entries);
    Bytes plain = stored;
    lang::ToggleScramble(plain);
    const std::u16string units = lang::StreamUnits(plain);
    const auto walked = lang::WalkEntries(units);
    ASSERT_EQ(walked.size(), entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(walked[i].key, entries[i].first);
        EXPECT_EQ(walked[i].value, entries[i].second);
    }
}

}  // namespace
