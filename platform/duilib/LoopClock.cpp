#include "platform/duilib/LoopClock.h"

namespace DuiLib {
namespace {
std::uint64_t MonotonicMs() {
    using namespace std::chrono;
    return static_cast<std::uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}
}  // namespace

std::uint64_t LoopClock::Now() const {
    std::lock_guard lock(m_mutex);
    return m_realTime ? MonotonicMs() : m_virtualNow;
}

bool LoopClock::IsRealTime() const {
    std::lock_guard lock(m_mutex);
    return m_realTime;
}

void LoopClock::UseRealTime() {
    std::lock_guard lock(m_mutex);
    m_realTime = true;
    m_advanceTarget.reset();
}

void LoopClock::UseVirtualTime() {
    std::lock_guard lock(m_mutex);
    m_realTime = false;
    m_virtualNow = 0;
    m_advanceTarget.reset();
}

bool LoopClock::RequestAdvance(std::uint64_t ms) {
    std::lock_guard lock(m_mutex);
    if (m_realTime)
        return false;
    const std::uint64_t base = m_advanceTarget ? *m_advanceTarget : m_virtualNow;
    m_advanceTarget = base + ms;
    return true;
}

bool LoopClock::AdvanceTowards(std::optional<std::uint64_t> nextTimer) {
    std::lock_guard lock(m_mutex);
    if (m_realTime || !m_advanceTarget)
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

bool LoopClock::IsAdvancing() const {
    std::lock_guard lock(m_mutex);
    return m_advanceTarget.has_value();
}

std::optional<std::chrono::milliseconds> LoopClock::TimeUntil(std::optional<std::uint64_t> nextTimer) const {
    if (!nextTimer || !IsRealTime())
        return std::nullopt;
    const std::uint64_t now = Now();
    return std::chrono::milliseconds(*nextTimer > now ? *nextTimer - now : 0);
}

}  // namespace DuiLib
