#pragma once
// ChildProcess: a program started as our child, in a session of its own,
// that the caller can wait for together with a stop event -- the installer a
// tool panel runs and waits for while the client may be closing.
//
// The program gets exactly the given arguments (one element, one argument),
// standard input from /dev/null, our standard output and error, no other
// descriptor, an empty signal mask and default signal dispositions (the
// client ignores SIGPIPE; a program must not inherit that).
//
// A ChildProcess belongs to one thread at a time. When it goes while the
// program still runs, the program goes on; its exit is collected in the
// background so that it never lingers as a zombie.

#include "platform/os/Event.h"
#include "platform/os/UniqueFd.h"

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace os {

class ChildProcess {
  public:
    enum class WaitResult {
        kExited,    // the program ended; ExitStatus() tells how
        kStopped,   // the stop event was set first
        kTimedOut,  // the limit passed first
    };

    // Starts `program` (an absolute path, or a bare name looked up on PATH)
    // with `args`. Nothing when it cannot be started (no such program, not
    // executable, no process); errno tells why.
    static std::optional<ChildProcess> Start(const std::string& program,
                                             const std::vector<std::string>& args);

    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&& other) noexcept;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess();

    pid_t Pid() const { return m_pid; }

    // Waits until the program ends, `stop` (may be null) is set, or `limit`
    // passes (negative: no limit). An ended program is answered kExited at
    // every later call.
    WaitResult WaitForExitOrStop(const Event* stop, std::chrono::milliseconds limit);

    // The wait status (as waitpid gives it) once the program has ended.
    std::optional<int> ExitStatus() const { return m_status; }

  private:
    ChildProcess(pid_t pid, UniqueFd pidfd) : m_pid(pid), m_pidfd(std::move(pidfd)) {}
    void Release();

    pid_t m_pid = -1;
    UniqueFd m_pidfd;
    std::optional<int> m_status;
};

// Whether the client runs with administrator rights: the effective user is
// root. Any thread.
bool IsUserAnAdmin();

}  // namespace os
