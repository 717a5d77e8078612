// The menu check end to end, headless: the worker asks its questions through
// the UI thread, the user answers them through the automation, the demo
// store serves the version file and the installer, and the installer really
// runs (the demo installer leaves a record of its runs).
#include <gtest/gtest.h>

#include <filesystem>

#include "UpdateFixture.h"

namespace {

using updatetest::UpdateTest;
using namespace std::chrono_literals;

class MenuCheckTest : public UpdateTest {
  protected:
    // The notification the check showed while downloading, and that it
    // withdrew it afterwards.
    void ExpectBalloonShownAndWithdrawn() {
        ASSERT_TRUE(bus.WaitForCalls(2));
        const auto calls = bus.Calls();
        ASSERT_EQ(calls.size(), 2u);
        ASSERT_EQ(calls[0].size(), 8u);
        EXPECT_EQ(calls[0][0], "Notify");
        EXPECT_EQ(calls[0][4], Text("DownloadingUpdate"));
        EXPECT_EQ(calls[0][5], Text("ProductName"));
        EXPECT_EQ(calls[1], (std::vector<std::string>{"CloseNotification", calls[0][7]}));
    }
};

TEST_F(MenuCheckTest, AYesToHasUpdateStartsTheDownloadedInstaller) {
    // Forbidding updates holds back only the automatic download.
    vtest::WriteFile(ConfigFile(), "[General]\r\nCanUpdate=0\r\n");
    CLocalConfig::Instance().Load(sandbox.UserDataFolder());
    UseMenu(*update);
    const HWND box = WaitForBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(TextOf(box), Message("HasUpdate"));
    // Downloaded and reported before the question; the notification is up.
    EXPECT_EQ(Arrivals(), (std::vector<std::string>{kVersionFile, kInstaller, kAction}));
    EXPECT_EQ(ReportTypes(), (std::vector<int>{4}));
    EXPECT_EQ(HasNewInstaller(), 1);
    ASSERT_TRUE(bus.WaitForCalls(1));
    EXPECT_EQ(bus.Calls().size(), 1u);
    ASSERT_FALSE(vtest::Exists(InstallerRuns()));

    ASSERT_TRUE(Answer(box, "btnYes"));
    ASSERT_TRUE(vtest::WaitFor([&] {
        return vtest::ReadFile(InstallerRuns()).find('\n') != std::string::npos;
    })) << "the installer did not run";
    EXPECT_NE(vtest::ReadFile(InstallerRuns()).find("ran with 0 argument(s):"), std::string::npos);
    ASSERT_TRUE(update->WaitForWorker(30s));
    ExpectBalloonShownAndWithdrawn();
    // Still marked: running the installer does not end the offer.
    EXPECT_EQ(HasNewInstaller(), 1);
}

TEST_F(MenuCheckTest, ANoLeavesTheInstallerPendingAndTheNextMenuUseOffersItWithoutDownloading) {
    UseMenu(*update);
    HWND box = WaitForBox();
    ASSERT_NE(box, nullptr);
    ASSERT_TRUE(Answer(box, "btnClose"));
    ASSERT_TRUE(update->WaitForWorker(30s));
    EXPECT_FALSE(vtest::Exists(InstallerRuns()));
    EXPECT_TRUE(CUpdate::IsInstallerPending());
    ExpectBalloonShownAndWithdrawn();

    // The next use of the menu asks at once, on the UI thread, and fetches nothing.
    ASSERT_TRUE(store.Reset());
    UseMenu(*update);
    box = WaitForBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(TextOf(box), Message("HasUpdate"));
    EXPECT_FALSE(ui.Call<bool>([&] { return update->IsWorkerRunning(); }).value_or(true));
    ASSERT_TRUE(Answer(box, "btnYes"));
    EXPECT_TRUE(vtest::WaitFor([&] { return vtest::Exists(InstallerRuns()); }));
    EXPECT_TRUE(store.Requests().empty());
    EXPECT_EQ(bus.Calls().size(), 2u);
}

TEST_F(MenuCheckTest, EachOutcomeHasItsMessage) {
    struct Case {
        std::string file;
        std::optional<std::string> installed;
        bool installerMissing;
        const char* message;
    };
    const Case cases[] = {
        {"Version=2.0.0", "1.0.0", false, "NoVersion"},
        {"", "1.0.0", false, "NoVersion"},
        // A newer version, but more than a version file may hold (64 KiB).
        {"version=2.0.0\n" + std::string(64 * 1024, '#'), "1.0.0", false, "NoVersion"},
        {"version=1.0.0", "1.0.0", false, "NotUpdate"},
        {"version=1.0.0\n", "1.0.0", false, "NotUpdate"},
        {"version=1.0.1", "1.0.0", true, "UpdateFail"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file.substr(0, 20));
        ASSERT_TRUE(store.Reset());
        SetServedVersionFile(c.file);
        SetVersion(c.installed);
        if (c.installerMissing) {
            Json::Value missing(Json::objectValue);
            missing["service"] = "update";
            missing["path"] = "/windows/VANTOSetup.exe";
            missing["status"] = 404;
            ASSERT_TRUE(store.SetFault(missing));
        }
        UseMenu(*update);
        const HWND box = WaitForBox();
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(TextOf(box), Message(c.message));
        ASSERT_TRUE(Answer(box, "btnClose"));
        ASSERT_TRUE(update->WaitForWorker(30s));
        EXPECT_FALSE(CUpdate::IsInstallerPending());
        EXPECT_TRUE(store.Reports().empty());
    }
    // Only the failed download showed (and withdrew) the notification, before its message.
    ExpectBalloonShownAndWithdrawn();
}

TEST_F(MenuCheckTest, AnInstallerCutShortIsAFailedDownloadAndNothingIsOffered) {
    Json::Value cutShort(Json::objectValue);
    cutShort["service"] = "update";
    cutShort["path"] = "/windows/VANTOSetup.exe";
    cutShort["truncate"] = 20;
    ASSERT_TRUE(store.SetFault(cutShort));
    UseMenu(*update);
    const HWND box = WaitForBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(TextOf(box), Message("UpdateFail"));
    ASSERT_TRUE(Answer(box, "btnClose"));
    ASSERT_TRUE(update->WaitForWorker(30s));
    EXPECT_FALSE(vtest::Exists(InstallerFile()));
    EXPECT_FALSE(CUpdate::IsInstallerPending());
    EXPECT_TRUE(store.Reports().empty());
    ExpectBalloonShownAndWithdrawn();
}

TEST_F(MenuCheckTest, TheMenuSaysUpdatingWhileTheWorkerRunsAndStartsNothing) {
    Json::Value stall(Json::objectValue);
    stall["service"] = "update";
    stall["path"] = "/windows/newversion.htm";
    stall["stall"] = true;
    ASSERT_TRUE(store.SetFault(stall));
    ASSERT_TRUE(os::RegSetDword(HKEY_CURRENT_USER, settings::kClientKey, settings::kUpdateDay, 4));
    ASSERT_TRUE(ui.Run([&] { update->StartDailyCheck(); }));
    ASSERT_TRUE(store.WaitForRequests("update", 1));

    UseMenu(*update);
    const HWND box = WaitForBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(TextOf(box), Message("Updating"));
    ASSERT_TRUE(Answer(box, "btnClose"));
    EXPECT_EQ(Count(kVersionFile), 1);

    ASSERT_TRUE(store.ClearFaults());
    ASSERT_TRUE(update->WaitForWorker(30s));
    // The daily check it waited for was silent.
    EXPECT_EQ(automation.Windows().size(), 1u);
    EXPECT_EQ(Count(kInstaller), 1);
}

// A component that counts its hook calls, to see it alive when the worker
// calls it.
class CountingUpdate : public CUpdate {
  public:
    ~CountingUpdate() override { *destroyed = true; }
    void OnVersionCheck() override { ++*calls; }
    std::shared_ptr<std::atomic<int>> calls = std::make_shared<std::atomic<int>>(0);
    std::shared_ptr<std::atomic<bool>> destroyed = std::make_shared<std::atomic<bool>>(false);
};

TEST_F(MenuCheckTest, TheWorkerKeepsItsComponentAliveAfterEveryoneElseLetItGo) {
    Json::Value stall(Json::objectValue);
    stall["service"] = "update";
    stall["path"] = "/windows/newversion.htm";
    stall["stall"] = true;
    ASSERT_TRUE(store.SetFault(stall));
    auto counting = MakeUpdate<CountingUpdate>();
    const auto calls = counting->calls;
    const auto destroyed = counting->destroyed;
    UseMenu(*counting);
    ASSERT_TRUE(store.WaitForRequests("update", 1));
    ASSERT_TRUE(ui.Run([&] { counting.reset(); }));
    EXPECT_FALSE(destroyed->load());

    ASSERT_TRUE(store.ClearFaults());
    const HWND box = WaitForBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(calls->load(), 1);
    ASSERT_TRUE(Answer(box, "btnClose"));
    // The worker let the component go when it ended.
    EXPECT_TRUE(vtest::WaitFor([&] { return destroyed->load(); }));
}

TEST_F(MenuCheckTest, AQuestionForAnOwnerThatHasGoneIsNotAskedAndTheWorkerEnds) {
    Json::Value stall(Json::objectValue);
    stall["service"] = "update";
    stall["path"] = "/windows/newversion.htm";
    stall["stall"] = true;
    ASSERT_TRUE(store.SetFault(stall));
    SetServedVersionFile("version=1.0.0");
    UseMenu(*update);
    ASSERT_TRUE(store.WaitForRequests("update", 1));
    // The main window goes while the worker waits for the server.
    ASSERT_TRUE(ui.Run([&] { DestroyWindow(owner); }));
    ASSERT_TRUE(store.ClearFaults());
    ASSERT_TRUE(update->WaitForWorker(30s));
    EXPECT_TRUE(automation.Windows().empty());
}

TEST_F(MenuCheckTest, TheMainWindowGoingWhileTheWorkersQuestionIsShownEndsTheQuestionAndTheWorker) {
    UseMenu(*update);
    const HWND box = WaitForBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(TextOf(box), Message("HasUpdate"));
    // The main window goes (the client closes) while the box over it waits.
    ASSERT_TRUE(ui.Run([&] { DestroyWindow(owner); }));
    ASSERT_TRUE(update->WaitForWorker(30s));
    EXPECT_TRUE(vtest::WaitFor([&] { return automation.Windows().empty(); }));
    // Unanswered is not a yes: the installer waits for the next menu use.
    EXPECT_FALSE(vtest::Exists(InstallerRuns()));
    EXPECT_TRUE(CUpdate::IsInstallerPending());
    ExpectBalloonShownAndWithdrawn();
}

}  // namespace
