// The web engine on WebKitGTK 4.1: every export of wke.h.
//
// One WebKitWebContext serves every view of the process. Its website data
// lives under the per-user folder ($XDG_CONFIG_HOME/vanto/webkit), its cache
// under $XDG_CACHE_HOME/vanto, and its cookies in one SQLite file in the
// folder wkeSetCookieJarPath names (the per-user folder until then), so the
// hidden login-sync view logs every page in. Every view is related to the
// first live one, so they share one web process instead of one each; a view
// that never navigated starts none.
//
// Pages talk to the client through one page function, VantoClient.send(text),
// which a script of the top frame defines over the script message handler
// "vanto". The same script reports script errors (handler "vantoConsole") and
// the document being ready (handler "vantoReady").
//
// Everything runs on the thread of the default GLib main context (the UI
// thread), and so does every callback.

#include "platform/wke/ViewCallbacks.h"
#include "platform/wke/webkitgtk/wke_webkitgtk.h"

#include <gtk/gtk.h>
#include <unistd.h>
#include <webkit2/webkit2.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

struct wkeWebViewTag : WkeViewCallbacks {
    // The native widget: a box that gets the web view at the first
    // navigation, so that a view that never navigates starts no web process.
    GtkWidget* holder = nullptr;      // our reference; the display back end adds its own
    WebKitWebView* widget = nullptr;  // inside `holder`, once made
    std::string url;                  // what wkeGetURL returned last
    bool inLoad = false;              // a load was asked for or started, and has not finished
    bool clientRequest = false;       // ... asked for by the client, not started yet
    std::string loadUri;              // its address
    bool loadReported = false;        // its end was told already
    bool silentFinish = false;        // the next finish belongs to a load retried after a TLS check
    bool memoryCache = false;
    float zoom = 1.0F;

    wkeConsoleMessageCallback onConsole = nullptr;
    void* consoleParam = nullptr;
};

namespace {

// The page side of the channel, the error reports and the ready signal; top
// frame only, before any script of the page runs.
constexpr const char* kPageScript = R"JS((function () {
  var handlers = window.webkit && window.webkit.messageHandlers;
  var post = function (name, value) {
    try { handlers[name].postMessage(value); } catch (e) {}
  };
  Object.defineProperty(window, 'VantoClient', {
    value: Object.freeze({ send: function (text) { post('vanto', String(text)); } }),
    writable: false, configurable: false
  });
  window.addEventListener('error', function (e) {
    post('vantoConsole', 'error: ' + e.message + ' (' + e.filename + ':' + e.lineno + ')');
  });
  window.addEventListener('unhandledrejection', function (e) {
    post('vantoConsole', 'unhandled rejection: ' + String(e.reason));
  });
  var consoleError = console.error;
  console.error = function () {
    post('vantoConsole', 'console.error: ' + Array.prototype.map.call(arguments, String).join(' '));
    return consoleError.apply(console, arguments);
  };
  document.addEventListener('DOMContentLoaded', function () { post('vantoReady', ''); });
})();)JS";

struct Engine {
    bool initialized = false;
    bool usable = false;
    WebKitWebContext* context = nullptr;
    std::string cookieFile;
    std::vector<wkeWebView> views;  // live ones, oldest first
};

Engine& TheEngine() {
    static Engine engine;
    return engine;
}

WebKitWebView* EnsureWebView(wkeWebView view);

std::string EnvFolder(const char* variable, const char* homeRelative) {
    const char* value = std::getenv(variable);
    if (value != nullptr && value[0] == '/')
        return value;
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "") + "/" + homeRelative;
}

std::string UserDataFolder() {
    return EnvFolder("XDG_CONFIG_HOME", ".config") + "/vanto";
}

void DebugLine(const std::string& text) {
    std::fprintf(stderr, "%s\n", text.c_str());
}

