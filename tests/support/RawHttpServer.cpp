#include "support/RawHttpServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <stdexcept>

namespace vtest {
namespace {

constexpr std::size_t kMaxRequestBytes = 64 * 1024 * 1024;

bool SendAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

std::string Lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

}  // namespace

std::string RawHttpServer::Request::Header(const std::string& name) const {
    const std::string wanted = Lower(name) + ":";
    std::size_t pos = head.find("\r\n");
    while (pos != std::string::npos && pos + 2 < head.size()) {
        const std::size_t start = pos + 2;
        const std::size_t end = head.find("\r\n", start);
        const std::string line =
            head.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (Lower(line.substr(0, wanted.size())) == wanted) {
            std::string value = line.substr(wanted.size());
            while (!value.empty() && value.front() == ' ') {
                value.erase(0, 1);
            }
            return value;
        }
        pos = end;
    }
    return {};
}

bool RawHttpServer::Request::HasHeader(const std::string& name) const {
    const std::string wanted = "\r\n" + Lower(name) + ":";
    return Lower(head).find(wanted) != std::string::npos;
}

RawHttpServer::RawHttpServer(Handler handler) : m_handler(std::move(handler)) {
    m_listenFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (m_listenFd < 0 || bind(m_listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(m_listenFd, 16) != 0 ||
        getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&addr), &len) != 0 ||
        pipe2(m_wakePipe, O_CLOEXEC) != 0) {
        throw std::runtime_error("RawHttpServer: cannot listen on loopback");
    }
    m_port = ntohs(addr.sin_port);
    m_thread = std::thread([this] { Serve(); });
}

RawHttpServer::~RawHttpServer() {
    [[maybe_unused]] const ssize_t n = write(m_wakePipe[1], "x", 1);
    if (m_thread.joinable()) {
        m_thread.join();
    }
    close(m_listenFd);
    close(m_wakePipe[0]);
    close(m_wakePipe[1]);
}

std::string RawHttpServer::BaseUrl() const {
    return "http://" + HostPort();
}

std::string RawHttpServer::HostPort() const {
    return "127.0.0.1:" + std::to_string(m_port);
}

std::vector<RawHttpServer::Request> RawHttpServer::Requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

bool RawHttpServer::WaitForRequests(std::size_t count) const {
    std::unique_lock lock(m_mutex);
    return m_arrived.wait_for(lock, std::chrono::seconds(30), [&] { return m_requests.size() >= count; });
}

void RawHttpServer::Serve() {
    for (;;) {
        pollfd fds[2] = {{m_listenFd, POLLIN, 0}, {m_wakePipe[0], POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            continue;
        }
        if (fds[1].revents != 0) {
            return;
        }
        if ((fds[0].revents & POLLIN) != 0) {
            const int fd = accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) {
                HandleConnection(fd);
                close(fd);
            }
        }
    }
}

bool RawHttpServer::ReadRequest(int fd, Request& request) {
    std::string& raw = request.raw;
    std::size_t headEnd = std::string::npos;
    std::size_t bodyLength = 0;
    char buf[65536];
    for (;;) {
        if (headEnd == std::string::npos) {
            headEnd = raw.find("\r\n\r\n");
            if (headEnd != std::string::npos) {
                request.head = raw.substr(0, headEnd);
                const std::size_t lineEnd = request.head.find("\r\n");
                const std::string line = request.head.substr(0, lineEnd);
                const std::size_t sp1 = line.find(' ');
                const std::size_t sp2 = line.find(' ', sp1 + 1);
                request.method = line.substr(0, sp1);
                request.target = line.substr(sp1 + 1, sp2 - sp1 - 1);
                const std::string length = request.Header("Content-Length");
                bodyLength = length.empty() ? 0 : std::stoul(length);
            }
        }
        if (headEnd != std::string::npos && raw.size() >= headEnd + 4 + bodyLength) {
            request.body = raw.substr(headEnd + 4, bodyLength);
            return true;
        }
        pollfd fds[2] = {{fd, POLLIN, 0}, {m_wakePipe[0], POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 || fds[1].revents != 0) {
            return false;
        }
        const ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0 || raw.size() > kMaxRequestBytes) {
            return false;
        }
        raw.append(buf, static_cast<std::size_t>(n));
    }
}

void RawHttpServer::HandleConnection(int fd) {
    Request request;
    if (!ReadRequest(fd, request)) {
        return;
    }
    Reply reply = m_handler(request);
    {
        std::lock_guard lock(m_mutex);
        m_requests.push_back(request);
    }
    m_arrived.notify_all();
    const std::size_t piece = reply.pieceSize == 0 ? reply.bytes.size() : reply.pieceSize;
    for (std::size_t pos = 0; pos < reply.bytes.size(); pos += piece) {
        if (!SendAll(fd, reply.bytes.data() + pos, std::min(piece, reply.bytes.size() - pos))) {
            return;
        }
    }
    if (reply.stallAfter) {
        // Silent until the client gives up (its end closes) or the server stops.
        pollfd fds[2] = {{fd, POLLIN, 0}, {m_wakePipe[0], POLLIN, 0}};
        char sink[4096];
        while (poll(fds, 2, -1) >= 0 && fds[1].revents == 0) {
            if (recv(fd, sink, sizeof sink, 0) <= 0) {
                return;
            }
        }
    }
}

std::string RawHttpServer::Response(int status, const std::string& body,
                                    const std::vector<std::pair<std::string, std::string>>& headers,
                                    bool withLength) {
    std::string out = "HTTP/1.1 " + std::to_string(status) + (status < 400 ? " OK" : " Error") + "\r\n";
    for (const auto& [name, value] : headers) {
        out += name + ": " + value + "\r\n";
    }
    if (withLength) {
        out += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    }
    out += "Connection: close\r\n\r\n";
    out += body;
    return out;
}

std::string RawHttpServer::ChunkedResponse(int status, const std::vector<std::string>& pieces,
                                           const std::vector<std::pair<std::string, std::string>>& headers) {
    std::string out = "HTTP/1.1 " + std::to_string(status) + " OK\r\n";
    for (const auto& [name, value] : headers) {
        out += name + ": " + value + "\r\n";
    }
    out += "Transfer-Encoding: chunked\r\nConnection: close\r\n\r\n";
    for (const std::string& piece : pieces) {
        char size[32];
        std::snprintf(size, sizeof size, "%zx\r\n", piece.size());
        out += size + piece + "\r\n";
    }
    out += "0\r\n\r\n";
    return out;
}

}  // namespace vtest
