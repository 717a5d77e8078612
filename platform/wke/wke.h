/* The web engine's C interface, in the style of wke. An engine is a shared
 * module ("node.so" in the program folder) that the client opens at run time
 * and binds by export name; nothing links against it. Two modules implement
 * it: the real one on WebKitGTK (platform/wke/webkitgtk) and a scripted one
 * for tests (platform/wke/scripted).
 *
 * Rules every module keeps:
 *  - Texts are UTF-8 and zero-terminated. A text handed to a callback lives
 *    until the callback returns; a text a function returns lives until the
 *    next call on the same view.
 *  - Everything runs on the thread that called wkeInitializeEx (the UI
 *    thread), and every callback is called on it; the real engine raises its
 *    events while the thread's GLib main context runs.
 *  - A view's callbacks stop the moment wkeDestroyWebView is called on it. */
#ifndef VANTO_WKE_H
#define VANTO_WKE_H

#include <stdbool.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define WKE_API __attribute__((visibility("default")))
#else
#define WKE_API
#endif

/* One engine view, opaque to everyone but the engine. */
typedef struct wkeWebViewTag* wkeWebView;

/* Engine settings; the client passes none (null). */
typedef struct wkeSettings wkeSettings;

/* Why a navigation happens. */
typedef enum {
    WKE_NAVIGATION_TYPE_LINKCLICK = 0,
    WKE_NAVIGATION_TYPE_FORMSUBMITTE = 1,
    WKE_NAVIGATION_TYPE_BACKFORWARD = 2,
    WKE_NAVIGATION_TYPE_RELOAD = 3,
    WKE_NAVIGATION_TYPE_FORMRESUBMITT = 4,
    WKE_NAVIGATION_TYPE_OTHER = 5
} wkeNavigationType;

/* How a load ended; 1 is a failure. A load that another navigation or the
 * navigation policy replaced is cancelled, never failed. */
typedef enum { WKE_LOADING_SUCCEEDED = 0, WKE_LOADING_FAILED = 1, WKE_LOADING_CANCELED = 2 } wkeLoadingResult;

/* What a page asks of a new view (window.open, target="_blank"). */
typedef struct {
    wkeNavigationType navigationType;
    const char* url;
    const char* target;
    int x;
    int y;
    int width;
    int height;
    int menuBarVisible;
    int statusBarVisible;
    int toolBarVisible;
    int locationBarVisible;
    int scrollbarsVisible;
    int resizable;
    int fullscreen;
} wkeNewViewInfo;

/* ---- the eight events, in the slot order of the web view control ---------- */
/* `param` is what the registration passed. */
typedef void (*wkeTitleChangedCallback)(wkeWebView webView, void* param, const char* title);
typedef void (*wkeURLChangedCallback)(wkeWebView webView, void* param, const char* url);
typedef void (*wkeAlertBoxCallback)(wkeWebView webView, void* param, const char* msg);
/* True lets the navigation go ahead. */
typedef bool (*wkeNavigationCallback)(wkeWebView webView, void* param, wkeNavigationType navigationType,
                                      const char* url);
/* The view the new page opens in (the engine loads info->url there), or null:
 * the page is not opened. */
typedef wkeWebView (*wkeCreateViewCallback)(wkeWebView webView, void* param, const wkeNewViewInfo* info);
typedef void (*wkeDocumentReadyCallback)(wkeWebView webView, void* param);
/* `failedReason` is empty unless the load failed. */
typedef void (*wkeLoadingFinishCallback)(wkeWebView webView, void* param, const char* url,
                                         wkeLoadingResult result, const char* failedReason);
/* The page-to-client channel: `message` is the text the page sent, `pageUrl`
 * the address of the frame that sent it, as it was when it sent it. That is
 * always the view's top frame: frames inside it have no channel of their own
 * and reach the top one only where the web's same-origin rules let them
 * script the top page (frames of its own origin), as the top page. The
 * answer (null or empty: none) is copied before the callback's next call. */
typedef const char* (*wkePageMessageCallback)(wkeWebView webView, void* param, const char* pageUrl,
                                              const char* message);

/* ---- exports ------------------------------------------------------------------- */
/* Initialises the engine; true when it can be used (false without a display).
 * May be called again; later calls answer the same. */
WKE_API bool wkeInitializeEx(const wkeSettings* settings);

WKE_API wkeWebView wkeCreateWebView(void);
WKE_API void wkeDestroyWebView(wkeWebView webView);