void UseCookieFolder(const std::string& folder) {
    Engine& engine = TheEngine();
    const std::string file = folder + "/cookies.sqlite";
    if (file == engine.cookieFile)
        return;
    g_mkdir_with_parents(folder.c_str(), 0700);
    engine.cookieFile = file;
    WebKitCookieManager* cookies = webkit_web_context_get_cookie_manager(engine.context);
    webkit_cookie_manager_set_persistent_storage(cookies, file.c_str(),
                                                 WEBKIT_COOKIE_PERSISTENT_STORAGE_SQLITE);
    webkit_cookie_manager_set_accept_policy(cookies, WEBKIT_COOKIE_POLICY_ACCEPT_NO_THIRD_PARTY);
}

// The extra CA of the store (VANTO_CA_FILE); null without one. Read again
// when the variable names another file.
GTlsDatabase* ExtraCa() {
    static std::string loadedFile;
    static GTlsDatabase* database = nullptr;
    const char* file = std::getenv("VANTO_CA_FILE");
    const std::string wanted = file != nullptr ? file : "";
    if (wanted != loadedFile) {
        g_clear_object(&database);
        loadedFile = wanted;
        if (!wanted.empty()) {
            GError* error = nullptr;
            database = g_tls_file_database_new(wanted.c_str(), &error);
            if (database == nullptr)
                DebugLine("web engine: VANTO_CA_FILE unreadable: " +
                          std::string(error ? error->message : file));
            g_clear_error(&error);
        }
    }
    return database;
}

// True when `certificate` verifies for the host of `uri` against the extra CA.
bool VerifiesAgainstExtraCa(GTlsCertificate* certificate, const char* uri) {
    GTlsDatabase* database = ExtraCa();
    if (database == nullptr || certificate == nullptr || uri == nullptr)
        return false;
    GError* error = nullptr;
    GSocketConnectable* identity = g_network_address_parse_uri(uri, 443, &error);
    if (identity == nullptr) {
        g_clear_error(&error);
        return false;
    }
    const GTlsCertificateFlags flags =
        g_tls_database_verify_chain(database, certificate, G_TLS_DATABASE_PURPOSE_AUTHENTICATE_SERVER,
                                    identity, nullptr, G_TLS_DATABASE_VERIFY_NONE, nullptr, &error);
    g_clear_error(&error);
    g_object_unref(identity);
    return flags == 0;
}

std::string HostOf(const char* uri) {
    GUri* parsed = g_uri_parse(uri, G_URI_FLAGS_NONE, nullptr);
    if (parsed == nullptr)
        return {};
    std::string host = g_uri_get_host(parsed) != nullptr ? g_uri_get_host(parsed) : "";
    g_uri_unref(parsed);
    return host;
}

void ReportFinish(wkeWebView view, const char* url, wkeLoadingResult result, const char* reason);

// The load under way ends, cancelled, as far as the client is concerned.
void CancelPendingLoad(wkeWebView view) {
    const std::string uri = view->loadUri;
    ReportFinish(view, uri.c_str(), WKE_LOADING_CANCELED, "replaced by another navigation");
}

void ReportFinish(wkeWebView view, const char* url, wkeLoadingResult result, const char* reason) {
    view->loadReported = true;
    if (view->onFinish != nullptr)
        view->onFinish(view, view->finishParam, url != nullptr ? url : "", result,
                       reason != nullptr ? reason : "");
}

// ---- signal handlers ---------------------------------------------------------------

void OnTitle(WebKitWebView* widget, GParamSpec*, wkeWebView view) {
    if (view->onTitle != nullptr)
        view->onTitle(view, view->titleParam, webkit_web_view_get_title(widget));
}

