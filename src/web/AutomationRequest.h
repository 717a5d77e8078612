#pragma once
// The automation channel's wire format: one JSON object a line each way.
// A request names an operation ("op") and what it is about; a reply always
// carries "ok" and, when false, an "error" text. This file only decodes and
// encodes; AutomationChannel answers. Any thread (plain functions).

#include "platform/duilib/UIDefine.h"

#include <json/value.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// The longest request line, without its line feed; a longer one ends the
// connection.
inline constexpr std::size_t kMaxAutomationLine = 4096;

struct AutomationRequest {
    enum class Op { Windows, Control, Element, Url };
    Op op = Op::Windows;
    std::string window;    // the window class (Control, Element, Url)
    std::string name;      // the control, or the web view control (Element, Url)
    std::string selector;  // a CSS selector (Element)
};

// One request line, without its line feed. Empty, with `error` saying why,
// when it is not a request this channel answers. "text" is another name of
// "control" (its reply carries the text).
std::optional<AutomationRequest> DecodeAutomationRequest(std::string_view line, std::string& error);

// The reply lines, each ending in a line feed. `reply` gets "ok": true.
std::string EncodeAutomationReply(Json::Value reply);
std::string EncodeAutomationError(std::string_view error);

// A rectangle as [left, top, right, bottom].
Json::Value RectToJson(const RECT& rect);

// The script that measures the first element matching `selector` in a page.
// The selector travels as a JSON string literal, never as code. The script's
// value is null when nothing matches, else the element's box in CSS pixels
// with the page's viewport width and device pixel ratio.
std::string ElementScript(std::string_view selector);

// What the element script answered (its JSON text), placed on the screen:
// `view` is the web view control's rectangle in screen coordinates. Empty
// for an answer that is not the script's; an empty inner value when nothing
// matched.
std::optional<std::optional<RECT>> ElementRectOnScreen(std::string_view answer, const RECT& view);
