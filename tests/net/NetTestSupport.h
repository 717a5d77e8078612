#pragma once
// Shared pieces of the request-layer tests: a sandbox with the session token
// and the debugger output under the test's control, a server that trickles
// its reply (support/TrickleServer.h) and one that never accepts.

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
#include "support/TrickleServer.h"

namespace nettest {

using vtest::TrickleServer;

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
