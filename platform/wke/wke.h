/* The web engine's types that the UI library's web view control and its
 * callback need. Only these; the engine's functions come with its loader.
 * C-compatible: the engine is a C ABI. Texts are UTF-8. */
#ifndef VANTO_WKE_H
#define VANTO_WKE_H

#ifdef __cplusplus
extern "C" {
#endif

/* One engine view, opaque to everyone but the engine. */
typedef struct wkeWebViewTag* wkeWebView;

/* Why a navigation happens. */
typedef enum {
    WKE_NAVIGATION_TYPE_LINKCLICK = 0,
    WKE_NAVIGATION_TYPE_FORMSUBMITTE = 1,
    WKE_NAVIGATION_TYPE_BACKFORWARD = 2,
    WKE_NAVIGATION_TYPE_RELOAD = 3,
    WKE_NAVIGATION_TYPE_FORMRESUBMITT = 4,
    WKE_NAVIGATION_TYPE_OTHER = 5
} wkeNavigationType;

/* How a load ended; 1 is a failure. */
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

#ifdef __cplusplus
}
#endif

#endif /* VANTO_WKE_H */
