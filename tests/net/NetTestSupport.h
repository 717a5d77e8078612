#pragma once
// Shared pieces of the request-layer tests: a sandbox with the user session
// and the debugger output under the test's control.

#include <mutex>
#include <string>
#include <vector>

#include "account/UserSession.h"
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

inline void SetToken(const std::string& token) {
    UserSession::Instance().Update([&](UserSessionValues& values) { values.sessionToken = token; });
}

class NetTest : public vtest::SandboxTest {
  protected:
    NetTest() { SetToken(""); }
    ~NetTest() override { SetToken(""); }
    DebugCapture debug;
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
