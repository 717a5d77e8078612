// The browser dialog run modally over an owner window, as its creators run
// it, on the scripted engine: what it asks of its view, which page messages
// it takes as results, the error page and its retry, the optional address
// bar of other layouts, and an engine that cannot be used.

#include "web/WebBrowserDlg.h"

#include "ScriptedEngine.h"
#include "demo-store/ZipWriter.h"
#include "platform/duilib/Automation.h"
#include "platform/duilib/UIContainer.h"
#include "platform/duilib/UIManager.h"
#include "platform/duilib/UiThread.h"
#include "platform/os/Resource.h"
#include "support/Sandbox.h"
#include "ui/ModalDialogFixture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using Strings = std::vector<std::string>;

constexpr const char* kStart = "https://127.0.0.1:47801/index/index/qqlogin.html?p=2&appid=2002";
constexpr const char* kSamePage = "https://127.0.0.1:47801/index/index/callback.html?state=1";
constexpr const char* kResult = R"({"result":1,"errInfo":"","openid":"o-1","nickname":"小林"})";

class WebBrowserDlgTest : public uitest::ModalDialogTest<CWebBrowserDlg> {
  protected:
    // The engine every dialog of the test loads (one module per program
    // folder, so one build per test).
    void UseEngine(webtest::EngineBuild build = webtest::EngineBuild::Complete) {
        if (engine == nullptr)
            engine = std::make_unique<webtest::ScriptedEngine>(sandbox.ProgramDir(), build);
    }

    // Starts a modal run of a dialog for `start` as its creators do: made,
    // created over the owner, captioned, shown; `configure` runs before
    // the window is made.
    void Start(const std::string& start, std::function<void(CWebBrowserDlg&)> configure = {}) {
        UseEngine();
        RunModal([start] { return std::make_unique<CWebBrowserDlg>(start); },
                 [this, configure](CWebBrowserDlg& dialog) {
                     if (configure)
                         configure(dialog);
                     if (dialog.Create(Owner(), "QQ", WS_VISIBLE | WS_OVERLAPPEDWINDOW, 0) == nullptr)
                         return false;
                     dialog.SetCaption("QQ登录");
                     return true;
                 });
    }
    // Start, then the dialog's window once shown (null when none is).
    HWND Open(const std::string& start, std::function<void(CWebBrowserDlg&)> configure = {}) {
        Start(start, std::move(configure));
        return automation.WaitForLayout("dlg_webbrowser.xml");
    }

    wkeWebView View() const {
        return engine->ViewCount() > 0 ? engine->View(engine->ViewCount() - 1) : nullptr;
    }
    std::string LastPageMessage() {
        return *ui.Call<std::string>([this] { return m_dialog->LastPageMessage(); });
    }
    int Step(HWND dialog) {
        return ui
            .Call<int>([dialog] {
                auto* steps = DuiLib::ControlCast<DuiLib::CTabLayoutUI>(
                    DuiLib::Automation::FindControl(dialog, "step"));
                return steps != nullptr ? steps->GetCurSel() : -1;
            })
            .value_or(-1);
    }
    // The page sends `text` from `page`; the dialog's answer.
    std::string Send(const char* page, const char* text) {
        const std::string answer = engine->PageMessage(View(), page, text);
        automation.RunUntilIdle();
        return answer;
    }
    std::unique_ptr<webtest::ScriptedEngine> engine;
};

TEST_F(WebBrowserDlgTest, TheViewGetsTheCookieFolderAndLoadsTheStartAddress) {
    const HWND dialog = Open(kStart);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(engine->Requests(View()), (Strings{"create", "setCookieJarPath " + sandbox.UserDataFolder(),
                                                 std::string("loadURL ") + kStart}));
    EXPECT_EQ(automation.Text(dialog, "caption"), "QQ登录");
    EXPECT_EQ(automation.FindByTitle("QQ"), dialog);
    EXPECT_FALSE(automation.IsEnabled(Owner()));
    // Every navigation may go ahead; no page opens a window of its own.
    EXPECT_TRUE(engine->Navigation(View(), WKE_NAVIGATION_TYPE_LINKCLICK, "https://elsewhere.example/"));
    wkeNewViewInfo info{};
    info.url = "https://127.0.0.1:47801/popup.html";
    info.target = "_blank";
    EXPECT_EQ(engine->CreateView(View(), &info), nullptr);
    EXPECT_EQ(engine->ViewCount(), 1);
}

TEST_F(WebBrowserDlgTest, WithoutAStartAddressNothingIsLoaded) {
    ASSERT_NE(Open(""), nullptr);
    EXPECT_EQ(engine->Requests(View()), (Strings{"create", "setCookieJarPath " + sandbox.UserDataFolder()}));
}

