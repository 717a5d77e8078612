#include "diag/RunLog.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

#include "platform/os/DebugPrint.h"
#include "support/Sandbox.h"

namespace {

using vtest::ReadFile;

class RunLogTest : public vtest::SandboxTest {
  protected:
    void SetUp() override {
        os::SetDebugSink([this](const std::string& line) { m_debugLines.push_back(line); });
    }
    void TearDown() override { os::SetDebugSink({}); }

    std::string LogPath() const { return sandbox.Root() + "/log.txt"; }

    // Opens a log at `path`, writes the token line and says whether the log was opened.
    static bool OpenAndWrite(const std::string& path) {
        CRunLog log;
        log.SetPath(path);
        log.Open();
        log.Write("token line\n");
        return log.IsOpened();
    }

    static mode_t ModeOf(const std::string& path) {
        struct stat st {};
        return lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
    }

    // The debug lines that tell the run goes on without a log.
    std::size_t NoLogLines() const {
        std::size_t n = 0;
        for (const std::string& line : m_debugLines) {
            n += line.find("run log") != std::string::npos && line.find("without it") != std::string::npos;
        }
        return n;
    }

  private:
    std::vector<std::string> m_debugLines;
};

TEST(RunLogMarker, HasTheFixedShape) {
    EXPECT_EQ(RunLogMarker("node1"),
              "\n*****************************node1*************************************\n");
    const std::string marker = RunLogMarker("node_end");
    EXPECT_EQ(marker.size(), 1 + 29 + 8 + 37 + 1);
}

TEST_F(RunLogTest, AppendsTextsExactlyWithoutSeparators) {
    CRunLog log;
    log.SetPath(LogPath());
    log.Open();
    ASSERT_TRUE(log.IsOpened());
    log.Write("log start");
    log.Write(RunLogMarker("node1"));
    log.Write(std::u16string(u"令牌-token"));
    // Every write reaches the file at once, without waiting for a flush or close.
    EXPECT_EQ(ReadFile(LogPath()), "log start" + RunLogMarker("node1") + "令牌-token");
}

TEST_F(RunLogTest, WritesBeforeOpeningAreDropped) {
    CRunLog log;
    log.SetPath(LogPath());
    log.Write("early");
    EXPECT_FALSE(log.IsOpened());
    EXPECT_FALSE(vtest::Exists(LogPath()));
    log.Open();
    log.Write("late");
    EXPECT_EQ(ReadFile(LogPath()), "late");
}

TEST_F(RunLogTest, AnEmptyPathNeverOpens) {
    CRunLog log;
    log.Open();
    EXPECT_FALSE(log.IsOpened());
    log.Write("nothing");  // must not crash
}

TEST_F(RunLogTest, SecondRunAppendsAfterTheFirst) {
    // Two processes, as two starts of the client from the same folder.
    for (const char* run : {"first run\n", "second run\n"}) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            CRunLog log;
            log.SetPath(LogPath());
            log.Open();
            log.Write(run);
            _exit(0);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(ReadFile(LogPath()), "first run\nsecond run\n");
}

TEST_F(RunLogTest, OpenIsDoneOnce) {
    CRunLog log;
    log.SetPath(LogPath());
    log.Open();
    log.SetPath(sandbox.Root() + "/other.txt");
    log.Open();
    log.Write("x");
    EXPECT_EQ(ReadFile(LogPath()), "x");
    EXPECT_FALSE(vtest::Exists(sandbox.Root() + "/other.txt"));
}

TEST_F(RunLogTest, UnwritableFolderLeavesTheLogSilent) {
    const std::string folder = sandbox.Root() + "/readonly";
    ASSERT_EQ(mkdir(folder.c_str(), 0555), 0);
    ASSERT_EQ(chmod(folder.c_str(), 0555), 0);
    const int result = sandbox.RunUnprivileged([&] {
        CRunLog log;
        log.SetPath(folder + "/log.txt");
        log.Open();
        log.Write("dropped");
        return log.IsOpened() ? 0 : 1;
    });
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(vtest::Exists(folder + "/log.txt"));
}

TEST_F(RunLogTest, MissingFolderLeavesTheLogSilent) {
    CRunLog log;
    log.SetPath(sandbox.Root() + "/no/such/folder/log.txt");
    log.Open();
    EXPECT_TRUE(log.IsOpened());
    log.Write("dropped");  // no crash, nothing created
    EXPECT_FALSE(vtest::Exists(sandbox.Root() + "/no"));
}

TEST_F(RunLogTest, LogHoldingTheTokenIsPrivateToItsOwner) {
    CRunLog log;
    log.SetPath(LogPath());
    log.Open();
    struct stat st {};
    ASSERT_EQ(stat(LogPath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0077, 0u);
}

TEST_F(RunLogTest, APlantedLinkIsNotFollowed) {
    // A link to a file the user can write: the file keeps its content.
    const std::string victim = sandbox.Root() + "/victim.txt";
    vtest::WriteFile(victim, "victim\n");
    ASSERT_EQ(symlink(victim.c_str(), LogPath().c_str()), 0);
    EXPECT_TRUE(OpenAndWrite(LogPath()));
    EXPECT_EQ(ReadFile(victim), "victim\n");
    EXPECT_EQ(NoLogLines(), 1u);

    // A dangling link: nothing is created at its target.
    const std::string target = sandbox.Root() + "/made-through-link";
    const std::string dangling = sandbox.Root() + "/dangling.txt";
    ASSERT_EQ(symlink(target.c_str(), dangling.c_str()), 0);
    OpenAndWrite(dangling);
    EXPECT_FALSE(vtest::Exists(target));
    EXPECT_EQ(NoLogLines(), 2u);
}

TEST_F(RunLogTest, AFifoAtThePathDoesNotHoldStartUp) {
    ASSERT_EQ(mkfifo(LogPath().c_str(), 0600), 0);
    // Nobody reads the FIFO: an open that waited for a reader would never return.
    const int result = vtest::RunInChild([&] { return OpenAndWrite(LogPath()) && NoLogLines() == 1 ? 0 : 1; },
                                         std::chrono::seconds(10));
    EXPECT_EQ(result, 0);
}

TEST_F(RunLogTest, AnotherUsersFileIsLeftAlone) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to give a file to another user";
    }
    vtest::WriteFile(LogPath(), "theirs\n");
    ASSERT_EQ(chown(LogPath().c_str(), 65534, 65534), 0);
    ASSERT_EQ(chmod(LogPath().c_str(), 0644), 0);
    EXPECT_TRUE(OpenAndWrite(LogPath()));
    EXPECT_EQ(ReadFile(LogPath()), "theirs\n");
    EXPECT_EQ(ModeOf(LogPath()), 0644u);
    EXPECT_EQ(NoLogLines(), 1u);
}

