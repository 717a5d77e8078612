// A template's whole way through the client as a user meets it: on a
// display (under tests/gui/with-xvfb.sh), with the GTK back end and the real
// web engine, against the demo store. A signed-in user clicks "下载" on a card
// of the presentation tab, names the file in the real file chooser, watches
// the progress dialog (the store throttles the file so the dialog is seen
// while it runs) and opens the file (the desktop's opener is a stand-in on
// PATH that notes what it was asked to open); then "删除" on the downloads
// page removes it from the store, the disk and the records, and the page,
// reloaded, no longer lists it. Every click and key comes from the X server
// (XTest, through xdotool). Screenshots of each stage are written for a
// reviewer (ArtefactDir()).
//
// The user is signed in as a saved login would sign them in (the session's
// token set before the window opens); the login itself is the main window's
// other on-screen test.

// Before the toolkit's X11 header, whose macros (Success, None) would
// break it.
#include <httplib.h>

#include "shell/screen/MainWindowScreenFixture.h"

#include "library/DownloadRecords.h"
#include "platform/duilib/UIProgress.h"
#include "platform/wke/webkitgtk/wke_webkitgtk.h"

#include <dlfcn.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <json/json.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

using namespace DuiLib;
using screentest::kDeadline;

namespace {

namespace fs = std::filesystem;

constexpr const char* kPhone = "13800138000";
// The first presentation card of the store's catalogue.
constexpr const char* kDocumentId = "1001";
constexpr const char* kTitle = "年终总结汇报";
constexpr const char* kStorePath = "/files/1001_年终总结汇报.pptx";
// What the dialogs say (language/cn.txt).
constexpr const char* kDownloadComplete = "下载完成";
constexpr const char* kDeleteFileSuccess = "文档已删除。";
// The store pages' text.
constexpr std::uint32_t kTextColour = 0xFF222222;

std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// Asks a page questions by script and hears the answers. The engine's own
// test exports run a script in a view's page and report the page's
// console.error lines; each answer is one such line. Registration and
// scripts run on the UI thread, where the engine calls back; the answers are
// read from the test's thread.
class PageProbe {
  public:
    // Binds the exports of the engine module the client loaded.
    bool Bind(const std::string& module) {
        void* handle = dlopen(module.c_str(), RTLD_NOW | RTLD_NOLOAD);
        if (handle == nullptr)
            return false;
        m_run = reinterpret_cast<decltype(m_run)>(dlsym(handle, "wkeRunScript"));
        m_listen = reinterpret_cast<decltype(m_listen)>(dlsym(handle, "wkeOnConsoleMessage"));
        dlclose(handle);  // the client's own reference keeps it loaded
        return m_run != nullptr && m_listen != nullptr;
    }

    // Runs `expression` (a value or a promise of one, as JSON) in the view's
    // page. UI thread. The number to wait for its answer with.
    int Ask(wkeWebView view, const std::string& expression) {
        const int question = ++m_asked;
        m_listen(view, &PageProbe::Heard, this);
        const std::string tag = "'vanto-probe " + std::to_string(question) + " '";
        m_run(view, ("(function () {\n"
                     "  var reply = function (v) { console.error(" +
                     tag +
                     " + JSON.stringify(v === undefined ? null : v)); };\n"
                     "  try { Promise.resolve(" +
                     expression +
                     ").then(reply, function (e) { reply({error: String(e)}); }); }\n"
                     "  catch (e) { reply({error: String(e)}); }\n"
                     "})();")
                        .c_str());
        return question;
    }

    // The answer to question `question`, once it came. Any thread.
    std::optional<Json::Value> Answer(int question) {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto it = m_answers.find(question);
        return it == m_answers.end() ? std::nullopt : std::optional<Json::Value>(it->second);
    }

