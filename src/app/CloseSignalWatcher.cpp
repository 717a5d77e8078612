#include "app/CloseSignalWatcher.h"

#include "platform/duilib/WinUser.h"
#include "platform/os/DebugPrint.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>

namespace {

// The write end of the active watcher's pipe, for the signal handler.
std::atomic<int> g_signalPipe{-1};
struct sigaction g_oldTerm {};
struct sigaction g_oldInt {};

extern "C" void OnCloseSignal(int signo) {
    // Only async-signal-safe work here: one byte into the pipe.
    const int savedErrno = errno;
    const int fd = g_signalPipe.load();
    if (fd >= 0) {
        const auto byte = static_cast<unsigned char>(signo);
        [[maybe_unused]] ssize_t n = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

}  // namespace

bool CCloseSignalWatcher::Start() {
    if (m_started)
        return true;
    if (::pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    m_stop = ::eventfd(0, EFD_CLOEXEC);
    int expected = -1;
    if (m_stop < 0 || !g_signalPipe.compare_exchange_strong(expected, m_pipe[1])) {
        for (int* fd : {&m_pipe[0], &m_pipe[1], &m_stop}) {
            if (*fd >= 0)
                ::close(*fd);
            *fd = -1;
        }
        return false;
    }
    m_thread = std::thread([this] { Watch(); });
    struct sigaction action {};
    action.sa_handler = OnCloseSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, &g_oldTerm);
    ::sigaction(SIGINT, &action, &g_oldInt);
    m_started = true;
    return true;
}

CCloseSignalWatcher::~CCloseSignalWatcher() {
    if (!m_started)
        return;
    ::sigaction(SIGTERM, &g_oldTerm, nullptr);
    ::sigaction(SIGINT, &g_oldInt, nullptr);
    g_signalPipe.store(-1);
    const std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(m_stop, &one, sizeof(one));
    m_thread.join();
    ::close(m_pipe[0]);
    ::close(m_pipe[1]);
    ::close(m_stop);
}

void CCloseSignalWatcher::SetTarget(HWND hwnd) {
    std::lock_guard lock(m_mutex);
    m_target = hwnd;
    if (m_pending && hwnd != nullptr) {
        m_pending = false;
        ::PostMessageW(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    }
}

// Runs on the watcher thread.
void CCloseSignalWatcher::Watch() {
    for (;;) {
        pollfd fds[2] = {{m_pipe[0], POLLIN, 0}, {m_stop, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents != 0)
            return;
        if ((fds[0].revents & POLLIN) == 0)
            continue;
        unsigned char bytes[16];
        const ssize_t n = ::read(m_pipe[0], bytes, sizeof(bytes));
        if (n > 0)
            Deliver();
    }
}

// Runs on the watcher thread.
void CCloseSignalWatcher::Deliver() {
    m_seen.fetch_add(1);
    DebugPrint("close signal: ending the run");
    std::lock_guard lock(m_mutex);
    if (m_target == nullptr || !::PostMessageW(m_target, WM_SYSCOMMAND, SC_CLOSE, 0))
        m_pending = true;
}
