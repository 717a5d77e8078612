#pragma once
// One engine view on WebKitGTK: the native widget the display back end
// places, the web view inside it, and the signals that become the client's
// events. The web view is made at the first navigation, so that a view that
// never navigates starts no web process.
//
// Pages talk to the client through one page function, VantoClient.send(text),
// that only the top frame has and only the top document's scripts reach (the
// rule is PageBridge.h's). The same bridge reports script errors of the top
// page and its document being ready.
//
// UI thread only, and every callback is called on it.

#include "platform/wke/LoadTracker.h"
#include "platform/wke/ViewCallbacks.h"
#include "platform/wke/webkitgtk/wke_webkitgtk.h"

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <optional>
#include <string>

// The module's own event, after the eight of wke.h.
inline constexpr std::size_t kConsoleMessageSlot = kWkeEventSlotCount;
using WebkitViewCallbacks = WkeCallbackSlots<wkeConsoleMessageCallback>;

struct wkeWebViewTag {
    // A view with its holder, live from now on. The engine must be usable.
    wkeWebViewTag();
    // No callback after this: the handlers go before the widgets do.
    ~wkeWebViewTag();
    wkeWebViewTag(const wkeWebViewTag&) = delete;
    wkeWebViewTag& operator=(const wkeWebViewTag&) = delete;

    // The web view, made now when there is none.
    WebKitWebView* EnsureWebView();

    // The client's own navigation: a load still under way ends, cancelled.
    void LoadUrl(const char* address);
    void SetMemoryCache(bool enable);
    void SetZoom(float factor);

    // The address of the page shown now; lives until the next call.
    const char* CurrentUrl();

    // Tells the client of `finish` (when there is one).
    void Tell(const std::optional<LoadFinish>& finish);

    WebkitViewCallbacks callbacks;
    LoadTracker loads;
    GtkWidget* holder = nullptr;      // our reference; the display back end adds its own
    WebKitWebView* widget = nullptr;  // inside `holder`, once made
    std::string url;                  // what CurrentUrl answered last
    bool memoryCache = false;
    float zoom = 1.0F;
};
