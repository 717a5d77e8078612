#include "SendfileServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace bench {

namespace {

std::string SourcePath(const std::string& folder, long mib) {
    return folder + "/src" + std::to_string(mib);
}

}  // namespace

bool MakeSourceFile(const std::string& folder, long mib) {
    const int fd = open(SourcePath(folder, mib).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    std::vector<char> block(1 << 20);
    for (std::size_t i = 0; i < block.size(); ++i) {
        block[i] = static_cast<char>(i * 131 + i / 251);
    }
    bool ok = true;
    for (long i = 0; i < mib && ok; ++i) {
        block[0] = static_cast<char>(i);
        ok = write(fd, block.data(), block.size()) == static_cast<ssize_t>(block.size());
    }
    return close(fd) == 0 && ok;
}

SendfileServer::SendfileServer(std::string folder) : m_folder(std::move(folder)) {
    const int listenFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (listenFd < 0 || bind(listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(listenFd, 4) != 0 || getsockname(listenFd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        if (listenFd >= 0) {
            close(listenFd);
        }
        return;
    }
    const pid_t parent = getpid();
    m_pid = fork();
    if (m_pid == 0) {
        // The server ends with the benchmark, however the benchmark ends; a
        // parent gone before the request took effect is seen by getppid.
        if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != parent) {
            _exit(1);
        }
        Serve(listenFd);
    }
    close(listenFd);
    if (m_pid > 0) {
        m_port = ntohs(addr.sin_port);
    }
}

SendfileServer::~SendfileServer() {
    if (m_pid > 0) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
}

std::string SendfileServer::Url(long mib) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + "/" + std::to_string(mib);
}

void SendfileServer::Serve(int listenFd) const {
    signal(SIGPIPE, SIG_IGN);
    for (;;) {
        const int fd = accept(listenFd, nullptr, nullptr);
        if (fd < 0) {
            continue;
        }
        std::string head;
        char buf[4096];
        while (head.find("\r\n\r\n") == std::string::npos) {
            const ssize_t n = recv(fd, buf, sizeof buf, 0);
            if (n <= 0) {
                break;
            }
            head.append(buf, static_cast<std::size_t>(n));
        }
        const long mib = std::atol(head.c_str() + head.find('/') + 1);
        const int file = open(SourcePath(m_folder, mib).c_str(), O_RDONLY);
        struct stat st {};
        if (file >= 0 && fstat(file, &st) == 0) {
            const std::string reply = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(st.st_size) +
                                      "\r\nConnection: close\r\n\r\n";
            if (send(fd, reply.data(), reply.size(), 0) == static_cast<ssize_t>(reply.size())) {
                off_t offset = 0;
                while (offset < st.st_size && sendfile(fd, file, &offset, st.st_size - offset) > 0) {
                }
            }
        }
        if (file >= 0) {
            close(file);
        }
        close(fd);
    }
}

}  // namespace bench
