#include "platform/os/DebugPrint.h"

#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "platform/os/Text.h"

namespace {

std::mutex g_sinkMutex;
os::DebugSink g_sink;

constexpr std::size_t kMaxDebugUnits = 511;

}  // namespace

void OutputDebugStringW(std::string_view text) {
    std::string line(text);
    if (line.empty() || line.back() != '\n') {
        line.push_back('\n');
    }
    // One write per message so that lines of two threads never interleave.
    [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, line.data(), line.size());
    std::lock_guard lock(g_sinkMutex);
    if (g_sink) {
        g_sink(std::string(text));
    }
}

void DebugPrint(const char* format, ...) {
    char buf[2048];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(buf, sizeof buf, format, args);
    va_end(args);
    if (n < 0) {
        return;
    }
    OutputDebugStringW(os::CutUtf8ToUtf16Units(buf, kMaxDebugUnits));
}

namespace os {

DebugSink SetDebugSink(DebugSink sink) {
    std::lock_guard lock(g_sinkMutex);
    DebugSink previous = std::move(g_sink);
    g_sink = std::move(sink);
    return previous;
}

}  // namespace os
