// The scripted engine: every export of the engine interface, with views that
// only remember what was asked of them, plus the test-only exports of
// wke_scripted.h that raise events. Built three times: complete, without
// wkeInitializeEx and without wkeSetZoomFactor (WKE_SCRIPTED_NO_INITIALIZE,
// WKE_SCRIPTED_NO_ZOOM), for the loader's failure paths.

#include "platform/wke/ViewCallbacks.h"
#include "platform/wke/scripted/wke_scripted.h"

#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct wkeWebViewTag : WkeViewCallbacks {
    bool live = true;
    std::vector<std::string> calls;
    std::string url;
    std::string callsText;  // what wkeScriptedCalls returned last
    std::string answer;     // the page's last answer
    char widget = 0;        // its address stands in for a native widget
};

namespace {

struct Engine {
    std::mutex mutex;
    // Views stay allocated after destruction so their calls can still be
    // read; a test process makes few.
    std::vector<std::unique_ptr<wkeWebViewTag>> views;
    bool initializeAnswer = true;
    int initializeCount = 0;
};

Engine& TheEngine() {
    static Engine engine;
    return engine;
}

const char* OrEmpty(const char* text) {
    return text != nullptr ? text : "";
}

void Record(wkeWebView view, std::string call) {
    if (view == nullptr)
        return;
    std::lock_guard lock(TheEngine().mutex);
    view->calls.push_back(std::move(call));
}

// A copy of a live view's callback and its parameter, taken under the lock;
// the callback itself runs without it, since it may call back into the engine.
template <typename Callback>
bool TakeCallback(wkeWebView view, Callback WkeViewCallbacks::*callback, void* WkeViewCallbacks::*param,
                  Callback& fn, void*& fnParam) {
    if (view == nullptr)
        return false;
    std::lock_guard lock(TheEngine().mutex);
    if (!view->live || view->*callback == nullptr)
        return false;
    fn = view->*callback;
    fnParam = view->*param;
    return true;
}

template <typename Callback>
void Register(wkeWebView view, Callback WkeViewCallbacks::*slot, void* WkeViewCallbacks::*param, Callback fn,
              void* fnParam, const char* name) {
    if (view == nullptr)
        return;
    std::lock_guard lock(TheEngine().mutex);
    view->*slot = fn;
    view->*param = fnParam;
    view->calls.emplace_back(name);
}

}  // namespace

extern "C" {

#ifndef WKE_SCRIPTED_NO_INITIALIZE
WKE_API bool wkeInitializeEx(const wkeSettings*) {
    std::lock_guard lock(TheEngine().mutex);
    ++TheEngine().initializeCount;
    return TheEngine().initializeAnswer;
}
#endif

WKE_API wkeWebView wkeCreateWebView(void) {
    std::lock_guard lock(TheEngine().mutex);
    auto view = std::make_unique<wkeWebViewTag>();
    view->calls.emplace_back("create");
    TheEngine().views.push_back(std::move(view));
    return TheEngine().views.back().get();
}

WKE_API void wkeDestroyWebView(wkeWebView webView) {
    if (webView == nullptr)
        return;
    std::lock_guard lock(TheEngine().mutex);
    webView->live = false;
    webView->calls.emplace_back("destroy");
}

WKE_API void wkeSetMemoryCacheEnable(wkeWebView webView, bool enable) {
    Record(webView, std::string("setMemoryCacheEnable ") + (enable ? "1" : "0"));
}

#ifndef WKE_SCRIPTED_NO_ZOOM
WKE_API void wkeSetZoomFactor(wkeWebView webView, float factor) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(factor));
    Record(webView, std::string("setZoomFactor ") + text);
}
#endif

WKE_API void wkeSetCookieJarPath(wkeWebView webView, const char* path) {
    Record(webView, std::string("setCookieJarPath ") + OrEmpty(path));
}

