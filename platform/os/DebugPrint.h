#pragma once
// The debugger output channel: one line on standard error per message.
// Tests capture the messages through a sink.

#include <functional>
#include <string>
#include <string_view>

// printf-style; the formatted text is cut to 511 UTF-16 code units (never
// inside a character) and passed to OutputDebugStringW.
void DebugPrint(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Sends one text to the debugger output as it is.
void OutputDebugStringW(std::string_view text);

namespace os {

using DebugSink = std::function<void(const std::string&)>;

// Installs a sink that receives every debugger text (in addition to standard
// error); returns the previous one. An empty sink removes it.
DebugSink SetDebugSink(DebugSink sink);

}  // namespace os
