#include "platform/wke/webkitgtk/WebkitView.h"

#include "platform/wke/webkitgtk/EngineContext.h"
#include "platform/wke/webkitgtk/PageBridge.h"

#include <utility>

namespace {

const char* OrEmpty(const char* text) {
    return text != nullptr ? text : "";
}

wkeNavigationType NavigationTypeOf(WebKitNavigationType type) {
    switch (type) {
        case WEBKIT_NAVIGATION_TYPE_LINK_CLICKED:
            return WKE_NAVIGATION_TYPE_LINKCLICK;
        case WEBKIT_NAVIGATION_TYPE_FORM_SUBMITTED:
            return WKE_NAVIGATION_TYPE_FORMSUBMITTE;
        case WEBKIT_NAVIGATION_TYPE_BACK_FORWARD:
            return WKE_NAVIGATION_TYPE_BACKFORWARD;
        case WEBKIT_NAVIGATION_TYPE_RELOAD:
            return WKE_NAVIGATION_TYPE_RELOAD;
        case WEBKIT_NAVIGATION_TYPE_FORM_RESUBMITTED:
            return WKE_NAVIGATION_TYPE_FORMRESUBMITT;
        default:
            return WKE_NAVIGATION_TYPE_OTHER;
    }
}

const char* RequestUri(WebKitNavigationAction* action) {
    return OrEmpty(webkit_uri_request_get_uri(webkit_navigation_action_get_request(action)));
}

// ---- signal handlers (UI thread) ---------------------------------------------------

void OnTitle(WebKitWebView* widget, GParamSpec*, wkeWebView view) {
    if (auto slot = view->callbacks.Get<kTitleChangedSlot>())
        slot.callback(view, slot.param, webkit_web_view_get_title(widget));
}

void OnUri(WebKitWebView* widget, GParamSpec*, wkeWebView view) {
    if (auto slot = view->callbacks.Get<kURLChangedSlot>())
        slot.callback(view, slot.param, OrEmpty(webkit_web_view_get_uri(widget)));
}

// True when the client refuses the navigation of `decision`.
bool RefusedByClient(WebKitPolicyDecision* decision, wkeWebView view) {
    WebKitNavigationAction* action =
        webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
    auto slot = view->callbacks.Get<kNavigationSlot>();
    if (!slot)
        return false;
    const std::string uri = RequestUri(action);
    if (slot.callback(view, slot.param,
                      NavigationTypeOf(webkit_navigation_action_get_navigation_type(action)), uri.c_str()))
        return false;
    webkit_policy_decision_ignore(decision);
    // The client's own request refused by the client: it ends here.
    view->Tell(view->loads.Refused(uri));
    return true;
}

gboolean OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                        wkeWebView view) {
    if (type == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION)
        return RefusedByClient(decision, view) ? TRUE : FALSE;
    if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE) {
        // What the engine cannot show would become a download; the engine
        // downloads nothing (the client downloads templates itself).
        auto* response = WEBKIT_RESPONSE_POLICY_DECISION(decision);
        if (!webkit_response_policy_decision_is_mime_type_supported(response)) {
            webkit_policy_decision_ignore(decision);
            return TRUE;
        }
    }
    return FALSE;
}

GtkWidget* OnCreate(WebKitWebView*, WebKitNavigationAction* action, wkeWebView view) {
    auto slot = view->callbacks.Get<kCreateViewSlot>();
    if (!slot)
        return nullptr;
    const std::string url = RequestUri(action);
    wkeNewViewInfo info{};
    info.navigationType = NavigationTypeOf(webkit_navigation_action_get_navigation_type(action));
    info.url = url.c_str();
    info.target = "";
    info.resizable = 1;
    info.scrollbarsVisible = 1;
    wkeWebView target = slot.callback(view, slot.param, &info);
    // The page opens in the client's view of choice (never in a window the
    // engine makes), or not at all.
    if (target != nullptr)
        webkit_web_view_load_uri(target->EnsureWebView(), url.c_str());
    return nullptr;
}

gboolean OnScriptDialog(WebKitWebView*, WebKitScriptDialog* dialog, wkeWebView view) {
    if (webkit_script_dialog_get_dialog_type(dialog) != WEBKIT_SCRIPT_DIALOG_ALERT)
        return FALSE;
    if (auto slot = view->callbacks.Get<kAlertBoxSlot>())
        slot.callback(view, slot.param, webkit_script_dialog_get_message(dialog));
    return TRUE;
}

void OnLoadChanged(WebKitWebView* widget, WebKitLoadEvent event, wkeWebView view) {
    const char* uri = OrEmpty(webkit_web_view_get_uri(widget));
    if (event == WEBKIT_LOAD_STARTED)
        view->Tell(view->loads.Started(uri));
    else if (event == WEBKIT_LOAD_FINISHED)
        view->Tell(view->loads.Finished(uri));
}

// A load replaced by another navigation, or stopped by the navigation
// policy, was cancelled, not failed: the client must not show its
// disconnect page for it.
LoadTracker::Failure FailureOf(const GError* error) {
    const bool cancelled =
        g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED) ||
        g_error_matches(error, WEBKIT_POLICY_ERROR,
                        WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE) ||
        g_error_matches(error, WEBKIT_POLICY_ERROR, WEBKIT_POLICY_ERROR_CANNOT_SHOW_MIME_TYPE);
    return cancelled ? LoadTracker::Failure::Cancelled : LoadTracker::Failure::Failed;
}

