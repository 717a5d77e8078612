#pragma once
// Event: a manual-reset event in the Windows sense (CreateEventW with manual
// reset): once set, every wait returns at once until it is reset. It is an
// eventfd, so a wait can also watch other descriptors (a child process's
// pidfd, see ChildProcess.h). Set, Reset and the waits may run on any thread.

#include "platform/os/UniqueFd.h"

#include <chrono>

namespace os {

class Event {
  public:
    // `initiallySet`: the state right after creation.
    explicit Event(bool initiallySet = false);
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void Set();
    void Reset();
    bool IsSet() const;

    // Waits until the event is set or `limit` has passed; true when set.
    // A negative limit waits for ever.
    bool WaitFor(std::chrono::milliseconds limit) const;

    // Readable (POLLIN) exactly while the event is set; for poll() together
    // with other descriptors. -1 when the event could not be made, in which
    // case it never becomes set and waits last their whole limit.
    int PollDescriptor() const { return m_fd.Get(); }

  private:
    UniqueFd m_fd;
};

}  // namespace os
