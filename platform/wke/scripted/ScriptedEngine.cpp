// The scripted engine: every export of the engine interface, with views that
// only remember what was asked of them, plus the test-only exports of
// wke_scripted.h that raise events. Its loads follow the rules of the real
// engine (LoadTracker): a load replaced by another, or refused by the client,
// finishes cancelled, and a load finishes once. Built four times: complete,
// and without wkeInitializeEx, wkeSetZoomFactor or wkeDestroyWebView
// (WKE_SCRIPTED_NO_INITIALIZE, WKE_SCRIPTED_NO_ZOOM, WKE_SCRIPTED_NO_DESTROY),
// for the loader's failure paths.
//
// Any thread: one lock guards every view, and no callback runs under it.

#include "platform/wke/LoadTracker.h"
#include "platform/wke/ViewCallbacks.h"
#include "platform/wke/scripted/wke_scripted.h"

#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct wkeWebViewTag {
    WkeViewCallbacks callbacks;
    LoadTracker loads;
    bool live = true;
    std::vector<std::string> calls;
    std::string url;
    std::string callsText;  // what wkeScriptedCalls returned last
    std::string answer;     // the page's last answer
    char widget = 0;        // its address stands in for a native widget
    // What script evaluations answer once a test has said (json, or null
    // and the error), and the evaluations waiting until it does.
    std::optional<std::pair<std::optional<std::string>, std::string>> scriptAnswer;
    std::vector<std::pair<wkeScriptResultCallback, void*>> pendingScripts;
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

// A copy of a live view's registration, taken under the lock; the callback
// itself runs without it, since it may call back into the engine.
template <std::size_t Slot>
WkeRegistration<WkeViewCallbacks::Callback<Slot>> TakeCallback(wkeWebView view) {
    if (view == nullptr)
        return {};
    std::lock_guard lock(TheEngine().mutex);
    if (!view->live)
        return {};
    return view->callbacks.Get<Slot>();
}

// What every registration export does (the exports below); the call is
// recorded as "onTitleChanged" for "wkeOnTitleChanged".
template <std::size_t Slot>
void RegisterCallback(wkeWebView view, WkeViewCallbacks::Callback<Slot> callback, void* param,
                      const char* exportName) {
    if (view == nullptr)
        return;
    std::lock_guard lock(TheEngine().mutex);
    view->callbacks.Set<Slot>(callback, param);
    view->calls.push_back(std::string("on") + (exportName + 5));
}

void TellFinish(wkeWebView view, const std::optional<LoadFinish>& finish) {
    if (!finish)
        return;
    if (auto slot = TakeCallback<kLoadingFinishSlot>(view))
        slot.callback(view, slot.param, finish->url.c_str(), finish->result, finish->reason.c_str());
}

// Hands a load event to a live view's tracker under the lock, then tells the
// client of the finish it answers.
template <typename Event>
void TrackLoad(wkeWebView view, Event event) {
    if (view == nullptr)
        return;
    std::optional<LoadFinish> finish;
    {
        std::lock_guard lock(TheEngine().mutex);
        if (!view->live)
            return;
        finish = event(view->loads);
    }
    TellFinish(view, finish);
}

