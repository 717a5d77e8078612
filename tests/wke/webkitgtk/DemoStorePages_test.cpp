// The demo store's pages in the real engine: every page opens without a
// script error, and their buttons send the client exactly the messages the
// client acts on, from the page's own address.

#include "WebkitHarness.h"

#include "support/DemoStore.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

namespace {

class DemoStorePagesInEngineTest : public wketest::EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        ASSERT_TRUE(store.Started());
    }
    // Loads `url` in `view` and waits until it has finished and is ready.
    void Open(wketest::RecordedView& view, const std::string& url) {
        const std::size_t finished = view.finishes.size();
        const int ready = view.readyCount;
        view.Load(url);
        ASSERT_TRUE(wketest::RunUntil([&] {
            return view.finishes.size() > finished && view.readyCount > ready;
        })) << url;
        EXPECT_EQ(view.finishes.back().result, WKE_LOADING_SUCCEEDED) << url << view.finishes.back().reason;
    }
    Json::Value LastMessage(wketest::RecordedView& view, std::size_t before) {
        EXPECT_TRUE(wketest::RunUntil([&] { return view.messages.size() > before; }));
        return view.messages.size() > before ? vtest::ParseJson(view.messages.back().text) : Json::Value();
    }

    vtest::DemoStore store{sandbox};
};

TEST_F(DemoStorePagesInEngineTest, EveryPageOpensWithoutAScriptError) {
    wketest::RecordedView view(*engine);
    const std::string client = store.BaseUrl("client");
    for (const std::string path :
         {"/", "/?c=7", "/ppt.html", "/word.html", "/excel.html", "/client/index/lists/",
          "/client/user/favorites.html", "/client/user/downloads.html"})
        Open(view, client + path);
    Open(view, store.BaseUrl("feedback") + "/msg/?a=0&t=0&appid=2002");
    Open(view, store.BaseUrl("store") +
                   "/index/index/qqlogin.html?p=2&appid=2002&adid=&partner_id=0&machine_code=");
    Open(view, store.BaseUrl("store") +
                   "/index/index/offiaccountLogin.html?p=2&appid=2002&adid=&partner_id=0&machine_code=");
    EXPECT_TRUE(view.consoleErrors.empty()) << view.consoleErrors.front();
}

TEST_F(DemoStorePagesInEngineTest, TheButtonsOfTheStorePagesSendTheClientsCommands) {
    const std::string token = store.IssueToken("13900139000");
    const std::string client = store.BaseUrl("client");
    wketest::RecordedView view(*engine);
    // Logged out: "登录" asks for the login dialog.
    Open(view, client + "/word.html");
    view.Run("document.getElementById('login').click()");
    EXPECT_EQ(LastMessage(view, 0)["action"].asString(), "showlogin");
    EXPECT_EQ(view.messages.back().pageUrl, client + "/word.html");

    // The web login of the hidden view reaches the pages.
    Open(view, client + "/api/user/refreshWebLogin?X-token=" + token);
    Open(view, client + "/ppt.html");
    view.Run("document.querySelector('button.down[data-id=\"1002\"]').click()");
    const Json::Value down = LastMessage(view, 1);
    EXPECT_EQ(down["action"].asString(), "down");
    EXPECT_EQ(down["url"].asString(), client + "/files/1002_商务计划书.pptx");
    EXPECT_EQ(down["title"].asString(), "商务计划书");
    // The download is on the user's list now, and its page offers "删除".
    Open(view, client + "/client/user/downloads.html");
    view.Run("document.querySelector('#downloads li[data-id=\"1002\"] button.delete').click()");
    const Json::Value remove = LastMessage(view, 2);
    EXPECT_EQ(remove["action"].asString(), "deletedoc");
    EXPECT_TRUE(remove["id"].isInt());
    EXPECT_EQ(remove["id"].asInt(), 1002);
    EXPECT_TRUE(view.consoleErrors.empty()) << view.consoleErrors.front();
}

TEST_F(DemoStorePagesInEngineTest, TheSignInPagesHandBackATokenTheStoreAcceptsOrAFailure) {
    wketest::RecordedView view(*engine);
    const std::string page =
        store.BaseUrl("store") + "/index/index/qqlogin.html?p=2&appid=2002&adid=&partner_id=0&machine_code=";
    Open(view, page);
    view.Run("document.getElementById('demo').click()");
    const Json::Value ok = LastMessage(view, 0);
    EXPECT_EQ(view.messages.back().text.front(), '{');
    EXPECT_EQ(view.messages.back().pageUrl, page);
    EXPECT_EQ(ok["result"].asInt(), 1);
    EXPECT_FALSE(ok["openid"].asString().empty());
    EXPECT_FALSE(ok["nickname"].asString().empty());
    view.Run("document.getElementById('cancel').click()");
    EXPECT_NE(LastMessage(view, 1)["result"].asInt(), 1);

    // The feedback page sends its form as one JSON object.
    Open(view, store.BaseUrl("feedback") + "/msg/?a=0&t=0&appid=2002");
    view.Run(
        "document.getElementById('text').value = '很好用'; "
        "document.querySelector('#feedback button').click()");
    const Json::Value feedback = LastMessage(view, 2);
    EXPECT_EQ(view.messages.back().text.front(), '{');
    EXPECT_EQ(feedback["feedback"].asString(), "很好用");
}

}  // namespace
