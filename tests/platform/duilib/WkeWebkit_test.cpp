#include "platform/duilib/UIDlgBuilder.h"
#include "platform/duilib/UIWkeWebkit.h"
#include "platform/os/DebugPrint.h"
#include "support/RecordingViewPeer.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace DuiLib;

namespace {

// Overrides what the client overrides and records what reaches it.
class Client : public IWkeCallback {
  public:
    void OnWkeTitleChanged(CWkeWebkitUI*, const char* title) override {
        events.push_back(title != nullptr ? std::string("title:") + title : "title:null");
    }
    bool OnWkeNavigation(CWkeWebkitUI*, wkeNavigationType type, const char* url) override {
        events.push_back("nav:" + std::to_string(type) + ":" + url);
        return allowNavigation;
    }
    void OnWkeLoadingFinish(CWkeWebkitUI*, const char* url, wkeLoadingResult result,
                            const char* reason) override {
        events.push_back("finish:" + std::string(url) + ":" + std::to_string(result) + ":" +
                         (reason ? reason : ""));
    }
    std::string OnWkePageMessage(CWkeWebkitUI* view, const char* text, void*, void*) override {
        events.push_back(std::string("msg:") + text);
        lastView = view;
        return "answer";
    }
    std::vector<std::string> events;
    bool allowNavigation = false;
    CWkeWebkitUI* lastView = nullptr;
};

}  // namespace

TEST(WkeWebkit, CallsReachTheEngineWhenOneIsAttached) {
    CWkeWebkitUI web;
    EXPECT_EQ(web.GetWebView(), nullptr);
    web.Navigate("http://store.local/ppt.html");  // no engine: only remembered
    EXPECT_EQ(web.GetUrl(), "http://store.local/ppt.html");
    web.Back();
    auto engine = std::make_shared<vtest::RecordingViewPeer::Calls>();
    web.SetViewPeer(std::make_unique<vtest::RecordingViewPeer>(engine));
    EXPECT_EQ(web.GetWebView(), reinterpret_cast<wkeWebView>(0x1234));
    web.Back();
    web.Forward();
    web.Reload();
    web.Navigate("http://store.local/word.html");
    EXPECT_EQ(*engine, (std::vector<std::string>{"back", "forward", "reload",
                                                 "navigate http://store.local/word.html"}));
    EXPECT_EQ(web.GetUrl(), "http://store.local/word.html");
    web.SetViewPeer(nullptr);  // detached: nothing more reaches it
    web.Reload();
    EXPECT_EQ(engine->size(), 4u);
    EXPECT_EQ(web.GetWebView(), nullptr);
}

TEST(WkeWebkit, EventsReachTheCallbackAndTheLibraryDefaultsFillTheRest) {
    std::vector<std::string> debug;
    os::SetDebugSink([&](const std::string& line) { debug.push_back(line); });
    CWkeWebkitUI web;
    Client client;
    web.SetWkeCallback(&client);
    EXPECT_EQ(web.GetWkeCallback(), &client);
    web.RaiseTitleChanged(nullptr);
    web.RaiseTitleChanged("502 Bad Gateway nginx");
    EXPECT_FALSE(web.RaiseNavigation(WKE_NAVIGATION_TYPE_LINKCLICK, "http://a/"));
    web.RaiseLoadingFinish("http://a/", WKE_LOADING_FAILED, "refused");
    EXPECT_EQ(web.RaisePageMessage("{\"action\":\"showlogin\"}"), "answer");
    EXPECT_EQ(client.lastView, &web);
    // The four the client leaves to the library.
    web.RaiseURLChanged("http://a/next");
    EXPECT_EQ(web.GetUrl(), "http://a/next");
    web.RaiseAlertBox("hello");
    wkeNewViewInfo info{};
    info.url = "http://popup/";
    EXPECT_EQ(web.RaiseCreateView(&info), nullptr);
    web.RaiseDocumentReady();
    os::SetDebugSink({});

    EXPECT_EQ(client.events,
              (std::vector<std::string>{"title:null", "title:502 Bad Gateway nginx", "nav:0:http://a/",
                                        "finish:http://a/:1:refused", "msg:{\"action\":\"showlogin\"}"}));
    ASSERT_EQ(debug.size(), 1u);
    EXPECT_NE(debug[0].find("hello"), std::string::npos);
}

TEST(WkeWebkit, WithoutACallbackNavigationIsAllowedAndNothingAnswers) {
    CWkeWebkitUI web;
    EXPECT_TRUE(web.RaiseNavigation(WKE_NAVIGATION_TYPE_OTHER, nullptr));
    EXPECT_EQ(web.RaiseCreateView(nullptr), nullptr);
    EXPECT_EQ(web.RaisePageMessage(nullptr), "");
    web.RaiseLoadingFinish(nullptr, WKE_LOADING_SUCCEEDED, nullptr);
    web.RaiseTitleChanged(nullptr);
    web.RaiseURLChanged(nullptr);
    EXPECT_EQ(web.GetUrl(), "");
}

TEST(WkeWebkit, LayoutsBuildTheControl) {
    CDialogBuilder builder;
    std::unique_ptr<CControlUI> root(builder.Create(R"(<WkeWebkit name="web_opt01" url="http://x/"/>)"));
    ASSERT_NE(root, nullptr);
    EXPECT_NE(root->GetInterface("WkeWebkit"), nullptr);
    EXPECT_EQ(root->GetAttribute("url"), "http://x/");
}
