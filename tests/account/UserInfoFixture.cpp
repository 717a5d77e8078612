#include "UserInfoFixture.h"

#include <dirent.h>

#include <algorithm>
#include <filesystem>

#include "platform/duilib/UILabel.h"
#include "platform/duilib/WinUser.h"

namespace userinfotest {

MainWindow::MainWindow(UserSession& session, UserInfoWorker& worker)
    : StandInWindow("VANTOWindowClass", R"(<Window size="870,578"><HorizontalLayout>)"
                                        R"(<Button name="btnLogin" width="60" height="30"/>)"
                                        R"(<Button name="userNickname" width="80" height="30"/>)"
                                        R"(</HorizontalLayout></Window>)"),
      m_session(session),
      m_worker(worker) {}

bool MainWindow::OnMessage(UINT msg, WPARAM, LPARAM lParam) {
    if (msg == UM_SHOW_INFO) {
        // The key arrives as a heap text handed over with the message.
        const std::unique_ptr<std::string> key(reinterpret_cast<std::string*>(lParam));
        infoKeys.push_back(key != nullptr ? *key : std::string("(null)"));
        return true;
    }
    if (msg == UM_LOGOUT) {
        // The session side of the main window's logout.
        m_worker.Stop();
        ForgetLogin(m_session);
        return true;
    }
    return false;
}

void UserInfoTest::SetUp() {
    ASSERT_TRUE(ui.IsRunning());
    // Start-up makes the per-user data folder.
    std::filesystem::create_directories(sandbox.UserDataFolder());
    ASSERT_NE(skin.data, nullptr) << "the skin resource is linked into this test";
    ASSERT_TRUE(DuiLib::CPaintManagerUI::SetResourceZip(skin.data, skin.size));
    const auto made = ui.Call<MainWindow*>([this] {
        worker = std::make_unique<UserInfoWorker>(PicturePath(), session);
        auto* window = new MainWindow(session, *worker);  // deleted in TearDown
        if (window->Create(nullptr, "main", WS_VISIBLE | WS_OVERLAPPEDWINDOW, 0, 100, 100, 870, 578) ==
            nullptr) {
            delete window;
            return static_cast<MainWindow*>(nullptr);
        }
        return window;
    });
    ASSERT_TRUE(made && *made != nullptr);
    main = *made;
}

void UserInfoTest::TearDown() {
    ui.Run([this] {
        worker.reset();
        delete main;
    });
    // A fetch that was let go ends on its own.
    EXPECT_TRUE(WaitForWorkersToEnd());
    automation.RunUntilIdle();
    DuiLib::CPaintManagerUI::SetResourceZip(nullptr, 0);
}

void UserInfoStoreTest::SetUp() {
    ASSERT_TRUE(store.Started());
    UserInfoTest::SetUp();
}

void UserInfoStoreTest::TearDown() {
    // A stalled reply is released, so that a fetch let go while it waited
    // ends before the store goes.
    EXPECT_TRUE(store.ClearFaults());
    UserInfoTest::TearDown();
}

bool UserInfoStoreTest::WaitForUserInfoRequests(unsigned count) const {
    return vtest::WaitFor([&] { return UserInfoRequests().size() >= count; });
}

std::vector<Json::Value> UserInfoStoreTest::UserInfoRequests() const {
    std::vector<Json::Value> found;
    for (const Json::Value& request : store.Requests("store")) {
        if (request["path"].asString() == "/api/user/userinfo.html")
            found.push_back(request);
    }
    return found;
}

std::string UserInfoStoreTest::LogIn(const std::string& phone) {
    const std::string token = store.IssueToken(phone);
    EXPECT_FALSE(token.empty());
    SaveLogin(session, token, phone, LOGIN_CODE);
    return token;
}

bool UserInfoTest::StartFetch() {
    return ui
        .Call<bool>([this] {
            return worker->Start(main->GetHWND(), [this](bool applied) { fetches.push_back(applied); });
        })
        .value_or(false);
}

std::vector<bool> UserInfoTest::WaitForFetches(std::size_t count) {
    std::vector<bool> seen;
    vtest::WaitFor([&] {
        seen = ui.Call<std::vector<bool>>([this] { return fetches; }).value_or(std::vector<bool>{});
        return seen.size() >= count;
    });
    return seen;
}

bool UserInfoTest::WaitForWorkersToEnd() const {
    return vtest::WaitFor([] { return os::WorkerThread::RunningCount() == 0; });
}

HWND UserInfoTest::OpenPopup(const char* from, POINT at) {
    const auto hwnd =
        ui.Call<HWND>([&] { return CUserInfo::Open(main->Control(from), at, PicturePath(), session); });
    automation.RunUntilIdle();
    return hwnd.value_or(nullptr);
}

std::string UserInfoTest::BkImage(HWND popup, const char* name) const {
    return automation
        .Call<std::string>([&] {
            DuiLib::CControlUI* control = DuiLib::Automation::FindControl(popup, name);
            return control != nullptr ? control->GetBkImage() : std::string("(missing)");
        })
        .value_or("(no answer)");
}

DWORD UserInfoTest::TextColor(HWND popup, const char* name) const {
    return automation
        .Call<DWORD>([&] {
            auto* label = DuiLib::ControlCast<DuiLib::CLabelUI>(DuiLib::Automation::FindControl(popup, name));
            return label != nullptr ? label->GetTextColor() : DWORD{0xDEADBEEF};
        })
        .value_or(0xDEADBEEF);
}

std::optional<RECT> UserInfoTest::WindowRect(HWND hwnd) const {
    return automation
        .Call<std::optional<RECT>>([&]() -> std::optional<RECT> {
            RECT rc;
            if (!::GetWindowRect(hwnd, &rc))
                return std::nullopt;
            return rc;
        })
        .value_or(std::nullopt);
}

std::vector<UINT> UserInfoTest::Received() {
    return ui.Call<std::vector<UINT>>([this] { return main->received; }).value_or(std::vector<UINT>{});
}

std::vector<std::string> UserInfoTest::InfoKeys() {
    return ui.Call<std::vector<std::string>>([this] { return main->infoKeys; })
        .value_or(std::vector<std::string>{});
}

std::vector<std::string> UserInfoTest::DataFiles() const {
    std::vector<std::string> names;
    DIR* dir = ::opendir(sandbox.UserDataFolder().c_str());
    if (dir == nullptr)
        return names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != ".." && name.rfind("registry.db", 0) != 0)
            names.push_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

std::string UserInfoStoreTest::StorePicture(int id) const {
    const std::string own = store.DataDir() + "/files/store/static/head/" + std::to_string(id) + ".jpg";
    return vtest::Exists(own) ? vtest::ReadFile(own)
                              : vtest::ReadFile(store.DataDir() + "/files/store/static/head.jpg");
}

bool UserInfoStoreTest::SetStoreFault(const std::string& path, Json::Value fault) const {
    fault["service"] = "store";
    fault["path"] = path;
    return store.SetFault(fault);
}

}  // namespace userinfotest