void OnUri(WebKitWebView* widget, GParamSpec*, wkeWebView view) {
    const char* uri = webkit_web_view_get_uri(widget);
    if (view->onUrl != nullptr)
        view->onUrl(view, view->urlParam, uri != nullptr ? uri : "");
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

gboolean OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                        wkeWebView view) {
    if (type == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION) {
        WebKitNavigationAction* action = webkit_navigation_policy_decision_get_navigation_action(
            WEBKIT_NAVIGATION_POLICY_DECISION(decision));
        const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
        if (view->onNavigation != nullptr &&
            !view->onNavigation(view, view->navigationParam,
                                NavigationTypeOf(webkit_navigation_action_get_navigation_type(action)),
                                uri != nullptr ? uri : "")) {
            webkit_policy_decision_ignore(decision);
            // The client's own request refused by the client: it ends here.
            if (view->clientRequest && !view->loadReported) {
                view->clientRequest = false;
                view->inLoad = false;
                ReportFinish(view, uri != nullptr ? uri : "", WKE_LOADING_CANCELED, "refused by the client");
            }
            return TRUE;
        }
        return FALSE;
    }
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
    if (view->onCreateView == nullptr)
        return nullptr;
    const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
    wkeNewViewInfo info{};
    info.navigationType = NavigationTypeOf(webkit_navigation_action_get_navigation_type(action));
    info.url = uri != nullptr ? uri : "";
    info.target = "";
    info.resizable = 1;
    info.scrollbarsVisible = 1;
    const std::string url = info.url;
    wkeWebView target = view->onCreateView(view, view->createViewParam, &info);
    // The page opens in the client's view of choice (never in a window the
    // engine makes), or not at all.
    if (target != nullptr)
        webkit_web_view_load_uri(EnsureWebView(target), url.c_str());
    return nullptr;
}

gboolean OnScriptDialog(WebKitWebView*, WebKitScriptDialog* dialog, wkeWebView view) {
    if (webkit_script_dialog_get_dialog_type(dialog) != WEBKIT_SCRIPT_DIALOG_ALERT)
        return FALSE;
    if (view->onAlert != nullptr)
        view->onAlert(view, view->alertParam, webkit_script_dialog_get_message(dialog));
    return TRUE;
}

void OnLoadChanged(WebKitWebView* widget, WebKitLoadEvent event, wkeWebView view) {
    if (event == WEBKIT_LOAD_STARTED) {
        // WebKit drops a load that another navigation replaces without a
        // word; for the client it ended, cancelled (a quick tab change must
        // not look like a lost connection, nor like nothing). The start of
        // the load the client asked for is that load, not a replacement.
        if (view->inLoad && !view->loadReported && !view->clientRequest)
            CancelPendingLoad(view);
        view->clientRequest = false;
        const char* uri = webkit_web_view_get_uri(widget);
        view->inLoad = true;
        view->loadUri = uri != nullptr ? uri : "";
        view->loadReported = false;
        return;
    }
    if (event != WEBKIT_LOAD_FINISHED)
        return;
    view->inLoad = false;
    if (view->silentFinish) {
        view->silentFinish = false;
        return;
    }
    if (!view->loadReported)
        ReportFinish(view, webkit_web_view_get_uri(widget), WKE_LOADING_SUCCEEDED, "");
    view->loadReported = false;
}

gboolean OnLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar* failingUri, GError* error, wkeWebView view) {
    // A load replaced by another navigation, or stopped by the navigation
    // policy, was cancelled, not failed: the client must not show its
    // disconnect page for it.
    const bool cancelled =
        g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED) ||
        g_error_matches(error, WEBKIT_POLICY_ERROR,
                        WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE) ||
        g_error_matches(error, WEBKIT_POLICY_ERROR, WEBKIT_POLICY_ERROR_CANNOT_SHOW_MIME_TYPE);
    ReportFinish(view, failingUri, cancelled ? WKE_LOADING_CANCELED : WKE_LOADING_FAILED,
                 error != nullptr ? error->message : "");
    // The client shows its own page for a failure, not the engine's.
    return TRUE;
}

gboolean ReloadAfterTlsCheck(gpointer data) {
    auto* request = static_cast<std::pair<wkeWebView, std::string>*>(data);
    for (wkeWebView view : TheEngine().views) {
        if (view == request->first)
            webkit_web_view_load_uri(view->widget, request->second.c_str());
    }
    delete request;
    return G_SOURCE_REMOVE;
}

