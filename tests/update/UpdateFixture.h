#pragma once
// The self-update tests' set-up: a sandbox whose every server is the demo
// store, the built-in skin and the built language files in force, the usage
// reporter pointed at the store, a private notification bus, a headless UI
// thread with a main window stand-in that owns the messages, and the update
// component with a day of the month of the test's choosing. The store's
// record of what arrived is the judge.

#include <gtest/gtest.h>
#include <json/json.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "config/LangFile.h"
#include "config/LocalConfig.h"
#include "config/Settings.h"
#include "platform/duilib/Automation.h"
#include "platform/duilib/UIManager.h"
#include "platform/duilib/UiThread.h"
#include "platform/duilib/WindowWnd.h"
#include "platform/os/Notification.h"
#include "platform/os/Paths.h"
#include "platform/os/Profile.h"
#include "platform/os/Registry.h"
#include "platform/os/Resource.h"
#include "platform/os/WorkerThread.h"
#include "platform/os/notification/NotificationBus.h"
#include "stats/StatsReporter.h"
#include "support/DemoStore.h"
#include "support/Sandbox.h"
#include "update/update.h"

namespace updatetest {

using namespace std::chrono_literals;

// The main window's stand-in: a plain visible window.
class OwnerWindow : public DuiLib::CWindowWnd {
  public:
    const char* GetWindowClassName() const override { return "UpdateOwner"; }
};

class UpdateTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(store.Started());
        ASSERT_TRUE(bus.Started());
        ASSERT_TRUE(ui.IsRunning());
        // What start-up makes sure of: the data folder, the skin, the
        // reporter's identity, the local profile.
        ASSERT_TRUE(os::CreateFolderWithParents(sandbox.UserDataFolder()));
        const os::ResourceBytes skin = os::FindResourceBytes("DATA", 202);
        ASSERT_NE(skin.data, nullptr) << "the skin resource is linked into this test";
        ASSERT_TRUE(DuiLib::CPaintManagerUI::SetResourceZip(skin.data, skin.size));
        sandbox.InstallLanguageFiles(VANTO_BIN_DIR "/language");
        CStatsReporter& reporter = CStatsReporter::Instance();
        reporter.SetHost(store.HostPort("stats"));
        reporter.SetAppId(34);
        reporter.SetAppApiId(2002);
        reporter.SetOs("linux");
        reporter.SetChannelCode("0");
        reporter.SetVersion("1.0.0");
        reporter.SetMachineCode("0123456789ABCDEF");
        reporter.SetOsBit(64);
        CLocalConfig::Instance().Load(sandbox.UserDataFolder());
        SetVersion("1.0.0");

