#include "web/EngineViewPeer.h"

#include "platform/duilib/MessageQueue.h"
#include "platform/duilib/UiThread.h"
#include "platform/os/DebugPrint.h"
#include "web/WkeLoader.h"

#include <chrono>
#include <functional>
#include <mutex>

struct EngineViewPeer::Link {
    // Null once the peer is gone: a late event then does nothing. Read and
    // cleared on the UI thread only.
    DuiLib::CWkeWebkitUI* control = nullptr;
    // The page's last answer, kept for the engine until the next message.
    std::mutex answerMutex;
    std::string answer;
};

namespace {

using Link = EngineViewPeer::Link;

// How long an event from another thread waits for the UI thread.
constexpr std::chrono::milliseconds kUiThreadWait{30000};

std::string Text(const char* text) {
    return text != nullptr ? text : "";
}

// Runs `fn` with the control on the UI thread and answers its result, or
// `fallback` when the control is gone or the UI thread did not answer in time.
// Any thread (the engine's).
template <typename R>
R OnUiThread(void* param, std::function<R(DuiLib::CWkeWebkitUI&)> fn, R fallback) {
    auto* link = static_cast<std::shared_ptr<Link>*>(param);
    if (link == nullptr || !*link)
        return fallback;
    if (DuiLib::IsUiThread()) {
        DuiLib::CWkeWebkitUI* control = (*link)->control;
        return control != nullptr ? fn(*control) : fallback;
    }
    // Everything the call needs travels by value or shared ownership, so a
    // call that runs after the deadline touches nothing that is gone.
    auto result = std::make_shared<R>(fallback);
    std::shared_ptr<Link> shared = *link;
    if (!DuiLib::RunOnUiThread(
            [shared, fn, result] {
                if (shared->control != nullptr)
                    *result = fn(*shared->control);
            },
            kUiThreadWait)) {
        DebugPrint("web engine: the UI thread did not take an event in time");
        return fallback;
    }
    return *result;
}

void OnTitleChanged(wkeWebView, void* param, const char* title) {
    // A null title stays null for the callback.
    const bool present = title != nullptr;
    const std::string text = Text(title);
    OnUiThread<bool>(
        param,
        [present, text](DuiLib::CWkeWebkitUI& control) {
            control.RaiseTitleChanged(present ? text.c_str() : nullptr);
            return true;
        },
        false);
}

void OnURLChanged(wkeWebView, void* param, const char* url) {
    const std::string text = Text(url);
    OnUiThread<bool>(
        param,
        [text](DuiLib::CWkeWebkitUI& control) {
            control.RaiseURLChanged(text.c_str());
            return true;
        },
        false);
}

void OnAlertBox(wkeWebView, void* param, const char* msg) {
    const std::string text = Text(msg);
    OnUiThread<bool>(
        param,
        [text](DuiLib::CWkeWebkitUI& control) {
            control.RaiseAlertBox(text.c_str());
            return true;
        },
        false);
}

bool OnNavigation(wkeWebView, void* param, wkeNavigationType type, const char* url) {
    const std::string text = Text(url);
    // A view whose control is gone navigates nowhere the client would see.
    return OnUiThread<bool>(
        param,
        [type, text](DuiLib::CWkeWebkitUI& control) { return control.RaiseNavigation(type, text.c_str()); },
        false);
}

wkeWebView OnCreateView(wkeWebView, void* param, const wkeNewViewInfo* info) {
    if (info == nullptr)
        return nullptr;
    // The texts of `info` are copied; the record itself is rebuilt on the
    // UI thread around the copies.
    const wkeNewViewInfo copy = *info;
    const std::string url = Text(info->url);
    const std::string target = Text(info->target);
    return OnUiThread<wkeWebView>(
        param,
        [copy, url, target](DuiLib::CWkeWebkitUI& control) {
            wkeNewViewInfo request = copy;
            request.url = url.c_str();
            request.target = target.c_str();
            return control.RaiseCreateView(&request);
        },
        nullptr);
}

void OnDocumentReady(wkeWebView, void* param) {
    OnUiThread<bool>(
        param,
        [](DuiLib::CWkeWebkitUI& control) {
            control.RaiseDocumentReady();
            return true;
        },
        false);
}

void OnLoadingFinish(wkeWebView, void* param, const char* url, wkeLoadingResult result, const char* reason) {
    const std::string address = Text(url);
    const std::string why = Text(reason);
    OnUiThread<bool>(
        param,
        [address, result, why](DuiLib::CWkeWebkitUI& control) {
            control.RaiseLoadingFinish(address.c_str(), result, why.c_str());
            return true;
        },
        false);
}

const char* OnPageMessage(wkeWebView, void* param, const char* pageUrl, const char* message) {
    auto* link = static_cast<std::shared_ptr<Link>*>(param);
    if (link == nullptr || !*link)
        return nullptr;
    const std::string origin = Text(pageUrl);
    const std::string text = Text(message);
    std::string answer = OnUiThread<std::string>(
        param,
        [origin, text](DuiLib::CWkeWebkitUI& control) {
            // The sending page's address travels as the first further value;
            // null when the engine did not tell it.
            void* page = origin.empty() ? nullptr : const_cast<char*>(origin.c_str());
            return control.RaisePageMessage(text.c_str(), page, nullptr);
        },
        std::string());
    if (answer.empty())
        return nullptr;
    std::lock_guard lock((*link)->answerMutex);
    (*link)->answer = std::move(answer);
    return (*link)->answer.c_str();
}

}  // namespace