// Which page messages are results: only those of pages on the start
// address's origin; a text is kept, and one starting with "{" ends the run.
TEST_F(WebBrowserDlgTest, OnlyPagesOnTheStartOriginHandTheirTextBack) {
    struct Case {
        const char* page;
        const char* text;
        bool kept;
        bool closes;
    };
    const Case cases[] = {
        {kSamePage, "loaded", true, false},
        {"", "from the view's own address", true, false},
        {"https://127.0.0.1:47802/index/index/qqlogin.html", kResult, false, false},
        {"http://127.0.0.1:47801/index/index/qqlogin.html", kResult, false, false},
        {"https://evil.example/?https://127.0.0.1:47801/", kResult, false, false},
        {"https://127.0.0.1@evil.example:47801/", kResult, false, false},
        {"about:blank", kResult, false, false},
        {kSamePage, " {\"result\":1}", true, false},
        {kSamePage, kResult, true, true},
    };
    ASSERT_NE(Open(kStart), nullptr);
    std::string expected;
    for (const Case& c : cases) {
        ASSERT_FALSE(m_ended.load()) << c.page << " " << c.text;
        EXPECT_EQ(Send(c.page, c.text), "") << c.page;
        if (c.kept)
            expected = c.text;
        EXPECT_EQ(LastPageMessage(), expected) << c.page << " " << c.text;
        if (c.closes) {
            ASSERT_TRUE(Ended());
            EXPECT_EQ(m_result, 0U);
        }
    }
    EXPECT_TRUE(m_ended.load());
}

TEST_F(WebBrowserDlgTest, ACreatorMayNameTheResultOriginItself) {
    ASSERT_NE(Open("http://127.0.0.1:47806/msg/?a=0&t=0&appid=2002",
                   [](CWebBrowserDlg& dialog) { dialog.SetResultOrigin("https", "127.0.0.1:47801"); }),
              nullptr);
    Send("http://127.0.0.1:47806/msg/", R"({"result":1})");
    EXPECT_EQ(LastPageMessage(), "");
    Send(kSamePage, R"({"result":1})");
    EXPECT_TRUE(Ended());
}

TEST_F(WebBrowserDlgTest, TheCloseButtonLeavesTheLastPageMessageAsItWas) {
    for (const char* sent : {"", "still typing"}) {
        const HWND dialog = Open(kStart);
        ASSERT_NE(dialog, nullptr);
        if (*sent != '\0')
            Send(kSamePage, sent);
        ASSERT_TRUE(automation.Click(dialog, "btnClose"));
        ASSERT_TRUE(Ended());
        EXPECT_EQ(m_result, 1U);
        EXPECT_EQ(LastPageMessage(), sent);
        EXPECT_FALSE(automation.Call<bool>([dialog] { return ::IsWindow(dialog) != 0; }).value_or(true));
        EXPECT_TRUE(automation.IsEnabled(Owner()));
        ui.Run([this] { m_dialog.reset(); });
    }
}

TEST_F(WebBrowserDlgTest, AFailedLoadShowsTheErrorPageAndRetryLoadsTheStartAddressOnce) {
    const HWND dialog = Open(kStart);
    ASSERT_NE(dialog, nullptr);
    engine->LoadStarted(View(), kStart);
    engine->LoadingFinish(View(), kStart, WKE_LOADING_FAILED, "Could not connect");
    automation.RunUntilIdle();
    EXPECT_EQ(Step(dialog), CWebBrowserDlg::kErrorStep);
    EXPECT_EQ(automation.IsControlVisible(dialog, "btnRefresh"), true);

    const std::size_t before = engine->Requests(View()).size();
    ASSERT_TRUE(automation.Click(dialog, "btnRefresh"));
    EXPECT_EQ(Step(dialog), CWebBrowserDlg::kPageStep);
    const Strings requests = engine->Requests(View());
    EXPECT_EQ(Strings(requests.begin() + static_cast<std::ptrdiff_t>(before), requests.end()),
              (Strings{std::string("loadURL ") + kStart}));
    engine->LoadStarted(View(), kStart);
    engine->LoadingFinish(View(), kStart, WKE_LOADING_SUCCEEDED);
    automation.RunUntilIdle();
    EXPECT_EQ(Step(dialog), CWebBrowserDlg::kPageStep);
    // A cancelled load (another navigation replaced it) is no failure.
    engine->LoadingFinish(View(), kSamePage, WKE_LOADING_CANCELED, "replaced");
    automation.RunUntilIdle();
    EXPECT_EQ(Step(dialog), CWebBrowserDlg::kPageStep);
}

TEST_F(WebBrowserDlgTest, WithoutAStartAddressRetryReloadsThePage) {
    const HWND dialog = Open("");
    ASSERT_NE(dialog, nullptr);
    engine->LoadingFinish(View(), "https://127.0.0.1:47801/x", WKE_LOADING_FAILED, "gone");
    automation.RunUntilIdle();
    ASSERT_TRUE(automation.Click(dialog, "btnRefresh"));
    EXPECT_EQ(engine->Requests(View()).back(), "reload");
}