gboolean OnTlsErrors(WebKitWebView*, gchar* failingUri, GTlsCertificate* certificate, GTlsCertificateFlags,
                     wkeWebView view) {
    const std::string host = HostOf(failingUri);
    if (!host.empty() && VerifiesAgainstExtraCa(certificate, failingUri)) {
        // The store's own CA vouches for this certificate and this host:
        // accepted for the host, and the page loads again.
        webkit_web_context_allow_tls_certificate_for_host(TheEngine().context, certificate, host.c_str());
        view->silentFinish = true;
        view->loadReported = true;
        g_idle_add(&ReloadAfterTlsCheck, new std::pair<wkeWebView, std::string>(view, failingUri));
        return TRUE;
    }
    ReportFinish(view, failingUri, WKE_LOADING_FAILED, "the server's certificate is not trusted");
    return TRUE;
}

std::string MessageText(WebKitJavascriptResult* result) {
    JSCValue* value = webkit_javascript_result_get_js_value(result);
    if (value == nullptr || !jsc_value_is_string(value))
        return {};
    char* text = jsc_value_to_string(value);
    std::string copy = text != nullptr ? text : "";
    g_free(text);
    return copy;
}

void OnPageMessage(WebKitUserContentManager*, WebKitJavascriptResult* result, wkeWebView view) {
    if (view->onMessage == nullptr || view->widget == nullptr)
        return;
    const std::string text = MessageText(result);
    const char* uri = webkit_web_view_get_uri(view->widget);
    // The answer is the client's; the store pages expect none back.
    view->onMessage(view, view->messageParam, uri != nullptr ? uri : "", text.c_str());
}

void OnConsoleMessage(WebKitUserContentManager*, WebKitJavascriptResult* result, wkeWebView view) {
    const std::string text = MessageText(result);
    const char* uri = webkit_web_view_get_uri(view->widget);
    DebugLine("web page " + std::string(uri != nullptr ? uri : "") + ": " + text);
    if (view->onConsole != nullptr)
        view->onConsole(view, view->consoleParam, text.c_str());
}

void OnReadyMessage(WebKitUserContentManager*, WebKitJavascriptResult*, wkeWebView view) {
    if (view->onReady != nullptr)
        view->onReady(view, view->readyParam);
}

void OnDownloadStarted(WebKitWebContext*, WebKitDownload* download, gpointer) {
    webkit_download_cancel(download);
}

void MakeContext() {
    Engine& engine = TheEngine();
    if (engine.context != nullptr)
        return;
    const std::string data = UserDataFolder() + "/webkit";
    const std::string cache = EnvFolder("XDG_CACHE_HOME", ".cache") + "/vanto";
    WebKitWebsiteDataManager* manager = webkit_website_data_manager_new(
        "base-data-directory", data.c_str(), "base-cache-directory", cache.c_str(), nullptr);
    webkit_website_data_manager_set_tls_errors_policy(manager, WEBKIT_TLS_ERRORS_POLICY_FAIL);
    engine.context = webkit_web_context_new_with_website_data_manager(manager);
    g_object_unref(manager);
    webkit_web_context_set_cache_model(engine.context, WEBKIT_CACHE_MODEL_DOCUMENT_BROWSER);
    g_signal_connect(engine.context, "download-started", G_CALLBACK(&OnDownloadStarted), nullptr);
    UseCookieFolder(UserDataFolder());
}

