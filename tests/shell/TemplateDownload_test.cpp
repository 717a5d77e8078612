// The template download against the demo store, headless: a stand-in main
// window runs each request as the real one does, the save dialog is
// answered through the save-file sink, and the progress dialog is driven
// with the automation.
#include "MainFrameFixture.h"

#include "../ui/StandInWindow.h"
#include "../ui/TestScreen.h"
#include "config/LangFile.h"
#include "library/DownloadRecords.h"
#include "library/TemplateName.h"
#include "platform/duilib/SystemServices.h"
#include "platform/duilib/UIProgress.h"
#include "shell/TemplateDownload.h"
#include "support/DemoStore.h"
#include "ui/ClientMessages.h"

#include <atomic>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

namespace {

using shelltest::MainFrameTest;
using shelltest::Page;

// The store's large file, small here: big enough to be stopped half-way
// under a throttle, quick when it runs free.
constexpr const char* kLargeSize = "256K";
constexpr const char* kLargePath = "/files/9001_大文件演示素材包.zip";
constexpr const char* kLargeId = "9001";
constexpr const char* kSideSuffix = ".tmp";

// The main window as far as a download sees it: runs UM_DOWNLOAD with the
// request procedure and keeps the paths UM_OPEN_FILE asks to open. UI thread.
class MainWindow : public uitest::StandInWindow {
  public:
    explicit MainWindow(TemplateDownloadOptions options)
        : StandInWindow("VANTOWindowClass", R"(<Window size="900,600"><VerticalLayout/></Window>)"),
          m_options(options) {}

    std::vector<std::string> opened;

  protected:
    bool OnMessage(UINT msg, WPARAM, LPARAM lParam) override {
        if (msg == UM_DOWNLOAD) {
            // The record is handed over with the message.
            RunTemplateDownload(m_hWnd,
                                std::unique_ptr<DownloadRequest>(reinterpret_cast<DownloadRequest*>(lParam)),
                                m_options);
            return true;
        }
        if (msg == UM_OPEN_FILE) {
            const std::unique_ptr<std::string> path(reinterpret_cast<std::string*>(lParam));
            opened.push_back(path != nullptr ? *path : "(null)");
            return true;
        }
        return false;
    }

  private:
    TemplateDownloadOptions m_options;
};

class TemplateDownloadTest : public vtest::SandboxTest {
  protected:
    void SetUp() override {
        ASSERT_TRUE(store.Started());
        std::filesystem::create_directories(sandbox.UserDataFolder());
        std::filesystem::create_directories(Saved(""));
        ASSERT_TRUE(m_oem.LoadSkinArchive());
        ASSERT_TRUE(DuiLib::CPaintManagerUI::SetResourceZip(m_oem.SkinArchive(), m_oem.SkinArchiveSize()));
        sandbox.InstallLanguageFiles(VANTO_BIN_DIR "/language");
        ASSERT_FALSE(shelltest::RunLogPath().empty());
        SetUser("10001");
        DuiLib::SetSaveFileSink([this](const DuiLib::SaveFileRequest& request) {
            std::lock_guard lock(m_mutex);
            asked.push_back(request);
            return std::optional<DuiLib::SaveFileAnswer>(answer);
        });
        // A short stall limit for the silent server; deleted in TearDown.
        main = ui.Call<MainWindow*>([] {
                     auto* window = new MainWindow({.stallLimit = std::chrono::milliseconds(1000)});
                     window->Create(nullptr, "main", WS_VISIBLE | WS_OVERLAPPEDWINDOW, 0, 100, 100, 900, 600);
                     return window;
                 }).value_or(nullptr);
        ASSERT_TRUE(main != nullptr && ::IsWindow(main->GetHWND()));
        hwnd = main->GetHWND();
    }
    void TearDown() override {
        // A stalled or throttled reply is released before the store goes.
        EXPECT_TRUE(store.ClearFaults());
        ui.Run([this] { delete main; });
        EXPECT_TRUE(vtest::WaitFor([] { return os::WorkerThread::RunningCount() == 0; }));
        DuiLib::SetSaveFileSink(nullptr);
        DuiLib::CPaintManagerUI::SetResourceZip(nullptr, 0);
        SetUser("");
    }