  private:
    // UI thread: a console.error line of the page.
    static void Heard(wkeWebView, void* self, const char* text) {
        auto* probe = static_cast<PageProbe*>(self);
        const std::string line = text != nullptr ? text : "";
        const std::string prefix = "console.error: vanto-probe ";
        if (line.rfind(prefix, 0) != 0)
            return;
        std::istringstream in(line.substr(prefix.size()));
        int question = 0;
        in >> question;
        std::string json;
        std::getline(in, json);
        std::lock_guard<std::mutex> lock(probe->m_mutex);
        probe->m_answers[question] = vtest::ParseJson(json);
    }

    void (*m_run)(wkeWebView, const char*) = nullptr;
    void (*m_listen)(wkeWebView, wkeConsoleMessageCallback, void*) = nullptr;
    int m_asked = 0;  // UI thread
    std::mutex m_mutex;
    std::map<int, Json::Value> m_answers;
};

// The file chooser the client shows now: mapped on the display; null when
// there is none. UI thread.
GtkWidget* ShownFileChooser() {
    GtkWidget* found = nullptr;
    GList* toplevels = gtk_window_list_toplevels();
    for (GList* item = toplevels; item != nullptr; item = item->next) {
        auto* widget = static_cast<GtkWidget*>(item->data);
        if (GTK_IS_FILE_CHOOSER_DIALOG(widget) && gtk_widget_get_mapped(widget))
            found = widget;
    }
    g_list_free(toplevels);
    return found;
}

class DownloadJourneyOnScreenTest : public screentest::MainWindowScreenTest {
  protected:
    void SetUp() override {
        MainWindowScreenTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        // The desktop's opener: a stand-in first on PATH that notes its
        // arguments, one line per opening.
        const fs::path bin = fs::path(sandbox.Root()) / "opener";
        fs::create_directories(bin);
        m_openedRecord = (fs::path(sandbox.Root()) / "opened.txt").string();
        std::ofstream(bin / "xdg-open") << "#!/bin/sh\nprintf '%s\\n' \"$*\" >> '" << m_openedRecord << "'\n";
        fs::permissions(bin / "xdg-open", fs::perms::owner_all);
        const char* path = std::getenv("PATH");
        sandbox.SetEnv("PATH", bin.string() + ":" + (path != nullptr ? path : "/usr/bin:/bin"));
        // Where the user saves the template.
        m_saveFolder = (fs::path(sandbox.Home()) / "文档").string();
        fs::create_directories(m_saveFolder);
    }

    // ---- the page, by script ------------------------------------------------------

