/* The scripted engine's test-only exports, beside the engine interface of
 * wke.h. Tests install the module as "node.so" in the sandbox's program
 * folder, let the client load it, and then, through these, raise the events a
 * real engine raises and read back what the client asked of each view.
 *
 * Any thread. An event raised here calls the view's callback on the calling
 * thread; the client's side takes it to its UI thread. */
#ifndef VANTO_WKE_SCRIPTED_H
#define VANTO_WKE_SCRIPTED_H

#include "platform/wke/wke.h"

#ifdef __cplusplus
extern "C" {
#endif

/* What the next wkeInitializeEx answers (true unless set). */
WKE_API void wkeScriptedSetInitializeAnswer(bool usable);
WKE_API int wkeScriptedInitializeCount(void);

/* Views in creation order, destroyed ones included; null past the end. */
WKE_API int wkeScriptedViewCount(void);
WKE_API wkeWebView wkeScriptedView(int index);
WKE_API bool wkeScriptedIsLive(wkeWebView webView);

/* The calls made on a view, one a line, in order: "create", "destroy",
 * "setMemoryCacheEnable 1", "setZoomFactor 1.25", "setCookieJarPath <path>",
 * "loadURL <url>", "goBack", "goForward", "reload", and "onTitleChanged" …
 * "onPageMessage" for each registration. Readable after the view is
 * destroyed; lives until the next call of this function. */
WKE_API const char* wkeScriptedCalls(wkeWebView webView);

/* The events. Raising one on a destroyed view, or on one without a callback
 * for it, does nothing (navigation then answers true, a new view null, a page
 * message null). A URL change also becomes what wkeGetURL answers.
 *
 * Loads follow the real engine's rules: wkeLoadURL, or a load started that
 * the client did not ask for, while a load is under way ends that load
 * cancelled ("replaced by another navigation"); a navigation the client
 * refuses ends its own request, not started yet, cancelled ("refused by the
 * client"); a finish raised for a load whose end was told already tells
 * nothing. A finish raised as failed or cancelled is told as raised and ends
 * the load. */
WKE_API void wkeScriptedTitleChanged(wkeWebView webView, const char* title);
WKE_API void wkeScriptedURLChanged(wkeWebView webView, const char* url);
WKE_API void wkeScriptedAlertBox(wkeWebView webView, const char* msg);
WKE_API bool wkeScriptedNavigation(wkeWebView webView, wkeNavigationType type, const char* url);
WKE_API wkeWebView wkeScriptedCreateView(wkeWebView webView, const wkeNewViewInfo* info);
WKE_API void wkeScriptedDocumentReady(wkeWebView webView);
/* The engine starts loading `url` (the client's request or the page's own
 * navigation). */
WKE_API void wkeScriptedLoadStarted(wkeWebView webView, const char* url);
WKE_API void wkeScriptedLoadingFinish(wkeWebView webView, const char* url, wkeLoadingResult result,
                                      const char* failedReason);
/* The page's answer; lives until the next call of this function. */
WKE_API const char* wkeScriptedPageMessage(wkeWebView webView, const char* pageUrl, const char* message);

/* What the view's script evaluations answer from now on: `json` as their
 * value, or (json null) failure with `error`. Evaluations asked before any
 * answer was set wait and get this one; a view destroyed meanwhile answers
 * them with an error. Each evaluation is recorded as "evaluateScript <script>". */
WKE_API void wkeScriptedSetScriptAnswer(wkeWebView webView, const char* json, const char* error);

#ifdef __cplusplus
}
#endif

#endif /* VANTO_WKE_SCRIPTED_H */