TEST_F(RunLogTest, AnOwnLogReadableByOthersIsNarrowedNeverWidened) {
    // Readable by the group only, by others only, or by both: every bit
    // beyond the owner's goes. The owner's own bits stay as the owner set them.
    const struct {
        mode_t before;
        mode_t after;
    } cases[] = {{0640, 0600}, {0620, 0600}, {0604, 0600}, {0664, 0600}, {0750, 0700}, {0700, 0700}};
    for (const auto& c : cases) {
        vtest::WriteFile(LogPath(), "earlier run\n");
        ASSERT_EQ(chmod(LogPath().c_str(), c.before), 0);
        EXPECT_TRUE(OpenAndWrite(LogPath()));
        EXPECT_EQ(ReadFile(LogPath()), "earlier run\ntoken line\n");
        EXPECT_EQ(ModeOf(LogPath()), c.after) << std::oct << c.before;
    }
    EXPECT_EQ(NoLogLines(), 0u);
}

TEST_F(RunLogTest, TextsOfConcurrentWritersStayWhole) {
    CRunLog log;
    log.SetPath(LogPath());
    log.Open();
    const std::string a(300, 'a');
    const std::string b(300, 'b');
    std::vector<std::thread> writers;
    for (const std::string* text : {&a, &b}) {
        writers.emplace_back([&log, text] {
            for (int i = 0; i < 200; ++i) {
                log.Write(*text + "\n");
            }
        });
    }
    for (auto& t : writers) {
        t.join();
    }
    const std::string content = ReadFile(LogPath());
    std::size_t lines = 0;
    for (std::size_t pos = 0; pos < content.size();) {
        const std::size_t end = content.find('\n', pos);
        ASSERT_NE(end, std::string::npos);
        const std::string line = content.substr(pos, end - pos);
        EXPECT_TRUE(line == a || line == b);
        pos = end + 1;
        ++lines;
    }
    EXPECT_EQ(lines, 400u);
}

}  // namespace
