#pragma once
// A private session bus with a notification service of the tests' own (the
// notification-server program), for tests of the desktop notifications: the
// bus lives in a dbus-run-session started here, the sandbox's environment
// points DBUS_SESSION_BUS_ADDRESS at it, and Calls() reads what the service
// received. The bus ends with the object.
//
// Needs VANTO_NOTIFICATION_SERVER, the path of the built server (the test's
// CMake target defines it).

#include <fcntl.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "support/Sandbox.h"

namespace vtest {

class NotificationBus {
  public:
    explicit NotificationBus(Sandbox& sandbox,
                             std::chrono::milliseconds deadline = std::chrono::milliseconds(20000))
        : m_record(sandbox.Root() + "/notifications.txt"), m_ready(sandbox.Root() + "/notification-bus.txt") {
        const std::string log = sandbox.Root() + "/notification-bus.log";
        // What an earlier bus of the same sandbox left is not this one's.
        ::unlink(m_ready.c_str());
        ::unlink(m_record.c_str());
        const std::string server = VANTO_NOTIFICATION_SERVER;
        const std::string runner = FindProgram("dbus-run-session");
        const char* argv[] = {runner.c_str(),  "--",   server.c_str(), m_record.c_str(),
                              m_ready.c_str(), nullptr};
        if (runner.empty()) {
            ADD_FAILURE() << "dbus-run-session is missing (scripts/deps.sh installs it)";
            return;
        }
        int input[2];
        if (::pipe2(input, O_CLOEXEC) != 0) {
            ADD_FAILURE() << "no pipe for the notification bus";
            return;
        }
        m_pid = ::fork();
        if (m_pid == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (out < 0 || ::dup2(input[0], STDIN_FILENO) < 0)
                ::_exit(127);
            ::dup2(out, STDOUT_FILENO);
            ::dup2(out, STDERR_FILENO);
            ::execv(argv[0], const_cast<char* const*>(argv));
            ::_exit(127);
        }
        ::close(input[0]);
        m_input = input[1];
        if (m_pid < 0 || !WaitFor([&] { return Exists(m_ready); }, deadline)) {
            ADD_FAILURE() << "the notification bus did not start: " << ReadFile(log);
            return;
        }
        m_address = ReadFile(m_ready);
        sandbox.SetEnv("DBUS_SESSION_BUS_ADDRESS", m_address);
        m_started = !m_address.empty();
    }

    ~NotificationBus() {
        // The service ends when its input closes, and the bus with it.
        if (m_input >= 0)
            ::close(m_input);
        if (m_pid > 0)
            WaitForChild(m_pid, std::chrono::milliseconds(10000));
    }

    NotificationBus(const NotificationBus&) = delete;
    NotificationBus& operator=(const NotificationBus&) = delete;

    bool Started() const { return m_started; }
    const std::string& Address() const { return m_address; }

    // The calls the service received, oldest first, each split at its tabs
    // (the method name first).
    std::vector<std::vector<std::string>> Calls() const {
        std::vector<std::vector<std::string>> calls;
        std::istringstream lines(Exists(m_record) ? ReadFile(m_record) : std::string());
        for (std::string line; std::getline(lines, line);) {
            std::vector<std::string> fields;
            std::istringstream parts(line);
            for (std::string field; std::getline(parts, field, '\t');)
                fields.push_back(field);
            calls.push_back(std::move(fields));
        }
        return calls;
    }

    // Waits until at least `count` calls arrived.
    bool WaitForCalls(std::size_t count,
                      std::chrono::milliseconds deadline = std::chrono::milliseconds(20000)) const {
        return WaitFor([&] { return Calls().size() >= count; }, deadline);
    }

  private:
    // The program's path on PATH, found before any fork.
    static std::string FindProgram(const std::string& name) {
        const char* path = std::getenv("PATH");
        std::istringstream folders(path != nullptr ? path : "/usr/bin:/bin");
        for (std::string folder; std::getline(folders, folder, ':');) {
            const std::string candidate = (folder.empty() ? "." : folder) + "/" + name;
            if (::access(candidate.c_str(), X_OK) == 0)
                return candidate;
        }
        return {};
    }

    std::string m_record;
    std::string m_ready;
    std::string m_address;
    pid_t m_pid = -1;
    int m_input = -1;
    bool m_started = false;
};

}  // namespace vtest
