#include "platform/duilib/InstanceChannel.h"

#include "platform/duilib/MessageQueue.h"
#include "platform/duilib/WinUser.h"
#include "platform/os/DebugPrint.h"
#include "platform/os/LocalSocket.h"
#include "platform/os/Text.h"
#include "platform/os/UniqueFd.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace DuiLib {
namespace {

// Remote handles live far above the window layer's own (which count up from
// 0x10000), so the two never meet.
constexpr std::uintptr_t kRemoteBase = 0x7F000000;
constexpr std::uintptr_t kRemoteLimit = 0x7F010000;
// How long a peer may take to answer or to send its request.
constexpr int kTimeoutMs = 3000;
constexpr std::size_t kMaxLine = 64;

using os::UniqueFd;

bool IsAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

// The class name in lower case; empty when it holds anything but ASCII
// letters, digits, '_' and '-'.
std::string LowerName(std::string_view className) {
    for (char c : className) {
        const char lower = os::AsciiToLower(c);
        if (!(lower >= 'a' && lower <= 'z') && !IsAsciiDigit(c) && c != '_' && c != '-')
            return {};
    }
    return os::AsciiLowerCopy(className);
}

// A folder of our own for the sockets: made if missing, and used only when
// it is a real folder of ours closed to others (else nobody is served there).
std::string PrivateFolder(const std::string& folder) {
    ::mkdir(folder.c_str(), 0700);
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid() ||
        (st.st_mode & 0077) != 0)
        return {};
    return folder;
}

// $VANTO_RUNTIME_DIR first (a demo or a test keeps its instances apart from
// the user's own while the session's runtime folder stays as it is), then
// $XDG_RUNTIME_DIR, then a folder of our own under /tmp.
std::string SocketFolder() {
    const char* own = std::getenv("VANTO_RUNTIME_DIR");
    if (own != nullptr && own[0] != '\0')
        return PrivateFolder(own);
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] != '\0')
        return runtime;
    return PrivateFolder("/tmp/vanto-" + std::to_string(::getuid()));
}

void SetTimeouts(int fd) {
    timeval tv{kTimeoutMs / 1000, (kTimeoutMs % 1000) * 1000};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv));
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof(tv));
}

// One line of at most kMaxLine bytes, without its line feed.
std::optional<std::string> ReadLine(int fd) {
    std::string line;
    char c = 0;
    while (line.size() <= kMaxLine) {
        const ssize_t n = ::recv(fd, &c, 1, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return std::nullopt;
        if (c == '\n')
            return line;
        line += c;
    }
    return std::nullopt;
}

// A connection to the class's socket; invalid (errno set) when nobody
// listens.
UniqueFd Connect(const std::string& path) {
    sockaddr_un addr{};
    if (!os::MakeLocalAddress(path, addr)) {
        errno = ENAMETOOLONG;
        return {};
    }
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd)
        return {};
    if (::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) != 0) {
        const int err = errno;
        fd.Reset();
        errno = err;
        return {};
    }
    SetTimeouts(fd.Get());
    return fd;
}

std::optional<std::string> Exchange(const std::string& path, const std::string& line) {
    const UniqueFd fd = Connect(path);
    if (!fd || !os::SendAll(fd.Get(), line + "\n"))
        return std::nullopt;
    return ReadLine(fd.Get());
}

}  // namespace

struct InstanceChannel::Listener {
    std::string className;
    std::string path;
    HWND hwnd = nullptr;
    UniqueFd socket;
    UniqueFd stop;
    std::thread thread;
    dev_t device = 0;
    ino_t inode = 0;

    ~Listener() {
        if (thread.joinable()) {
            const std::uint64_t one = 1;
            [[maybe_unused]] ssize_t n = ::write(stop.Get(), &one, sizeof(one));
            thread.join();
        }
        // Remove the socket only while it is still ours (a later instance
        // may have replaced a socket it took for stale).
        struct stat st {};
        if (!path.empty() && ::lstat(path.c_str(), &st) == 0 && st.st_dev == device && st.st_ino == inode)
            ::unlink(path.c_str());
    }

