#pragma once
// A temporary sandbox for tests: home, per-user data folder, machine registry
// folder, runtime folder and program folder all live below one temporary
// directory that is removed afterwards. The process environment points at it
// for the sandbox's lifetime, so nothing a test does touches the real home.

#include <gtest/gtest.h>
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vtest {

class Sandbox {
  public:
    Sandbox();
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    const std::string& Root() const { return m_root; }
    const std::string& Home() const { return m_home; }
    // $XDG_CONFIG_HOME; the per-user data folder is ConfigHome()/vanto.
    const std::string& ConfigHome() const { return m_configHome; }
    std::string UserDataFolder() const { return m_configHome + "/vanto"; }
    const std::string& MachineDir() const { return m_machineDir; }
    const std::string& ProgramDir() const { return m_programDir; }
    const std::string& RuntimeDir() const { return m_runtimeDir; }

    // Copies the built language files `names` from `builtFolder` (the
    // build's bin/language) into the sandboxed program's "language" folder,
    // where the client looks for them.
    void InstallLanguageFiles(const std::string& builtFolder,
                              std::initializer_list<const char*> names = {"cn.dat"}) const;

    // Sets an environment variable for the sandbox's lifetime.
    void SetEnv(const std::string& name, const std::optional<std::string>& value);

    // Runs `body` in a child process that has no more rights than an ordinary
    // user (when the tests run as root, the child switches to "nobody" and the
    // sandbox's root folder becomes traversable), so that read-only folders
    // really refuse writes. Returns the body's result, or -1 when the child
    // failed to run it.
    int RunUnprivileged(const std::function<int()>& body);

  private:
    std::string m_root;
    std::string m_home;
    std::string m_configHome;
    std::string m_machineDir;
    std::string m_programDir;
    std::string m_runtimeDir;
    std::map<std::string, std::optional<std::string>> m_savedEnv;
};

// Fixture giving every test its own sandbox.
class SandboxTest : public ::testing::Test {
  protected:
    Sandbox sandbox;
};

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
bool Exists(const std::string& path);

// Waits for child process `pid` until the deadline and kills it when it is
// still running then. Returns its exit code, or -1 when it hung or did not
// exit normally.
int WaitForChild(pid_t pid, std::chrono::milliseconds deadline = std::chrono::milliseconds(20000));

// Runs `body` in a forked child process and waits for it until the
// deadline; a child still running then is killed. Returns the body's result
// (0-126), or -1 when the child hung, did not exit normally or exited with
// 127 or more.
int RunInChild(const std::function<int()>& body,
               std::chrono::milliseconds deadline = std::chrono::milliseconds(20000));

// Polls `done` until it is true or the deadline passes; returns its last value.
bool WaitFor(const std::function<bool()>& done,
             std::chrono::milliseconds deadline = std::chrono::milliseconds(20000));

struct ProcessResult {
    int exitCode = -1;  // -1 when the process did not exit normally
    int status = -1;    // the raw wait status, which also tells a signal
    std::string out;
    std::string err;

    // True when a signal `signal` ended the process.
    bool Signalled(int signal) const;
};

// Runs a program with arguments (no shell) in `workDir` (empty: current
// directory), with the sandbox's environment, feeds it `input` and collects
// its output; 127 when the program could not be started.
ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& workDir = {},
                         const std::string& input = {});

}  // namespace vtest
