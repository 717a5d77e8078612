#pragma once
// Shared pieces of the request-layer tests: a sandbox with the session token
// and the debugger output under the test's control, and a server that
// trickles its reply.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net/SessionToken.h"
#include "platform/os/DebugPrint.h"
#include "support/Sandbox.h"

namespace nettest {

// Collects the debugger texts written while it lives.
class DebugCapture {
  public:
    DebugCapture() {
        m_previous = os::SetDebugSink([this](const std::string& text) {
            std::lock_guard lock(m_mutex);
            m_texts.push_back(text);
        });
    }
    ~DebugCapture() { os::SetDebugSink(m_previous); }
    std::vector<std::string> Texts() const {
        std::lock_guard lock(m_mutex);
        return m_texts;
    }

  private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_texts;
    os::DebugSink m_previous;
};

// The token the test's provider hands to the request layer, as the
// program's provider hands over the user session's.
inline std::mutex& TokenMutex() {
    static std::mutex mutex;
    return mutex;
}
inline std::string& TokenValue() {
    static std::string token;
    return token;
}
inline void SetToken(const std::string& token) {
    std::lock_guard lock(TokenMutex());
    TokenValue() = token;
}

class NetTest : public vtest::SandboxTest {
  protected:
    NetTest() {
        SetToken("");
        SetSessionTokenProvider([] {
            std::lock_guard lock(TokenMutex());
            return TokenValue();
        });
    }
    ~NetTest() override {
        SetSessionTokenProvider(nullptr);
        SetToken("");
    }
    DebugCapture debug;
};

// A loopback server that answers one request with a head announcing a long
// body, then sends the body one byte at a time with a pause between bytes:
// a server that never falls silent and does not finish for a long time. It
// closes the connection, the body unfinished, after `maxBytes` bytes, when
// the client goes, or when the server stops.
class TrickleServer {
  public:
    explicit TrickleServer(std::chrono::milliseconds pause, int maxBytes = 500)
        : m_pause(pause), m_maxBytes(maxBytes) {
        m_listenFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (m_listenFd < 0 || pipe2(m_wake, O_CLOEXEC) != 0 ||
            bind(m_listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            listen(m_listenFd, 4) != 0 ||
            getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
            return;
        }
        m_port = ntohs(addr.sin_port);
        m_thread = std::thread([this] { Serve(); });
    }
    ~TrickleServer() {
        if (m_wake[1] >= 0) {
            [[maybe_unused]] const ssize_t n = write(m_wake[1], "x", 1);
        }
        if (m_thread.joinable()) {
            m_thread.join();
        }
        for (int fd : {m_listenFd, m_wake[0], m_wake[1]}) {
            if (fd >= 0) {
                close(fd);
            }
        }
    }
    TrickleServer(const TrickleServer&) = delete;
    TrickleServer& operator=(const TrickleServer&) = delete;

    std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(m_port); }
    // Body bytes sent so far.
    int Sent() const { return m_sent.load(); }

  private:
    // Waits up to `timeoutMs` (-1: no limit) for `fd` (none when negative) to
    // be readable; false when the server is told to stop.
    bool Wait(int fd, int timeoutMs) {
        pollfd fds[2] = {{m_wake[0], POLLIN, 0}, {fd, POLLIN, 0}};
        return poll(fds, fd < 0 ? 1 : 2, timeoutMs) >= 0 && fds[0].revents == 0;
    }
    void Serve() {
        if (!Wait(m_listenFd, -1)) {
            return;
        }
        const int fd = accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            return;
        }
        std::string head;
        char buffer[4096];
        while (head.find("\r\n\r\n") == std::string::npos && Wait(fd, -1)) {
            const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0) {
                break;
            }
            head.append(buffer, static_cast<std::size_t>(n));
        }
        const std::string reply = "HTTP/1.1 200 OK\r\nContent-Length: 1000000\r\n\r\n";
        bool open = send(fd, reply.data(), reply.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(reply.size());
        // The pause is the fault being injected: the wait ends early when the
        // server stops.
        while (open && m_sent.load() < m_maxBytes && Wait(-1, static_cast<int>(m_pause.count()))) {
            open = send(fd, "x", 1, MSG_NOSIGNAL) == 1;
            if (open) {
                ++m_sent;
            }
        }
        close(fd);
    }

    std::chrono::milliseconds m_pause;
    int m_maxBytes;
    int m_listenFd = -1;
    int m_wake[2] = {-1, -1};
    int m_port = 0;
    std::atomic<int> m_sent{0};
    std::thread m_thread;
};

// A loopback listener whose queue is full, so that a further connection
// attempt is never answered: the kernel drops its handshake.
class FullListener {
  public:
    FullListener() {
        m_listenFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (bind(m_listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            listen(m_listenFd, 0) != 0 ||
            getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
            return;
        }
        m_port = ntohs(addr.sin_port);
        for (int i = 0; i < 3; ++i) {
            const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            // Non-blocking: the attempts that do not fit the queue stay pending.
            (void)connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
            m_fillers.push_back(fd);
        }
    }
    ~FullListener() {
        for (int fd : m_fillers) {
            close(fd);
        }
        close(m_listenFd);
    }
    int Port() const { return m_port; }

  private:
    int m_listenFd = -1;
    int m_port = 0;
    std::vector<int> m_fillers;
};

// The header lines of a request head, without the request line.
inline std::vector<std::string> HeaderLines(const std::string& head) {
    std::vector<std::string> lines;
    std::size_t pos = head.find("\r\n");
    while (pos != std::string::npos) {
        const std::size_t start = pos + 2;
        const std::size_t end = head.find("\r\n", start);
        lines.push_back(head.substr(start, end == std::string::npos ? std::string::npos : end - start));
        pos = end;
    }
    return lines;
}

}  // namespace nettest