    void Serve() {
        for (;;) {
            pollfd fds[2] = {{socket.Get(), POLLIN, 0}, {stop.Get(), POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0) {
                if (errno == EINTR)
                    continue;
                return;
            }
            if (fds[1].revents != 0)
                return;
            if ((fds[0].revents & POLLIN) == 0)
                continue;
            const UniqueFd peer(::accept4(socket.Get(), nullptr, nullptr, SOCK_CLOEXEC));
            if (peer.Get() >= 0)
                Answer(peer.Get());
        }
    }

    // Runs on the channel's thread: reads one request and hands its work to
    // the UI thread; the reply tells that it was taken, not its outcome.
    void Answer(int peer) {
        SetTimeouts(peer);
        ucred cred{};
        socklen_t len = sizeof(cred);
        if (::getsockopt(peer, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0 || cred.uid != ::getuid())
            return;
        const std::optional<std::string> line = ReadLine(peer);
        const std::optional<Request> request = line ? ParseRequest(*line) : std::nullopt;
        if (!request) {
            os::SendAll(peer, "ERR\n");
            return;
        }
        const HWND target = hwnd;
        const std::string name = className;
        switch (request->kind) {
            case Request::Kind::Ping:
                break;
            case Request::Kind::Show: {
                const int cmd = request->cmdShow;
                MessageQueue::Instance().PostTask([target, cmd, name] {
                    DebugPrint("instance channel: %s asked to show (%d)", name.c_str(), cmd);
                    ::ShowWindow(target, cmd);
                });
                break;
            }
            case Request::Kind::Foreground:
                MessageQueue::Instance().PostTask([target, name] {
                    DebugPrint("instance channel: %s asked to come to the front", name.c_str());
                    ::SetForegroundWindow(target);
                });
                break;
        }
        os::SendAll(peer, "OK\n");
    }
};

InstanceChannel& InstanceChannel::Instance() {
    static InstanceChannel channel;
    return channel;
}

InstanceChannel::~InstanceChannel() {
    WithdrawAll();
}

std::string InstanceChannel::SocketPath(std::string_view className) {
    const std::string name = LowerName(className);
    if (name.empty())
        return {};
    const std::string folder = SocketFolder();
    if (folder.empty())
        return {};
    std::string path = folder + "/vanto-" + name + ".sock";
    sockaddr_un addr{};
    return os::MakeLocalAddress(path, addr) ? path : std::string();
}

std::optional<InstanceChannel::Request> InstanceChannel::ParseRequest(std::string_view line) {
    if (line == "PING")
        return Request{Request::Kind::Ping, 0};
    if (line == "FOREGROUND")
        return Request{Request::Kind::Foreground, 0};
    constexpr std::string_view show = "SHOW ";
    if (line.substr(0, show.size()) == show) {
        const std::string_view digits = line.substr(show.size());
        // One spelling per request: digits only (no sign: from_chars would
        // take "-0"), no leading zero.
        const bool plain = !digits.empty() && std::all_of(digits.begin(), digits.end(), IsAsciiDigit) &&
                           (digits.size() == 1 || digits[0] != '0');
        int cmd = -1;
        const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), cmd);
        // The ShowWindow commands run from SW_HIDE (0) to SW_FORCEMINIMIZE (11).
        if (plain && ec == std::errc() && end == digits.data() + digits.size() && cmd >= 0 && cmd <= 11)
            return Request{Request::Kind::Show, cmd};
    }
    return std::nullopt;
}

