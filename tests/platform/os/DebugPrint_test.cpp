#include "platform/os/DebugPrint.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/os/Text.h"

namespace {

class DebugPrintTest : public ::testing::Test {
  protected:
    void SetUp() override {
        os::SetDebugSink([this](const std::string& text) { lines.push_back(text); });
    }
    void TearDown() override { os::SetDebugSink({}); }
    std::vector<std::string> lines;
};

TEST_F(DebugPrintTest, FormatsLikePrintf) {
    DebugPrint("curl_easy_perform error = %d\n", 28);
    DebugPrint("Type=%d File=%s Line=%d ExceptCode=%x Address=%x", 1, "update.cpp", 269, 0xC0000005u,
               0x1234u);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "curl_easy_perform error = 28\n");
    EXPECT_EQ(lines[1], "Type=1 File=update.cpp Line=269 ExceptCode=c0000005 Address=1234");
}

TEST_F(DebugPrintTest, CutsTo511CharactersWithoutSplittingOne) {
    DebugPrint("%s", std::string(600, 'x').c_str());
    std::string chinese;
    for (int i = 0; i < 600; ++i) {
        chinese += "错";
    }
    DebugPrint("a%s", chinese.c_str());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], std::string(511, 'x'));
    EXPECT_EQ(os::Utf16Length(lines[1]), 511u);
    EXPECT_EQ(lines[1].substr(0, 4), "a错");
}

TEST_F(DebugPrintTest, RemovedSinkHearsNothing) {
    os::SetDebugSink({});
    DebugPrint("unheard");
    EXPECT_TRUE(lines.empty());
}

}  // namespace
