#include "platform/duilib/backend/gtk/GtkFocusTracker.h"

#include <utility>

namespace DuiLib {

GtkFocusTracker::GtkFocusTracker(Clock clock) : m_clock(std::move(clock)) {}

bool GtkFocusTracker::Settling(std::int64_t now) const {
    return m_ownChange && now - *m_ownChange < kSettleUs;
}

void GtkFocusTracker::NoteOwnChange() {
    m_ownChange = m_clock();
}

void GtkFocusTracker::NotePresented(HWND hwnd) {
    m_presented[hwnd] = m_clock();
}

void GtkFocusTracker::Forget(HWND hwnd) {
    m_presented.erase(hwnd);
}

GtkFocusTracker::FocusIn GtkFocusTracker::OnFocusIn(HWND hwnd) {
    m_checkPending = false;
    if (m_presented.erase(hwnd) > 0)
        return FocusIn::Echo;
    // While the server settles after our own changes (a focused window
    // destroyed or hidden makes it hand the focus to some other window;
    // requests overtake each other's events), taking a focus-in for the
    // user's would activate a window the program has just left, and close
    // the pop-up it has just opened.
    return Settling(m_clock()) ? FocusIn::Settling : FocusIn::UsersChoice;
}

std::optional<std::int64_t> GtkFocusTracker::OnFocusOut(bool wasActive) {
    // An echo that never came (the server gave the focus elsewhere first)
    // must not keep the program from noticing that another one took it.
    const std::int64_t now = m_clock();
    std::erase_if(m_presented, [&](const auto& entry) { return now - entry.second >= kSettleUs; });
    if (!wasActive || m_checkPending)
        return std::nullopt;
    m_checkPending = true;
    return kCheckDelayUs;
}

GtkFocusTracker::Verdict GtkFocusTracker::CheckDue() {
    const std::int64_t now = m_clock();
    if (Settling(now))
        return Verdict{false, *m_ownChange + kSettleUs - now};
    m_checkPending = false;
    return Verdict{true, 0};
}

}  // namespace DuiLib