/* The view keeps pages in memory for quick back and forward. */
WKE_API void wkeSetMemoryCacheEnable(wkeWebView webView, bool enable);
WKE_API void wkeSetZoomFactor(wkeWebView webView, float factor);
/* The folder of the cookie store, shared by every view of the process. */
WKE_API void wkeSetCookieJarPath(wkeWebView webView, const char* path);

WKE_API void wkeLoadURL(wkeWebView webView, const char* url);
WKE_API bool wkeGoBack(wkeWebView webView);
WKE_API bool wkeGoForward(wkeWebView webView);
WKE_API void wkeReload(wkeWebView webView);
/* The address of the page the view shows now; empty before the first. */
WKE_API const char* wkeGetURL(wkeWebView webView);

WKE_API void wkeOnTitleChanged(wkeWebView webView, wkeTitleChangedCallback callback, void* param);
WKE_API void wkeOnURLChanged(wkeWebView webView, wkeURLChangedCallback callback, void* param);
WKE_API void wkeOnAlertBox(wkeWebView webView, wkeAlertBoxCallback callback, void* param);
WKE_API void wkeOnNavigation(wkeWebView webView, wkeNavigationCallback callback, void* param);
WKE_API void wkeOnCreateView(wkeWebView webView, wkeCreateViewCallback callback, void* param);
WKE_API void wkeOnDocumentReady(wkeWebView webView, wkeDocumentReadyCallback callback, void* param);
WKE_API void wkeOnLoadingFinish(wkeWebView webView, wkeLoadingFinishCallback callback, void* param);
WKE_API void wkeOnPageMessage(wkeWebView webView, wkePageMessageCallback callback, void* param);

/* The view's native widget (a GtkWidget* for the real engine, null for an
 * engine without one), for the display back end to place on screen. The
 * engine keeps ownership. */
WKE_API void* wkeGetNativeWidget(wkeWebView webView);

/* ---- optional: bound quietly, the client goes without ------------------------ */
/* Evaluates `script` in the top frame of the view's page (the page's own
 * script world) and calls `callback` exactly once with the script's value as
 * JSON text, or with null and a reason (`error`) when it threw, the view went
 * or nothing can run it. The callback runs on the UI thread, before this
 * returns or later from the GLib main context; the `webView` it is handed may
 * have been destroyed by then and only tells which call answers. */
typedef void (*wkeScriptResultCallback)(wkeWebView webView, void* param, const char* json, const char* error);
WKE_API void wkeEvaluateScript(wkeWebView webView, const char* script, wkeScriptResultCallback callback,
                               void* param);

/* ---- the same, as function types for the run-time loader ----------------------- */
typedef bool (*wkeInitializeExFn)(const wkeSettings*);
typedef wkeWebView (*wkeCreateWebViewFn)(void);
typedef void (*wkeDestroyWebViewFn)(wkeWebView);
typedef void (*wkeSetMemoryCacheEnableFn)(wkeWebView, bool);
typedef void (*wkeSetZoomFactorFn)(wkeWebView, float);
typedef void (*wkeSetCookieJarPathFn)(wkeWebView, const char*);
typedef void (*wkeLoadURLFn)(wkeWebView, const char*);
typedef bool (*wkeGoBackFn)(wkeWebView);
typedef bool (*wkeGoForwardFn)(wkeWebView);
typedef void (*wkeReloadFn)(wkeWebView);
typedef const char* (*wkeGetURLFn)(wkeWebView);
typedef void (*wkeOnTitleChangedFn)(wkeWebView, wkeTitleChangedCallback, void*);
typedef void (*wkeOnURLChangedFn)(wkeWebView, wkeURLChangedCallback, void*);
typedef void (*wkeOnAlertBoxFn)(wkeWebView, wkeAlertBoxCallback, void*);
typedef void (*wkeOnNavigationFn)(wkeWebView, wkeNavigationCallback, void*);
typedef void (*wkeOnCreateViewFn)(wkeWebView, wkeCreateViewCallback, void*);
typedef void (*wkeOnDocumentReadyFn)(wkeWebView, wkeDocumentReadyCallback, void*);
typedef void (*wkeOnLoadingFinishFn)(wkeWebView, wkeLoadingFinishCallback, void*);
typedef void (*wkeOnPageMessageFn)(wkeWebView, wkePageMessageCallback, void*);
typedef void* (*wkeGetNativeWidgetFn)(wkeWebView);
typedef void (*wkeEvaluateScriptFn)(wkeWebView, const char*, wkeScriptResultCallback, void*);

#ifdef __cplusplus
}
#endif

#endif /* VANTO_WKE_H */
