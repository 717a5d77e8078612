#pragma once
// One connection to the automation channel, as a driver of the client
// holds it: request lines out, reply lines in, each read with a deadline.

#include "net/ApiReply.h"
#include "platform/os/UniqueFd.h"

#include <json/value.h>
#include <json/writer.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cstring>
#include <string>

namespace vtest {

// One connection to the channel, read with a deadline.
class AutomationClient {
  public:
    explicit AutomationClient(const std::string& path)
        : m_fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, path.c_str(), sizeof(addr.sun_path) - 1);
        m_connected = ::connect(m_fd.Get(), reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) == 0;
    }
    bool Connected() const { return m_connected; }
    bool Send(const std::string& text) const {
        return ::send(m_fd.Get(), text.data(), text.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(text.size());
    }
    // The next reply line as JSON; null when the channel closed or sent
    // nothing in time.
    Json::Value Ask(const std::string& request) {
        Json::Value reply;
        if (!Send(request + "\n"))
            return reply;
        std::string line;
        while (line.empty() || line.back() != '\n') {
            char c = 0;
            if (!Readable() || ::recv(m_fd.Get(), &c, 1, 0) != 1)
                return reply;
            line += c;
        }
        ApiReply::ParseObject(line, reply);
        return reply;
    }
    // True once the channel has closed the connection (a reset when it
    // left bytes of ours unread).
    bool Closed() const {
        char c = 0;
        return Readable() && ::recv(m_fd.Get(), &c, 1, 0) <= 0;
    }

  private:
    bool Readable() const {
        pollfd fd{m_fd.Get(), POLLIN, 0};
        return ::poll(&fd, 1, 10000) == 1;
    }
    os::UniqueFd m_fd;
    bool m_connected = false;
};

// A reply as one line, for comparisons and failure messages.
inline std::string Compact(const Json::Value& value) {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    return Json::writeString(builder, value);
}

}  // namespace vtest
