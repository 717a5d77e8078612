#include "AutomationClient.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <memory>

namespace bench {

Json::Value AutomationClient::Ask(const Json::Value& request) const {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (m_path.size() >= sizeof address.sun_path)
        return {};
    std::memcpy(address.sun_path, m_path.c_str(), m_path.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return {};
    Json::StreamWriterBuilder writer;
    writer["indentation"] = "";
    const std::string line = Json::writeString(writer, request) + "\n";
    std::string reply;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size())) {
        // The reply line, waited for at most 5 s in all.
        for (int waits = 0; reply.find('\n') == std::string::npos && waits < 50; ++waits) {
            pollfd in{fd, POLLIN, 0};
            if (poll(&in, 1, 100) <= 0)
                continue;
            char chunk[4096];
            const ssize_t n = read(fd, chunk, sizeof chunk);
            if (n <= 0)
                break;
            reply.append(chunk, static_cast<std::size_t>(n));
        }
    }
    close(fd);
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value value;
    std::string errors;
    if (!reader->parse(reply.data(), reply.data() + reply.size(), &value, &errors) || !value.isObject() ||
        !value["ok"].asBool())
        return {};
    return value;
}

std::optional<Rect> AutomationClient::Control(const std::string& window, const std::string& name) const {
    Json::Value request;
    request["op"] = "control";
    request["window"] = window;
    request["name"] = name;
    const Json::Value rect = Ask(request)["rect"];
    if (!rect.isArray() || rect.size() != 4)
        return std::nullopt;
    return Rect{rect[0].asInt(), rect[1].asInt(), rect[2].asInt() - rect[0].asInt(),
                rect[3].asInt() - rect[1].asInt()};
}

std::string AutomationClient::Url(const std::string& window, const std::string& view) const {
    Json::Value request;
    request["op"] = "url";
    request["window"] = window;
    request["view"] = view;
    const Json::Value url = Ask(request)["url"];
    return url.isString() ? url.asString() : std::string();
}

}  // namespace bench
