// The daily automatic check against the demo store: when it runs, what it
// sends and in which order, what it downloads, the crash-file hand-over, and
// a fault inside it.
#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>
#include <regex>
#include <stdexcept>

#include "UpdateFixture.h"
#include "platform/os/DebugPrint.h"
#include "support/FaultTrigger.h"

namespace {

using updatetest::UpdateTest;
using namespace std::chrono_literals;

class AutomaticCheckTest : public UpdateTest {};

TEST_F(AutomaticCheckTest, ReportsDownloadAndCrashFileArriveInTheOrderOfTheDesign) {
    // An installation report pending, its advertising id only in the
    // installer's name, a crash file of an earlier run.
    ASSERT_TRUE(os::RegSetDword(HKEY_CURRENT_USER, settings::kClientKey, settings::kSendInstallMessage, 1));
    ASSERT_TRUE(os::RegSetString(HKEY_LOCAL_MACHINE, settings::kClientKey, settings::kInstallerName,
                                 "/tmp/VANTOSetup_1234.exe"));
    vtest::WriteFile(DataFile("Error.tmp"), std::string(4000, 'E'));

    RunDailyCheck(*update);

    const std::vector<std::string> expected = {kAction,    kAction, kVersionFile,
                                               kInstaller, kAction, kErrorFile};
    EXPECT_EQ(Arrivals(), expected);
    EXPECT_EQ(ReportTypes(), (std::vector<int>{1, 3, 4}));
    for (const Json::Value& report : store.Reports()) {
        EXPECT_TRUE(report["accepted"].asBool()) << report;
        // The id derived from the installer's name was stored before the first report.
        EXPECT_EQ(report["members"]["AdId"].asUInt(), 1234u);
    }
    EXPECT_EQ(os::RegGetString(HKEY_CURRENT_USER, settings::kClientKey, settings::kAdId), "1234");
    // The version file is asked for with the update service's credentials.
    const Json::Value versionRequest = store.Requests("update")[0];
    bool authorised = false;
    for (const Json::Value& header : versionRequest["headers"])
        authorised |= header[0].asString() == "Authorization";
    EXPECT_TRUE(authorised);

    EXPECT_FALSE(os::RegValueExists(HKEY_CURRENT_USER, settings::kClientKey, settings::kSendInstallMessage));
    EXPECT_EQ(vtest::ReadFile(InstallerFile()), ServedInstaller());
    EXPECT_EQ(HasNewInstaller(), 1);
    EXPECT_FALSE(vtest::Exists(DataFile("Error.tmp")));
    ASSERT_EQ(store.Uploads().size(), 1u);
    EXPECT_EQ(store.Uploads()[0]["size"].asUInt64(), 4000u);
    // Silent: nothing was shown, no notification.
    EXPECT_TRUE(automation.Windows().size() == 1);
    EXPECT_TRUE(bus.Calls().empty());
}

TEST_F(AutomaticCheckTest, RunsOncePerDayOfTheMonthWhateverTheMonth) {
    // A check on the 5th of another month: the low 16 bits hold the day.
    for (const DWORD stored : {DWORD{5}, DWORD{0x00070005}}) {
        ASSERT_TRUE(os::RegSetDword(HKEY_CURRENT_USER, settings::kClientKey, settings::kUpdateDay, stored));
        ASSERT_TRUE(ui.Run([&] { update->StartDailyCheck(); }));
        EXPECT_FALSE(ui.Call<bool>([&] { return update->IsWorkerRunning(); }).value_or(true));
        EXPECT_EQ(UpdateDay(), stored);
    }
    EXPECT_TRUE(store.Requests().empty());

    // The 5th after a check on the 4th: it runs, and today is stored.
    ASSERT_TRUE(os::RegSetDword(HKEY_CURRENT_USER, settings::kClientKey, settings::kUpdateDay, 4));
    ASSERT_TRUE(ui.Run([&] { update->StartDailyCheck(); }));
    EXPECT_EQ(UpdateDay(), 5u);
    ASSERT_TRUE(update->WaitForWorker(30s));
    EXPECT_EQ(ReportTypes(), (std::vector<int>{3, 4}));
    // A second start on the same day does nothing.
    ASSERT_TRUE(store.Reset());
    ASSERT_TRUE(ui.Run([&] { update->StartDailyCheck(); }));
    ASSERT_TRUE(update->WaitForWorker(30s));
    EXPECT_TRUE(store.Requests().empty());

    // Without any stored day, any day runs it.
    ASSERT_TRUE(os::RegDeleteValue(HKEY_CURRENT_USER, settings::kClientKey, settings::kUpdateDay));
    day = 31;
    ASSERT_TRUE(ui.Run([&] { update->StartDailyCheck(); }));
    EXPECT_EQ(UpdateDay(), 31u);
    ASSERT_TRUE(update->WaitForWorker(30s));
    EXPECT_EQ(Count(kAction), 1);
}

TEST_F(AutomaticCheckTest, OnlyAStrictlyGreaterServerTextDownloads) {
    struct Case {
        const char* file;
        std::optional<std::string> installed;
        bool downloads;
    };
    const Case cases[] = {
        {"version=1.2.3", "1.2.3", false},
        {"version=1.2.3", "1.2.10", true},
        {"version=1.2.3\r\n", "1.2.3", true},  // the carriage return stays
        {"\tversion=1.2.3\n\n", "1.2.3", false},
        {"Version=9.9.9", "1.0.0", false},
        {"version=0.0.1", std::nullopt, true},  // nothing installed: any version is newer
        {"", std::nullopt, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        ASSERT_TRUE(store.Reset());
        std::filesystem::remove(InstallerFile());
        std::filesystem::remove(ConfigFile());
        SetServedVersionFile(c.file);
        SetVersion(c.installed);
        RunDailyCheck(*update);
        EXPECT_EQ(Count(kVersionFile), 1);
        EXPECT_EQ(Count(kInstaller), c.downloads ? 1 : 0);
        EXPECT_EQ(vtest::Exists(InstallerFile()), c.downloads);
        EXPECT_EQ(HasNewInstaller(), c.downloads ? 1 : 0);
        EXPECT_EQ(ReportTypes(), (c.downloads ? std::vector<int>{3, 4} : std::vector<int>{3}));
    }
}

TEST_F(AutomaticCheckTest, NothingIsDownloadedWhileAnInstallerIsPendingOrWhenUpdatesAreForbidden) {
    // A downloaded installer waits: the check leaves it alone.
    vtest::WriteFile(InstallerFile(), "older installer");
    CUpdate::MarkInstallerPending();
    RunDailyCheck(*update);
    EXPECT_EQ(Count(kInstaller), 0);
    EXPECT_EQ(vtest::ReadFile(InstallerFile()), "older installer");

    // "CanUpdate" 0 stops the download but not the reports.
    ASSERT_TRUE(store.Reset());
    std::filesystem::remove(InstallerFile());
    std::filesystem::remove(ConfigFile());
    vtest::WriteFile(ConfigFile(), "[General]\r\nCanUpdate=0\r\n");
    CLocalConfig::Instance().Load(sandbox.UserDataFolder());
    RunDailyCheck(*update);
    EXPECT_EQ(Arrivals(), (std::vector<std::string>{kAction, kVersionFile}));
    EXPECT_FALSE(vtest::Exists(InstallerFile()));
    CLocalConfig::Instance().Load(sandbox.UserDataFolder() + "/nowhere");
}

TEST_F(AutomaticCheckTest,
       AnInstallerThatFailsOrArrivesCutShortIsNeitherKeptNorMarkedAndTheNextDayFetchesIt) {
    Json::Value serverError(Json::objectValue);
    serverError["status"] = 500;
    // The announced length is the whole installer's; the connection closes early.
    Json::Value cutShort(Json::objectValue);
    cutShort["truncate"] = 20;
    Json::Value notFound(Json::objectValue);
    notFound["status"] = 404;
    for (Json::Value fault : {serverError, cutShort, notFound}) {
        SCOPED_TRACE(fault.toStyledString());
        ASSERT_TRUE(store.Reset());
        fault["service"] = "update";
        fault["path"] = "/windows/VANTOSetup.exe";
        ASSERT_TRUE(store.SetFault(fault));
        vtest::WriteFile(InstallerFile(), "an older installer, deleted before the fetch");
        RunDailyCheck(*update);
        EXPECT_EQ(Count(kInstaller), 1);
        EXPECT_FALSE(vtest::Exists(InstallerFile()));
        EXPECT_EQ(HasNewInstaller(), 0);
        EXPECT_FALSE(CUpdate::IsInstallerPending());
        EXPECT_EQ(ReportTypes(), (std::vector<int>{3}));
    }
    // The next day's check fetches it whole.
    ASSERT_TRUE(store.Reset());
    day = 6;
    RunDailyCheck(*update);
    EXPECT_EQ(vtest::ReadFile(InstallerFile()), ServedInstaller());
    EXPECT_TRUE(CUpdate::IsInstallerPending());
    EXPECT_EQ(ReportTypes(), (std::vector<int>{3, 4}));
}

TEST_F(AutomaticCheckTest, OnlyACrashFileOfOneByteToTwoMebibytesIsSentAndDeletedOnceAccepted) {
    struct Case {
        std::size_t size;
        bool sent;
    };
    for (const Case c : {Case{0, false}, Case{3 * 1024 * 1024, false}, Case{2097153, false},
                         Case{2097152, true}, Case{1, true}}) {
        SCOPED_TRACE(c.size);
        ASSERT_TRUE(store.Reset());
        vtest::WriteFile(DataFile("Error.tmp"), std::string(c.size, 'D'));
        RunDailyCheck(*update);
        EXPECT_EQ(Count(kErrorFile), c.sent ? 1 : 0);
        EXPECT_EQ(vtest::Exists(DataFile("Error.tmp")), !c.sent);
        if (c.sent) {
            ASSERT_EQ(store.Uploads().size(), 1u);
            EXPECT_EQ(store.Uploads()[0]["size"].asUInt64(), c.size);
        }
        std::filesystem::remove(DataFile("Error.tmp"));
    }
    // A refused upload keeps the file for the next check.
    ASSERT_TRUE(store.Reset());
    Json::Value refuse(Json::objectValue);
    refuse["service"] = "stats";
    refuse["path"] = "/errorfile.ashx";
    refuse["body"] = "0";
    ASSERT_TRUE(store.SetFault(refuse));
    vtest::WriteFile(DataFile("Error.tmp"), "dump");
    RunDailyCheck(*update);
    EXPECT_EQ(Count(kErrorFile), 1);
    EXPECT_TRUE(vtest::Exists(DataFile("Error.tmp")));
}

TEST_F(AutomaticCheckTest, ARefusedInstallationReportStaysPendingForTheNextDay) {
    ASSERT_TRUE(os::RegSetString(HKEY_CURRENT_USER, settings::kClientKey, settings::kSendInstallMessage, ""));
    Json::Value refuse(Json::objectValue);
    refuse["service"] = "stats";
    refuse["path"] = "/action.ashx";
    refuse["body"] = "0";
    refuse["times"] = 1;
    ASSERT_TRUE(store.SetFault(refuse));
    RunDailyCheck(*update);
    ASSERT_EQ(ReportTypes(), (std::vector<int>{1, 3, 4}));
    EXPECT_TRUE(os::RegValueExists(HKEY_CURRENT_USER, settings::kClientKey, settings::kSendInstallMessage));

    ASSERT_TRUE(store.Reset());
    day = 6;
    RunDailyCheck(*update);
    EXPECT_EQ(ReportTypes(), (std::vector<int>{1, 3}));
    EXPECT_FALSE(os::RegValueExists(HKEY_CURRENT_USER, settings::kClientKey, settings::kSendInstallMessage));
}

// A component whose version-check hook faults or throws, as a fault or an
// exception inside the check would.
class FaultingUpdate : public CUpdate {
  public:
    enum class Ending { kNone, kFault, kThrow };
    void OnVersionCheck() override {
        ++calls;
        if (ending == Ending::kFault)
            vtest::WriteThroughNull();
        if (ending == Ending::kThrow)
            throw std::runtime_error("thrown inside the check");
    }
    std::atomic<int> calls{0};
    std::atomic<Ending> ending{Ending::kFault};
};

// Every debug line written while `run` runs.
template <typename Run>
std::vector<std::string> DebugLinesOf(Run&& run) {
    std::mutex mutex;
    std::vector<std::string> lines;
    os::SetDebugSink([&](const std::string& line) {
        std::lock_guard lock(mutex);
        lines.push_back(line);
    });
    run();
    os::SetDebugSink({});
    return lines;
}

int CountMatching(const std::vector<std::string>& lines, const std::string& pattern) {
    const std::regex expression(pattern);
    int n = 0;
    for (const std::string& line : lines)
        n += std::regex_match(line, expression) ? 1 : 0;
    return n;
}

TEST_F(AutomaticCheckTest, AFaultInsideTheCheckIsTracedAndTheClientGoesOn) {
    auto faulting = MakeUpdate<FaultingUpdate>();
    const std::vector<std::string> lines = DebugLinesOf([&] { RunDailyCheck(*faulting); });

    EXPECT_EQ(faulting->calls.load(), 1);
    EXPECT_EQ(CountMatching(lines, "Type=1 File=update\\.cpp Line=269 ExceptCode=c0000005 Address=[0-9a-f]+"),
              1)
        << ::testing::PrintToString(lines);
    // The procedure ended at the fault: the reports before it went out,
    // nothing after it happened.
    EXPECT_EQ(Arrivals(), (std::vector<std::string>{kAction}));

    // The client goes on: the same component checks again.
    faulting->ending = FaultingUpdate::Ending::kNone;
    ASSERT_TRUE(store.Reset());
    day = 6;
    RunDailyCheck(*faulting);
    EXPECT_EQ(faulting->calls.load(), 2);
    EXPECT_EQ(Count(kInstaller), 1);
}

TEST_F(AutomaticCheckTest, AnExceptionEndsEitherCheckWithTheTraceLineOfItsGuard) {
    // The automatic check's second handler: any other exception.
    auto throwing = MakeUpdate<FaultingUpdate>();
    throwing->ending = FaultingUpdate::Ending::kThrow;
    std::vector<std::string> lines = DebugLinesOf([&] { RunDailyCheck(*throwing); });
    EXPECT_EQ(CountMatching(lines, "Type=5 File=update\\.cpp Line=270"), 1)
        << ::testing::PrintToString(lines);
    EXPECT_EQ(Count(kVersionFile), 0);

    // The menu check has one handler for everything, a fault included; the
    // user sees nothing of it and the worker ends.
    ASSERT_TRUE(store.Reset());
    throwing->ending = FaultingUpdate::Ending::kFault;
    lines = DebugLinesOf([&] {
        UseMenu(*throwing);
        ASSERT_TRUE(vtest::WaitFor([&] { return throwing->calls.load() == 2; }));
        // The worker's handle is the UI thread's: seen from here once the
        // UI thread has passed the menu use.
        ASSERT_TRUE(ui.Run([] {}));
        ASSERT_TRUE(throwing->WaitForWorker(30s));
    });
    EXPECT_EQ(CountMatching(lines, "Type=5 File=update\\.cpp Line=436"), 1)
        << ::testing::PrintToString(lines);
    EXPECT_EQ(automation.Windows().size(), 1u);
    EXPECT_TRUE(bus.Calls().empty());
}

}  // namespace
