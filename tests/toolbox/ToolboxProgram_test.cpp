// The client program with its toolbox, as real processes against the demo
// store: the main window starts the archive check, and closing the client
// while that check waits on a stalled server ends the run cleanly at once.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "config/Settings.h"
#include "platform/os/Registry.h"
#include "support/DemoStore.h"
#include "support/Sandbox.h"

namespace fs = std::filesystem;

namespace {

class ToolboxProgramTest : public vtest::SandboxTest {
  protected:
    void SetUp() override {
        ASSERT_TRUE(store.Started());
        // Laid out as an installation: the client, its crash message helper
        // and its language files.
        const fs::path bin = VANTO_BIN_DIR;
        const fs::path program = sandbox.ProgramDir();
        for (const char* file : {"vanto", "vanto-crashbox"}) {
            fs::copy_file(bin / file, program / file, fs::copy_options::overwrite_existing);
            fs::permissions(program / file, fs::perms::owner_all);
        }
        fs::copy(bin / "language", program / "language",
                 fs::copy_options::recursive | fs::copy_options::overwrite_existing);
        fs::create_directories(m_workDir);
    }
    void TearDown() override {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }

    // Starts the client in its own folder, its output in out.txt there.
    void Start() {
        const std::string program = sandbox.ProgramDir() + "/vanto";
        const std::string out = m_workDir + "/out.txt";
        m_pid = ::fork();
        if (m_pid == 0) {
            const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int in = ::open("/dev/null", O_RDONLY);
            if (fd < 0 || in < 0 || ::chdir(m_workDir.c_str()) != 0)
                ::_exit(127);
            ::dup2(in, 0);
            ::dup2(fd, 1);
            ::dup2(fd, 2);
            ::execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ASSERT_GT(m_pid, 0);
    }
    // Its exit code once it ended within `deadline` (-1: ended by a signal).
    std::optional<int> WaitExit(std::chrono::milliseconds deadline) {
        std::optional<int> code;
        vtest::WaitFor(
            [&] {
                int status = 0;
                if (::waitpid(m_pid, &status, WNOHANG) != m_pid)
                    return false;
                code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
                m_pid = -1;
                return true;
            },
            deadline);
        return code;
    }
    std::string Output() const { return vtest::ReadFile(m_workDir + "/out.txt"); }

    vtest::DemoStore store{sandbox};
    std::string m_workDir = sandbox.Root() + "/run";
    pid_t m_pid = -1;
};

TEST_F(ToolboxProgramTest, TheMainWindowStartsTheArchiveCheckUnderTheToolboxNameOfThePartner) {
    vtest::WriteFile(sandbox.ProgramDir() + "/oem.ini", "[Partner]\nToolbox=vanto\n");
    Start();
    ASSERT_TRUE(vtest::WaitFor([&] { return vtest::Exists(sandbox.UserDataFolder() + "/toolbox.dat"); }))
        << Output();
    EXPECT_TRUE(vtest::WaitFor([&] {
        return os::RegGetString(HKEY_CURRENT_USER, settings::kClientKey, settings::kToolboxVersion) == "1.0";
    }));
    ASSERT_EQ(::kill(m_pid, SIGTERM), 0);
    EXPECT_EQ(WaitExit(std::chrono::seconds(20)), 0) << Output();
}

TEST_F(ToolboxProgramTest, ClosingWhileTheCheckWaitsOnAStalledServerEndsAtOnceWithoutACrashFile) {
    Json::Value stall;
    stall["service"] = "toolbox";
    stall["path"] = "/vanto/version.html";
    stall["stall"] = true;
    ASSERT_TRUE(store.SetFault(stall));
    Start();
    ASSERT_TRUE(store.WaitForRequests("toolbox", 1)) << Output();
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(::kill(m_pid, SIGTERM), 0);
    // Well inside the 20 seconds the design lets the teardown wait.
    EXPECT_EQ(WaitExit(std::chrono::seconds(20)), 0) << Output();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_FALSE(vtest::Exists(sandbox.UserDataFolder() + "/Error.tmp"));
    EXPECT_FALSE(vtest::Exists(sandbox.UserDataFolder() + "/toolbox.dat"));
}

}  // namespace
