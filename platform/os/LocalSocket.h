#pragma once
// The two pieces every local (Unix domain) socket of the client needs: its
// address from a path, and a send that writes everything.

#include <sys/un.h>

#include <string_view>

namespace os {

// The address of the socket at `path`; false when the path is empty or does
// not fit an address.
bool MakeLocalAddress(std::string_view path, sockaddr_un& addr);

// Sends all of `text`, going on after interruptions. MSG_NOSIGNAL: a peer gone
// away is an error here and not a SIGPIPE. Any thread.
bool SendAll(int fd, std::string_view text);

}  // namespace os
