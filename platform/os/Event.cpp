#include "platform/os/Event.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace os {
namespace {

// Waits for POLLIN on `fds` (the first `count`) with the usual limit rule;
// the index of the first readable one, or -1 after the limit.
int PollAny(pollfd* fds, nfds_t count, std::chrono::milliseconds limit) {
    using Clock = std::chrono::steady_clock;
    const bool forever = limit.count() < 0;
    const Clock::time_point end = Clock::now() + (forever ? std::chrono::milliseconds(0) : limit);
    for (;;) {
        int timeout = -1;
        if (!forever) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
            timeout = left.count() < 0 ? 0 : static_cast<int>(std::min<long long>(left.count(), 1 << 30));
        }
        const int n = ::poll(fds, count, timeout);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return -1;
        for (nfds_t i = 0; i < count; ++i) {
            if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) != 0)
                return static_cast<int>(i);
        }
    }
}

}  // namespace

Event::Event(bool initiallySet) : m_fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (initiallySet)
        Set();
}

void Event::Set() {
    if (!m_fd.Valid() || IsSet())
        return;
    const std::uint64_t one = 1;
    // Only fails when the counter would overflow, which a set event never reaches.
    (void)!::write(m_fd.Get(), &one, sizeof one);
}

void Event::Reset() {
    std::uint64_t value = 0;
    // Non-blocking: reading an unset event answers EAGAIN at once.
    while (m_fd.Valid() && ::read(m_fd.Get(), &value, sizeof value) < 0 && errno == EINTR) {
    }
}

bool Event::IsSet() const {
    return WaitFor(std::chrono::milliseconds(0));
}

bool Event::WaitFor(std::chrono::milliseconds limit) const {
    pollfd fd{m_fd.Get(), POLLIN, 0};
    if (!m_fd.Valid()) {
        // Nothing to watch: the whole limit passes (poll with no descriptors).
        PollAny(&fd, 0, limit);
        return false;
    }
    return PollAny(&fd, 1, limit) == 0;
}

}  // namespace os