        update = MakeUpdate<CUpdate>();
        ASSERT_TRUE(ui.Run([&] {
            m_owner = std::make_unique<OwnerWindow>();
            m_owner->Create(nullptr, "墨林工坊", WS_POPUP | WS_VISIBLE, 0, RECT{0, 0, 870, 578});
        }));
        owner = m_owner->GetHWND();
    }

    void TearDown() override {
        // A stalled reply is released so that no worker outlives the test.
        store.ClearFaults();
        EXPECT_TRUE(vtest::WaitFor([] { return os::WorkerThread::RunningCount() == 0; }, 30s))
            << "a worker still runs";
        ui.Run([&] { m_owner.reset(); });
        DuiLib::CPaintManagerUI::SetResourceZip(nullptr, 0);
    }

    // A component of type T (CUpdate or a test's own) whose day of the month
    // is `day`.
    template <typename T>
    std::shared_ptr<T> MakeUpdate() {
        auto made = std::make_shared<T>();
        made->GetVersionFile().SetDayOfMonthSource([this] { return day.load(); });
        return made;
    }

    // The installed version; nothing removes the value.
    static void SetVersion(const std::optional<std::string>& version) {
        if (version)
            os::RegSetString(HKEY_CURRENT_USER, settings::kClientKey, settings::kVersion, *version);
        else
            os::RegDeleteValue(HKEY_CURRENT_USER, settings::kClientKey, settings::kVersion);
    }
    static std::optional<DWORD> UpdateDay() {
        return os::RegGetDword(HKEY_CURRENT_USER, settings::kClientKey, settings::kUpdateDay);
    }
    void SetServedVersionFile(const std::string& text) {
        ASSERT_TRUE(store.PutFile("update", "/windows/newversion.htm", text));
    }

    std::string DataFile(const std::string& name) const { return sandbox.UserDataFolder() + "/" + name; }
    std::string InstallerFile() const { return DataFile("VANTOSetup.exe"); }
    std::string ConfigFile() const { return DataFile("config.ini"); }
    int HasNewInstaller() const { return os::ReadProfileInt("Main", "HasNewInstaller", 0, ConfigFile()); }
    std::string ServedInstaller() const {
        return vtest::ReadFile(store.DataDir() + "/files/update/windows/VANTOSetup.exe");
    }

    // The demo installer's record of its runs (see the demo store).
    std::string InstallerRuns() const { return sandbox.Home() + "/vanto-demo-installer.log"; }

    // Runs the automatic check as the main window starts it, after a check
    // on another day, and waits for it.
    template <typename T = CUpdate>
    void RunDailyCheck(T& component) {
        ASSERT_TRUE(os::RegSetDword(HKEY_CURRENT_USER, settings::kClientKey, settings::kUpdateDay, day + 1));
        ASSERT_TRUE(ui.Run([&] { component.StartDailyCheck(); }));
        ASSERT_EQ(UpdateDay(), static_cast<DWORD>(day.load())) << "the check did not start";
        ASSERT_TRUE(component.WaitForWorker(30s));
    }

    // The menu entry, used on the UI thread; returns at once (the entry may
    // show a modal message).
    template <typename T = CUpdate>
    void UseMenu(T& component) {
        ui.Post([&component, this] { component.CheckFromMenu(owner, kIcon); });
    }

    // The message box shown now (over the owner), and its text.
    HWND WaitForBox() const { return automation.WaitForLayout("dlg_message.xml"); }
    std::string TextOf(HWND box) const { return automation.Text(box, "context").value_or("<none>"); }
    static std::string Message(const std::string& key) {
        std::string text;
        ReadLangEntry("Message", key, "", text, 260, GetLangFilePath());
        EXPECT_FALSE(text.empty()) << key;
        return text;
    }
    static std::string Text(const std::string& key) {
        const std::string text = LoadLangText(key);
        EXPECT_FALSE(text.empty()) << key;
        return text;
    }
    // Closes the box with the given button and waits until it is gone.
    bool Answer(HWND box, const char* button) const {
        return automation.Click(box, button) &&
               vtest::WaitFor([&] { return !automation.IsVisible(box); }, 10s);
    }

    // What reached the store, in the order of arrival: "service path".
    std::vector<std::string> Arrivals() const {
        std::vector<std::string> list;
        for (const Json::Value& request : store.Requests())
            list.push_back(request["service"].asString() + " " + request["path"].asString());
        return list;
    }
    std::vector<int> ReportTypes() const {
        std::vector<int> types;
        for (const Json::Value& report : store.Reports())
            types.push_back(report["members"]["TypeId"].asInt());
        return types;
    }
    int Count(const std::string& arrival) const {
        int n = 0;
        for (const std::string& a : Arrivals())
            n += a == arrival ? 1 : 0;
        return n;
    }

    static inline const HICON kIcon = reinterpret_cast<HICON>(128);
    static inline const std::string kVersionFile = "update /windows/newversion.htm";
    static inline const std::string kInstaller = "update /windows/VANTOSetup.exe";
    static inline const std::string kAction = "stats /action.ashx";
    static inline const std::string kErrorFile = "stats /errorfile.ashx";

    vtest::Sandbox sandbox;
    vtest::DemoStore store{sandbox};
    vtest::NotificationBus bus{sandbox};
    DuiLib::UiThread ui{DuiLib::UiThread::Options{}};
    DuiLib::Automation automation;
    std::atomic<int> day{5};
    std::shared_ptr<CUpdate> update;
    HWND owner = nullptr;

  private:
    std::unique_ptr<OwnerWindow> m_owner;
};

}  // namespace updatetest
