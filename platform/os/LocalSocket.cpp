#include "platform/os/LocalSocket.h"

#include <sys/socket.h>

#include <cerrno>
#include <cstring>

namespace os {

bool MakeLocalAddress(std::string_view path, sockaddr_un& addr) {
    addr = sockaddr_un{};
    addr.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof(addr.sun_path))
        return false;
    std::memcpy(addr.sun_path, path.data(), path.size());
    return true;
}

bool SendAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = ::send(fd, text.data(), text.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace os