    static void SetUser(const std::string& id) {
        UserSession::Instance().Update([&](UserSessionValues& values) { values.userId = id; });
    }
    std::string Saved(const std::string& name) const { return sandbox.Root() + "/我的文档/" + name; }
    std::string LargeUrl() const { return store.BaseUrl("client") + kLargePath; }
    std::string LargeBytes() const { return vtest::ReadFile(store.DataDir() + "/files/client" + kLargePath); }

    // A page's request, as the page bridge posts it.
    void Request(const std::string& url, const std::string& title = "大文件演示素材包") {
        auto request = std::make_unique<DownloadRequest>();
        request->url = url;
        request->title = title;
        ASSERT_TRUE(DuiLib::PostOwned(hwnd, UM_DOWNLOAD, 0, std::move(request)));
    }
    // The request procedure ran to its end (no dialog stays up).
    bool Settled() {
        return automation.RunUntilIdle() && automation.FindByLayout("dlg_download.xml") == nullptr;
    }
    std::vector<DuiLib::SaveFileRequest> Asked() {
        std::lock_guard lock(m_mutex);
        return asked;
    }
    std::vector<std::string> Opened() {
        return ui.Call<std::vector<std::string>>([this] { return main->opened; })
            .value_or(std::vector<std::string>{});
    }
    std::string Title(HWND dialog) const {
        return automation.Text(dialog, "download_title").value_or("(none)");
    }
    bool WaitForTitle(HWND dialog, const char* key) const {
        return vtest::WaitFor([&] { return Title(dialog) == LoadLangText(key); });
    }
    bool Shown(HWND dialog, const char* name) const {
        return automation.IsControlVisible(dialog, name).value_or(false);
    }
    int Progress(HWND dialog) const {
        return automation
            .Call<int>([&] {
                auto* bar = DuiLib::ControlCast<DuiLib::CProgressUI>(
                    DuiLib::Automation::FindControl(dialog, "progress_download"));
                return bar != nullptr ? bar->GetValue() : -1;
            })
            .value_or(-1);
    }
    static std::string Log() { return vtest::ReadFile(shelltest::RunLogPath()); }

    // Downloads the large file into `path` and waits for the dialog's end
    // state; the dialog stays up.
    HWND Download(const std::string& path, const char* endKey = "DownloadComplete") {
        answer = path;
        Request(LargeUrl());
        const HWND dialog = automation.WaitForLayout("dlg_download.xml");
        EXPECT_NE(dialog, nullptr);
        if (dialog != nullptr) {
            EXPECT_TRUE(WaitForTitle(dialog, endKey)) << Title(dialog);
        }
        return dialog;
    }