// The view's web view, made now when it has none.
WebKitWebView* EnsureWebView(wkeWebView view) {
    if (view->widget != nullptr)
        return view->widget;
    Engine& engine = TheEngine();
    WebKitUserContentManager* content = webkit_user_content_manager_new();
    WebKitUserScript* script =
        webkit_user_script_new(kPageScript, WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                               WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
    webkit_user_content_manager_add_script(content, script);
    webkit_user_script_unref(script);
    g_signal_connect(content, "script-message-received::vanto", G_CALLBACK(&OnPageMessage), view);
    g_signal_connect(content, "script-message-received::vantoConsole", G_CALLBACK(&OnConsoleMessage), view);
    g_signal_connect(content, "script-message-received::vantoReady", G_CALLBACK(&OnReadyMessage), view);
    webkit_user_content_manager_register_script_message_handler(content, "vanto");
    webkit_user_content_manager_register_script_message_handler(content, "vantoConsole");
    webkit_user_content_manager_register_script_message_handler(content, "vantoReady");

    // Related to the oldest view that has a web view: one web process for
    // all of them instead of one each.
    WebKitWebView* related = nullptr;
    for (wkeWebView other : engine.views) {
        if (other->widget != nullptr) {
            related = other->widget;
            break;
        }
    }
    GtkWidget* widget = nullptr;
    if (related != nullptr) {
        widget = GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "related-view", related,
                                         "user-content-manager", content, nullptr));
    } else {
        widget = GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", engine.context,
                                         "user-content-manager", content, nullptr));
    }
    g_object_unref(content);
    view->widget = WEBKIT_WEB_VIEW(widget);

    WebKitSettings* settings = webkit_web_view_get_settings(view->widget);
    webkit_settings_set_enable_page_cache(settings, view->memoryCache);
    webkit_settings_set_javascript_can_open_windows_automatically(settings, FALSE);
    webkit_web_view_set_zoom_level(view->widget, view->zoom);

    g_signal_connect(view->widget, "notify::title", G_CALLBACK(&OnTitle), view);
    g_signal_connect(view->widget, "notify::uri", G_CALLBACK(&OnUri), view);
    g_signal_connect(view->widget, "decide-policy", G_CALLBACK(&OnDecidePolicy), view);
    g_signal_connect(view->widget, "create", G_CALLBACK(&OnCreate), view);
    g_signal_connect(view->widget, "script-dialog", G_CALLBACK(&OnScriptDialog), view);
    g_signal_connect(view->widget, "load-changed", G_CALLBACK(&OnLoadChanged), view);
    g_signal_connect(view->widget, "load-failed", G_CALLBACK(&OnLoadFailed), view);
    g_signal_connect(view->widget, "load-failed-with-tls-errors", G_CALLBACK(&OnTlsErrors), view);
    gtk_box_pack_start(GTK_BOX(view->holder), widget, TRUE, TRUE, 0);
    gtk_widget_show(widget);
    return view->widget;
}

}  // namespace