    wkeWebView ViewOf(HWND window, const std::string& name) {
        return ui
            .Call<wkeWebView>([&]() -> wkeWebView {
                auto* view = ControlCast<CWkeWebkitUI>(Automation::FindControl(window, name));
                return view != nullptr ? view->GetWebView() : nullptr;
            })
            .value_or(nullptr);
    }
    // The page's answer to `expression`; null when none came in time.
    Json::Value AskPage(HWND window, const std::string& view, const std::string& expression) {
        const wkeWebView engineView = ViewOf(window, view);
        if (engineView == nullptr)
            return Json::Value();
        const int question = ui.Call<int>([&] { return m_probe.Ask(engineView, expression); }).value_or(0);
        std::optional<Json::Value> answer;
        vtest::WaitFor([&] { return (answer = m_probe.Answer(question)).has_value(); },
                       std::chrono::seconds(5));
        return answer.value_or(Json::Value());
    }
    // Waits until `condition` (a script expression) holds in the page. The
    // page looks itself, a few times a second for a while per question, so
    // that a question a page that navigates away never answers is only
    // asked again.
    bool WaitForPage(HWND window, const std::string& view, const std::string& condition) {
        const std::string poll =
            "new Promise(function (resolve) { var end = Date.now() + 3000; (function check() {"
            " var holds = false; try { holds = (" +
            condition +
            ") === true; } catch (e) {}"
            " if (holds || Date.now() > end) resolve(holds); else setTimeout(check, 50); })(); })";
        return vtest::WaitFor([&] { return AskPage(window, view, poll) == Json::Value(true); }, kDeadline);
    }
    // The rectangle of the page's element `selector` in the window (within
    // the view's viewport); none when the page has no such element shown.
    std::optional<RECT> ElementInWindow(HWND window, const std::string& view, const std::string& selector) {
        const Json::Value at =
            AskPage(window, view,
                    "(function () { var e = document.querySelector(" + Quoted(selector) +
                        "); if (!e) return null; var r = e.getBoundingClientRect();"
                        " return {left: r.left, top: r.top, right: r.right, bottom: r.bottom,"
                        " width: innerWidth, height: innerHeight}; })()");
        if (!at.isObject() || at["width"].asDouble() <= 0)
            return std::nullopt;
        if (at["left"].asDouble() < 0 || at["top"].asDouble() < 0 ||
            at["right"].asDouble() > at["width"].asDouble() ||
            at["bottom"].asDouble() > at["height"].asDouble())
            return std::nullopt;
        const RECT viewRect = ControlRect(window, view);
        // The page's pixels to the view's (the engine's zoom).
        const double scale = viewRect.Width() / at["width"].asDouble();
        auto x = [&](const char* key) {
            return viewRect.left + static_cast<long>(at[key].asDouble() * scale);
        };
        auto y = [&](const char* key) {
            return viewRect.top + static_cast<long>(at[key].asDouble() * scale);
        };
        return RECT{x("left"), y("top"), x("right"), y("bottom")};
    }
    // The screen point at the centre of the page's element `selector`.
    std::optional<POINT> ElementOnScreen(HWND window, const std::string& view, const std::string& selector) {
        const std::optional<RECT> rect = ElementInWindow(window, view, selector);
        if (!rect)
            return std::nullopt;
        POINT point{(rect->left + rect->right) / 2, (rect->top + rect->bottom) / 2};
        ui.Run([&] { ClientToScreen(window, &point); });
        return point;
    }
    static std::string Quoted(const std::string& text) {
        Json::StreamWriterBuilder writer;
        writer["emitUTF8"] = true;
        return Json::writeString(writer, Json::Value(text));
    }

    // ---- the journey's steps --------------------------------------------------------

    // The main window of a user signed in by a saved login, its first page
    // on screen, the user known to the client and the page's requests
    // carrying the web login.
    HWND OpenSignedIn() {
        const std::string token = store.IssueToken(kPhone);
        EXPECT_FALSE(token.empty());
        UserSession::Instance().Update([&](UserSessionValues& values) {
            values.sessionToken = token;
            values.nickName = kPhone;
            values.loginType = LOGIN_CODE;
        });
        const HWND window = OpenMainWindow();
        if (window == nullptr)
            return nullptr;
        RECT view{};
        const auto first = WaitForFirstPage(window, store.BaseUrl("client") + "/ppt.html", view);
        EXPECT_TRUE(first && ShowsStorePage(*first, view)) << "the presentation page is not on screen";
        EXPECT_TRUE(m_probe.Bind((fs::path(sandbox.ProgramDir()) / kWkeModuleName).string()));
        EXPECT_TRUE(
            vtest::WaitFor([] { return !UserSession::Instance().Snapshot().userId.empty(); }, kDeadline))
            << "the client never learnt the user's id";
        EXPECT_TRUE(vtest::WaitFor(
            [&] {
                return AskPage(window, "web_opt01",
                               "fetch('/client/user/downloads.html', {credentials: 'same-origin'})"
                               ".then(function (r) { return r.text(); })"
                               ".then(function (t) { return t.indexOf('id=\"downloads\"') >= 0; })") ==
                       Json::Value(true);
            },
            kDeadline))
            << "the pages never shared the client's login";
        return window;
    }

