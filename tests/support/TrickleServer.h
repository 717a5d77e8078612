#pragma once
// A server that trickles its reply, for tests of the transfer limits: data
// that keeps coming must outlast a stall limit, and only an overall limit
// may end it.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

namespace vtest {

// A loopback server that answers one request with a head announcing a body
// of `announced` bytes (a long one unless given), then sends the body one
// byte "x" at a time with a pause between bytes: a server that never falls
// silent and does not finish for a long time. It closes the connection after
// `maxBytes` bytes (the body complete when that is the announced length),
// when the client goes, or when the server stops.
class TrickleServer {
  public:
    explicit TrickleServer(std::chrono::milliseconds pause, int maxBytes = 500, int announced = 1000000)
        : m_pause(pause), m_maxBytes(maxBytes), m_announced(announced) {
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
        const std::string reply =
            "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(m_announced) + "\r\n\r\n";
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
    int m_announced;
    int m_listenFd = -1;
    int m_wake[2] = {-1, -1};
    int m_port = 0;
    std::atomic<int> m_sent{0};
    std::thread m_thread;
};

}  // namespace vtest
