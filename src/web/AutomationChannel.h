#pragma once
// A read-only window onto the running client for programs that drive it
// from outside (the end-to-end journey, the headless demo, benchmarks): where
// a window, a control or an element of a page is on the screen, what a
// control says, which address a web view shows. It is off unless
// VANTO_AUTOMATION_SOCKET names a Unix socket to listen on; nothing it
// answers changes the client's state, and it clicks or types nothing.
//
// The socket's folder must exist, belong to the user and be closed to
// writing by others; the socket is made 0600 and removed at the end. The
// wire format is AutomationRequest.h's: one JSON object a line each way,
// several requests a connection, several connections open at once (their
// requests answered one after another).
//
// Threads: connections are accepted and read on the channel's own thread
// (the headless loop has no descriptor to watch); every look at the windows
// is a UiCall to the UI thread. A page element is measured by the engine,
// which answers on the UI thread later; the channel's thread waits for it
// with a deadline.

#include "platform/os/UniqueFd.h"
#include "web/AutomationRequest.h"

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class AutomationChannel {
  public:
    struct Options {
        // How long the engine may take to measure an element.
        std::chrono::milliseconds scriptDeadline{2000};
        // How long the UI thread may take to come to a look at the windows.
        std::chrono::milliseconds uiDeadline{3000};
    };

    // The environment variable naming the socket.
    static constexpr const char* kSocketVariable = "VANTO_AUTOMATION_SOCKET";

    // The channel the environment asks for, listening; null when it asks for
    // none, or the channel cannot start (the run log says why). UI thread.
    static std::unique_ptr<AutomationChannel> StartFromEnvironment();
    // Listens at `path`; null (with the reason in the run log) when the
    // folder is unfit or the socket cannot be made. Any thread.
    static std::unique_ptr<AutomationChannel> Start(const std::string& path, const Options& options);

    // Stops listening, ends the connection being served and removes the
    // socket (while it is still ours). Any thread but the channel's.
    ~AutomationChannel();
    AutomationChannel(const AutomationChannel&) = delete;
    AutomationChannel& operator=(const AutomationChannel&) = delete;

    // Why `path` may not hold the socket; empty when it may. A stale socket
    // there (nobody answers on it) is removed. Any thread.
    static std::string UnfitReason(const std::string& path);

  private:
    AutomationChannel(std::string path, const Options& options);

    struct Connection {
        os::UniqueFd fd;
        std::string pending;  // received, not yet a whole line
    };

    // The channel's thread.
    void Serve();
    void Accept(std::vector<Connection>& connections) const;
    bool ServeConnection(Connection& connection) const;
    std::string Answer(std::string_view line) const;
    std::string AnswerWindows() const;
    std::string AnswerControl(const AutomationRequest& request) const;
    std::string AnswerElement(const AutomationRequest& request) const;
    std::string AnswerUrl(const AutomationRequest& request) const;

    std::string m_path;
    Options m_options;
    os::UniqueFd m_socket;
    os::UniqueFd m_stop;
    dev_t m_device = 0;
    ino_t m_inode = 0;
    std::thread m_thread;
};
