#include "library/DownloadRecords.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "support/Sandbox.h"

namespace {

class DownloadRecordsTest : public vtest::SandboxTest {
  protected:
    void SetUp() override {
        ASSERT_EQ(mkdir(sandbox.UserDataFolder().c_str(), 0700), 0);
        ASSERT_TRUE(EnsureTemplatesFolder());
    }
};

TEST_F(DownloadRecordsTest, EachAccountKeepsItsOwnRecordAndARewriteReplacesThePath) {
    EXPECT_EQ(DownloadRecordFile(), sandbox.UserDataFolder() + "/KD_template/downloaded.ini");
    EXPECT_TRUE(WriteDownloadRecord("101", "1234", "/home/a/年度报告.pptx"));
    EXPECT_TRUE(WriteDownloadRecord("202", "1234", "/home/b/report.pptx"));
    EXPECT_EQ(ReadDownloadRecord("101", "1234"), "/home/a/年度报告.pptx");
    EXPECT_EQ(ReadDownloadRecord("202", "1234"), "/home/b/report.pptx");
    EXPECT_TRUE(WriteDownloadRecord("101", "1234", "/home/a/again.pptx"));
    EXPECT_EQ(ReadDownloadRecord("101", "1234"), "/home/a/again.pptx");
    EXPECT_EQ(ReadDownloadRecord("101", "999"), "");
    EXPECT_EQ(ReadDownloadRecord("303", "1234"), "");
    // No user id yet: the records live in the section without a name.
    EXPECT_TRUE(WriteDownloadRecord("", "7", "/tmp/x.docx"));
    EXPECT_EQ(ReadDownloadRecord("", "7"), "/tmp/x.docx");
}

TEST_F(DownloadRecordsTest, RemovingTouchesOneKeyAndAMissingKeyLeavesTheFileAsItWas) {
    ASSERT_TRUE(WriteDownloadRecord("101", "1", "/a/1.pptx"));
    ASSERT_TRUE(WriteDownloadRecord("101", "2", "/a/2.pptx"));
    ASSERT_TRUE(WriteDownloadRecord("202", "1", "/b/1.pptx"));
    const std::string before = vtest::ReadFile(DownloadRecordFile());
    RemoveDownloadRecord("101", "3");
    RemoveDownloadRecord("303", "1");
    EXPECT_EQ(vtest::ReadFile(DownloadRecordFile()), before);
    EXPECT_TRUE(RemoveDownloadRecord("101", "1"));
    EXPECT_EQ(ReadDownloadRecord("101", "1"), "");
    EXPECT_EQ(ReadDownloadRecord("101", "2"), "/a/2.pptx");
    EXPECT_EQ(ReadDownloadRecord("202", "1"), "/b/1.pptx");
}

TEST_F(DownloadRecordsTest, APathTheReadWouldCutOrAnEmptyIdIsNeverWritten) {
    const std::string fits = "/" + std::string(258, 'p');
    EXPECT_TRUE(WriteDownloadRecord("1", "1", fits));
    EXPECT_EQ(ReadDownloadRecord("1", "1"), fits);
    EXPECT_FALSE(WriteDownloadRecord("1", "1", fits + "q"));
    EXPECT_EQ(ReadDownloadRecord("1", "1"), fits);
    EXPECT_FALSE(WriteDownloadRecord("1", "", "/a"));
    EXPECT_FALSE(WriteDownloadRecord("1", "2", ""));
    EXPECT_EQ(ReadDownloadRecord("1", ""), "");
}

TEST(DownloadRecordsFolderTest, WithoutTheTemplatesFolderWritesFailAndReadsAreEmpty) {
    vtest::Sandbox sandbox;
    EXPECT_FALSE(WriteDownloadRecord("1", "1", "/a"));
    EXPECT_EQ(ReadDownloadRecord("1", "1"), "");
    // One level only: the data folder itself is made at start, not here.
    EXPECT_FALSE(EnsureTemplatesFolder());
}

}  // namespace