    // "下载" on the card, clicked while the store sends the file slowly.
    void ClickDownloadOnCard(HWND window) {
        Json::Value fault;
        fault["service"] = "client";
        fault["path"] = kStorePath;
        fault["throttle"] = std::max<Json::Int64>(1, static_cast<Json::Int64>(m_storeBytes.size() / 20));
        ASSERT_TRUE(store.SetFault(fault));
        const std::optional<POINT> down =
            ElementOnScreen(window, "web_opt01", std::string("button.down[data-id=\"") + kDocumentId + "\"]");
        ASSERT_TRUE(down) << "no 下载 button for the card";
        ASSERT_TRUE(ClickAt(*down));
    }

    // The real file chooser: the full path typed into its name field, then
    // Return, as a user does it.
    void SaveThroughFileChooser(const std::string& path) {
        const std::optional<SystemDialogInfo> shown = automation.WaitForSystemDialog();
        ASSERT_TRUE(shown && shown->kind == SystemDialogInfo::Kind::SaveFile) << "no save dialog";
        EXPECT_EQ(shown->text, std::string(kTitle) + ".pptx") << "the proposed name";
        ASSERT_TRUE(GiveKeyboardTo([] { return ShownFileChooser(); }))
            << "the save dialog is not a file chooser on the display";
        ASSERT_TRUE(Xdo("key --clearmodifiers ctrl+a"));
        ASSERT_TRUE(Xdo("type --delay 20 '" + path + "'"));
        EXPECT_TRUE(vtest::WaitFor([&] {
            return ui
                .Call<bool>([&] {
                    GtkWidget* chooser = ShownFileChooser();
                    if (chooser == nullptr)
                        return false;
                    gchar* name = gtk_file_chooser_get_current_name(GTK_FILE_CHOOSER(chooser));
                    const bool typed = name != nullptr && path == name;
                    g_free(name);
                    return typed;
                })
                .value_or(false);
        })) << "the name field does not hold the typed path";
        SaveChooserShot();
        ASSERT_TRUE(Xdo("key Return"));
    }
    // Gives the keyboard to the toolkit window `find` picks (UI thread): with
    // no window manager on the test's display nothing else does what a
    // manager does when a dialog is mapped. The wait for the X server has a
    // deadline of its own (xdotool's would never end).
    bool GiveKeyboardTo(const std::function<GtkWidget*()>& find) {
        const unsigned long xid =
            ui.Call<unsigned long>([&] {
                  GtkWidget* widget = find();
                  GdkWindow* window = widget != nullptr ? gtk_widget_get_window(widget) : nullptr;
                  return window != nullptr && GDK_IS_X11_WINDOW(window) ? gdk_x11_window_get_xid(window)
                                                                        : 0UL;
              }).value_or(0);
        return xid != 0 && std::system(("timeout 10 xdotool windowfocus --sync " + std::to_string(xid) +
                                        " >/dev/null 2>&1")
                                           .c_str()) == 0;
    }
    // The chooser as the display shows it, with the typed name.
    void SaveChooserShot() {
        std::optional<GtkProbes::Image> shot;
        ui.Run([&] {
            GtkWidget* chooser = ShownFileChooser();
            GdkWindow* window = chooser != nullptr ? gtk_widget_get_window(chooser) : nullptr;
            if (window == nullptr)
                return;
            int x = 0, y = 0;
            gdk_window_get_origin(window, &x, &y);
            shot = Gtk()->GrabScreen(
                RECT{x, y, x + gdk_window_get_width(window), y + gdk_window_get_height(window)});
        });
        if (shot)
            SaveArtefact(*shot, "download-save-dialog.png");
    }

    int Progress(HWND dialog) {
        return ui
            .Call<int>([&] {
                auto* bar = ControlCast<CProgressUI>(Automation::FindControl(dialog, "progress_download"));
                return bar != nullptr ? bar->GetValue() : -1;
            })
            .value_or(-1);
    }

