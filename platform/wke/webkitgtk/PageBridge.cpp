#include "platform/wke/webkitgtk/PageBridge.h"

#include "platform/wke/webkitgtk/EngineContext.h"
#include "platform/wke/webkitgtk/WebkitView.h"

#include <utility>

namespace {

// The top frame's page world, before any script of the page: the page
// function, the error reports, and nothing that leaves the page. Both only
// raise the private events on the top window; what they need is taken now,
// so that a page replacing CustomEvent or dispatchEvent later cannot stop
// its own messages by accident.
constexpr const char* kPageScript = R"JS((function () {
  var dispatch = EventTarget.prototype.dispatchEvent;
  var Custom = CustomEvent;
  var top = window;
  var tell = function (name, text) {
    try { dispatch.call(top, new Custom(name, { detail: text })); } catch (e) {}
  };
  Object.defineProperty(window, 'VantoClient', {
    value: Object.freeze({ send: function (text) { tell('vanto-client-send', String(text)); } }),
    writable: false, configurable: false
  });
  window.addEventListener('error', function (e) {
    tell('vanto-client-console', 'error: ' + e.message + ' (' + e.filename + ':' + e.lineno + ')');
  });
  window.addEventListener('unhandledrejection', function (e) {
    tell('vanto-client-console', 'unhandled rejection: ' + String(e.reason));
  });
  var consoleError = console.error;
  console.error = function () {
    tell('vanto-client-console', 'console.error: ' + Array.prototype.map.call(arguments, String).join(' '));
    return consoleError.apply(console, arguments);
  };
})();)JS";

// The top frame's bridge world, before any script of the page. The page
// cannot reach this world's objects (its window, location and handlers are
// its own), so the address it reads is the document's. Only a script that
// can dispatch events on the top window raises the two events; the page's
// window messages are not listened to at all, as every frame may post them.
constexpr const char* kBridgeScript = R"JS((function () {
  var handlers = window.webkit.messageHandlers;
  var post = function (name, value) {
    try { handlers[name].postMessage(value); } catch (e) {}
  };
  window.addEventListener('vanto-client-send', function (e) {
    if (typeof e.detail === 'string') post('vanto', { url: location.href, text: e.detail });
  }, true);
  window.addEventListener('vanto-client-console', function (e) {
    if (typeof e.detail === 'string') post('vantoConsole', e.detail);
  }, true);
  document.addEventListener('DOMContentLoaded', function (e) {
    if (e.isTrusted && e.target === document) post('vantoReady', '');
  });
})();)JS";

const char* OrEmpty(const char* text) {
    return text != nullptr ? text : "";
}

std::optional<std::string> StringProperty(JSCValue* object, const char* name) {
    JSCValue* property = jsc_value_object_get_property(object, name);
    std::optional<std::string> text;
    if (property != nullptr && jsc_value_is_string(property)) {
        char* value = jsc_value_to_string(property);
        text = OrEmpty(value);
        g_free(value);
    }
    g_clear_object(&property);
    return text;
}

std::string TextOf(WebKitJavascriptResult* result) {
    JSCValue* value = webkit_javascript_result_get_js_value(result);
    if (value == nullptr || !jsc_value_is_string(value))
        return {};
    char* text = jsc_value_to_string(value);
    std::string copy = OrEmpty(text);
    g_free(text);
    return copy;
}

// ---- the handlers' signals (UI thread) ----------------------------------------------

void OnPageMessage(WebKitUserContentManager*, WebKitJavascriptResult* result, wkeWebView view) {
    auto slot = view->callbacks.Get<kPageMessageSlot>();
    if (!slot)
        return;
    const std::optional<PageMessage> message = ReadPageMessage(webkit_javascript_result_get_js_value(result));
    if (!message) {
        DebugLine("web engine: a page message of another shape, dropped");
        return;
    }
    // The answer is the client's; the store pages expect none back.
    slot.callback(view, slot.param, message->pageUrl.c_str(), message->text.c_str());
}

void OnConsoleMessage(WebKitUserContentManager*, WebKitJavascriptResult* result, wkeWebView view) {
    const std::string text = TextOf(result);
    const char* page = view->widget != nullptr ? webkit_web_view_get_uri(view->widget) : nullptr;
    DebugLine("web page " + std::string(OrEmpty(page)) + ": " + text);
    if (auto slot = view->callbacks.Get<kConsoleMessageSlot>())
        slot.callback(view, slot.param, text.c_str());
}

void OnReadyMessage(WebKitUserContentManager*, WebKitJavascriptResult*, wkeWebView view) {
    if (auto slot = view->callbacks.Get<kDocumentReadySlot>())
        slot.callback(view, slot.param);
}

void AddScript(WebKitUserContentManager* content, const char* source, const char* world) {
    WebKitUserScript* script =
        world != nullptr
            ? webkit_user_script_new_for_world(source, WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                                               WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, world, nullptr,
                                               nullptr)
            : webkit_user_script_new(source, WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                                     WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
    webkit_user_content_manager_add_script(content, script);
    webkit_user_script_unref(script);
}

}  // namespace

std::optional<PageMessage> ReadPageMessage(JSCValue* value) {
    if (value == nullptr || !jsc_value_is_object(value))
        return std::nullopt;
    std::optional<std::string> url = StringProperty(value, "url");
    std::optional<std::string> text = StringProperty(value, "text");
    if (!url || !text)
        return std::nullopt;
    return PageMessage{std::move(*url), std::move(*text)};
}

WebKitUserContentManager* MakePageBridge(wkeWebView view) {
    WebKitUserContentManager* content = webkit_user_content_manager_new();
    AddScript(content, kPageScript, nullptr);
    AddScript(content, kBridgeScript, kBridgeWorld);
    // Connected before the names are registered, so that no message is missed.
    g_signal_connect(content, "script-message-received::vanto", G_CALLBACK(&OnPageMessage), view);
    g_signal_connect(content, "script-message-received::vantoConsole", G_CALLBACK(&OnConsoleMessage), view);
    g_signal_connect(content, "script-message-received::vantoReady", G_CALLBACK(&OnReadyMessage), view);
    for (const char* name : {"vanto", "vantoConsole", "vantoReady"}) {
        if (webkit_user_content_manager_register_script_message_handler_in_world(content, name,
                                                                                 kBridgeWorld) == FALSE)
            DebugLine(std::string("web engine: the page message handler ") + name + " is not registered");
    }
    return content;
}
