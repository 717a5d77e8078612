#include "platform/duilib/backend/headless/HeadlessBackend.h"

#include <cstdio>

namespace DuiLib {

HeadlessBackend::HeadlessBackend(Options options) {
    if (options.screen)
        SetMainScreen(*options.screen);
}

void HeadlessBackend::WaitForWork(std::optional<std::chrono::milliseconds> timeout) {
    std::unique_lock lock(m_mutex);
    if (timeout)
        m_cv.wait_for(lock, *timeout, [this] { return m_woken; });
    else
        m_cv.wait(lock, [this] { return m_woken; });
    m_woken = false;
}

void HeadlessBackend::Wake() {
    {
        std::lock_guard lock(m_mutex);
        m_woken = true;
    }
    m_cv.notify_all();
}

int HeadlessBackend::ShowMessageBox(HWND /*owner*/, const std::string& text, const std::string& caption,
                                    UINT type) {
    std::fprintf(stderr, "[message box] %s: %s\n", caption.c_str(), text.c_str());
    std::fflush(stderr);
    return (type & 0x0F) == MB_YESNO ? IDNO : IDOK;
}

SaveFileAnswer HeadlessBackend::ShowSaveFileDialog(const SaveFileRequest& request) {
    std::fprintf(stderr, "[save dialog] %s: cancelled (no display)\n", request.proposedName.c_str());
    std::fflush(stderr);
    return std::nullopt;
}

bool HeadlessBackend::SetClipboardText(const std::string& text) {
    std::lock_guard lock(m_mutex);
    m_clipboard = text;
    return true;
}

std::optional<std::string> HeadlessBackend::GetClipboardText() {
    std::lock_guard lock(m_mutex);
    return m_clipboard;
}

}  // namespace DuiLib