bool InstanceChannel::Publish(std::string_view className, HWND hwnd) {
    const std::string path = SocketPath(className);
    sockaddr_un addr{};
    if (!os::MakeLocalAddress(path, addr))
        return false;
    auto listener = std::make_unique<Listener>();
    listener->className = std::string(className);
    listener->hwnd = hwnd;
    listener->socket.Reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    listener->stop.Reset(::eventfd(0, EFD_CLOEXEC));
    if (listener->socket.Get() < 0 || listener->stop.Get() < 0)
        return false;
    const auto* sa = reinterpret_cast<const sockaddr*>(&addr);
    if (::bind(listener->socket.Get(), sa, sizeof(addr)) != 0) {
        if (errno != EADDRINUSE)
            return false;
        // Somebody's socket is there: a live instance answers on it, a dead
        // one's refuses the connection and is replaced.
        const UniqueFd probe = Connect(path);
        if (probe || errno != ECONNREFUSED)
            return false;
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode))
            return false;
        ::unlink(path.c_str());
        if (::bind(listener->socket.Get(), sa, sizeof(addr)) != 0)
            return false;
    }
    // Nobody can connect before listen(), so the mode is right before the
    // first peer arrives.
    struct stat st {};
    if (::chmod(path.c_str(), 0600) != 0 || ::lstat(path.c_str(), &st) != 0) {
        ::unlink(path.c_str());
        return false;
    }
    listener->path = path;
    listener->device = st.st_dev;
    listener->inode = st.st_ino;
    if (::listen(listener->socket.Get(), 8) != 0)
        return false;  // the listener's destructor removes the socket
    Listener* raw = listener.get();
    listener->thread = std::thread([raw] { raw->Serve(); });
    std::lock_guard lock(m_mutex);
    m_listeners.push_back(std::move(listener));
    return true;
}

void InstanceChannel::Withdraw(std::string_view className) {
    const std::string name = LowerName(className);
    std::vector<std::unique_ptr<Listener>> gone;
    {
        std::lock_guard lock(m_mutex);
        for (auto it = m_listeners.begin(); it != m_listeners.end();) {
            if (LowerName((*it)->className) == name) {
                gone.push_back(std::move(*it));
                it = m_listeners.erase(it);
            } else {
                ++it;
            }
        }
    }
    // The threads are joined here, outside the lock.
}

void InstanceChannel::WithdrawAll() {
    std::vector<std::unique_ptr<Listener>> gone;
    std::lock_guard lock(m_mutex);
    gone.swap(m_listeners);
}

HWND InstanceChannel::FindRemote(std::string_view className) {
    const std::string path = SocketPath(className);
    if (path.empty())
        return nullptr;
    const std::optional<std::string> answer = Exchange(path, "PING");
    if (!answer || *answer != "OK")
        return nullptr;
    const std::string name = LowerName(className);
    std::lock_guard lock(m_mutex);
    std::size_t index = 0;
    for (; index < m_remoteClasses.size(); ++index) {
        if (m_remoteClasses[index] == name)
            break;
    }
    if (index == m_remoteClasses.size()) {
        if (kRemoteBase + index >= kRemoteLimit)
            return nullptr;
        m_remoteClasses.push_back(name);
    }
    return reinterpret_cast<HWND>(kRemoteBase + index);  // NOLINT(performance-no-int-to-ptr)
}

bool InstanceChannel::IsRemoteHandle(HWND hwnd) {
    const auto value = reinterpret_cast<std::uintptr_t>(hwnd);
    return value >= kRemoteBase && value < kRemoteLimit;
}

std::optional<std::string> InstanceChannel::RemoteClass(HWND remote) {
    if (!IsRemoteHandle(remote))
        return std::nullopt;
    const std::size_t index = reinterpret_cast<std::uintptr_t>(remote) - kRemoteBase;
    std::lock_guard lock(m_mutex);
    if (index >= m_remoteClasses.size())
        return std::nullopt;
    return m_remoteClasses[index];
}

bool InstanceChannel::Ask(HWND remote, const std::string& line) {
    const std::optional<std::string> name = RemoteClass(remote);
    if (!name)
        return false;
    const std::optional<std::string> answer = Exchange(SocketPath(*name), line);
    return answer && *answer == "OK";
}

bool InstanceChannel::RequestShow(HWND remote, int cmdShow) {
    return Ask(remote, "SHOW " + std::to_string(cmdShow));
}

bool InstanceChannel::RequestForeground(HWND remote) {
    return Ask(remote, "FOREGROUND");
}

}  // namespace DuiLib
