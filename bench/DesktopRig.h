#pragma once
// What the desktop benchmarks need around the programs they measure: child
// processes started with an environment of their own, a private Xvfb screen,
// the demo store, and the timing helpers. Everything runs on the bench's one
// thread; every child dies with the bench (parent-death signal).

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;
using EnvMap = std::map<std::string, std::string>;

double MillisecondsSince(Clock::time_point start);

// Polls `done` every `interval` until it is true or `limit` has passed.
bool PollUntil(const std::function<bool()>& done, std::chrono::milliseconds limit,
               std::chrono::milliseconds interval = std::chrono::milliseconds(5));

// A new empty folder below the temporary folder (mode 0700).
std::string MakeTempFolder(const std::string& prefix);
void RemoveTree(const std::string& path);

// A started program. `env` adds to (or replaces in) the bench's own
// environment; its output goes to `outPath`. With `pipes` its standard input
// and output are pipes to the bench (WriteLine, ReadLine); otherwise its
// input is /dev/null. Ended with Stop(), or SIGKILL when the object goes.
class Process {
  public:
    Process(const std::vector<std::string>& argv, const EnvMap& env, const std::string& workDir,
            const std::string& outPath, bool pipes = false);
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    pid_t Pid() const { return m_pid; }
    bool Running();
    // SIGTERM, then SIGKILL after `grace`; the exit code, -1 when killed.
    int Stop(std::chrono::milliseconds grace = std::chrono::milliseconds(10000));
    bool WriteLine(const std::string& line);
    // The next line of its standard output, waited for until `limit`; false
    // when it ended or the limit passed.
    bool ReadLine(std::string& line, std::chrono::milliseconds limit);

  private:
    pid_t m_pid = -1;
    int m_status = -1;
    bool m_reaped = false;
    int m_in = -1;
    int m_out = -1;
    std::string m_buffer;
};

// A private Xvfb screen of `width` x `height` (it picks a free display).
class Xvfb {
  public:
    Xvfb(int width, int height);
    ~Xvfb();
    bool Started() const { return !m_display.empty(); }
    const std::string& Display() const { return m_display; }

  private:
    std::string m_folder = MakeTempFolder("vanto-bench-xvfb");
    std::unique_ptr<Process> m_server;
    std::string m_display;
};

// The built demo store on a data folder of its own, with what its ports.env
// says (VANTO_STORE_HOST, VANTO_CLIENT_PAGE_HOST, ...).
class DemoStore {
  public:
    explicit DemoStore(const std::string& binDir);
    ~DemoStore();
    bool Started() const { return !m_env.empty(); }
    const EnvMap& Env() const { return m_env; }
    // An admin request; the reply's body, empty on failure.
    std::string Admin(const std::string& method, const std::string& path, const std::string& body) const;

  private:
    std::string m_folder = MakeTempFolder("vanto-bench-store");
    std::unique_ptr<Process> m_server;
    EnvMap m_env;
};

// The program laid out in a temporary folder as the package lays it out
// (vanto, vanto-crashbox, language/ and the web engine `engine` as node.so),
// with the machine hive its installer step /makemachine made.
struct Installation {
    Installation(const std::string& binDir, const std::string& engine);
    ~Installation();
    std::string root = MakeTempFolder("vanto-bench-install");
    std::string program = root + "/program/vanto";
    std::string machine = root + "/machine";
};

// A fresh home for one start of one program: its own HOME, XDG folders,
// runtime folder (0700, with the automation socket's path) and working
// folder; `env` is `common` with these. No session bus, and none started
// on demand.
struct Home {
    explicit Home(const EnvMap& common);
    ~Home();
    std::string Work() const { return root + "/work"; }
    std::string root = MakeTempFolder("vanto-bench-home");
    EnvMap env;
    bool keep = false;  // left for a reader when the run failed
};

}  // namespace bench