    // The progress dialog while the file comes slowly, then once the store
    // sends the rest; the file, its temporary name and its record after.
    void WatchDownload(HWND dialog, const std::string& path) {
        EXPECT_EQ(automation.Text(dialog, "text_download_name"), kTitle);
        ASSERT_TRUE(vtest::WaitFor([&] { return Progress(dialog) >= 10; }, kDeadline))
            << "no progress: " << Progress(dialog);
        const std::optional<GtkProbes::Image> running = Screenshot(dialog);
        ASSERT_TRUE(running);
        SaveArtefact(*running, "download-dialog-running.png");
        EXPECT_LT(Progress(dialog), 100);
        EXPECT_EQ(automation.IsControlVisible(dialog, "btn_stop_download"), true);
        EXPECT_EQ(automation.IsControlVisible(dialog, "btn_open_file"), false);
        EXPECT_TRUE(fs::exists(path + ".tmp")) << "the file does not arrive under its temporary name";
        EXPECT_FALSE(fs::exists(path)) << "the file has its final name before it is complete";

        ASSERT_TRUE(store.ClearFaults());
        ASSERT_TRUE(vtest::WaitFor(
            [&] { return automation.IsControlVisible(dialog, "btn_open_file") == true; }, kDeadline))
            << "the download did not complete: " << automation.Text(dialog, "download_title").value_or("?");
        EXPECT_EQ(automation.Text(dialog, "download_title"), kDownloadComplete);
        EXPECT_EQ(automation.IsControlVisible(dialog, "btn_stop_download"), false);
        EXPECT_EQ(Progress(dialog), 100);
        const std::optional<GtkProbes::Image> complete = Screenshot(dialog);
        ASSERT_TRUE(complete);
        SaveArtefact(*complete, "download-dialog-complete.png");
        EXPECT_GT(guitest::CountDifferent(*running, *complete, 8), 100) << "the dialog looks the same";

        EXPECT_TRUE(ReadWhole(path) == m_storeBytes) << "the saved file is not the store's";
        EXPECT_FALSE(fs::exists(path + ".tmp"));
        EXPECT_EQ(ReadDownloadRecord(UserSession::Instance().Snapshot().userId, kDocumentId), path);
    }

    // "打开文件": the desktop's opener gets the file, the dialog closes.
    void OpenTheFile(HWND dialog, const std::string& path) {
        ASSERT_TRUE(ClickControl(dialog, "btn_open_file"));
        EXPECT_TRUE(vtest::WaitFor([&] { return ReadWhole(m_openedRecord) == path + "\n"; }, kDeadline))
            << "the opener got: " << ReadWhole(m_openedRecord);
        EXPECT_TRUE(vtest::WaitFor([&] { return !automation.IsVisible(dialog); }, kDeadline));
    }

    // The downloads tab chosen by a click, its page on screen listing the
    // document; where the document's title shows goes to `title`.
    std::optional<GtkProbes::Image> OpenDownloadsTab(HWND window, RECT& title) {
        EXPECT_TRUE(ClickControl(window, "Option06"));
        const bool listed = WaitForPage(window, "web_opt06", ListsDocument());
        EXPECT_TRUE(listed) << "the downloads page does not list the document";
        const std::optional<RECT> shown = ElementInWindow(
            window, "web_opt06", std::string("#downloads li[data-id=\"") + kDocumentId + "\"] span");
        EXPECT_TRUE(shown) << "no title for the document";
        if (!listed || !shown)
            return std::nullopt;
        title = *shown;
        const RECT view = ControlRect(window, "web_opt06");
        // The page's text colour where the title is: the display shows the
        // list, not a frame from before.
        return WaitForScreen(window, [&](const GtkProbes::Image& shot) {
            return ShowsStorePage(shot, view) && screentest::CountColour(shot, title, kTextColour, 90) > 30;
        });
    }
    static std::string ListsDocument() {
        return std::string(
                   "location.pathname === '/client/user/downloads.html' && document.readyState === "
                   "'complete' && document.querySelector('#downloads li[data-id=\"") +
               kDocumentId + "\"]') !== null";
    }

