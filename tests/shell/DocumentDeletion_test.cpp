// The deletion of a downloaded document that the downloads page asks for:
// what is deleted on disk and in the records, and, through the main window
// against the demo store, what the user is told and when the page reloads.
#include "MainFrameFixture.h"

#include "config/LangFile.h"
#include "library/DownloadRecords.h"
#include "shell/DocumentDeletion.h"
#include "support/DemoStore.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace {

using shelltest::MainFrameTest;
namespace fs = std::filesystem;

constexpr const char* kUser = "10001";
constexpr const char* kOtherUser = "10002";
constexpr const char* kPhone = "13800138000";
constexpr const char* kDownloadsPage = "/client/user/downloads.html";

class DeleteDownloadedFileTest : public vtest::SandboxTest {
  protected:
    void SetUp() override {
        fs::create_directories(sandbox.UserDataFolder());
        ASSERT_TRUE(EnsureTemplatesFolder());
    }
};

// Only a regular file is deleted, and its record with it; whatever else the
// record names stays, and so does the record.
TEST_F(DeleteDownloadedFileTest, OnlyARegularFileIsDeletedAndOnlyThenItsRecord) {
    const std::string folder = sandbox.Root() + "/我的文档/";
    fs::create_directories(folder + "sub/inner");
    fs::create_directories(folder + "empty");
    for (const char* file : {"1_a.pptx", "other.pptx", "target.pptx", "sub/inner/keep"})
        vtest::WriteFile(folder + file, file);
    vtest::WriteFile(folder + "空.pptx", "");
    fs::create_symlink(folder + "target.pptx", folder + "link.pptx");
    fs::create_directory_symlink(folder + "sub", folder + "dirlink");
    ASSERT_EQ(::mkfifo((folder + "pipe").c_str(), 0600), 0);
    struct Case {
        std::string name;
        std::string user;  // whose record names the path
        std::string path;  // in `folder`; empty: no record
        bool deleted;
    };
    const std::vector<Case> cases{
        {"regular file", kUser, "1_a.pptx", true},
        {"empty file", kUser, "空.pptx", true},
        {"folder", kUser, "sub", false},
        {"empty folder", kUser, "empty", false},
        {"link to a file", kUser, "link.pptx", false},
        {"link to a folder", kUser, "dirlink", false},
        {"pipe", kUser, "pipe", false},
        {"missing file", kUser, "gone.pptx", false},
        {"no record", kUser, "", false},
        {"the other user's record", kOtherUser, "other.pptx", false},
    };
    std::int32_t id = 100;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string key = std::to_string(++id);
        const std::string path = folder + c.path;
        if (!c.path.empty()) {
            ASSERT_TRUE(WriteDownloadRecord(c.user, key, path));
        }
        std::error_code error;
        const auto before = fs::symlink_status(path, error).type();
        EXPECT_EQ(DeleteDownloadedFile(kUser, id), c.deleted);
        EXPECT_EQ(fs::symlink_status(path, error).type(), c.deleted ? fs::file_type::not_found : before);
        EXPECT_EQ(ReadDownloadRecord(c.user, key), c.deleted || c.path.empty() ? "" : path);
    }
    // Nothing was followed through a link.
    EXPECT_EQ(vtest::ReadFile(folder + "target.pptx"), "target.pptx");
    EXPECT_EQ(vtest::ReadFile(folder + "sub/inner/keep"), "sub/inner/keep");
}

// Through the main window: the page's request, the store's answer off the UI
// thread, the boxes and the reload.
class DocumentDeletionTest : public MainFrameTest {
  protected:
    void SetUp() override {
        MainFrameTest::SetUp();
        ASSERT_TRUE(store.Started());
        sandbox.SetEnv("VANTO_STORE_HOST", store.Env("VANTO_STORE_HOST"));
        token = store.IssueToken(kPhone);
        ASSERT_FALSE(token.empty());
        Json::Value user;
        user["downloads"] = Json::Value(Json::arrayValue);
        for (int id : {101, 102, 103, 104, 105, 106})
            user["downloads"].append(id);
        ASSERT_TRUE(store.SetUser(kPhone, user));
        fs::create_directories(sandbox.UserDataFolder());
        ASSERT_TRUE(EnsureTemplatesFolder());
        folder = sandbox.Root() + "/文档";
        fs::create_directories(folder);
        ASSERT_NE(Open(), nullptr);
        // Logged in once the window is up, so that no fetch of the user's
        // information changes the user id meanwhile.
        LogIn(kUser);
    }

