#include "platform/duilib/SystemServices.h"

#include "platform/duilib/backend/Backend.h"

#include <mutex>

namespace DuiLib {
namespace {
std::mutex g_sinkMutex;
SaveFileSink g_saveFileSink;
ClipboardSink g_clipboardSink;
}  // namespace

void SetSaveFileSink(SaveFileSink sink) {
    std::lock_guard lock(g_sinkMutex);
    g_saveFileSink = std::move(sink);
}

void SetClipboardSink(ClipboardSink sink) {
    std::lock_guard lock(g_sinkMutex);
    g_clipboardSink = std::move(sink);
}

std::string WithDefaultExtension(std::string path, std::string_view defaultExtension) {
    if (path.empty() || defaultExtension.empty())
        return path;
    const std::size_t slash = path.find_last_of('/');
    const std::size_t name = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = path.find_last_of('.');
    // A dot that starts the name (".profile") is no extension.
    if (dot != std::string::npos && dot > name)
        return path;
    if (name == path.size())
        return path;  // a folder, not a file name
    path += '.';
    path += defaultExtension;
    return path;
}

SaveFileAnswer ShowSaveFileDialog(const SaveFileRequest& request) {
    SaveFileSink sink;
    {
        std::lock_guard lock(g_sinkMutex);
        sink = g_saveFileSink;
    }
    if (sink) {
        if (std::optional<SaveFileAnswer> answer = sink(request))
            return *answer;
    }
    return GetBackend().ShowSaveFileDialog(request);
}

bool SetClipboardText(std::string_view text) {
    const std::string copy(text);
    if (!GetBackend().SetClipboardText(copy))
        return false;
    ClipboardSink sink;
    {
        std::lock_guard lock(g_sinkMutex);
        sink = g_clipboardSink;
    }
    if (sink)
        sink(copy);
    return true;
}

std::optional<std::string> GetClipboardText() {
    return GetBackend().GetClipboardText();
}

}  // namespace DuiLib
