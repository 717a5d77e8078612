// The client as a user feels it on a desktop, against the least a WebKitGTK
// window does with the same pages (bare_webkit_window), in one run:
//
//   bench_desktop [--runs N] [--idle-seconds S]   (release build; starts its own Xvfb)
//   bench_desktop --headless [--runs N]           (no display; the scripted engine)
//
// The desktop mode starts a private Xvfb screen and the demo store, installs
// `vanto` with the real web engine into a temporary program folder (and runs
// its installer step /makemachine once), and then, run by run, alternating
// which side goes first, starts each side from nothing (a fresh home: no
// cookies, caches or settings; the client with a saved login, so that all six
// of its tabs are there):
//  - first paint: from the process's start to the store page's header being
//    on the screen, polled on the X root window over the header's band (found
//    for each side in an uncounted first run);
//  - memory, once all six pages have loaded (the client's tabs clicked for
//    real through XTest, each awaited through the client's read-only
//    automation channel; the bare window shows and loads its views in the
//    same order) and 3 s later: PSS of the program and its WebKit helpers,
//    and of the web processes alone;
//  - in the last run, idle cost over S seconds (default 60; 0: none): CPU
//    time and wake-ups (context switches) of the program's process, of its
//    web processes and of its network process, and which of the program's
//    threads woke.
// It ends with the one line
//   first paint client/bare median ratio: R (N runs); web memory client/bare median ratio: M
// (M: the web processes' PSS). The headless mode times the start to the run
// log's "register_to_client success" with the scripted engine.

#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <thread>

#include "AutomationClient.h"
#include "DesktopRig.h"
#include "ProcStats.h"
#include "ScreenProbe.h"
#include "config/Settings.h"
#include "platform/os/Registry.h"

namespace fs = std::filesystem;
using namespace bench;

