/* Exports of the WebKitGTK engine beyond the engine interface of wke.h.
 * The client does not bind them; tests and the benchmark do. */
#ifndef VANTO_WKE_WEBKITGTK_H
#define VANTO_WKE_WEBKITGTK_H

#include "platform/wke/wke.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Script errors of a view's pages: uncaught exceptions, rejected promises
 * nobody handled and console.error calls, one text each. They always go to
 * the debug output (standard error); a registered callback sees them too. */
typedef void (*wkeConsoleMessageCallback)(wkeWebView webView, void* param, const char* text);
WKE_API void wkeOnConsoleMessage(wkeWebView webView, wkeConsoleMessageCallback callback, void* param);

/* Runs a script in the view's page, as if the page ran it (a user's click
 * in a test, the benchmark's paint probe). Nothing comes back. */
WKE_API void wkeRunScript(wkeWebView webView, const char* script);

#ifdef __cplusplus
}
#endif

#endif /* VANTO_WKE_WEBKITGTK_H */
