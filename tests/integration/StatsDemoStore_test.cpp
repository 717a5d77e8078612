// The usage reporter against the demo store: the store decrypts and checks
// what the reporter sends, and keeps the uploaded crash file.
#include <gtest/gtest.h>
#include <json/json.h>

#include <string>

#include "config/Settings.h"
#include "platform/os/Registry.h"
#include "stats/ErrorFile.h"
#include "stats/StatsReporter.h"
#include "support/DemoStore.h"
#include "support/Sandbox.h"

namespace {

class StatsDemoStoreTest : public vtest::SandboxTest {
  protected:
    void SetUp() override { ASSERT_TRUE(store.Started()); }

    void Configure(CStatsReporter& reporter) {
        reporter.SetHost(store.HostPort("stats"));
        reporter.SetAppId(34);
        reporter.SetAppApiId(2002);
        reporter.SetOs("windows10");
        reporter.SetChannelCode("1007");
        reporter.SetVersion("2.4.0.118");
        reporter.SetMachineCode("0123456789ABCDEF");
        reporter.SetOsBit(64);
    }

    vtest::DemoStore store{sandbox};
};

TEST_F(StatsDemoStoreTest, StoreDecryptsTheReportAndFindsEveryMemberInTheStyledLayout) {
    ASSERT_TRUE(os::RegSetString(HKEY_CURRENT_USER, settings::kClientKey, settings::kAdId, "1234"));
    CStatsReporter reporter;
    Configure(reporter);
    ASSERT_TRUE(reporter.SendAction(CStatsReporter::kActionUninstall));

    const Json::Value reports = store.Reports();
    ASSERT_EQ(reports.size(), 1u) << reports;
    const Json::Value& report = reports[0];
    EXPECT_TRUE(report["accepted"].asBool()) << report["reason"];
    EXPECT_TRUE(report["styled"].asBool());
    EXPECT_EQ(report["text"].asString(), reporter.BuildActionReport(CStatsReporter::kActionUninstall));
    const Json::Value& members = report["members"];
    EXPECT_EQ(members["AppId"].asUInt(), 34u);
    EXPECT_EQ(members["AppApiId"].asUInt(), 2002u);
    EXPECT_EQ(members["TypeId"].asInt(), 2);
    EXPECT_EQ(members["OsBit"].asUInt(), 64u);
    EXPECT_EQ(members["ChannelCode"].asString(), "1007");
    EXPECT_EQ(members["Version"].asString(), "2.4.0.118");
    EXPECT_EQ(members["MachineCode"].asString(), "0123456789ABCDEF");
    EXPECT_EQ(members["Os"].asString(), "windows10");
    EXPECT_EQ(members["AdId"].asUInt(), 1234u);
}

TEST_F(StatsDemoStoreTest, StoreKeepsTheHandedOverCrashFile) {
    CStatsReporter reporter;
    Configure(reporter);
    std::string dump = "MDMP";
    for (int i = 0; i < 3000; ++i) {
        dump += static_cast<char>(i * 31 + 7);
    }
    const std::string path = sandbox.UserDataFolder() + "/Error.tmp";
    vtest::WriteFile(path, dump);
    ASSERT_TRUE(HandOverErrorFile(reporter, path));
    EXPECT_FALSE(vtest::Exists(path));

    const Json::Value uploads = store.Uploads();
    ASSERT_EQ(uploads.size(), 1u) << uploads;
    const Json::Value& upload = uploads[0];
    EXPECT_TRUE(upload["accepted"].asBool()) << upload["reason"];
    EXPECT_EQ(upload["file_name"].asString(), path);
    EXPECT_EQ(upload["size"].asUInt64(), dump.size());
    EXPECT_EQ(upload["query"]["aid"].asString(), "34");
    EXPECT_EQ(upload["query"]["v"].asString(), "2.4.0.118");
    EXPECT_EQ(upload["query"]["os"].asString(), "windows10");
    EXPECT_EQ(vtest::ReadFile(upload["stored"].asString()), dump);
}

TEST_F(StatsDemoStoreTest, ReportsFailWhenTheStatisticsServiceIsGone) {
    CStatsReporter reporter;
    Configure(reporter);
    const std::string path = sandbox.UserDataFolder() + "/Error.tmp";
    vtest::WriteFile(path, "dump");
    store.Stop();
    EXPECT_FALSE(reporter.SendAction(CStatsReporter::kActionUpdateCheck));
    EXPECT_FALSE(HandOverErrorFile(reporter, path));
    EXPECT_EQ(vtest::ReadFile(path), "dump");
}

}  // namespace