gboolean OnLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar* failingUri, GError* error, wkeWebView view) {
    view->Tell(
        view->loads.Failed(OrEmpty(failingUri), FailureOf(error), error != nullptr ? error->message : ""));
    // The client shows its own page for a failure, not the engine's.
    return TRUE;
}

gboolean ReloadAfterTlsCheck(gpointer data) {
    auto* request = static_cast<std::pair<wkeWebView, std::string>*>(data);
    if (EngineContext::Get().IsLive(request->first))
        webkit_web_view_load_uri(request->first->widget, request->second.c_str());
    delete request;
    return G_SOURCE_REMOVE;
}

gboolean OnTlsErrors(WebKitWebView*, gchar* failingUri, GTlsCertificate* certificate, GTlsCertificateFlags,
                     wkeWebView view) {
    if (EngineContext::Get().AcceptWithExtraCa(certificate, failingUri)) {
        // The store's own CA vouches for this certificate and this host:
        // the page loads again, and only that load is the client's news.
        view->loads.RetryingAfterCheck();
        // Owned by the idle source until it runs.
        g_idle_add(&ReloadAfterTlsCheck, new std::pair<wkeWebView, std::string>(view, failingUri));
        return TRUE;
    }
    view->Tell(view->loads.Failed(OrEmpty(failingUri), LoadTracker::Failure::Failed,
                                  "the server's certificate is not trusted"));
    return TRUE;
}

// A web view over `content`, related to the oldest view that has one: one
// web process for all of them instead of one each. Floating.
GtkWidget* MakeWebView(WebKitUserContentManager* content) {
    EngineContext& engine = EngineContext::Get();
    if (WebKitWebView* related = engine.OldestWebView())
        return GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "related-view", related, "user-content-manager",
                                       content, nullptr));
    return GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", engine.Context(),
                                   "user-content-manager", content, nullptr));
}

void ConnectSignals(wkeWebView view) {
    g_signal_connect(view->widget, "notify::title", G_CALLBACK(&OnTitle), view);
    g_signal_connect(view->widget, "notify::uri", G_CALLBACK(&OnUri), view);
    g_signal_connect(view->widget, "decide-policy", G_CALLBACK(&OnDecidePolicy), view);
    g_signal_connect(view->widget, "create", G_CALLBACK(&OnCreate), view);
    g_signal_connect(view->widget, "script-dialog", G_CALLBACK(&OnScriptDialog), view);
    g_signal_connect(view->widget, "load-changed", G_CALLBACK(&OnLoadChanged), view);
    g_signal_connect(view->widget, "load-failed", G_CALLBACK(&OnLoadFailed), view);
    g_signal_connect(view->widget, "load-failed-with-tls-errors", G_CALLBACK(&OnTlsErrors), view);
}

}  // namespace

wkeWebViewTag::wkeWebViewTag()
    : holder(GTK_WIDGET(g_object_ref_sink(gtk_box_new(GTK_ORIENTATION_VERTICAL, 0)))) {
    gtk_widget_show(holder);
    EngineContext::Get().AddView(this);
}

wkeWebViewTag::~wkeWebViewTag() {
    EngineContext::Get().RemoveView(this);
    if (widget != nullptr) {
        g_signal_handlers_disconnect_by_data(widget, this);
        g_signal_handlers_disconnect_by_data(webkit_web_view_get_user_content_manager(widget), this);
        webkit_web_view_stop_loading(widget);
    }
    gtk_widget_destroy(holder);
    g_object_unref(holder);
}

WebKitWebView* wkeWebViewTag::EnsureWebView() {
    if (widget != nullptr)
        return widget;
    WebKitUserContentManager* content = MakePageBridge(this);
    GtkWidget* made = MakeWebView(content);
    g_object_unref(content);
    widget = WEBKIT_WEB_VIEW(made);

    WebKitSettings* settings = webkit_web_view_get_settings(widget);
    webkit_settings_set_enable_page_cache(settings, memoryCache);
    webkit_settings_set_javascript_can_open_windows_automatically(settings, FALSE);
    webkit_web_view_set_zoom_level(widget, zoom);
    ConnectSignals(this);
    gtk_box_pack_start(GTK_BOX(holder), made, TRUE, TRUE, 0);
    gtk_widget_show(made);
    return widget;
}

void wkeWebViewTag::LoadUrl(const char* address) {
    WebKitWebView* web = EnsureWebView();
    Tell(loads.ClientRequested(address));
    // The client may have destroyed the view on hearing of the cancel.
    if (EngineContext::Get().IsLive(this))
        webkit_web_view_load_uri(web, address);
}

void wkeWebViewTag::SetMemoryCache(bool enable) {
    memoryCache = enable;
    // Pages kept in memory for back and forward, and the context's caches
    // sized for browsing.
    if (widget != nullptr)
        webkit_settings_set_enable_page_cache(webkit_web_view_get_settings(widget), enable);
    if (enable)
        EngineContext::Get().UseBrowsingCache();
}

void wkeWebViewTag::SetZoom(float factor) {
    zoom = factor;
    if (widget != nullptr)
        webkit_web_view_set_zoom_level(widget, factor);
}

const char* wkeWebViewTag::CurrentUrl() {
    url = widget != nullptr ? OrEmpty(webkit_web_view_get_uri(widget)) : "";
    return url.c_str();
}

void wkeWebViewTag::Tell(const std::optional<LoadFinish>& finish) {
    if (!finish)
        return;
    if (auto slot = callbacks.Get<kLoadingFinishSlot>())
        slot.callback(this, slot.param, finish->url.c_str(), finish->result, finish->reason.c_str());
}