WKE_API void wkeLoadURL(wkeWebView webView, const char* url) {
    if (webView == nullptr)
        return;
    std::lock_guard lock(TheEngine().mutex);
    webView->calls.push_back(std::string("loadURL ") + OrEmpty(url));
    webView->url = OrEmpty(url);
}

WKE_API bool wkeGoBack(wkeWebView webView) {
    Record(webView, "goBack");
    return webView != nullptr;
}

WKE_API bool wkeGoForward(wkeWebView webView) {
    Record(webView, "goForward");
    return webView != nullptr;
}

WKE_API void wkeReload(wkeWebView webView) {
    Record(webView, "reload");
}

WKE_API const char* wkeGetURL(wkeWebView webView) {
    if (webView == nullptr)
        return "";
    std::lock_guard lock(TheEngine().mutex);
    return webView->url.c_str();
}

WKE_API void wkeOnTitleChanged(wkeWebView webView, wkeTitleChangedCallback callback, void* param) {
    Register(webView, &wkeWebViewTag::onTitle, &wkeWebViewTag::titleParam, callback, param, "onTitleChanged");
}

WKE_API void wkeOnURLChanged(wkeWebView webView, wkeURLChangedCallback callback, void* param) {
    Register(webView, &wkeWebViewTag::onUrl, &wkeWebViewTag::urlParam, callback, param, "onURLChanged");
}

WKE_API void wkeOnAlertBox(wkeWebView webView, wkeAlertBoxCallback callback, void* param) {
    Register(webView, &wkeWebViewTag::onAlert, &wkeWebViewTag::alertParam, callback, param, "onAlertBox");
}

WKE_API void wkeOnNavigation(wkeWebView webView, wkeNavigationCallback callback, void* param) {
    Register(webView, &wkeWebViewTag::onNavigation, &wkeWebViewTag::navigationParam, callback, param,
             "onNavigation");
}

WKE_API void wkeOnCreateView(wkeWebView webView, wkeCreateViewCallback callback, void* param) {
    Register(webView, &wkeWebViewTag::onCreateView, &wkeWebViewTag::createViewParam, callback, param,
             "onCreateView");
}

WKE_API void wkeOnDocumentReady(wkeWebView webView, wkeDocumentReadyCallback callback, void* param) {
    Register(webView, &wkeWebViewTag::onReady, &wkeWebViewTag::readyParam, callback, param,
             "onDocumentReady");
}

WKE_API void wkeOnLoadingFinish(wkeWebView webView, wkeLoadingFinishCallback callback, void* param) {
    Register(webView, &wkeWebViewTag::onFinish, &wkeWebViewTag::finishParam, callback, param,
             "onLoadingFinish");
}

WKE_API void wkeOnPageMessage(wkeWebView webView, wkePageMessageCallback callback, void* param) {
    Register(webView, &wkeWebViewTag::onMessage, &wkeWebViewTag::messageParam, callback, param,
             "onPageMessage");
}

WKE_API void* wkeGetNativeWidget(wkeWebView webView) {
    return webView != nullptr ? &webView->widget : nullptr;
}

// ---- test-only exports ---------------------------------------------------------

WKE_API void wkeScriptedSetInitializeAnswer(bool usable) {
    std::lock_guard lock(TheEngine().mutex);
    TheEngine().initializeAnswer = usable;
}

WKE_API int wkeScriptedInitializeCount(void) {
    std::lock_guard lock(TheEngine().mutex);
    return TheEngine().initializeCount;
}

WKE_API int wkeScriptedViewCount(void) {
    std::lock_guard lock(TheEngine().mutex);
    return static_cast<int>(TheEngine().views.size());
}

WKE_API wkeWebView wkeScriptedView(int index) {
    std::lock_guard lock(TheEngine().mutex);
    auto& views = TheEngine().views;
    return index >= 0 && static_cast<std::size_t>(index) < views.size() ? views[index].get() : nullptr;
}

