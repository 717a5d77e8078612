// The process helpers every test program leans on: running a program and
// collecting what it did, and running a body in a child with a deadline.
#include "support/Sandbox.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <string>

namespace {

TEST(RunProcess, FeedsTheInputAndCollectsBothOutputsAndTheExitCode) {
    const vtest::ProcessResult r = vtest::RunProcess({"sh", "-c", "cat; echo oops >&2; exit 3"}, {}, "in\n");
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(r.out, "in\n");
    EXPECT_EQ(r.err, "oops\n");
    EXPECT_FALSE(r.Signalled(SIGTERM));
}

TEST(RunProcess, NamesTheSignalThatEndedTheProgram) {
    const vtest::ProcessResult r = vtest::RunProcess({"sh", "-c", "echo before; kill -TERM $$"});
    EXPECT_EQ(r.exitCode, -1);
    EXPECT_TRUE(r.Signalled(SIGTERM));
    EXPECT_FALSE(r.Signalled(SIGKILL));
    EXPECT_EQ(r.out, "before\n");
}

TEST(RunProcess, RunsInTheWorkFolderAndReportsAMissingProgram) {
    vtest::Sandbox sandbox;
    EXPECT_EQ(vtest::RunProcess({"pwd"}, sandbox.Home()).out, sandbox.Home() + "\n");
    EXPECT_EQ(vtest::RunProcess({sandbox.Root() + "/no-such-program"}).exitCode, 127);
    EXPECT_EQ(vtest::RunProcess({"pwd"}, sandbox.Root() + "/no-such-folder").exitCode, 127);
}

TEST(RunProcess, AProgramThatLeavesItsInputUnreadDoesNotEndTheCaller) {
    // More than a pipe holds: the writer meets a closed pipe.
    const vtest::ProcessResult r = vtest::RunProcess({"true"}, {}, std::string(1 << 20, 'x'));
    EXPECT_EQ(r.exitCode, 0);
}

TEST(RunInChild, GivesTheBodysResultAndEndsAChildThatOutlivesTheDeadline) {
    EXPECT_EQ(vtest::RunInChild([] { return 5; }), 5);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(vtest::RunInChild(
                  [] {
                      pause();
                      return 0;
                  },
                  std::chrono::milliseconds(200)),
              -1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

}  // namespace