    void LogIn(const std::string& userId) {
        UserSession::Instance().Update([&](UserSessionValues& values) {
            values.sessionToken = token;
            values.userId = userId;
        });
    }
    // The downloads page asks for the deletion of `id` (the message as the
    // page writes it).
    void AskToDelete(const std::string& message) {
        ui->Run([&] {
            engine->PageMessage(ViewOf("web_opt01"), shelltest::Page(kDownloadsPage).c_str(),
                                message.c_str());
        });
    }
    // The box that comes up, answered with its close button: its text, or
    // nothing when none came.
    std::optional<std::string> TakeBox() {
        const HWND box = automation.WaitForLayout("dlg_message.xml");
        if (box == nullptr)
            return std::nullopt;
        EXPECT_TRUE(automation.IsControlVisible(box, "infoLogo").value_or(false));
        EXPECT_EQ(ui->Call<HWND>([&] { return GetWindowOwner(box); }), hwnd);
        std::optional<std::string> text = automation.Text(box, "context");
        EXPECT_TRUE(automation.Click(box, "btnClose"));
        EXPECT_TRUE(automation.RunUntilIdle());
        return text;
    }
    static std::string LangMessage(const std::string& key) {
        std::string text;
        ReadLangEntry("Message", key, "", text, 260, GetLangFilePath());
        return text;
    }
    bool Deleting() {
        return ui->Call<bool>([&] { return frame->IsDeletingDocument(); }).value_or(true);
    }
    std::size_t Reloads() {
        std::size_t count = 0;
        for (const std::string& load : Loads("web_opt06"))
            count += load == shelltest::Page(kDownloadsPage) ? 1 : 0;
        return count;
    }
    // "target token" of each deletion that reached the store.
    std::vector<std::string> DeleteRequests() {
        std::vector<std::string> targets;
        for (const Json::Value& request : store.Requests("store")) {
            if (request["path"].asString() != "/api/user/deleteDownLoad")
                continue;
            std::string token;
            for (const Json::Value& header : request["headers"])
                if (header[0].asString() == "X-token")
                    token = header[1].asString();
            targets.push_back(request["target"].asString() + " " + token);
        }
        return targets;
    }
    bool SetFault(const std::string& field, const Json::Value& value) {
        Json::Value fault;
        fault["service"] = "store";
        fault["path"] = "/api/user/deleteDownLoad";
        fault[field] = value;
        return store.SetFault(fault);
    }

    vtest::DemoStore store{sandbox};
    std::string token;
    std::string folder;
};

