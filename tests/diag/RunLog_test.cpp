#include "diag/RunLog.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>
#include <vector>

#include "support/Sandbox.h"

namespace {

using vtest::ReadFile;

class RunLogTest : public vtest::SandboxTest {
  protected:
    std::string LogPath() const { return sandbox.Root() + "/log.txt"; }
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