namespace {

constexpr std::uint32_t kHeaderColour = 0x2F6FDF;
constexpr int kScreenWidth = 1600;
constexpr int kScreenHeight = 900;
constexpr auto kDeadline = std::chrono::seconds(60);
constexpr const char* kMainWindow = "VANTOWindowClass";
// The six tabs' pages on the client-page host, in the tabs' order (the
// order the client's options and the bare window's views are shown in).
const char* const kPages[] = {"/ppt.html",
                              "/excel.html",
                              "/word.html",
                              "/",
                              "/client/user/favorites.html",
                              "/client/user/downloads.html"};
constexpr int kTabs = 6;

struct Idle {
    ActivityDelta process, web, network;
};
struct RunResult {
    double firstPaintMs = 0;
    Memory memory;
    std::optional<Idle> idle;
};

// The program laid out as the package lays it out, with the machine hive
// its installer step made.
struct Installation {
    std::string root = MakeTempFolder("vanto-bench-install");
    std::string program = root + "/program/vanto";
    std::string machine = root + "/machine";
    Installation(const std::string& binDir, const std::string& engine) {
        fs::create_directories(root + "/program");
        fs::create_directories(machine);
        for (const char* file : {"vanto", "vanto-crashbox"})
            fs::copy_file(binDir + "/" + file, root + "/program/" + file);
        fs::copy_file(engine, root + "/program/node.so");
        fs::copy(binDir + "/language", root + "/program/language", fs::copy_options::recursive);
        Process step({program, "/makemachine"}, {{"VANTO_MACHINE_DIR", machine}}, root,
                     root + "/makemachine.out");
        PollUntil([&] { return !step.Running(); }, kDeadline);
    }
    ~Installation() { RemoveTree(root); }
};

// A home of its own for one start of one side.
struct Home {
    std::string root = MakeTempFolder("vanto-bench-home");
    EnvMap env;
    Home(const EnvMap& common) : env(common) {
        for (const char* dir : {"/home/.config", "/home/.cache", "/home/.local/share", "/run", "/work"})
            fs::create_directories(root + dir);
        chmod((root + "/run").c_str(), 0700);
        env["HOME"] = root + "/home";
        env["XDG_CONFIG_HOME"] = root + "/home/.config";
        env["XDG_CACHE_HOME"] = root + "/home/.cache";
        env["XDG_DATA_HOME"] = root + "/home/.local/share";
        env["XDG_RUNTIME_DIR"] = root + "/run";
        // No session bus, and none started on demand, on either side.
        env["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=" + root + "/run/no-bus";
        env["VANTO_AUTOMATION_SOCKET"] = root + "/run/automation.sock";
    }
    ~Home() {
        if (!keep)
            RemoveTree(root);
    }
    std::string Work() const { return root + "/work"; }
    bool keep = false;  // left for a reader when the run failed
};

// The saved login of a user the store knows, in the home's per-user hive
// (the hive is found through the environment at each call).
bool SaveLogin(const Home& home, const DemoStore& store) {
    const std::string reply = store.Admin("POST", "/tokens", R"({"phone":"13800138000"})");
    const auto at = reply.find("\"jwt\"");
    const auto open = reply.find('"', reply.find(':', at) + 1);
    const auto close = reply.find('"', open + 1);
    if (at == std::string::npos || open == std::string::npos || close == std::string::npos)
        return false;
    const char* old = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = old != nullptr ? old : "";
    setenv("XDG_CONFIG_HOME", home.env.at("XDG_CONFIG_HOME").c_str(), 1);
    const bool ok =
        os::RegSetString(HKEY_CURRENT_USER, settings::kClientKey, settings::kAccount,
                         reply.substr(open + 1, close - open - 1)) &&
        os::RegSetString(HKEY_CURRENT_USER, settings::kClientKey, settings::kNickName, "13800138000") &&
        os::RegSetDword(HKEY_CURRENT_USER, settings::kClientKey, settings::kLoginType, 1);
    old != nullptr ? setenv("XDG_CONFIG_HOME", saved.c_str(), 1) : unsetenv("XDG_CONFIG_HOME");
    return ok;
}

// One side: how it starts, and how its other five pages are loaded.
struct Side {
    const char* name;
    std::function<std::unique_ptr<Process>(Home&)> start;
    std::function<bool(Process&, Home&, ScreenProbe&, const Rect&)> loadRest;
    std::optional<Rect> band;  // where its header shows
    std::vector<RunResult> results;
};

bool HeaderShown(ScreenProbe& screen, const Rect& band) {
    return screen.ColourShare(band, kHeaderColour) >= 0.9;
}

// The client's other tabs, clicked in order; each awaited until its view
// holds its page and the header is on screen again.
bool ClientLoadRest(const std::string& display, const std::string& pageHost, Home& home, ScreenProbe& screen,
                    const Rect& band) {
    const AutomationClient channel(home.env.at("VANTO_AUTOMATION_SOCKET"));
    for (int tab = 1; tab < kTabs; ++tab) {
        const std::string number = "0" + std::to_string(tab + 1);
        std::optional<Rect> option;
        if (!PollUntil([&] { return (option = channel.Control(kMainWindow, "Option" + number)).has_value(); },
                       kDeadline) ||
            !ClickAt(display, option->x + option->width / 2, option->y + option->height / 2))
            return false;
        const std::string page = "http://" + pageHost + kPages[tab];
        if (!PollUntil([&] { return channel.Url(kMainWindow, "web_opt" + number).rfind(page, 0) == 0; },
                       kDeadline, std::chrono::milliseconds(20)) ||
            !PollUntil([&] { return HeaderShown(screen, band); }, kDeadline, std::chrono::milliseconds(10)))
            return false;
    }
    return true;
}

Idle MeasureIdle(pid_t pid, int seconds) {
    auto read = [&](const std::vector<std::string>& pids, std::vector<Activity>& into) {
        for (const auto& p : pids)
            into.push_back(ReadActivity(p));
    };
    const EngineProcesses helpers = EngineProcessesOf(pid);
    const Activity process = ReadActivity(std::to_string(pid));
    std::vector<Activity> web, network;
    read(helpers.web, web);
    read(helpers.network, network);
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    Idle idle;
    idle.process = Difference(process, ReadActivity(std::to_string(pid)));
    auto sum = [](const std::vector<std::string>& pids, const std::vector<Activity>& before) {
        ActivityDelta total;
        for (std::size_t i = 0; i < pids.size(); ++i) {
            const ActivityDelta d = Difference(before[i], ReadActivity(pids[i]));
            total.cpuSeconds += d.cpuSeconds;
            total.wakeups += d.wakeups;
            total.threads.insert(total.threads.end(), d.threads.begin(), d.threads.end());
        }
        return total;
    };
    idle.web = sum(helpers.web, web);
    idle.network = sum(helpers.network, network);
    return idle;
}

// One start of one side, to its end. The band, when not yet known, is found
// on the first painted screen (this run is then not timed).
std::optional<RunResult> RunSide(Side& side, const EnvMap& common, ScreenProbe& screen, int idleSeconds) {
    Home home(common);
    const auto start = Clock::now();
    std::unique_ptr<Process> process = side.start(home);
    RunResult result;
    const bool shown =
        side.band ? PollUntil([&] { return HeaderShown(screen, *side.band); }, kDeadline,
                              std::chrono::milliseconds(5))
                  : PollUntil([&] { return (side.band = screen.FindBand(kHeaderColour, 400)).has_value(); },
                              kDeadline, std::chrono::milliseconds(50));
    result.firstPaintMs = MillisecondsSince(start);
    if (shown && side.results.empty())
        std::printf("%-6s header band on screen: %dx%d at (%d, %d)\n", side.name, side.band->width,
                    side.band->height, side.band->x, side.band->y);
    if (!shown || !side.loadRest(*process, home, screen, *side.band)) {
        std::fprintf(stderr, "%s: the %s did not come (see %s)\n", side.name,
                     shown ? "other pages" : "first page", home.Work().c_str());
        home.keep = true;
        return std::nullopt;
    }
    std::this_thread::sleep_for(std::chrono::seconds(3));
    result.memory = MeasureMemory(process->Pid());
    if (idleSeconds > 0)
        result.idle = MeasureIdle(process->Pid(), idleSeconds);
    const EngineProcesses helpers = EngineProcessesOf(process->Pid());
    const int code = process->Stop();
    if (code != 0)
        std::fprintf(stderr, "%s ended with %d\n", side.name, code);
    // Its helpers end with it; none is left to weigh on the next run.
    for (const auto* list : {&helpers.web, &helpers.network, &helpers.other})
        for (const auto& helper : *list)
            if (!PollUntil([&] { return PssMiB(helper) == 0; }, std::chrono::seconds(10)))
                kill(std::atoi(helper.c_str()), SIGKILL);
    return result;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n == 0 ? 0 : n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double PrintFigure(const char* side, const char* what, const std::vector<RunResult>& results,
                   const std::function<double(const RunResult&)>& field) {
    std::vector<double> values;
    for (const auto& r : results)
        values.push_back(field(r));
    std::sort(values.begin(), values.end());
    const double median = Median(values);
    std::printf("%-6s %-30s median %8.1f  (min %8.1f - max %8.1f)\n", side, what, median, values.front(),
                values.back());
    return median;
}

void PrintIdle(const char* side, const Idle& idle, int seconds) {
    auto line = [&](const char* who, const ActivityDelta& d) {
        std::printf("%-6s idle %d s, %-16s CPU %7.1f ms, wake-ups %6lld (%.1f/s)\n", side, seconds, who,
                    d.cpuSeconds * 1000, d.wakeups, static_cast<double>(d.wakeups) / seconds);
    };
    line("program process:", idle.process);
    line("web processes:", idle.web);
    line("network process:", idle.network);
    std::string threads;
    for (std::size_t i = 0; i < idle.process.threads.size() && i < 12; ++i)
        threads += " " + idle.process.threads[i];
    std::printf("%-6s idle, the program's threads that woke:%s\n", side,
                threads.empty() ? " none" : threads.c_str());
}

std::string BinDir(const char* self) {
    return (fs::canonical(fs::path(self)).parent_path().parent_path() / "bin").string();
}

int RunDesktop(const char* self, int runs, int idleSeconds) {
    Xvfb xvfb(kScreenWidth, kScreenHeight);
    DemoStore store(BinDir(self));
    if (!xvfb.Started() || !store.Started()) {
        std::fprintf(stderr, "Xvfb or the demo store did not start\n");
        return 1;
    }
    ScreenProbe screen(xvfb.Display());
    Installation install(BinDir(self), BinDir(self) + "/node.so");
    EnvMap common = store.Env();
    common.insert({{"DISPLAY", xvfb.Display()},
                   {"VANTO_BACKEND", "gtk"},
                   {"NO_AT_BRIDGE", "1"},
                   {"GSETTINGS_BACKEND", "memory"},
                   {"VANTO_MACHINE_DIR", install.machine},
                   // The daily update check would fetch the demo store's
                   // installer: that is a download, not the start.
                   {"VANTO_UPDATE_HOST", "127.0.0.1:1"}});
    common.erase("WAYLAND_DISPLAY");
    const std::string pageHost = store.Env().at("VANTO_CLIENT_PAGE_HOST");
    std::vector<std::string> bareArgs = {(fs::canonical(self).parent_path() / "bare_webkit_window").string(),
                                         std::to_string(kScreenWidth), std::to_string(kScreenHeight)};
    for (const char* page : kPages)
        bareArgs.push_back("http://" + pageHost + page);

    Side client{"client",
                [&](Home& home) {
                    SaveLogin(home, store);
                    return std::make_unique<Process>(std::vector<std::string>{install.program}, home.env,
                                                     home.Work(), home.Work() + "/out.txt");
                },
                [&](Process&, Home& home, ScreenProbe& probe, const Rect& band) {
                    return ClientLoadRest(xvfb.Display(), pageHost, home, probe, band);
                },
                std::nullopt,
                {}};
    Side bare{"bare",
              [&](Home& home) {
                  return std::make_unique<Process>(bareArgs, home.env, home.Work(), home.Work() + "/out.txt",
                                                   true);
              },
              [](Process& process, Home&, ScreenProbe&, const Rect&) {
                  std::string line;
                  return process.WriteLine("rest") && process.ReadLine(line, kDeadline) && line == "loaded";
              },
              std::nullopt,
              {}};
    // The uncounted first run of each side finds its header band.
    for (Side* side : {&client, &bare})
        if (!RunSide(*side, common, screen, 0))
            return 1;
    for (int run = 0; run < runs; ++run) {
        for (Side* side :
             run % 2 == 0 ? std::vector<Side*>{&client, &bare} : std::vector<Side*>{&bare, &client}) {
            const std::optional<RunResult> r =
                RunSide(*side, common, screen, run + 1 == runs ? idleSeconds : 0);
            if (!r)
                return 1;
            std::printf(
                "run %d %-6s first paint %7.1f ms; PSS all %6.1f MiB, web %6.1f MiB (%d), process %6.1f "
                "MiB\n",
                run + 1, side->name, r->firstPaintMs, r->memory.allMiB, r->memory.webMiB,
                r->memory.webProcesses, r->memory.processMiB);
            std::fflush(stdout);
            side->results.push_back(*r);
        }
    }
    double paint[2], web[2];
    int i = 0;
    for (Side* side : {&client, &bare}) {
        paint[i] = PrintFigure(side->name, "first paint (ms)", side->results,
                               [](auto& r) { return r.firstPaintMs; });
        PrintFigure(side->name, "PSS program + WebKit (MiB)", side->results,
                    [](auto& r) { return r.memory.allMiB; });
        PrintFigure(side->name, "PSS program process (MiB)", side->results,
                    [](auto& r) { return r.memory.processMiB; });
        web[i++] = PrintFigure(side->name, "PSS web processes (MiB)", side->results,
                               [](auto& r) { return r.memory.webMiB; });
    }
    for (Side* side : {&client, &bare})
        if (side->results.back().idle)
            PrintIdle(side->name, *side->results.back().idle, idleSeconds);
    std::printf(
        "first paint client/bare median ratio: %.2f (%d runs); web memory client/bare median ratio: %.2f\n",
        paint[0] / paint[1], runs, web[0] / web[1]);
    return 0;
}

// The headless start with the scripted engine, to the run log's line.
int RunHeadless(const char* self, int runs) {
    DemoStore store(BinDir(self));
    if (!store.Started())
        return 1;
    const fs::path build = fs::path(BinDir(self)).parent_path();
    Installation install(BinDir(self), (build / "wke" / "scripted" / "node.so").string());
    EnvMap common = store.Env();
    common.insert({{"VANTO_BACKEND", "headless"}, {"VANTO_MACHINE_DIR", install.machine}});
    std::vector<RunResult> results;
    for (int run = 0; run < runs; ++run) {
        Home home(common);
        home.env.erase("VANTO_AUTOMATION_SOCKET");
        const std::string log = home.Work() + "/log.txt";
        const auto start = Clock::now();
        Process vanto({install.program}, home.env, home.Work(), home.Work() + "/out.txt");
        const bool registered = PollUntil(
            [&] {
                std::ifstream in(log);
                std::stringstream text;
                text << in.rdbuf();
                return text.str().find("register_to_client success") != std::string::npos;
            },
            kDeadline, std::chrono::milliseconds(1));
        RunResult r;
        r.firstPaintMs = MillisecondsSince(start);
        const int code = vanto.Stop();
        if (!registered || code != 0) {
            std::fprintf(stderr, "run %d: %s (exit %d)\n", run + 1, registered ? "bad exit" : "no line",
                         code);
            return 1;
        }
        results.push_back(r);
    }
    const double median = PrintFigure("vanto", "headless start to register (ms)", results,
                                      [](auto& r) { return r.firstPaintMs; });
    std::printf("headless start to register_to_client success: median %.1f ms (%d runs)\n", median, runs);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    bool headless = false;
    int runs = 0;
    int idleSeconds = 60;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--headless")
            headless = true;
        else if (arg == "--runs" && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--idle-seconds" && i + 1 < argc)
            idleSeconds = std::max(0, std::atoi(argv[++i]));
        else {
            std::fprintf(stderr, "usage: %s [--runs N] [--idle-seconds S] | --headless [--runs N]\n",
                         argv[0]);
            return 2;
        }
    }
    return headless ? RunHeadless(argv[0], runs > 0 ? runs : 20)
                    : RunDesktop(argv[0], runs > 0 ? runs : 5, idleSeconds);
}
