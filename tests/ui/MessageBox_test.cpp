// The system message box: the sink sees every box and may answer it; without
// an answer the headless back end writes one line to standard error and
// answers as nobody pressing anything would.
#include "platform/duilib/WinUser.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class MessageBoxTest : public ::testing::Test {
  protected:
    void TearDown() override { DuiLib::SetMessageBoxSink(nullptr); }
};

TEST_F(MessageBoxTest, TheSinkSeesCaptionTextAndStyleAndMayAnswer) {
    std::vector<DuiLib::MessageBoxRecord> seen;
    DuiLib::SetMessageBoxSink([&](const DuiLib::MessageBoxRecord& box) -> std::optional<int> {
        seen.push_back(box);
        return box.type == MB_YESNO ? std::optional<int>(IDYES) : std::nullopt;
    });
    EXPECT_EQ(MessageBoxW(nullptr, "软件皮肤资源丢失，无法运行，请重新安装！", "严重错误", MB_ICONERROR),
              IDOK);
    EXPECT_EQ(MessageBoxW(nullptr, "Run it?", "Update", MB_YESNO), IDYES);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].caption, "严重错误");
    EXPECT_EQ(seen[0].text, "软件皮肤资源丢失，无法运行，请重新安装！");
    EXPECT_EQ(seen[0].type, MB_ICONERROR);
    EXPECT_EQ(seen[1].type, MB_YESNO);
}

TEST_F(MessageBoxTest, HeadlessBoxesGoToStandardErrorAndNeverSayYes) {
    ::testing::internal::CaptureStderr();
    const int answerOk = MessageBoxW(nullptr, "wke api not found", "wkeSetZoomFactor", MB_OK);
    const int answerYesNo = MessageBoxW(nullptr, "Install now?", "Update", MB_YESNO | MB_ICONINFORMATION);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(answerOk, IDOK);
    EXPECT_EQ(answerYesNo, IDNO);
    EXPECT_NE(err.find("wkeSetZoomFactor: wke api not found\n"), std::string::npos) << err;
    EXPECT_NE(err.find("Update: Install now?\n"), std::string::npos) << err;
}

}  // namespace