WKE_API bool wkeScriptedIsLive(wkeWebView webView) {
    if (webView == nullptr)
        return false;
    std::lock_guard lock(TheEngine().mutex);
    return webView->live;
}

WKE_API const char* wkeScriptedCalls(wkeWebView webView) {
    if (webView == nullptr)
        return "";
    std::lock_guard lock(TheEngine().mutex);
    webView->callsText.clear();
    for (const auto& call : webView->calls)
        webView->callsText += call + "\n";
    return webView->callsText.c_str();
}

WKE_API void wkeScriptedTitleChanged(wkeWebView webView, const char* title) {
    wkeTitleChangedCallback fn = nullptr;
    void* param = nullptr;
    if (TakeCallback(webView, &wkeWebViewTag::onTitle, &wkeWebViewTag::titleParam, fn, param))
        fn(webView, param, title);
}

WKE_API void wkeScriptedURLChanged(wkeWebView webView, const char* url) {
    if (webView == nullptr)
        return;
    {
        std::lock_guard lock(TheEngine().mutex);
        if (webView->live)
            webView->url = OrEmpty(url);
    }
    wkeURLChangedCallback fn = nullptr;
    void* param = nullptr;
    if (TakeCallback(webView, &wkeWebViewTag::onUrl, &wkeWebViewTag::urlParam, fn, param))
        fn(webView, param, OrEmpty(url));
}

WKE_API void wkeScriptedAlertBox(wkeWebView webView, const char* msg) {
    wkeAlertBoxCallback fn = nullptr;
    void* param = nullptr;
    if (TakeCallback(webView, &wkeWebViewTag::onAlert, &wkeWebViewTag::alertParam, fn, param))
        fn(webView, param, OrEmpty(msg));
}

WKE_API bool wkeScriptedNavigation(wkeWebView webView, wkeNavigationType type, const char* url) {
    wkeNavigationCallback fn = nullptr;
    void* param = nullptr;
    if (TakeCallback(webView, &wkeWebViewTag::onNavigation, &wkeWebViewTag::navigationParam, fn, param))
        return fn(webView, param, type, OrEmpty(url));
    return true;
}

WKE_API wkeWebView wkeScriptedCreateView(wkeWebView webView, const wkeNewViewInfo* info) {
    wkeCreateViewCallback fn = nullptr;
    void* param = nullptr;
    if (TakeCallback(webView, &wkeWebViewTag::onCreateView, &wkeWebViewTag::createViewParam, fn, param))
        return fn(webView, param, info);
    return nullptr;
}

WKE_API void wkeScriptedDocumentReady(wkeWebView webView) {
    wkeDocumentReadyCallback fn = nullptr;
    void* param = nullptr;
    if (TakeCallback(webView, &wkeWebViewTag::onReady, &wkeWebViewTag::readyParam, fn, param))
        fn(webView, param);
}

WKE_API void wkeScriptedLoadingFinish(wkeWebView webView, const char* url, wkeLoadingResult result,
                                      const char* failedReason) {
    wkeLoadingFinishCallback fn = nullptr;
    void* param = nullptr;
    if (TakeCallback(webView, &wkeWebViewTag::onFinish, &wkeWebViewTag::finishParam, fn, param))
        fn(webView, param, OrEmpty(url), result, OrEmpty(failedReason));
}

WKE_API const char* wkeScriptedPageMessage(wkeWebView webView, const char* pageUrl, const char* message) {
    wkePageMessageCallback fn = nullptr;
    void* param = nullptr;
    if (!TakeCallback(webView, &wkeWebViewTag::onMessage, &wkeWebViewTag::messageParam, fn, param))
        return nullptr;
    const char* answer = fn(webView, param, OrEmpty(pageUrl), OrEmpty(message));
    std::lock_guard lock(TheEngine().mutex);
    webView->answer = answer != nullptr ? answer : "";
    return answer != nullptr ? webView->answer.c_str() : nullptr;
}

}  // extern "C"
