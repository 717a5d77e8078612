// The web engine on WebKitGTK 4.1: every export of wke.h (the optional script evaluation too), and the two of
// wke_webkitgtk.h. The shared state is EngineContext's (one web context, the
// cookie store, the store's CA, the live views); a view and its signals are
// WebkitView's.
//
// Everything runs on the thread of the default GLib main context (the UI
// thread), and so does every callback.

#include "platform/wke/ViewCallbacks.h"
#include "platform/wke/webkitgtk/EngineContext.h"
#include "platform/wke/webkitgtk/WebkitView.h"
#include "platform/wke/webkitgtk/wke_webkitgtk.h"

namespace {

// What every registration export does (the exports below).
template <std::size_t Slot>
void RegisterCallback(wkeWebView view, WebkitViewCallbacks::Callback<Slot> callback, void* param,
                      const char*) {
    if (view != nullptr)
        view->callbacks.Set<Slot>(callback, param);
}

// One script evaluation on its way: what the engine's answer goes to. It
// holds its own reference on the web view, so the evaluation ends (answered
// or failed) even when the client destroys the view meanwhile.
struct Evaluation {
    wkeWebView view;
    wkeScriptResultCallback callback;
    void* param;
};

void OnEvaluated(GObject* source, GAsyncResult* result, gpointer data) {
    auto* evaluation = static_cast<Evaluation*>(data);
    GError* error = nullptr;
    JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error);
    if (value == nullptr) {
        evaluation->callback(evaluation->view, evaluation->param, nullptr,
                             error != nullptr ? error->message : "the script did not run");
    } else {
        // Undefined has no JSON text: it is null to the caller.
        char* json = jsc_value_to_json(value, 0);
        evaluation->callback(evaluation->view, evaluation->param, json != nullptr ? json : "null", nullptr);
        g_free(json);
        g_object_unref(value);
    }
    if (error != nullptr)
        g_error_free(error);
    g_object_unref(source);
    delete evaluation;
}

}  // namespace

extern "C" {

WKE_API bool wkeInitializeEx(const wkeSettings*) {
    return EngineContext::Get().Initialize();
}

WKE_API wkeWebView wkeCreateWebView(void) {
    if (!EngineContext::Get().Usable())
        return nullptr;
    // Owned by the client until wkeDestroyWebView.
    return new wkeWebViewTag;
}

WKE_API void wkeDestroyWebView(wkeWebView webView) {
    delete webView;
}

WKE_API void wkeSetMemoryCacheEnable(wkeWebView webView, bool enable) {
    if (webView != nullptr)
        webView->SetMemoryCache(enable);
}

WKE_API void wkeSetZoomFactor(wkeWebView webView, float factor) {
    if (webView != nullptr && factor > 0.0F)
        webView->SetZoom(factor);
}

WKE_API void wkeSetCookieJarPath(wkeWebView webView, const char* path) {
    if (webView != nullptr && path != nullptr && path[0] == '/')
        EngineContext::Get().UseCookieFolder(path);
}

WKE_API void wkeLoadURL(wkeWebView webView, const char* url) {
    if (webView != nullptr && url != nullptr)
        webView->LoadUrl(url);
}

WKE_API bool wkeGoBack(wkeWebView webView) {
    if (webView == nullptr || webView->widget == nullptr || !webkit_web_view_can_go_back(webView->widget))
        return false;
    webkit_web_view_go_back(webView->widget);
    return true;
}

WKE_API bool wkeGoForward(wkeWebView webView) {
    if (webView == nullptr || webView->widget == nullptr || !webkit_web_view_can_go_forward(webView->widget))
        return false;
    webkit_web_view_go_forward(webView->widget);
    return true;
}

WKE_API void wkeReload(wkeWebView webView) {
    if (webView != nullptr && webView->widget != nullptr)
        webkit_web_view_reload(webView->widget);
}

WKE_API const char* wkeGetURL(wkeWebView webView) {
    return webView != nullptr ? webView->CurrentUrl() : "";
}

WKE_VIEW_REGISTRATIONS(WKE_DEFINE_REGISTRATION)
WKE_DEFINE_REGISTRATION(wkeOnConsoleMessage, kConsoleMessageSlot, wkeConsoleMessageCallback)

WKE_API void wkeRunScript(wkeWebView webView, const char* script) {
    if (webView == nullptr || webView->widget == nullptr || script == nullptr)
        return;
    webkit_web_view_evaluate_javascript(webView->widget, script, -1, nullptr, nullptr, nullptr, nullptr,
                                        nullptr);
}

WKE_API void wkeEvaluateScript(wkeWebView webView, const char* script, wkeScriptResultCallback callback,
                               void* param) {
    if (callback == nullptr)
        return;
    // A view that never navigated has no page to ask.
    if (webView == nullptr || webView->widget == nullptr || script == nullptr) {
        callback(webView, param, nullptr, "the view shows no page");
        return;
    }
    g_object_ref(webView->widget);
    webkit_web_view_evaluate_javascript(webView->widget, script, -1, nullptr, nullptr, nullptr, &OnEvaluated,
                                        new Evaluation{webView, callback, param});
}

WKE_API void* wkeGetNativeWidget(wkeWebView webView) {
    return webView != nullptr ? webView->holder : nullptr;
}

}  // extern "C"
