// The client program's run modes, single instance and shutdown, run as real
// processes: the program is installed into the sandbox's program folder with
// its language files and oem.ini, as an installation would lay it out, and
// started from another folder.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <regex>

#include "config/Settings.h"
#include "platform/os/Registry.h"
#include "support/DemoStore.h"
#include "support/Sandbox.h"

namespace fs = std::filesystem;

namespace {

std::string Marker(const std::string& name) {
    return "\n" + std::string(29, '*') + name + std::string(37, '*') + "\n";
}
// "log start", the node1 marker and the (empty) saved login.
const std::string kStartLog = "log start" + Marker("node1");
// The main window's initialisation up to the web engine.
const std::string kWindowInitLog = Marker("node3") + "UpdateUserInfo success\n" + "init_ToolBox success\n" +
                                   Marker("node4") + "dpi success" + Marker("node5") + "_Update success";
// The web login sync, and for a saved login its refresh.
const std::string kWebLoginLog =
    Marker("node") + "wkeSetCookieJarPath success" + Marker("node") + "SetWkeCallback success";
const std::string kRefreshWebLoginLog = Marker("node") + "scanf_downloaded success";
const std::string kWindowMadeLog = Marker("node_end") + "mainframe.getinstance success";

// The whole start of an interactive run whose saved login is `token`.
std::string InteractiveLog(const std::string& token = {}) {
    return kStartLog + token + Marker("node2") + "install skin success" + kWindowInitLog + Marker("node6") +
           "wkeInitialize success" + kWebLoginLog + (token.empty() ? std::string() : kRefreshWebLoginLog) +
           Marker("node7") + "register_to_client success" + kWindowMadeLog;
}
const std::string kInteractiveLog = InteractiveLog();

// A program started in the background with its output in a file.
class Background {
  public:
    Background(const std::vector<std::string>& argv, const std::string& workDir, const std::string& outPath) {
        std::vector<char*> args;
        for (const auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        m_pid = ::fork();
        if (m_pid == 0) {
            const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int in = ::open("/dev/null", O_RDONLY);
            if (out < 0 || in < 0 || ::chdir(workDir.c_str()) != 0)
                ::_exit(127);
            ::dup2(in, 0);
            ::dup2(out, 1);
            ::dup2(out, 2);
            ::execv(args[0], args.data());
            ::_exit(127);
        }
    }
    ~Background() {
        if (m_pid > 0 && !m_exit) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    bool Signal(int signo) const { return m_pid > 0 && !m_exit && ::kill(m_pid, signo) == 0; }
    bool Running() {
        Poll();
        return m_pid > 0 && !m_exit;
    }
    // The exit code once the process has ended (-1: killed by a signal);
    // empty when it is still running at the deadline.
    std::optional<int> WaitExit(std::chrono::milliseconds deadline = std::chrono::milliseconds(20000)) {
        vtest::WaitFor([this] { return !Running(); }, deadline);
        return m_exit;
    }

  private:
    void Poll() {
        if (m_pid <= 0 || m_exit)
            return;
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid)
            m_exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    pid_t m_pid = -1;
    std::optional<int> m_exit;
};

class VantoProgramTest : public vtest::SandboxTest {
  protected:
    void SetUp() override {
        // Headless whatever display the developer has: these runs are about
        // the modes, not the windows (the gui tests show them).
        sandbox.SetEnv("VANTO_BACKEND", "headless");
        ASSERT_TRUE(store.Started());
        Install("vanto");
        vtest::WriteFile(sandbox.ProgramDir() + "/oem.ini", "[Partner]\nId=7788\n");
    }

    // Lays the program out as an installation does: the executable with its
    // crash message helper, its web engine (the scripted one: headless) and
    // language/ beside it.
    void Install(const std::string& built, bool withEngine = true) {
        const fs::path bin = VANTO_BIN_DIR;
        const fs::path engine = fs::path(sandbox.ProgramDir()) / "node.so";
        if (withEngine)
            fs::copy_file(fs::path(VANTO_BINARY_DIR) / "wke" / "scripted" / "node.so", engine,
                          fs::copy_options::overwrite_existing);
        else
            fs::remove(engine);
        fs::copy_file(bin / built, m_program, fs::copy_options::overwrite_existing);
        fs::permissions(m_program, fs::perms::owner_all);
        const fs::path crashBox = fs::path(sandbox.ProgramDir()) / "vanto-crashbox";
        fs::copy_file(bin / "vanto-crashbox", crashBox, fs::copy_options::overwrite_existing);
        fs::permissions(crashBox, fs::perms::owner_all);
        fs::copy(bin / "language", fs::path(sandbox.ProgramDir()) / "language",
                 fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    }

    // A folder of its own to start the program from (not the program folder).
    std::string WorkDir(const std::string& name) const {
        const std::string dir = sandbox.Root() + "/" + name;
        fs::create_directories(dir);
        return dir;
    }

    static std::optional<std::string> Machine(std::string_view value,
                                              std::string_view key = settings::kClientKey) {
        return os::RegGetString(HKEY_LOCAL_MACHINE, key, value, 520);
    }

    std::string SocketPath() const { return sandbox.RuntimeDir() + "/vanto-vantowindowclass.sock"; }

    bool ReachedLoop(const std::string& dir, const std::string& log = kInteractiveLog) const {
        return vtest::WaitFor([&] { return vtest::ReadFile(dir + "/log.txt") == log; });
    }

    vtest::DemoStore store{sandbox};
    std::string m_program = sandbox.ProgramDir() + "/vanto";
};

TEST_F(VantoProgramTest, UninstallSendsOneReportAndLogsInTheCurrentFolder) {
    const std::string dir = WorkDir("elsewhere");
    const vtest::ProcessResult run = vtest::RunProcess({m_program, "/uninstall"}, dir);
    EXPECT_EQ(run.exitCode, 0) << run.err;

    const Json::Value reports = store.Reports();
    ASSERT_EQ(reports.size(), 1u) << reports;
    EXPECT_TRUE(reports[0]["accepted"].asBool()) << reports[0]["reason"];
    const Json::Value& members = reports[0]["members"];
    EXPECT_EQ(members["TypeId"].asInt(), 2);
    EXPECT_EQ(members["AppId"].asInt(), 34);
    EXPECT_EQ(members["AppApiId"].asInt(), 2002);
    // The partner id comes from the oem.ini beside the program.
    EXPECT_EQ(members["ChannelCode"].asString(), "7788");

    // The log is where the program was started, not beside it.
    EXPECT_EQ(vtest::ReadFile(dir + "/log.txt"), kStartLog);
    EXPECT_FALSE(vtest::Exists(sandbox.ProgramDir() + "/log.txt"));
}

TEST_F(VantoProgramTest, MakeMachineCreatesBothIdentifiersOnly) {
    const std::string dir = WorkDir("mm");
    const vtest::ProcessResult run = vtest::RunProcess({m_program, "/makemachine"}, dir);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(
        std::regex_match(Machine(settings::kMachineCodeValue).value_or(""), std::regex("[0-9A-Z]{16}")));
    EXPECT_EQ(Machine(settings::kInstallUuidValue, settings::kMachineIdKey).value_or("").size(), 32u);
    // No log line of its own, no report.
    EXPECT_EQ(vtest::ReadFile(dir + "/log.txt"), "");
    EXPECT_EQ(store.Reports().size(), 0u);
}

TEST_F(VantoProgramTest, MakeMachineKeepsAValidCodeAndReplacesOneOfAnotherLength) {
    const std::string uuid = "0123456789abcdef0123456789abcdef";
    ASSERT_TRUE(
        os::RegSetString(HKEY_LOCAL_MACHINE, settings::kMachineIdKey, settings::kInstallUuidValue, uuid));
    for (const std::string stored : {"ABCDEFGHIJKLMNOP", "ABCDEFGHIJKLMNO", "ABCDEFGHIJKLMNOPQ"}) {
        ASSERT_TRUE(
            os::RegSetString(HKEY_LOCAL_MACHINE, settings::kClientKey, settings::kMachineCodeValue, stored));
        const vtest::ProcessResult run = vtest::RunProcess({m_program, "/makemachine"}, WorkDir("mm"));
        EXPECT_EQ(run.exitCode, 0) << run.err;
        const std::string now = Machine(settings::kMachineCodeValue).value_or("");
        if (stored.size() == 16)
            EXPECT_EQ(now, stored);
        else
            EXPECT_TRUE(std::regex_match(now, std::regex("[0-9A-Z]{16}"))) << stored << " became " << now;
        EXPECT_EQ(Machine(settings::kInstallUuidValue, settings::kMachineIdKey), uuid);
    }
}

TEST_F(VantoProgramTest, BothSwitchesRunOnlyTheUninstall) {
    const std::string dir = WorkDir("both");
    const vtest::ProcessResult run = vtest::RunProcess({m_program, "/makemachine", "/uninstall"}, dir);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    ASSERT_EQ(store.Reports().size(), 1u);
    EXPECT_EQ(store.Reports()[0]["members"]["TypeId"].asInt(), 2);
    EXPECT_FALSE(Machine(settings::kMachineCodeValue));
    EXPECT_FALSE(Machine(settings::kInstallUuidValue, settings::kMachineIdKey));
}

TEST_F(VantoProgramTest, CapitalSwitchIsNotRecognisedAndInterruptEndsTheRunCleanly) {
    const std::string dir = WorkDir("caps");
    Background run({m_program, "/UNINSTALL"}, dir, dir + "/out.txt");
    ASSERT_TRUE(ReachedLoop(dir)) << vtest::ReadFile(dir + "/log.txt") << vtest::ReadFile(dir + "/out.txt");
    // No uninstall report (the daily update check sends its own, and is
    // still at it when the interrupt comes: the run ends cleanly all the same).
    for (const Json::Value& report : store.Reports())
        EXPECT_NE(report["members"]["TypeId"].asInt(), 2) << report;
    ASSERT_TRUE(run.Signal(SIGINT));
    EXPECT_EQ(run.WaitExit(), 0) << vtest::ReadFile(dir + "/out.txt");
}

TEST_F(VantoProgramTest, TermEndsTheInteractiveRunThroughTeardown) {
    const std::string dir = WorkDir("term");
    Background run({m_program}, dir, dir + "/out.txt");
    ASSERT_TRUE(ReachedLoop(dir)) << vtest::ReadFile(dir + "/out.txt");
    EXPECT_TRUE(vtest::Exists(SocketPath()));
    ASSERT_TRUE(run.Signal(SIGTERM));
    EXPECT_EQ(run.WaitExit(), 0) << vtest::ReadFile(dir + "/out.txt");
    // Teardown withdrew the window class from other starts.
    EXPECT_FALSE(vtest::Exists(SocketPath()));
    EXPECT_EQ(vtest::ReadFile(dir + "/log.txt"), kInteractiveLog);
    // The daily update check it started at once was not cut off by a
    // half-ended process (no fault traced on its worker, no crash file).
    EXPECT_EQ(vtest::ReadFile(dir + "/out.txt").find("Type="), std::string::npos)
        << vtest::ReadFile(dir + "/out.txt");
    EXPECT_FALSE(vtest::Exists(sandbox.UserDataFolder() + "/Error.tmp"));
}

TEST_F(VantoProgramTest, TheMainWindowStartsTheDailyUpdateCheckWhichDownloadsAndReports) {
    ASSERT_TRUE(os::RegSetString(HKEY_CURRENT_USER, settings::kClientKey, settings::kVersion, "1.0.0"));
    const std::string dir = WorkDir("daily");
    Background run({m_program}, dir, dir + "/out.txt");
    ASSERT_TRUE(ReachedLoop(dir)) << vtest::ReadFile(dir + "/out.txt");
    // The daily and the download report, the installer in the data folder.
    ASSERT_TRUE(vtest::WaitFor([&] { return store.Reports().size() >= 2; })) << store.Reports();
    const Json::Value reports = store.Reports();
    EXPECT_EQ(reports[0]["members"]["TypeId"].asInt(), 3);
    EXPECT_EQ(reports[1]["members"]["TypeId"].asInt(), 4);
    EXPECT_TRUE(vtest::Exists(sandbox.UserDataFolder() + "/VANTOSetup.exe"));
    ASSERT_TRUE(run.Signal(SIGTERM));
    EXPECT_EQ(run.WaitExit(), 0) << vtest::ReadFile(dir + "/out.txt");

    // The same day again: no check.
    ASSERT_TRUE(store.Reset());
    const std::string again = WorkDir("again");
    Background second({m_program}, again, again + "/out.txt");
    ASSERT_TRUE(ReachedLoop(again)) << vtest::ReadFile(again + "/out.txt");
    ASSERT_TRUE(second.Signal(SIGTERM));
    EXPECT_EQ(second.WaitExit(), 0);
    EXPECT_TRUE(store.Requests().empty()) << store.Requests();
}

TEST_F(VantoProgramTest, ClosingWhileTheUpdateCheckWaitsOnAStalledServerEndsCleanlyWithCodeZero) {
    Json::Value stall(Json::objectValue);
    stall["service"] = "update";
    stall["path"] = "/windows/newversion.htm";
    stall["stall"] = true;
    ASSERT_TRUE(store.SetFault(stall));
    const std::string dir = WorkDir("stalled");
    Background run({m_program}, dir, dir + "/out.txt");
    ASSERT_TRUE(ReachedLoop(dir)) << vtest::ReadFile(dir + "/out.txt");
    ASSERT_TRUE(store.WaitForRequests("update", 1)) << vtest::ReadFile(dir + "/out.txt");
    const auto closing = std::chrono::steady_clock::now();
    ASSERT_TRUE(run.Signal(SIGTERM));
    EXPECT_EQ(run.WaitExit(), 0) << vtest::ReadFile(dir + "/out.txt");
    // At once: the design waits for no update worker.
    EXPECT_LT(std::chrono::steady_clock::now() - closing, std::chrono::seconds(5));
    EXPECT_FALSE(vtest::Exists(sandbox.UserDataFolder() + "/Error.tmp"));
    EXPECT_EQ(vtest::ReadFile(dir + "/out.txt").find("Type="), std::string::npos);
    EXPECT_EQ(vtest::ReadFile(dir + "/log.txt"), kInteractiveLog);
    EXPECT_FALSE(vtest::Exists(SocketPath()));
}

TEST_F(VantoProgramTest, SecondStartBringsTheFirstForwardAndLeavesOnlyAnEmptyLog) {
    const std::string first = WorkDir("first");
    Background running({m_program}, first, first + "/out.txt");
    ASSERT_TRUE(ReachedLoop(first)) << vtest::ReadFile(first + "/out.txt");

    const std::string second = WorkDir("second");
    const vtest::ProcessResult run = vtest::RunProcess({m_program}, second);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(vtest::Exists(second + "/log.txt"));
    EXPECT_EQ(vtest::ReadFile(second + "/log.txt"), "");

    // The running instance got both requests on its own UI thread.
    EXPECT_TRUE(vtest::WaitFor([&] {
        const std::string out = vtest::ReadFile(first + "/out.txt");
        return out.find("VANTOWindowClass asked to show (5)") != std::string::npos &&
               out.find("VANTOWindowClass asked to come to the front") != std::string::npos;
    })) << vtest::ReadFile(first + "/out.txt");
    EXPECT_TRUE(running.Running());
    ASSERT_TRUE(running.Signal(SIGTERM));
    EXPECT_EQ(running.WaitExit(), 0);
}

TEST_F(VantoProgramTest, StaleSocketOfACrashedInstanceDoesNotBlockTheNextStart) {
    const std::string dir = WorkDir("crashed");
    Background crashed({m_program}, dir, dir + "/out.txt");
    ASSERT_TRUE(ReachedLoop(dir));
    ASSERT_TRUE(crashed.Signal(SIGKILL));
    crashed.WaitExit();
    ASSERT_TRUE(vtest::Exists(SocketPath()));

    const std::string next = WorkDir("next");
    Background run({m_program}, next, next + "/out.txt");
    EXPECT_TRUE(ReachedLoop(next)) << vtest::ReadFile(next + "/out.txt");
    ASSERT_TRUE(run.Signal(SIGTERM));
    EXPECT_EQ(run.WaitExit(), 0) << vtest::ReadFile(next + "/out.txt");
}

TEST_F(VantoProgramTest, ProgramWithoutSkinShowsTheFatalBoxAndExitsZero) {
    Install("vanto-noskin");
    const std::string dir = WorkDir("noskin");
    const vtest::ProcessResult run = vtest::RunProcess({m_program}, dir);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.err.find("严重错误: 软件皮肤资源丢失，无法运行，请重新安装！"), std::string::npos)
        << run.err;
    EXPECT_EQ(vtest::ReadFile(dir + "/log.txt"), kStartLog);
    EXPECT_FALSE(vtest::Exists(SocketPath()));
}

// A saved login reaches the web login: the token after the node1 marker, and
// the login-sync view's refresh line.
TEST_F(VantoProgramTest, ASavedLoginIsRestoredAndItsWebLoginRefreshed) {
    ASSERT_TRUE(os::RegSetString(HKEY_CURRENT_USER, settings::kClientKey, settings::kAccount, "jwt-77"));
    ASSERT_TRUE(
        os::RegSetString(HKEY_CURRENT_USER, settings::kClientKey, settings::kNickName, "13900139000"));
    const std::string dir = WorkDir("saved");
    Background run({m_program}, dir, dir + "/out.txt");
    EXPECT_TRUE(ReachedLoop(dir, InteractiveLog("jwt-77")))
        << vtest::ReadFile(dir + "/log.txt") << vtest::ReadFile(dir + "/out.txt");
    ASSERT_TRUE(run.Signal(SIGTERM));
    EXPECT_EQ(run.WaitExit(), 0) << vtest::ReadFile(dir + "/out.txt");
}

// Without a usable web engine the main window reports it and closes, and the
// program ends with code 0 rather than running a loop without a window. The
// report waits for the user; a close signal answers it here.
TEST_F(VantoProgramTest, WithoutItsWebEngineTheProgramEndsWithCodeZero) {
    Install("vanto", false);
    const std::string dir = WorkDir("noengine");
    Background run({m_program}, dir, dir + "/out.txt");
    const std::string reported = kStartLog + Marker("node2") + "install skin success" + kWindowInitLog;
    ASSERT_TRUE(ReachedLoop(dir, reported))
        << vtest::ReadFile(dir + "/log.txt") << vtest::ReadFile(dir + "/out.txt");
    EXPECT_TRUE(run.Running());
    ASSERT_TRUE(run.Signal(SIGTERM));
    EXPECT_EQ(run.WaitExit(), 0) << vtest::ReadFile(dir + "/out.txt");
    EXPECT_EQ(vtest::ReadFile(dir + "/log.txt"), reported + kWindowMadeLog);
    EXPECT_FALSE(vtest::Exists(SocketPath()));
    EXPECT_FALSE(vtest::Exists(sandbox.UserDataFolder() + "/Error.tmp"));
}

}  // namespace
