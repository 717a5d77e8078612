#include "identity/MD5_CTX.h"

#include <gtest/gtest.h>

#include <string>

#include "identity/Crc32.h"

namespace {

std::string DigestHex(const std::string& text) {
    return MD5Hex(text);
}

std::string ToHex(const unsigned char (&digest)[16]) {
    std::string hex;
    for (unsigned char b : digest) {
        static const char kDigits[] = "0123456789abcdef";
        hex += kDigits[b >> 4];
        hex += kDigits[b & 15];
    }
    return hex;
}

TEST(MD5, MatchesTheReferenceTestSuite) {
    EXPECT_EQ(DigestHex(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(DigestHex("a"), "0cc175b9c0f1b6a831c399e269772661");
    EXPECT_EQ(DigestHex("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(DigestHex("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(DigestHex("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
    EXPECT_EQ(DigestHex("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
              "d174ab98d277d9f5a5611c2c9f419d9f");
    EXPECT_EQ(DigestHex("1234567890123456789012345678901234567890"
                        "1234567890123456789012345678901234567890"),
              "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(MD5, LengthsAroundThePaddingBoundariesDigestCorrectly) {
    // 55 bytes still fit the length in the same block; 56 to 63 need a
    // second block; 64 fills one exactly.
    const std::pair<std::size_t, const char*> cases[] = {
        {55, "ef1772b6dff9a122358552954ad0df65"},  {56, "3b0c8ac703f828b04c6c197006d17218"},
        {57, "652b906d60af96844ebd21b674f35e93"},  {63, "b06521f39153d618550606be297466d5"},
        {64, "014842d480b571495a4a0363793f7367"},  {65, "c743a45e0d2e6a95cb859adae0248435"},
        {119, "8a7bd0732ed6a28ce75f6dabc90e1613"}, {120, "5f61c0ccad4cac44c75ff505e1f1e537"},
        {128, "e510683b3f5ffe4093d021808bc6ff70"},
    };
    for (const auto& [length, expected] : cases) {
        EXPECT_EQ(DigestHex(std::string(length, 'a')), expected) << length << " bytes";
    }
}

TEST(MD5, InputFedInPiecesOfAnySizeGivesTheOneShotDigest) {
    const std::string million(1000000, 'a');
    for (std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{55}, std::size_t{63},
                              std::size_t{64}, std::size_t{65}, std::size_t{4093}}) {
        MD5_CTX context;
        for (std::size_t at = 0; at < million.size(); at += piece) {
            context.MD5Update(million.data() + at, std::min(piece, million.size() - at));
        }
        unsigned char digest[16];
        context.MD5Final(digest);
        EXPECT_EQ(ToHex(digest), "7707d6ae4e027c70eea2a935c2296f21") << "pieces of " << piece;
    }
    EXPECT_EQ(DigestHex(million), "7707d6ae4e027c70eea2a935c2296f21");

    // Bytes of every value, including NUL, count as they are.
    std::string allBytes;
    for (int round = 0; round < 4; ++round) {
        for (int b = 0; b < 256; ++b) {
            allBytes.push_back(static_cast<char>(b));
        }
    }
    EXPECT_EQ(DigestHex(allBytes), "b2ea9f7fcea831a4a63b213f41a8855b");
}

TEST(MD5, ContextStartsAfreshAfterInit) {
    MD5_CTX context;
    context.MD5Update("junk", 4);
    unsigned char first[16];
    context.MD5Final(first);
    context.MD5Init();
    context.MD5Update("abc", 3);
    context.MD5Update(nullptr, 0);
    unsigned char second[16];
    context.MD5Final(second);
    EXPECT_EQ(ToHex(second), "900150983cd24fb0d6963f7d28e17f72");
}

TEST(MD5, HexIntoABufferIsCutToItsSizeAndTerminated) {
    char full[33];
    MD5Hex("abc", full, sizeof full);
    EXPECT_STREQ(full, "900150983cd24fb0d6963f7d28e17f72");

    char big[40];
    std::fill(std::begin(big), std::end(big), 'x');
    MD5Hex("abc", big, sizeof big);
    EXPECT_STREQ(big, "900150983cd24fb0d6963f7d28e17f72");

    char small[9];
    MD5Hex("abc", small, sizeof small);
    EXPECT_STREQ(small, "90015098");

    char one[1] = {'x'};
    MD5Hex("abc", one, 1);
    EXPECT_EQ(one[0], '\0');

    char untouched[2] = {'x', 'y'};
    MD5Hex("abc", untouched, 0);
    MD5Hex("abc", nullptr, 10);
    EXPECT_EQ(untouched[0], 'x');
}

TEST(Crc32, MatchesTheZipCheckValue) {
    EXPECT_EQ(Crc32("123456789", 9), 0xCBF43926u);
    EXPECT_EQ(Crc32("", 0), 0u);
}

}  // namespace