// The engine cannot be used: the failure message over the dialog's owner,
// and the run ends at once with nothing handed back.
class UnusableEngineTest : public WebBrowserDlgTest, public ::testing::WithParamInterface<bool> {};

TEST_P(UnusableEngineTest, TheDialogSaysSoAndCloses) {
    const bool withoutInitialize = GetParam();
    UseEngine(withoutInitialize ? webtest::EngineBuild::WithoutInitialize : webtest::EngineBuild::Complete);
    if (!withoutInitialize)
        engine->SetInitializeAnswer(false);
    Start(kStart);
    const HWND box = automation.WaitForLayout("dlg_message.xml");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(automation.Text(box, "context"), "网页组件加载失败，墨林工坊无法正常运行。请重新安装后再试。");
    EXPECT_EQ(automation.IsControlVisible(box, "errorLogo"), true);
    EXPECT_EQ(ui.Call<HWND>([box] { return ::GetWindowOwner(box); }), Owner());
    ASSERT_TRUE(automation.Click(box, "btnClose"));
    ASSERT_TRUE(Ended());
    EXPECT_EQ(LastPageMessage(), "");
    EXPECT_EQ(engine->ViewCount(), 0);
    EXPECT_TRUE(automation.IsEnabled(Owner()));
}

INSTANTIATE_TEST_SUITE_P(MissingOrRefusing, UnusableEngineTest, ::testing::Bool());

// A layout with an address bar and history buttons, as another skin may
// have; the built-in one has none.
TEST_F(WebBrowserDlgTest, TheAddressBarAndHistoryButtonsWorkWhenALayoutHasThem) {
    demostore::ZipWriter zip;
    zip.Add(
        "dlg_webbrowser.xml",
        R"(<Window size="750,560"><VerticalLayout><HorizontalLayout height="32">)"
        R"(<Label name="caption"/><Button name="btnBack" width="30"/><Button name="btnforward" width="30"/>)"
        R"(<Edit name="urlEdit" width="300"/><Button name="btnGo" width="30"/>)"
        R"(<Button name="btnClose" width="30"/></HorizontalLayout>)"
        R"(<TabLayout name="step"><WkeWebkit name="ie"/>)"
        R"(<VerticalLayout><Button name="btnRefresh" height="30"/></VerticalLayout></TabLayout>)"
        R"(</VerticalLayout></Window>)");
    const std::string archive = zip.Finish();
    ASSERT_TRUE(DuiLib::CPaintManagerUI::SetResourceZip(archive.data(), archive.size()));
    const HWND dialog = Open(kStart);
    ASSERT_NE(dialog, nullptr);
    const std::size_t before = engine->Requests(View()).size();
    ASSERT_TRUE(automation.Click(dialog, "btnBack"));
    ASSERT_TRUE(automation.Click(dialog, "btnforward"));
    ASSERT_TRUE(automation.Click(dialog, "btnGo"));  // an empty address goes nowhere
    ASSERT_TRUE(automation.Type(dialog, "urlEdit", "https://127.0.0.1:47801/help/8.html"));
    ASSERT_TRUE(automation.Click(dialog, "btnGo"));
    ASSERT_TRUE(automation.PressKey(dialog, VK_RETURN));
    const Strings requests = engine->Requests(View());
    EXPECT_EQ(Strings(requests.begin() + static_cast<std::ptrdiff_t>(before), requests.end()),
              (Strings{"goBack", "goForward", "loadURL https://127.0.0.1:47801/help/8.html",
                       "loadURL https://127.0.0.1:47801/help/8.html"}));
    ASSERT_TRUE(automation.Click(dialog, "btnClose"));
    EXPECT_TRUE(Ended());
    ASSERT_TRUE(DuiLib::CPaintManagerUI::SetResourceZip(m_skin.data, m_skin.size));
}

TEST_F(WebBrowserDlgTest, ALayoutWithoutAViewStillRunsAndCloses) {
    demostore::ZipWriter zip;
    zip.Add(
        "dlg_webbrowser.xml",
        R"(<Window size="400,300"><VerticalLayout><Button name="btnBack" height="30"/>)"
        R"(<Button name="btnRefresh" height="30"/><Button name="btnClose" height="30"/></VerticalLayout></Window>)");
    const std::string archive = zip.Finish();
    ASSERT_TRUE(DuiLib::CPaintManagerUI::SetResourceZip(archive.data(), archive.size()));
    const HWND dialog = Open(kStart);
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(automation.Click(dialog, "btnBack"));
    EXPECT_TRUE(automation.Click(dialog, "btnRefresh"));
    EXPECT_EQ(engine->ViewCount(), 0);
    ASSERT_TRUE(automation.Click(dialog, "btnClose"));
    EXPECT_TRUE(Ended());
    ASSERT_TRUE(DuiLib::CPaintManagerUI::SetResourceZip(m_skin.data, m_skin.size));
}

}  // namespace