    vtest::DemoStore store{sandbox, sandbox.Root() + "/store", {"--large-file-size", kLargeSize}};
    COemConfig m_oem;
    DuiLib::UiThread ui{DuiLib::UiThread::Options{.screen = uitest::TestScreen()}};
    DuiLib::Automation automation;
    MainWindow* main = nullptr;
    HWND hwnd = nullptr;
    // The save dialog's answer, and what it was asked.
    DuiLib::SaveFileAnswer answer;
    std::vector<DuiLib::SaveFileRequest> asked;
    std::mutex m_mutex;
};

std::string Marker(const std::string& name) {
    return "\n" + std::string(29, '*') + name + std::string(37, '*') + "\n";
}

TEST_F(TemplateDownloadTest, TheSaveDialogShowsTheKindsFilterAndExtensionAndTheTitleAsName) {
    struct Case {
        std::string name;  // after the store's address
        std::string title;
        std::pair<std::string, std::string> filter;
        std::string extension;
        std::string proposed;
    };
    const std::vector<Case> cases{
        {"/files/1234_年度报告.pptx", "年度报告", {"PPT文档(*.pptx)", "*.pptx;"}, "pptx", "年度报告"},
        // A query is no part of the name; a title cannot name a folder.
        {"/files/9_素材.zip?v=2", "素材/包", {"ALL Files(*.*)", "*.*;"}, "zip", "素材包"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Request(store.BaseUrl("client") + c.name, c.title);
        ASSERT_TRUE(Settled());
        const std::vector<DuiLib::SaveFileRequest> requests = Asked();
        ASSERT_FALSE(requests.empty());
        const DuiLib::SaveFileRequest& request = requests.back();
        EXPECT_EQ(request.owner, hwnd);
        EXPECT_EQ(request.filters, (std::vector<std::pair<std::string, std::string>>{c.filter}));
        EXPECT_EQ(request.defaultExtension, c.extension);
        EXPECT_EQ(request.proposedName, c.proposed);
        EXPECT_TRUE(request.promptOverwrite);
    }
    // Cancelled every time: nothing was fetched or opened.
    EXPECT_EQ(Asked().size(), cases.size());
    EXPECT_TRUE(Opened().empty());
    EXPECT_TRUE(store.Requests("client").empty());
}

TEST_F(TemplateDownloadTest, AnAddressTheClientWillNotFetchIsDroppedWithoutADialog) {
    const std::string base = store.BaseUrl("client");
    const std::vector<std::string> urls{
        "ftp://" + store.HostPort("client") + "/files/1234_年度报告.pptx",
        base + "/files/" + std::string(511 - base.size() - 7, 'a') + "1",  // 512 characters
        base + "/files/",
    };
    answer = Saved("x.pptx");
    for (const std::string& url : urls) {
        SCOPED_TRACE(url);
        Request(url);
        ASSERT_TRUE(Settled());
    }
    EXPECT_TRUE(Asked().empty());
    EXPECT_TRUE(Opened().empty());
    EXPECT_TRUE(store.Requests("client").empty());
    // The templates folder is made first, whatever the address.
    EXPECT_TRUE(std::filesystem::is_directory(TemplatesFolder()));
}

// The document opens from disk while its record names a file that is
// there; otherwise it is downloaded again and the record follows.
TEST_F(TemplateDownloadTest, ARecordOfAFileThatIsThereOpensItAndOtherwiseTheDocumentDownloadsAgain) {
    const std::string earlier = Saved("earlier.zip");
    vtest::WriteFile(earlier, "kept");
    ASSERT_TRUE(EnsureTemplatesFolder());
    ASSERT_TRUE(WriteDownloadRecord("10001", kLargeId, earlier));
    Request(LargeUrl());
    ASSERT_TRUE(Settled());
    EXPECT_EQ(Opened(), std::vector<std::string>{earlier});
    EXPECT_TRUE(Asked().empty());
    EXPECT_EQ(vtest::ReadFile(earlier), "kept");

    struct Case {
        std::string label;
        std::function<void()> loseFile;
    };
    const std::vector<Case> cases{
        {"file removed", [&] { std::filesystem::remove(earlier); }},
        {"a folder in its place", [&] { std::filesystem::create_directories(earlier); }},
    };
    int round = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ASSERT_TRUE(WriteDownloadRecord("10001", kLargeId, earlier));
        c.loseFile();
        const std::string again = Saved("again" + std::to_string(++round) + ".zip");
        const HWND dialog = Download(again);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(ReadDownloadRecord("10001", kLargeId), again);
        ASSERT_TRUE(automation.Click(dialog, "btnClose"));
        EXPECT_EQ(Opened().size(), 1u);
    }
}

TEST_F(TemplateDownloadTest, TwoAccountsDownloadingOneDocumentGetTwoRecords) {
    for (const char* user : {"10001", "10002"}) {
        SetUser(user);
        const HWND dialog = Download(Saved(std::string(user) + ".zip"));
        ASSERT_NE(dialog, nullptr);
        ASSERT_TRUE(automation.Click(dialog, "btnClose"));
    }
    EXPECT_EQ(ReadDownloadRecord("10001", kLargeId), Saved("10001.zip"));
    EXPECT_EQ(ReadDownloadRecord("10002", kLargeId), Saved("10002.zip"));
}

// The store's bytes under the chosen name, the same whether or not a file
// of that name was there (the user agreed to replace it).
TEST_F(TemplateDownloadTest, ACompleteDownloadSavesTheStoresBytesRecordsThemAndOpensOnRequest) {
    struct Case {
        std::string name;
        std::optional<std::string> before;  // a file already at the path
    };
    const std::vector<Case> cases{{"素材包.zip", std::nullopt}, {"旧的.zip", "an older document"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = Saved(c.name);
        // The earlier case's record would open its file instead.
        RemoveDownloadRecord("10001", kLargeId);
        if (c.before)
            vtest::WriteFile(path, *c.before);
        const HWND dialog = Download(path);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(vtest::ReadFile(path), LargeBytes());
        EXPECT_FALSE(vtest::Exists(path + kSideSuffix));
        EXPECT_EQ(ReadDownloadRecord("10001", kLargeId), path);
        EXPECT_TRUE(Shown(dialog, "btn_open_file"));
        EXPECT_FALSE(Shown(dialog, "btn_stop_download"));
        EXPECT_EQ(Progress(dialog), 100);
        EXPECT_EQ(automation.Text(dialog, "text_download_name"), "大文件演示素材包");

        // The worker has ended: its close has nothing to wait for.
        ASSERT_TRUE(vtest::WaitFor([] { return os::WorkerThread::RunningCount() == 0; }));
        const std::size_t logStart = Log().size();
        ASSERT_TRUE(automation.Click(dialog, "btn_open_file"));
        ASSERT_TRUE(Settled());
        EXPECT_EQ(Opened().back(), path);
        EXPECT_EQ(Log().substr(logStart),
                  Marker("ShellExecuteA bef") + Marker("OnClose") + "m_handle != NULL \nClose");
        EXPECT_EQ(vtest::ReadFile(path), LargeBytes());
    }
}

// Stopped while the store sends slowly, by either button or by the window
// manager's close: the dialog asks the transfer to stop, waits for it,
// deletes the side file and records nothing. A dialog whose window goes with
// the main window (the program's end) stops its transfer without waiting.
TEST_F(TemplateDownloadTest, StoppingMidwayDeletesTheSideFileRecordsNothingAndLogsTheClose) {
    ASSERT_TRUE(store.SetFault(vtest::ParseJson(R"({"service":"client","path":")" + std::string(kLargePath) +
                                                R"(","throttle":16384})")));
    const std::string closeLog = Marker("OnClose") +
                                 "m_handle != NULL \nWAIT_TIMEOUT \nWAIT_TIMEOUT 30 * 1000 \n"
                                 "CloseHandle(m_handle); \nClose";
    struct Case {
        std::string label;
        std::function<bool(HWND dialog)> end;
        std::string log;  // what the run log gains
    };
    const std::vector<Case> cases{
        {"stop", [this](HWND dialog) { return automation.Click(dialog, "btn_stop_download"); }, closeLog},
        {"close", [this](HWND dialog) { return automation.Click(dialog, "btnClose"); }, closeLog},
        {"window manager", [](HWND dialog) { return ::PostMessageW(dialog, WM_CLOSE, 0, 0) != FALSE; },
         closeLog},
        {"main window gone", [this](HWND) { return ui.Run([this] { ::DestroyWindow(hwnd); }); }, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string path = Saved(c.label + ".zip");
        answer = path;
        Request(LargeUrl());
        const HWND dialog = automation.WaitForLayout("dlg_download.xml");
        ASSERT_NE(dialog, nullptr);
        // Under way: some of it arrived, and more is to come.
        ASSERT_TRUE(vtest::WaitFor([&] { return Progress(dialog) > 0; }));
        EXPECT_TRUE(vtest::Exists(path + kSideSuffix));
        const std::size_t logStart = Log().size();
        ASSERT_TRUE(c.end(dialog));
        ASSERT_TRUE(Settled());
        // A close waits until the transfer has ended; a window that just goes does not.
        EXPECT_TRUE(c.log.empty() ? vtest::WaitFor([] { return os::WorkerThread::RunningCount() == 0; })
                                  : os::WorkerThread::RunningCount() == 0);
        EXPECT_FALSE(vtest::Exists(path + kSideSuffix));
        EXPECT_FALSE(vtest::Exists(path));
        EXPECT_EQ(ReadDownloadRecord("10001", kLargeId), "");
        EXPECT_EQ(Log().substr(logStart), c.log);
        EXPECT_TRUE(Opened().empty());
    }
}

// What the server does wrong, or a chosen name that cannot be taken, ends
// the download as failed: the dialog says so, a file the user agreed to
// replace stays as it was, nothing is recorded, and closing deletes what
// arrived.
TEST_F(TemplateDownloadTest, ANotFoundACutBodyAndASilentServerEachFailTheDownload) {
    struct Case {
        std::string label;
        std::string path;     // on the store
        std::string fault;    // JSON members, or none
        bool folder = false;  // a folder at the chosen path: the file arrives but cannot take its name
    };
    const std::vector<Case> cases{
        {"not found", "/files/1234_年度报告.pptx", ""},
        {"status 404 with a body", kLargePath, R"("status":404)"},
        {"cut short", kLargePath, R"("truncate":1000)"},
        {"silent", kLargePath, R"("stall":true)"},
        {"a folder in the way", kLargePath, "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ASSERT_TRUE(store.ClearFaults());
        if (!c.fault.empty()) {
            ASSERT_TRUE(store.SetFault(
                vtest::ParseJson(R"({"service":"client","path":")" + c.path + R"(",)" + c.fault + "}")));
        }
        const std::string path = Saved(c.label + ".zip");
        c.folder ? void(std::filesystem::create_directories(path))
                 : vtest::WriteFile(path, "the user's document");
        answer = path;
        Request(store.BaseUrl("client") + c.path);
        const HWND dialog = automation.WaitForLayout("dlg_download.xml");
        ASSERT_NE(dialog, nullptr);
        EXPECT_TRUE(WaitForTitle(dialog, "DownloadFailed")) << Title(dialog);
        EXPECT_TRUE(Shown(dialog, "btn_stop_download"));
        EXPECT_FALSE(Shown(dialog, "btn_open_file"));
        EXPECT_TRUE(c.folder ? std::filesystem::is_directory(path)
                             : vtest::ReadFile(path) == "the user's document");
        EXPECT_EQ(ReadDownloadRecord("10001", DocumentIdAtCompletion(c.path.substr(7))), "");
        ASSERT_TRUE(automation.Click(dialog, "btn_stop_download"));
        ASSERT_TRUE(Settled());
        EXPECT_FALSE(vtest::Exists(path + kSideSuffix));
        EXPECT_TRUE(Opened().empty());
    }
}

// The main window runs its downloads with this procedure from the start.
TEST_F(MainFrameTest, TheMainWindowRunsDownloadRequestsThroughTheSaveDialog) {
    std::atomic<HWND> askedOwner{nullptr};
    DuiLib::SetSaveFileSink([&](const DuiLib::SaveFileRequest& request) {
        askedOwner = request.owner;
        return std::optional<DuiLib::SaveFileAnswer>(std::nullopt);
    });
    ASSERT_NE(Open(), nullptr);
    ASSERT_TRUE(
        DuiLib::PostOwned(hwnd, UM_DOWNLOAD, 0,
                          std::make_unique<DownloadRequest>(DownloadRequest{Page("/files/1_a.pptx"), "a"})));
    ASSERT_TRUE(automation.RunUntilIdle());
    DuiLib::SetSaveFileSink(nullptr);
    EXPECT_EQ(askedOwner.load(), hwnd);
}

}  // namespace
