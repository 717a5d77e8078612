#include "web/EngineViewPeer.h"

#include "platform/duilib/MessageQueue.h"
#include "platform/duilib/UiCall.h"
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

// Raises an engine event on the view's control on the UI thread and answers
// what `raise` answers, or `fallback` when the control is gone or the UI
// thread did not come to the event in time. The engine's arguments stay
// valid while it waits, and an event the UI thread has not begun by the
// deadline never runs (UiCall), so `raise` may use them as they are. Any
// thread (the engine's).
template <typename R, typename Raise>
R Forward(void* param, R fallback, Raise&& raise) {
    auto* link = static_cast<std::shared_ptr<Link>*>(param);
    if (link == nullptr || !*link)
        return fallback;
    // The peer may go while the event waits for the UI thread: the link is
    // shared, and its control is null by then.
    const std::shared_ptr<Link> shared = *link;
    R result = fallback;
    const bool ran = DuiLib::UiCall(
        [&] {
            if (shared->control != nullptr)
                result = raise(*shared->control);
        },
        DuiLib::UiCallLimits{.begin = kUiThreadWait});
    if (!ran)
        DebugPrint("web engine: the UI thread did not take an event in time");
    return result;
}

// The same for an event without an answer.
template <typename Raise>
void Forward(void* param, Raise&& raise) {
    Forward<bool>(param, false, [&](DuiLib::CWkeWebkitUI& control) {
        raise(control);
        return true;
    });
}

void OnTitleChanged(wkeWebView, void* param, const char* title) {
    // A null title stays null for the callback.
    Forward(param, [title](DuiLib::CWkeWebkitUI& control) { control.RaiseTitleChanged(title); });
}

void OnURLChanged(wkeWebView, void* param, const char* url) {
    Forward(param, [url](DuiLib::CWkeWebkitUI& control) { control.RaiseURLChanged(Text(url).c_str()); });
}

void OnAlertBox(wkeWebView, void* param, const char* msg) {
    Forward(param, [msg](DuiLib::CWkeWebkitUI& control) { control.RaiseAlertBox(Text(msg).c_str()); });
}

bool OnNavigation(wkeWebView, void* param, wkeNavigationType type, const char* url) {
    // A view whose control is gone navigates nowhere the client would see.
    return Forward<bool>(param, false, [type, url](DuiLib::CWkeWebkitUI& control) {
        return control.RaiseNavigation(type, Text(url).c_str());
    });
}

wkeWebView OnCreateView(wkeWebView, void* param, const wkeNewViewInfo* info) {
    if (info == nullptr)
        return nullptr;
    return Forward<wkeWebView>(param, nullptr, [info](DuiLib::CWkeWebkitUI& control) {
        // Null texts of the engine's record reach the control as empty ones.
        const std::string url = Text(info->url);
        const std::string target = Text(info->target);
        wkeNewViewInfo request = *info;
        request.url = url.c_str();
        request.target = target.c_str();
        return control.RaiseCreateView(&request);
    });
}

void OnDocumentReady(wkeWebView, void* param) {
    Forward(param, [](DuiLib::CWkeWebkitUI& control) { control.RaiseDocumentReady(); });
}

void OnLoadingFinish(wkeWebView, void* param, const char* url, wkeLoadingResult result, const char* reason) {
    Forward(param, [url, result, reason](DuiLib::CWkeWebkitUI& control) {
        control.RaiseLoadingFinish(Text(url).c_str(), result, Text(reason).c_str());
    });
}

const char* OnPageMessage(wkeWebView, void* param, const char* pageUrl, const char* message) {
    auto* link = static_cast<std::shared_ptr<Link>*>(param);
    if (link == nullptr || !*link)
        return nullptr;
    std::string answer =
        Forward<std::string>(param, std::string(), [pageUrl, message](DuiLib::CWkeWebkitUI& control) {
            // The sending page's address travels as the first further value;
            // null when the engine did not tell it.
            void* page = pageUrl != nullptr && *pageUrl != '\0' ? const_cast<char*>(pageUrl) : nullptr;
            return control.RaisePageMessage(Text(message).c_str(), page, nullptr);
        });
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
    // Every registration is there: no view is made otherwise (WkeCanMakeViews).
    // The engine keeps a pointer to this member as each callback's parameter;
    // it lives as long as the peer, and the view dies first.
    void* param = &m_link;
    table.wkeOnTitleChanged(m_view, &OnTitleChanged, param);
    table.wkeOnURLChanged(m_view, &OnURLChanged, param);
    table.wkeOnAlertBox(m_view, &OnAlertBox, param);
    table.wkeOnNavigation(m_view, &OnNavigation, param);
    table.wkeOnCreateView(m_view, &OnCreateView, param);
    table.wkeOnDocumentReady(m_view, &OnDocumentReady, param);
    table.wkeOnLoadingFinish(m_view, &OnLoadingFinish, param);
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