// Answers evaluations taken from a view (outside the lock).
void AnswerScripts(wkeWebView view, const std::vector<std::pair<wkeScriptResultCallback, void*>>& waiting,
                   const std::optional<std::string>& json, const std::string& error) {
    for (const auto& [callback, param] : waiting)
        callback(view, param, json ? json->c_str() : nullptr, json ? nullptr : error.c_str());
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

#ifndef WKE_SCRIPTED_NO_DESTROY
WKE_API void wkeDestroyWebView(wkeWebView webView) {
    if (webView == nullptr)
        return;
    std::vector<std::pair<wkeScriptResultCallback, void*>> waiting;
    {
        std::lock_guard lock(TheEngine().mutex);
        webView->live = false;
        webView->calls.emplace_back("destroy");
        waiting.swap(webView->pendingScripts);
    }
    AnswerScripts(webView, waiting, std::nullopt, "the view was destroyed");
}
#endif

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
    std::optional<LoadFinish> cancelled;
    {
        std::lock_guard lock(TheEngine().mutex);
        webView->calls.push_back(std::string("loadURL ") + OrEmpty(url));
        webView->url = OrEmpty(url);
        if (webView->live)
            cancelled = webView->loads.ClientRequested(OrEmpty(url));
    }
    TellFinish(webView, cancelled);
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

WKE_VIEW_REGISTRATIONS(WKE_DEFINE_REGISTRATION)

WKE_API void* wkeGetNativeWidget(wkeWebView webView) {
    return webView != nullptr ? &webView->widget : nullptr;
}

WKE_API void wkeEvaluateScript(wkeWebView webView, const char* script, wkeScriptResultCallback callback,
                               void* param) {
    if (callback == nullptr)
        return;
    if (webView == nullptr) {
        callback(webView, param, nullptr, "no view");
        return;
    }
    std::optional<std::pair<std::optional<std::string>, std::string>> answer;
    {
        std::lock_guard lock(TheEngine().mutex);
        webView->calls.push_back(std::string("evaluateScript ") + OrEmpty(script));
        if (!webView->live)
            answer.emplace(std::nullopt, "the view was destroyed");
        else if (webView->scriptAnswer)
            answer = webView->scriptAnswer;
        else
            webView->pendingScripts.emplace_back(callback, param);
    }
    if (answer)
        AnswerScripts(webView, {{callback, param}}, answer->first, answer->second);
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
    if (auto slot = TakeCallback<kTitleChangedSlot>(webView))
        slot.callback(webView, slot.param, title);
}

WKE_API void wkeScriptedURLChanged(wkeWebView webView, const char* url) {
    if (webView == nullptr)
        return;
    {
        std::lock_guard lock(TheEngine().mutex);
        if (webView->live)
            webView->url = OrEmpty(url);
    }
    if (auto slot = TakeCallback<kURLChangedSlot>(webView))
        slot.callback(webView, slot.param, OrEmpty(url));
}

WKE_API void wkeScriptedAlertBox(wkeWebView webView, const char* msg) {
    if (auto slot = TakeCallback<kAlertBoxSlot>(webView))
        slot.callback(webView, slot.param, OrEmpty(msg));
}

WKE_API bool wkeScriptedNavigation(wkeWebView webView, wkeNavigationType type, const char* url) {
    auto slot = TakeCallback<kNavigationSlot>(webView);
    if (!slot || slot.callback(webView, slot.param, type, OrEmpty(url)))
        return true;
    const std::string refused = OrEmpty(url);
    TrackLoad(webView, [&refused](LoadTracker& loads) { return loads.Refused(refused); });
    return false;
}

WKE_API wkeWebView wkeScriptedCreateView(wkeWebView webView, const wkeNewViewInfo* info) {
    if (auto slot = TakeCallback<kCreateViewSlot>(webView))
        return slot.callback(webView, slot.param, info);
    return nullptr;
}

WKE_API void wkeScriptedDocumentReady(wkeWebView webView) {
    if (auto slot = TakeCallback<kDocumentReadySlot>(webView))
        slot.callback(webView, slot.param);
}

WKE_API void wkeScriptedLoadStarted(wkeWebView webView, const char* url) {
    const std::string started = OrEmpty(url);
    TrackLoad(webView, [&started](LoadTracker& loads) { return loads.Started(started); });
}

WKE_API void wkeScriptedLoadingFinish(wkeWebView webView, const char* url, wkeLoadingResult result,
                                      const char* failedReason) {
    const std::string address = OrEmpty(url);
    const std::string reason = OrEmpty(failedReason);
    TrackLoad(webView, [&](LoadTracker& loads) -> std::optional<LoadFinish> {
        if (result == WKE_LOADING_SUCCEEDED)
            return loads.Finished(address);
        // The engine gives the load up, then ends it (which tells nothing more).
        const auto failure =
            result == WKE_LOADING_CANCELED ? LoadTracker::Failure::Cancelled : LoadTracker::Failure::Failed;
        LoadFinish failed = loads.Failed(address, failure, reason);
        loads.Finished(address);
        return failed;
    });
}

WKE_API const char* wkeScriptedPageMessage(wkeWebView webView, const char* pageUrl, const char* message) {
    auto slot = TakeCallback<kPageMessageSlot>(webView);
    if (!slot)
        return nullptr;
    const char* answer = slot.callback(webView, slot.param, OrEmpty(pageUrl), OrEmpty(message));
    std::lock_guard lock(TheEngine().mutex);
    webView->answer = answer != nullptr ? answer : "";
    return answer != nullptr ? webView->answer.c_str() : nullptr;
}

WKE_API void wkeScriptedSetScriptAnswer(wkeWebView webView, const char* json, const char* error) {
    if (webView == nullptr)
        return;
    std::optional<std::string> value;
    if (json != nullptr)
        value = json;
    const std::string reason = OrEmpty(error);
    std::vector<std::pair<wkeScriptResultCallback, void*>> waiting;
    {
        std::lock_guard lock(TheEngine().mutex);
        webView->scriptAnswer.emplace(value, reason);
        waiting.swap(webView->pendingScripts);
    }
    AnswerScripts(webView, waiting, value, reason);
}

}  // extern "C"