extern "C" {

WKE_API bool wkeInitializeEx(const wkeSettings*) {
    Engine& engine = TheEngine();
    if (engine.initialized)
        return engine.usable;
    engine.initialized = true;
    // WebKit's sandbox cannot start as root (containers, CI); for anyone
    // else it stays as WebKit has it.
    if (geteuid() == 0)
        setenv("WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS", "1", 1);
    engine.usable = gtk_init_check(nullptr, nullptr) != FALSE;
    return engine.usable;
}

WKE_API wkeWebView wkeCreateWebView(void) {
    Engine& engine = TheEngine();
    if (!engine.usable)
        return nullptr;
    MakeContext();
    auto* view = new wkeWebViewTag;
    view->holder = GTK_WIDGET(g_object_ref_sink(gtk_box_new(GTK_ORIENTATION_VERTICAL, 0)));
    gtk_widget_show(view->holder);
    engine.views.push_back(view);
    return view;
}

WKE_API void wkeDestroyWebView(wkeWebView webView) {
    if (webView == nullptr)
        return;
    Engine& engine = TheEngine();
    for (auto it = engine.views.begin(); it != engine.views.end(); ++it) {
        if (*it == webView) {
            engine.views.erase(it);
            break;
        }
    }
    // No callback after this: the handlers go before the widgets do.
    if (webView->widget != nullptr) {
        g_signal_handlers_disconnect_by_data(webView->widget, webView);
        g_signal_handlers_disconnect_by_data(webkit_web_view_get_user_content_manager(webView->widget),
                                             webView);
        webkit_web_view_stop_loading(webView->widget);
    }
    gtk_widget_destroy(webView->holder);
    g_object_unref(webView->holder);
    delete webView;
}

WKE_API void wkeSetMemoryCacheEnable(wkeWebView webView, bool enable) {
    if (webView == nullptr)
        return;
    webView->memoryCache = enable;
    // Pages kept in memory for back and forward, and the context's caches
    // sized for browsing.
    if (webView->widget != nullptr)
        webkit_settings_set_enable_page_cache(webkit_web_view_get_settings(webView->widget), enable);
    if (enable)
        webkit_web_context_set_cache_model(TheEngine().context, WEBKIT_CACHE_MODEL_WEB_BROWSER);
}

WKE_API void wkeSetZoomFactor(wkeWebView webView, float factor) {
    if (webView == nullptr || !(factor > 0.0F))
        return;
    webView->zoom = factor;
    if (webView->widget != nullptr)
        webkit_web_view_set_zoom_level(webView->widget, factor);
}

WKE_API void wkeSetCookieJarPath(wkeWebView webView, const char* path) {
    if (webView == nullptr || path == nullptr || path[0] != '/')
        return;
    UseCookieFolder(path);
}

WKE_API void wkeLoadURL(wkeWebView webView, const char* url) {
    if (webView == nullptr || url == nullptr)
        return;
    WebKitWebView* widget = EnsureWebView(webView);
    if (webView->inLoad && !webView->loadReported)
        CancelPendingLoad(webView);
    webView->inLoad = true;
    webView->clientRequest = true;
    webView->loadReported = false;
    webView->loadUri = url;
    webkit_web_view_load_uri(widget, url);
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
    if (webView == nullptr || webView->widget == nullptr)
        return "";
    const char* uri = webkit_web_view_get_uri(webView->widget);
    webView->url = uri != nullptr ? uri : "";
    return webView->url.c_str();
}

WKE_API void wkeOnTitleChanged(wkeWebView webView, wkeTitleChangedCallback callback, void* param) {
    if (webView != nullptr) {
        webView->onTitle = callback;
        webView->titleParam = param;
    }
}

WKE_API void wkeOnURLChanged(wkeWebView webView, wkeURLChangedCallback callback, void* param) {
    if (webView != nullptr) {
        webView->onUrl = callback;
        webView->urlParam = param;
    }
}

WKE_API void wkeOnAlertBox(wkeWebView webView, wkeAlertBoxCallback callback, void* param) {
    if (webView != nullptr) {
        webView->onAlert = callback;
        webView->alertParam = param;
    }
}

WKE_API void wkeOnNavigation(wkeWebView webView, wkeNavigationCallback callback, void* param) {
    if (webView != nullptr) {
        webView->onNavigation = callback;
        webView->navigationParam = param;
    }
}

WKE_API void wkeOnCreateView(wkeWebView webView, wkeCreateViewCallback callback, void* param) {
    if (webView != nullptr) {
        webView->onCreateView = callback;
        webView->createViewParam = param;
    }
}

WKE_API void wkeOnDocumentReady(wkeWebView webView, wkeDocumentReadyCallback callback, void* param) {
    if (webView != nullptr) {
        webView->onReady = callback;
        webView->readyParam = param;
    }
}

WKE_API void wkeOnLoadingFinish(wkeWebView webView, wkeLoadingFinishCallback callback, void* param) {
    if (webView != nullptr) {
        webView->onFinish = callback;
        webView->finishParam = param;
    }
}

WKE_API void wkeOnPageMessage(wkeWebView webView, wkePageMessageCallback callback, void* param) {
    if (webView != nullptr) {
        webView->onMessage = callback;
        webView->messageParam = param;
    }
}

WKE_API void wkeOnConsoleMessage(wkeWebView webView, wkeConsoleMessageCallback callback, void* param) {
    if (webView != nullptr) {
        webView->onConsole = callback;
        webView->consoleParam = param;
    }
}

WKE_API void wkeRunScript(wkeWebView webView, const char* script) {
    if (webView == nullptr || webView->widget == nullptr || script == nullptr)
        return;
    webkit_web_view_evaluate_javascript(webView->widget, script, -1, nullptr, nullptr, nullptr, nullptr,
                                        nullptr);
}

WKE_API void* wkeGetNativeWidget(wkeWebView webView) {
    return webView != nullptr ? webView->holder : nullptr;
}

}  // extern "C"