std::unique_ptr<EngineViewPeer> EngineViewPeer::Create(DuiLib::CWkeWebkitUI& control) {
    const WkeFunctionTable& table = WkeFunctions();
    if (!WkeCanMakeViews(table))
        return nullptr;
    wkeWebView view = table.wkeCreateWebView();
    if (view == nullptr) {
        DebugPrint("web engine: no view for \"%s\"", control.GetName().c_str());
        return nullptr;
    }
    auto link = std::make_shared<Link>();
    link->control = &control;
    return std::unique_ptr<EngineViewPeer>(new EngineViewPeer(view, std::move(link)));
}

EngineViewPeer::EngineViewPeer(wkeWebView view, std::shared_ptr<Link> link)
    : m_view(view), m_link(std::move(link)) {
    const WkeFunctionTable& table = WkeFunctions();
    // The engine keeps a pointer to this member as each callback's parameter;
    // it lives as long as the peer, and the view dies first.
    void* param = &m_link;
    if (table.wkeOnTitleChanged != nullptr)
        table.wkeOnTitleChanged(m_view, &OnTitleChanged, param);
    if (table.wkeOnURLChanged != nullptr)
        table.wkeOnURLChanged(m_view, &OnURLChanged, param);
    if (table.wkeOnAlertBox != nullptr)
        table.wkeOnAlertBox(m_view, &OnAlertBox, param);
    if (table.wkeOnNavigation != nullptr)
        table.wkeOnNavigation(m_view, &OnNavigation, param);
    if (table.wkeOnCreateView != nullptr)
        table.wkeOnCreateView(m_view, &OnCreateView, param);
    if (table.wkeOnDocumentReady != nullptr)
        table.wkeOnDocumentReady(m_view, &OnDocumentReady, param);
    if (table.wkeOnLoadingFinish != nullptr)
        table.wkeOnLoadingFinish(m_view, &OnLoadingFinish, param);
    if (table.wkeOnPageMessage != nullptr)
        table.wkeOnPageMessage(m_view, &OnPageMessage, param);
}

EngineViewPeer::~EngineViewPeer() {
    // Events already handed to the UI thread find no control; the engine
    // raises none after the view is destroyed.
    m_link->control = nullptr;
    if (WkeFunctions().wkeDestroyWebView != nullptr)
        WkeFunctions().wkeDestroyWebView(m_view);
}

void EngineViewPeer::Navigate(const std::string& url) {
    if (WkeFunctions().wkeLoadURL != nullptr)
        WkeFunctions().wkeLoadURL(m_view, url.c_str());
}

void EngineViewPeer::Back() {
    if (WkeFunctions().wkeGoBack != nullptr)
        WkeFunctions().wkeGoBack(m_view);
}

void EngineViewPeer::Forward() {
    if (WkeFunctions().wkeGoForward != nullptr)
        WkeFunctions().wkeGoForward(m_view);
}

void EngineViewPeer::Reload() {
    if (WkeFunctions().wkeReload != nullptr)
        WkeFunctions().wkeReload(m_view);
}

void* EngineViewPeer::GetNativeWidget() const {
    return WkeFunctions().wkeGetNativeWidget != nullptr ? WkeFunctions().wkeGetNativeWidget(m_view) : nullptr;
}
