// The daily archive check against the demo store: which version files lead
// to a download, what a download leaves behind, the ready message, and a
// check that stalls when the toolbox goes.

#include <chrono>
#include <filesystem>
#include <string>

#include "ToolboxFixture.h"
#include "config/Settings.h"
#include "platform/os/Registry.h"
#include "platform/os/WorkerThread.h"

namespace {

using toolboxtest::kReadyMessage;
using toolboxtest::kToday;
using toolboxtest::ToolboxTest;

std::optional<std::string> LocalVersion() {
    return os::RegGetString(HKEY_CURRENT_USER, settings::kClientKey, settings::kToolboxVersion);
}
std::optional<DWORD> Day() {
    return os::RegGetDword(HKEY_CURRENT_USER, settings::kClientKey, settings::kToolboxDay);
}

class ToolboxArchiveCheckTest : public ToolboxTest {
  protected:
    void Offer(const std::string& versionFile) {
        ASSERT_TRUE(store.PutFile("toolbox", "/vanto/version.html", versionFile));
    }
    // One check as a start of the client runs it, to its end.
    void RunCheck(const std::string& name = "vanto") {
        MakeToolbox();
        Init(name);
        EXPECT_TRUE(vtest::WaitFor(
            [&] { return !ui.Call<bool>([&] { return m_toolbox->IsCheckRunning(); }).value_or(true); }));
        DestroyToolbox();
    }
};

TEST_F(ToolboxArchiveCheckTest, VersionTextsCompareAsTextsAndOnlyTheFirstArchivePostsTheReadyMessage) {
    ASSERT_TRUE(os::RegSetString(HKEY_CURRENT_USER, settings::kClientKey, settings::kToolboxVersion, "10"));
    Offer("version=2\n");
    RunCheck();
    EXPECT_TRUE(vtest::ReadFile(ArchivePath()) == SampleArchive());
    EXPECT_EQ(LocalVersion(), "2");
    EXPECT_EQ(Day(), static_cast<DWORD>(kToday));
    EXPECT_EQ(OwnerReceived(), std::vector<UINT>{kReadyMessage});
    EXPECT_FALSE(vtest::Exists(ArchivePath() + ".tmp"));

    // A later download replaces the archive without a message.
    ASSERT_TRUE(os::RegSetDword(HKEY_CURRENT_USER, settings::kClientKey, settings::kToolboxDay, 14));
    const std::string next = toolboxtest::Archive(toolboxtest::Layout("open=o", {"url=http://127.0.0.1:9/"}));
    ASSERT_TRUE(store.PutFile("toolbox", "/vanto/toolbox.zip", next));
    Offer("version=3");
    RunCheck();
    EXPECT_TRUE(vtest::ReadFile(ArchivePath()) == next);
    EXPECT_EQ(LocalVersion(), "3");
    EXPECT_EQ(Arrived("/vanto/toolbox.zip"), 2);
    EXPECT_EQ(OwnerReceived(), std::vector<UINT>{kReadyMessage});
}

TEST_F(ToolboxArchiveCheckTest, TheDayOfTheLastDownloadSkipsTheCheckWhateverTheHighBits) {
    ASSERT_TRUE(os::RegSetDword(HKEY_CURRENT_USER, settings::kClientKey, settings::kToolboxDay,
                                0x00030000u | static_cast<DWORD>(kToday)));
    RunCheck();
    EXPECT_EQ(store.Requests("toolbox").size(), 0u);

    // Another day: the version file is fetched, under the toolbox's name.
    ASSERT_TRUE(os::RegSetDword(HKEY_CURRENT_USER, settings::kClientKey, settings::kToolboxDay, kToday + 1));
    RunCheck("partner");
    EXPECT_EQ(Arrived("/partner/version.html"), 1);
    // Nothing is served there: nothing changes.
    EXPECT_EQ(Day(), static_cast<DWORD>(kToday + 1));
    EXPECT_FALSE(vtest::Exists(ArchivePath()));
}

TEST_F(ToolboxArchiveCheckTest, AVersionFileThatOffersNothingNewerLeavesEverythingAsItWas) {
    const std::string installed = toolboxtest::Archive(toolboxtest::Layout("", {}));
    vtest::WriteFile(ArchivePath(), installed);
    ASSERT_TRUE(os::RegSetString(HKEY_CURRENT_USER, settings::kClientKey, settings::kToolboxVersion, "10"));
    const std::string tooLong = "version=9" + std::string(70 * 1024, '9');
    for (const std::string& file :
         {std::string("version=10"), std::string("version=1\r0"), std::string("Version=11"),
          std::string("<html>version=11</html>"), tooLong}) {
        SCOPED_TRACE(file.substr(0, 30));
        Offer(file);
        RunCheck();
        EXPECT_TRUE(vtest::ReadFile(ArchivePath()) == installed);
        EXPECT_EQ(LocalVersion(), "10");
        EXPECT_FALSE(Day());
    }
    // Version files longer than 64 KiB count as nothing, however they begin.
    EXPECT_EQ(Arrived("/vanto/version.html"), 5);
    EXPECT_EQ(Arrived("/vanto/toolbox.zip"), 0);
    EXPECT_TRUE(OwnerReceived().empty());
}

TEST_F(ToolboxArchiveCheckTest, AFailedArchiveDownloadLeavesTheToolboxUnavailableUntilOneSucceeds) {
    vtest::WriteFile(ArchivePath(), toolboxtest::Archive(toolboxtest::Layout("", {})));
    ASSERT_TRUE(os::RegSetString(HKEY_CURRENT_USER, settings::kClientKey, settings::kToolboxVersion, "1"));
    Offer("version=2");
    Json::Value fault;
    fault["truncate"] = 100;
    ASSERT_TRUE(SetFault("/vanto/toolbox.zip", fault));
    RunCheck();
    EXPECT_EQ(Arrived("/vanto/toolbox.zip"), 1);
    EXPECT_FALSE(vtest::Exists(ArchivePath()));
    EXPECT_FALSE(vtest::Exists(ArchivePath() + ".tmp"));
    EXPECT_FALSE(vtest::Exists(ArchivePath() + ".tmp.upd"));
    EXPECT_EQ(LocalVersion(), "1");
    EXPECT_FALSE(Day());
    MakeToolbox();
    EXPECT_FALSE(Available());
    DestroyToolbox();

    // The next start downloads it again, and it is the first archive now.
    ASSERT_TRUE(store.ClearFaults());
    RunCheck();
    EXPECT_TRUE(vtest::ReadFile(ArchivePath()) == SampleArchive());
    EXPECT_EQ(OwnerReceived(), std::vector<UINT>{kReadyMessage});
}

TEST_F(ToolboxArchiveCheckTest, AnArchiveLargerThanThePanelReadsIsNotDownloaded) {
    ASSERT_TRUE(os::RegSetString(HKEY_CURRENT_USER, settings::kClientKey, settings::kToolboxVersion, "1"));
    Offer("version=2");
    // One byte more than the panel reads, announced as such; sparse, so
    // nothing of it takes room on the disk.
    const std::string served = store.DataDir() + "/files/toolbox/vanto/toolbox.zip";
    vtest::WriteFile(served, "");
    std::filesystem::resize_file(served, CToolboxArchive::kMaxBytes + 1);
    RunCheck();
    EXPECT_EQ(Arrived("/vanto/toolbox.zip"), 1);
    EXPECT_FALSE(vtest::Exists(ArchivePath()));
    EXPECT_FALSE(vtest::Exists(ArchivePath() + ".tmp"));
    EXPECT_FALSE(vtest::Exists(ArchivePath() + ".tmp.upd"));
    EXPECT_EQ(LocalVersion(), "1");
    EXPECT_FALSE(Day());
    EXPECT_TRUE(OwnerReceived().empty());
}

TEST_F(ToolboxArchiveCheckTest, AToolboxThatGoesWhileItsCheckStallsStopsItAtOnce) {
    Json::Value stall;
    stall["stall"] = true;
    ASSERT_TRUE(SetFault("/vanto/version.html", stall));
    const int before = os::WorkerThread::RunningCount();
    MakeToolbox();
    Init();
    ASSERT_TRUE(store.WaitForRequests("toolbox", 1));
    EXPECT_EQ(os::WorkerThread::RunningCount(), before + 1);
    // The panel was never opened: the toolbox's own teardown stops the
    // thread, long before the 20 seconds of silence the version file may take.
    const auto start = std::chrono::steady_clock::now();
    DestroyToolbox();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(os::WorkerThread::RunningCount(), before);
    EXPECT_TRUE(OwnerReceived().empty());
    EXPECT_FALSE(Day());
}

}  // namespace
