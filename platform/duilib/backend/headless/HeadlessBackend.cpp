#include "platform/duilib/backend/headless/HeadlessBackend.h"

#include <chrono>
#include <cstdio>

namespace DuiLib {
namespace {
std::uint64_t MonotonicMs() {
    using namespace std::chrono;
    return static_cast<std::uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}
}  // namespace

HeadlessBackend::HeadlessBackend(Options options) : m_realTime(options.realTime) {
    if (options.screen)
        SetMainScreen(*options.screen);
}

std::uint64_t HeadlessBackend::Now() {
    if (m_realTime)
        return MonotonicMs();
    std::lock_guard lock(m_mutex);
    return m_virtualNow;
}

bool HeadlessBackend::AdvanceClock(std::optional<std::uint64_t> nextTimer) {
    if (m_realTime)
        return false;
    std::lock_guard lock(m_mutex);
    if (!m_advanceTarget)
        return false;
    if (nextTimer && *nextTimer <= *m_advanceTarget) {
        // Timers due now are the loop's to deliver; only move forward.
        if (*nextTimer > m_virtualNow)
            m_virtualNow = *nextTimer;
        return true;
    }
    m_virtualNow = *m_advanceTarget;
    m_advanceTarget.reset();
    return false;
}

bool HeadlessBackend::IsClockAdvancing() {
    std::lock_guard lock(m_mutex);
    return m_advanceTarget.has_value();
}

void HeadlessBackend::WaitForWork(std::optional<std::uint64_t> nextTimer) {
    std::unique_lock lock(m_mutex);
    if (m_realTime && nextTimer) {
        const auto due = std::chrono::steady_clock::time_point(std::chrono::milliseconds(*nextTimer));
        m_cv.wait_until(lock, due, [this] { return m_woken; });
    } else {
        // The virtual clock never moves by itself: only new work (a post, an
        // advance request) ends the wait.
        m_cv.wait(lock, [this] { return m_woken; });
    }
    m_woken = false;
}

void HeadlessBackend::Wake() {
    {
        std::lock_guard lock(m_mutex);
        m_woken = true;
    }
    m_cv.notify_all();
}

POINT HeadlessBackend::CursorPos() {
    std::lock_guard lock(m_mutex);
    return m_cursor;
}

void HeadlessBackend::SetCursorPos(POINT pt) {
    std::lock_guard lock(m_mutex);
    m_cursor = pt;
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

void HeadlessBackend::RequestAdvance(std::uint64_t ms) {
    if (m_realTime)
        return;
    {
        std::lock_guard lock(m_mutex);
        const std::uint64_t base = m_advanceTarget ? *m_advanceTarget : m_virtualNow;
        m_advanceTarget = base + ms;
    }
    // A display back end waits on its own loop: its Wake reaches that.
    Wake();
}

}  // namespace DuiLib
