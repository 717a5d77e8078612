#pragma once
// The page-to-client channel of one view, and the rule of who can reach it.
//
// Pages call VantoClient.send(text). The handlers that carry a message out of
// the page live in a script world of this module's own, never in the page's
// world, and the one script of that world runs in the top frame only. So no
// frame has the handlers in a world its scripts run in, and the only way in is
// the top document: VantoClient.send, defined in the top frame's page world,
// raises an event of the bridge's name on the top window, and the bridge's
// script, which listens there, hands the text on with the top document's
// address as it is at that moment.
//
// What that guarantees, exactly: a message reaches the client only from script
// that can dispatch events on the top window, and the web's same-origin rules
// decide who can: the top document's scripts, those of frames of the top
// page's origin wherever they sit in the frame tree (they can script the top
// page, so they are the top page), and those of frames that the top page and
// they both moved to one document.domain. Their messages carry the top page's
// address. Script of any other origin has no path: a frame from another origin
// (an advertisement, a widget), a sandboxed frame, the srcdoc, data:,
// javascript: and about:blank frames such a frame makes. Its worlds have no
// handler, it cannot touch the top window, and window messages (top.postMessage,
// which any frame may call) are not listened to. A frame may still take the
// top frame to a page of its own where the engine lets it; that page is then
// the top frame and speaks with its own address. The ready signal comes only
// from the top document's own DOMContentLoaded, a trusted event.
//
// UI thread only, and every callback is called on it.

#include "platform/wke/wke.h"

#include <jsc/jsc.h>
#include <webkit2/webkit2.h>

#include <optional>
#include <string>

// The script world of the bridge.
inline constexpr const char* kBridgeWorld = "vanto-bridge";

// A message as the bridge hands it over: the top document's address when the
// page sent it, and the text.
struct PageMessage {
    std::string pageUrl;
    std::string text;
};

// `value` as the bridge posts it ({url, text}, both strings); nothing for
// any other shape.
std::optional<PageMessage> ReadPageMessage(JSCValue* value);

// A content manager with the page scripts and the bridge's three handlers,
// whose signals reach `view`'s callbacks; ours (a new reference).
WebKitUserContentManager* MakePageBridge(wkeWebView view);