TEST_F(DocumentDeletionTest, TheStoresAnswerDecidesAndTheFileAndRecordFollow) {
    enum class Local { RegularFile, Folder, None };
    struct Case {
        std::string name;
        std::int32_t id;
        Local local;
        std::optional<std::string> replyBody;  // replaces the store's answer
        std::string message;
        bool localGone;
        bool reload;
    };
    const std::vector<Case> cases{
        {"the store refuses", 101, Local::RegularFile, R"({"code":0,"msg":"失败"})", "DeleteRecordFail",
         false, false},
        {"not the store's answer", 102, Local::RegularFile, "<html>502</html>", "DeleteRecordFail", false,
         false},
        {"code as text", 103, Local::RegularFile, R"({"code":"1"})", "DeleteRecordFail", false, false},
        {"not in the user's list", 999, Local::RegularFile, std::nullopt, "DeleteRecordFail", false, false},
        {"deleted without a record", 104, Local::None, std::nullopt, "DeleteLocalFail", false, true},
        {"deleted with its file", 105, Local::RegularFile, std::nullopt, "DeleteFileSuccess", true, true},
        {"a record naming a folder", 106, Local::Folder, std::nullopt, "DeleteLocalFail", false, true},
    };
    std::size_t reloads = Reloads();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string key = std::to_string(c.id);
        const std::string path = folder + "/" + key + (c.local == Local::Folder ? "_目录" : "_模板.pptx");
        if (c.local == Local::RegularFile)
            vtest::WriteFile(path, "document");
        if (c.local == Local::Folder)
            fs::create_directories(path + "/inner");
        if (c.local != Local::None) {
            ASSERT_TRUE(WriteDownloadRecord(kUser, key, path));
        }
        ASSERT_TRUE(store.ClearFaults());
        if (c.replyBody) {
            ASSERT_TRUE(SetFault("body", *c.replyBody));
        }

        AskToDelete(R"({"action":"deletedoc", /* from the list */ "id":)" + key + "}");
        EXPECT_EQ(TakeBox(), LangMessage(c.message));
        EXPECT_EQ(automation.FindByLayout("dlg_message.xml"), nullptr);  // one box only
        EXPECT_FALSE(Deleting());
        if (c.local != Local::None) {
            EXPECT_EQ(fs::exists(path), !c.localGone);
            EXPECT_EQ(ReadDownloadRecord(kUser, key), c.localGone ? "" : path);
        }
        reloads += c.reload ? 1 : 0;
        EXPECT_EQ(Reloads(), reloads);
        EXPECT_EQ(DeleteRequests().back(), "/api/user/deleteDownLoad?document_id=" + key + " " + token);
    }
    EXPECT_EQ(DeleteRequests().size(), cases.size());
}

// The window stays live while the store is slow; a second request meanwhile
// is dropped; and the answer removes the asking user's record even when
// another user has logged in since.
TEST_F(DocumentDeletionTest, ASlowStoreKeepsTheAskingUserAndDropsASecondRequest) {
    for (const char* user : {kUser, kOtherUser}) {
        const std::string path = folder + "/" + user + "_105_模板.pptx";
        vtest::WriteFile(path, "document");
        ASSERT_TRUE(WriteDownloadRecord(user, "105", path));
    }
    ASSERT_TRUE(SetFault("stall", true));
    AskToDelete(R"({"action":"deletedoc","id":105})");
    ASSERT_TRUE(store.WaitForRequests("store", 1));
    EXPECT_TRUE(Deleting());
    // The window goes on: a tab can be chosen while the store is silent.
    ASSERT_TRUE(automation.Click(hwnd, "Option02"));
    EXPECT_EQ(frame->CurrentTab(), 1);
    AskToDelete(R"({"action":"deletedoc","id":106})");
    LogIn(kOtherUser);

    ASSERT_TRUE(store.ClearFaults());
    EXPECT_EQ(TakeBox(), LangMessage("DeleteFileSuccess"));
    EXPECT_FALSE(Deleting());
    EXPECT_EQ(ReadDownloadRecord(kUser, "105"), "");
    EXPECT_FALSE(fs::exists(folder + "/" + kUser + "_105_模板.pptx"));
    EXPECT_EQ(ReadDownloadRecord(kOtherUser, "105"), folder + "/" + kOtherUser + "_105_模板.pptx");
    EXPECT_TRUE(fs::exists(folder + "/" + kOtherUser + "_105_模板.pptx"));
    EXPECT_EQ(DeleteRequests().size(), 1U);
}

// The window closing while the store is silent: the request ends at once,
// nothing is shown, nothing is deleted.
TEST_F(DocumentDeletionTest, TheWindowsEndStopsADeletionUnderWay) {
    const std::string path = folder + "/104_模板.pptx";
    vtest::WriteFile(path, "document");
    ASSERT_TRUE(WriteDownloadRecord(kUser, "104", path));
    ASSERT_TRUE(SetFault("stall", true));
    AskToDelete(R"({"action":"deletedoc","id":104})");
    ASSERT_TRUE(store.WaitForRequests("store", 1));
    ui->Run([&] { DestroyWindow(hwnd); });
    EXPECT_TRUE(vtest::WaitFor([] { return os::WorkerThread::RunningCount() == 0; }));
    EXPECT_EQ(automation.FindByLayout("dlg_message.xml"), nullptr);
    EXPECT_TRUE(fs::exists(path));
    EXPECT_EQ(ReadDownloadRecord(kUser, "104"), path);
}

}  // namespace
