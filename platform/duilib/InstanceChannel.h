#pragma once
// The per-user channel through which a window class is known across
// processes: a process that publishes a class listens on a Unix socket named
// after it in its runtime folder (SocketPath); another process's FindWindowW for that class
// reaches it there and gets a handle that stands for the remote window.
// ShowWindow and SetForegroundWindow on such a handle become requests that
// the publishing process carries out on its own UI thread, which is how a
// second start of the client brings the running one forward.
//
// The socket has mode 0600 and only peers of the same user are served. A
// socket left behind by a process that died is noticed (nobody answers it)
// and replaced.
//
// Threads: every function may be called from any thread. Requests are read
// on the channel's own thread and handed to the UI thread as queued calls.

#include "platform/duilib/UIDefine.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace DuiLib {

class InstanceChannel {
  public:
    // What a peer may ask.
    struct Request {
        enum class Kind { Ping, Show, Foreground };
        Kind kind = Kind::Ping;
        int cmdShow = 0;
    };

    static InstanceChannel& Instance();
    InstanceChannel() = default;
    ~InstanceChannel();
    InstanceChannel(const InstanceChannel&) = delete;
    InstanceChannel& operator=(const InstanceChannel&) = delete;

    // The socket of a class: $VANTO_RUNTIME_DIR (a private folder, made if
    // missing), else $XDG_RUNTIME_DIR, else a private folder under /tmp;
    // + "/vanto-" + the class name in lower case.
    // Empty when the class name is empty, holds other characters than
    // letters, digits, '_' and '-', or the path would not fit a socket.
    static std::string SocketPath(std::string_view className);

    // Starts serving `hwnd` under `className`. False when another live
    // process already serves the class, or the socket cannot be made.
    bool Publish(std::string_view className, HWND hwnd);
    // Stops serving the class and removes its socket (only our own).
    void Withdraw(std::string_view className);
    // Stops serving every class.
    void WithdrawAll();

    // A handle standing for the window that another process serves under
    // `className`; null when no live process answers.
    HWND FindRemote(std::string_view className);
    static bool IsRemoteHandle(HWND hwnd);
    // Asks the serving process to ShowWindow(cmdShow) / bring its window to
    // the front. False when the handle is not a remote one or nobody answered.
    bool RequestShow(HWND remote, int cmdShow);
    bool RequestForeground(HWND remote);

    // One request line ("PING", "SHOW <n>", "FOREGROUND"), without its line
    // feed; anything else is refused.
    static std::optional<Request> ParseRequest(std::string_view line);

  private:
    struct Listener;
    bool Ask(HWND remote, const std::string& line);
    std::optional<std::string> RemoteClass(HWND remote);

    std::mutex m_mutex;
    std::vector<std::unique_ptr<Listener>> m_listeners;
    std::vector<std::string> m_remoteClasses;  // index = handle - kRemoteBase
};

}  // namespace DuiLib
