#include "platform/os/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>
#include <utility>

extern char** environ;

namespace os {
namespace {

int OpenPidFd(pid_t pid) {
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
}

// Reaps `pid` (our child) without waiting: its status, or nothing while it runs.
std::optional<int> TryReap(pid_t pid) {
    int status = 0;
    pid_t result;
    while ((result = ::waitpid(pid, &status, WNOHANG)) < 0 && errno == EINTR) {
    }
    if (result == pid)
        return status;
    if (result < 0 && errno == ECHILD)
        return 0;  // reaped by someone else (SIGCHLD ignored): it has ended
    return std::nullopt;
}

}  // namespace

std::optional<ChildProcess> ChildProcess::Start(const std::string& program,
                                                const std::vector<std::string>& args) {
    if (program.empty() || program.find('\0') != std::string::npos) {
        errno = ENOENT;
        return std::nullopt;
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    posix_spawnattr_t attr;
    posix_spawn_file_actions_t actions;
    if (posix_spawnattr_init(&attr) != 0)
        return std::nullopt;
    if (posix_spawn_file_actions_init(&actions) != 0) {
        posix_spawnattr_destroy(&attr);
        return std::nullopt;
    }
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    // Every signal the program could inherit as ignored goes back to its default.
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);

    pid_t pid = -1;
    const bool onPath = program.find('/') == std::string::npos;
    const int error = onPath ? posix_spawnp(&pid, program.c_str(), &actions, &attr, argv.data(), environ)
                             : posix_spawn(&pid, program.c_str(), &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (error != 0) {
        errno = error;
        return std::nullopt;
    }
    // Without a pidfd (a kernel before 5.3, or the child already reaped by
    // someone else) the waits fall back to polling waitpid.
    return ChildProcess(pid, UniqueFd(OpenPidFd(pid)));
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : m_pid(std::exchange(other.m_pid, -1)), m_pidfd(std::move(other.m_pidfd)), m_status(other.m_status) {}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
    if (this != &other) {
        Release();
        m_pid = std::exchange(other.m_pid, -1);
        m_pidfd = std::move(other.m_pidfd);
        m_status = other.m_status;
    }
    return *this;
}

ChildProcess::~ChildProcess() {
    Release();
}

void ChildProcess::Release() {
    if (m_pid <= 0 || m_status)
        return;
    if (std::optional<int> status = TryReap(m_pid); status) {
        m_status = status;
        return;
    }
    // Still running: someone has to collect its exit, or it stays a zombie
    // until the client ends.
    std::thread([pid = m_pid] {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    m_pid = -1;
}

ChildProcess::WaitResult ChildProcess::WaitForExitOrStop(const Event* stop, std::chrono::milliseconds limit) {
    using Clock = std::chrono::steady_clock;
    if (m_status)
        return WaitResult::kExited;
    const bool forever = limit.count() < 0;
    const Clock::time_point end = Clock::now() + (forever ? std::chrono::milliseconds(0) : limit);
    for (;;) {
        if ((m_status = TryReap(m_pid)))
            return WaitResult::kExited;
        if (stop != nullptr && stop->IsSet())
            return WaitResult::kStopped;
        int timeout = -1;
        if (!forever) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
            if (left.count() <= 0)
                return WaitResult::kTimedOut;
            timeout = static_cast<int>(std::min<long long>(left.count(), 1 << 30));
        }
        pollfd fds[2] = {{m_pidfd.Get(), POLLIN, 0},
                         {stop != nullptr ? stop->PollDescriptor() : -1, POLLIN, 0}};
        // Without a pidfd nothing tells when the program ends: look again every 50 ms.
        if (!m_pidfd.Valid())
            timeout = timeout < 0 ? 50 : std::min(timeout, 50);
        if (::poll(fds, 2, timeout) < 0 && errno != EINTR)
            return WaitResult::kTimedOut;
    }
}

bool IsUserAnAdmin() {
    return ::geteuid() == 0;
}

}  // namespace os
