#pragma once
// The user information against the demo store, driven headless: a UI thread
// on the test screen with the built-in skin in force, a stand-in for the main
// window (the account area's "userNickname" and "btnLogin", the messages the
// pop-up sends it, logout as the main window does it), a session of the
// test's own, and the worker started from that window.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "account/SavedLogin.h"
#include "account/UserInfo.h"
#include "account/UserInfoWorker.h"
#include "account/UserSession.h"
#include "platform/duilib/Automation.h"
#include "platform/duilib/UIDlgBuilder.h"
#include "platform/duilib/UIManager.h"
#include "platform/duilib/UiThread.h"
#include "platform/duilib/WindowWnd.h"
#include "platform/os/Resource.h"
#include "platform/os/WorkerThread.h"
#include "support/DemoStore.h"
#include "support/Sandbox.h"
#include "ui/ClientMessages.h"
#include "ui/StandInWindow.h"
#include "ui/TestScreen.h"

namespace userinfotest {

// The demo store's users.
constexpr const char* kMemberPhone = "13800138000";  // user 10001, 2026-01-01 to 2027-12-31
constexpr const char* kPlainPhone = "13900139000";   // user 10002, no membership

// The main window as far as the pop-up and the worker see it: the account
// area's two controls, the key of each info message, and logout's session
// side. UI thread only.
class MainWindow : public uitest::StandInWindow {
  public:
    MainWindow(UserSession& session, UserInfoWorker& worker);

    std::vector<std::string> infoKeys;  // UM_SHOW_INFO's message keys

  protected:
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

  private:
    UserSession& m_session;
    UserInfoWorker& m_worker;
};

// The pop-up and the worker without a store.
class UserInfoTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    // Starts the worker from the main window; false when it did not start.
    bool StartFetch();
    // Waits until `count` fetches have delivered their result; the results
    // (applied or not) so far.
    std::vector<bool> WaitForFetches(std::size_t count);
    // Waits until no worker thread of the process runs any more.
    bool WaitForWorkersToEnd() const;

    // Opens the pop-up from the main window's control `from`, as the main
    // window does on a click; the pop-up's window or null.
    HWND OpenPopup(const char* from = "userNickname", POINT at = {400, 120});
    std::optional<std::string> Text(HWND popup, const char* name) const {
        return automation.Text(popup, name);
    }
    bool Shown(HWND popup, const char* name) const {
        return automation.IsControlVisible(popup, name).value_or(false);
    }
    std::string BkImage(HWND popup, const char* name) const;
    std::optional<RECT> WindowRect(HWND hwnd) const;
    DWORD TextColor(HWND popup, const char* name) const;

    std::vector<UINT> Received();
    std::vector<std::string> InfoKeys();

    std::string PicturePath() const { return sandbox.UserDataFolder() + "/pic_head.jpg"; }
    // Files of the data folder other than the registry's: what a fetch left.
    std::vector<std::string> DataFiles() const;

    vtest::Sandbox sandbox;
    DuiLib::UiThread ui{DuiLib::UiThread::Options{.screen = uitest::TestScreen()}};
    DuiLib::Automation automation;
    UserSession session;
    std::unique_ptr<UserInfoWorker> worker;  // made, used and dropped on the UI thread
    MainWindow* main = nullptr;
    std::vector<bool> fetches;  // UI thread: each delivered result
    os::ResourceBytes skin = os::FindResourceBytes("DATA", 202);
};

// The same against the demo store.
class UserInfoStoreTest : public UserInfoTest {
  protected:
    void SetUp() override;
    void TearDown() override;

    // A login as the login flow stores it, with a token of the store's.
    std::string LogIn(const std::string& phone);
    // The bytes the store serves as the picture of user `id`.
    std::string StorePicture(int id) const;
    bool SetStoreFault(const std::string& path, Json::Value fault) const;
    // Waits until `count` user-information requests reached the store.
    bool WaitForUserInfoRequests(unsigned count) const;
    // The user-information requests that reached the store.
    std::vector<Json::Value> UserInfoRequests() const;

    vtest::DemoStore store{sandbox};
};

}  // namespace userinfotest