    PageProbe m_probe;
    std::string m_openedRecord;
    std::string m_saveFolder;
    std::string m_storeBytes;
};

TEST_F(DownloadJourneyOnScreenTest, ASignedInUserDownloadsOpensAndDeletesATemplateWithRealInput) {
    const auto start = std::chrono::steady_clock::now();
    httplib::Client files("127.0.0.1", store.Port("client"));
    const httplib::Result original = files.Get(kStorePath);
    ASSERT_TRUE(original && original->status == 200);
    m_storeBytes = original->body;

    const HWND window = OpenSignedIn();
    ASSERT_NE(window, nullptr) << "no main window, or the engine could not be used";
    ASSERT_FALSE(HasFailure());
    const std::string userId = UserSession::Instance().Snapshot().userId;
    const std::string saved = m_saveFolder + "/年终总结-终稿.pptx";

    ASSERT_NO_FATAL_FAILURE(ClickDownloadOnCard(window));
    ASSERT_NO_FATAL_FAILURE(SaveThroughFileChooser(saved));
    const HWND dialog = automation.WaitForLayout("dlg_download.xml");
    ASSERT_NE(dialog, nullptr) << "no progress dialog";
    ASSERT_NO_FATAL_FAILURE(WatchDownload(dialog, saved));
    ASSERT_NO_FATAL_FAILURE(OpenTheFile(dialog, saved));

    RECT title{};
    const std::optional<GtkProbes::Image> before = OpenDownloadsTab(window, title);
    ASSERT_TRUE(before);
    SaveArtefact(*before, "downloads-page-before-delete.png");
    const std::optional<POINT> remove = ElementOnScreen(
        window, "web_opt06", std::string("#downloads li[data-id=\"") + kDocumentId + "\"] button.delete");
    ASSERT_TRUE(remove) << "no 删除 button for the document";
    ASSERT_TRUE(ClickAt(*remove));
    const HWND box = automation.WaitForLayout("dlg_message.xml");
    ASSERT_NE(box, nullptr) << "no message after the deletion";
    EXPECT_EQ(automation.Text(box, "context"), kDeleteFileSuccess);
    if (const std::optional<GtkProbes::Image> message = Screenshot(box))
        SaveArtefact(*message, "downloads-delete-message.png");
    ASSERT_TRUE(GiveKeyboardTo([&] { return static_cast<GtkWidget*>(Gtk()->NativeWindow(box)); }));
    ASSERT_TRUE(Xdo("key Return"));
    EXPECT_TRUE(vtest::WaitFor([&] { return !automation.IsVisible(box); })) << "Return left the box open";

    EXPECT_TRUE(vtest::WaitFor([&] { return !fs::exists(saved); })) << "the file is still there";
    EXPECT_EQ(ReadDownloadRecord(userId, kDocumentId), "") << "the record is still there";
    EXPECT_TRUE(WaitForPage(window, "web_opt06",
                            "location.pathname === '/client/user/downloads.html' && document.readyState === "
                            "'complete' && document.getElementById('downloads') !== null && "
                            "document.querySelector('#downloads li[data-id=\"1001\"]') === null"))
        << "the reloaded page still lists the document";
    const RECT view = ControlRect(window, "web_opt06");
    const std::optional<GtkProbes::Image> after = WaitForScreen(window, [&](const GtkProbes::Image& shot) {
        // The title's place shows something else: the background, or a
        // row that moved up.
        return ShowsStorePage(shot, view) && guitest::CountDifferentIn(shot, *before, title, 8) > 30;
    });
    ASSERT_TRUE(after);
    SaveArtefact(*after, "downloads-page-after-delete.png");
    screentest::PrintElapsed("download journey on screen", start);
}

}  // namespace
