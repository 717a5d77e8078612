// The pieces the background workers stand on: the stop event, the worker
// handle, a child program waited for together with the stop event.

#include "platform/os/ChildProcess.h"
#include "platform/os/Event.h"
#include "platform/os/WorkerThread.h"

#include "support/Sandbox.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include <pthread.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

TEST(Event, StaysSetUntilResetAndWakesAWaiterOnAnotherThread) {
    os::Event event;
    EXPECT_FALSE(event.IsSet());
    EXPECT_FALSE(event.WaitFor(10ms));
    std::thread setter([&] { event.Set(); });
    EXPECT_TRUE(event.WaitFor(-1ms));
    setter.join();
    // Manual reset: every wait sees it until Reset, a second Set changes nothing.
    event.Set();
    EXPECT_TRUE(event.WaitFor(0ms));
    EXPECT_TRUE(event.IsSet());
    event.Reset();
    EXPECT_FALSE(event.IsSet());
    EXPECT_TRUE(os::Event(true).IsSet());
}

TEST(WorkerThread, TellsRunningAndEndedAndRefusesASecondStartMeanwhile) {
    os::Event release;
    os::WorkerThread worker;
    EXPECT_TRUE(worker.WaitFor(0ms));  // nothing started
    const int before = os::WorkerThread::RunningCount();
    ASSERT_TRUE(worker.Start([&] { release.WaitFor(-1ms); }));
    EXPECT_TRUE(worker.IsRunning());
    EXPECT_EQ(os::WorkerThread::RunningCount(), before + 1);
    EXPECT_FALSE(worker.Start([] {}));
    EXPECT_FALSE(worker.WaitFor(20ms));
    release.Set();
    EXPECT_TRUE(worker.WaitFor(20s));
    EXPECT_FALSE(worker.IsRunning());
    EXPECT_EQ(os::WorkerThread::RunningCount(), before);
    // An ended worker may start again; a throwing body ends only itself.
    ASSERT_TRUE(worker.Start([] { throw std::runtime_error("stalled server"); }));
    EXPECT_TRUE(worker.WaitFor(20s));
}

TEST(WorkerThread, ABodyOutlivingItsHandleRunsToItsEnd) {
    auto release = std::make_shared<os::Event>();
    auto finished = std::make_shared<std::atomic<bool>>(false);
    {
        os::WorkerThread worker;
        ASSERT_TRUE(worker.Start([release, finished] {
            release->WaitFor(-1ms);
            *finished = true;
        }));
    }  // the handle goes while the body waits
    release->Set();
    EXPECT_TRUE(vtest::WaitFor([&] { return finished->load(); }, 20s));
}

TEST(WorkerThread, ABodyCountsAsRunningUntilWhatItOwnsIsGone) {
    // Something the body owns whose destruction takes a while.
    struct SlowToGo {
        std::shared_ptr<os::Event> release;
        std::shared_ptr<std::atomic<bool>> gone;
        ~SlowToGo() {
            if (release) {
                release->WaitFor(std::chrono::seconds(20));
                *gone = true;
            }
        }
    };
    auto release = std::make_shared<os::Event>();
    auto gone = std::make_shared<std::atomic<bool>>(false);
    const int before = os::WorkerThread::RunningCount();
    os::WorkerThread worker;
    auto owned = std::make_shared<SlowToGo>();
    owned->release = release;
    owned->gone = gone;
    ASSERT_TRUE(worker.Start([owned = std::move(owned)] {}));
    // The body has returned, but what it owns is still going.
    EXPECT_FALSE(worker.WaitFor(50ms));
    EXPECT_EQ(os::WorkerThread::RunningCount(), before + 1);
    release->Set();
    EXPECT_TRUE(worker.WaitFor(20s));
    EXPECT_TRUE(gone->load());
    EXPECT_EQ(os::WorkerThread::RunningCount(), before);
}

class WorkerExitTest : public vtest::SandboxTest {};

TEST_F(WorkerExitTest, AProcessEndingAfterItsWorkersReturnedWaitsForTheirThreadExitCleanup) {
    // A library's per-thread state is freed by a key destructor after the
    // body returned; a process that ends at once must not cut that short,
    // whether it ends through the client's end of process or a plain exit.
    // Plain storage: the process's static objects may be gone by then.
    static char marker[4096];
    for (const bool clientEnd : {true, false}) {
        SCOPED_TRACE(clientEnd ? "client's end" : "plain exit");
        std::snprintf(marker, sizeof marker, "%s/cleanup-ran-%d", sandbox.Root().c_str(), clientEnd ? 1 : 0);
        static bool s_clientEnd;
        s_clientEnd = clientEnd;
        const int result = vtest::RunInChild([] {
            static pthread_key_t key;
            ::pthread_key_create(&key, [](void*) {
                ::usleep(300 * 1000);  // a slow cleanup: the process must wait for it
                if (FILE* file = std::fopen(marker, "w")) {
                    std::fputs("done", file);
                    std::fclose(file);
                }
            });
            os::WorkerThread worker;
            if (!worker.Start([] { ::pthread_setspecific(key, &key); }) || !worker.WaitFor(20s))
                return 1;
            if (os::WorkerThread::RunningCount() != 0)
                return 2;
            if (s_clientEnd)
                os::WorkerThread::EndProcessIfWorkersRun(3);  // nothing runs: it returns
            std::exit(0);                                     // a normal end, as the client's after its loop
        });
        EXPECT_EQ(result, 0);
        EXPECT_EQ(vtest::ReadFile(marker), "done");
    }
}

// What the child processes below share with their workers' hooks: plain
// storage, never destroyed.
char g_exitMarker[4096];
std::atomic<bool> g_inCleanup{false};
os::Event* g_release = nullptr;
os::Event* g_cleaning = nullptr;

// Exit handlers that run while a worker thread is inside its exit cleanup
// leave the marker behind.
void WriteMarkerIfAWorkerIsInItsCleanup() {
    if (!g_inCleanup.load())
        return;
    if (FILE* file = std::fopen(g_exitMarker, "w")) {
        std::fputs("exit handlers ran during a worker's cleanup", file);
        std::fclose(file);
    }
}

TEST_F(WorkerExitTest, AWorkerLetGoThatEndsJustBeforeTheEndNeverHasTheProcessEndNormallyUnderItsCleanup) {
    std::snprintf(g_exitMarker, sizeof g_exitMarker, "%s/cut-short", sandbox.Root().c_str());
    const int result = vtest::RunInChild([] {
        g_release = new os::Event;
        g_cleaning = new os::Event;
        static pthread_key_t key;
        // The hook holds the thread inside its thread-exit cleanup for good.
        ::pthread_key_create(&key, [](void*) {
            g_inCleanup = true;
            g_cleaning->Set();
            for (;;)
                ::pause();
        });
        std::atexit(WriteMarkerIfAWorkerIsInItsCleanup);
        os::WorkerThread worker;
        if (!worker.Start([] {
                ::pthread_setspecific(key, &key);
                g_release->WaitFor(-1ms);
            }))
            return 1;
        // The teardown's waits are over and the running worker is let go...
        if (os::WorkerThread::PrepareProcessEnd() != 1)
            return 2;
        // ...then its body returns, just before the end's decision, and its
        // thread is inside its exit cleanup: no body is counted as running.
        g_release->Set();
        if (!g_cleaning->WaitFor(20s) || os::WorkerThread::RunningCount() != 0)
            return 3;
        os::WorkerThread::EndProcessIfWorkersRun(0);
        std::exit(4);  // the normal end that must not happen
    });
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(vtest::Exists(g_exitMarker)) << vtest::ReadFile(g_exitMarker);
}

TEST_F(WorkerExitTest, AWorkerStillRunningAtTheEndIsCutOffWithTheGivenExitCode) {
    std::snprintf(g_exitMarker, sizeof g_exitMarker, "%s/cut-short", sandbox.Root().c_str());
    const int result = vtest::RunInChild([] {
        g_release = new os::Event;
        std::atexit([] {
            g_inCleanup = true;  // any exit handler at all is wrong here
            WriteMarkerIfAWorkerIsInItsCleanup();
        });
        os::WorkerThread worker;
        if (!worker.Start([] { g_release->WaitFor(-1ms); }))
            return 1;
        os::WorkerThread::EndProcessIfWorkersRun(5);
        return 6;
    });
    EXPECT_EQ(result, 5);
    EXPECT_FALSE(vtest::Exists(g_exitMarker));
}

class ChildProcessTest : public vtest::SandboxTest {
  protected:
    std::string Script(const std::string& name, const std::string& body) {
        const std::string path = sandbox.Root() + "/" + name;
        std::ofstream(path) << "#!/bin/sh\n" << body;
        ::chmod(path.c_str(), 0700);
        return path;
    }
    static std::string Read(const std::string& path) {
        std::stringstream text;
        text << std::ifstream(path).rdbuf();
        return text.str();
    }
};

TEST_F(ChildProcessTest, RunsWithExactArgumentsDefaultSignalsAndNothingOnStandardInput) {
    const std::string out = sandbox.Root() + "/out";
    // The client ignores SIGPIPE; its children must not inherit that.
    ::signal(SIGPIPE, SIG_IGN);
    const std::string program =
        Script("tool.sh", "for a in \"$@\"; do echo \"[$a]\"; done > " + out +
                              "\ngrep SigIgn /proc/self/status >> " + out + "\ncat >> " + out + "\nexit 3\n");
    std::optional<os::ChildProcess> child = os::ChildProcess::Start(program, {"/S /D=a b", "\"q\"", "-x"});
    ASSERT_TRUE(child);
    EXPECT_EQ(child->WaitForExitOrStop(nullptr, 20s), os::ChildProcess::WaitResult::kExited);
    ASSERT_TRUE(child->ExitStatus());
    EXPECT_TRUE(WIFEXITED(*child->ExitStatus()));
    EXPECT_EQ(WEXITSTATUS(*child->ExitStatus()), 3);
    const std::string text = Read(out);
    EXPECT_EQ(text.substr(0, text.find("SigIgn:")), "[/S /D=a b]\n[\"q\"]\n[-x]\n");
    // No standard signal ignored (glibc keeps its two internal ones, 32 and 33, ignored).
    const std::size_t mask = text.find("SigIgn:\t");
    ASSERT_NE(mask, std::string::npos) << text;
    EXPECT_EQ(std::stoull(text.substr(mask + 8, 16), nullptr, 16) & 0x7FFFFFFFull, 0u) << text;
    EXPECT_EQ(child->WaitForExitOrStop(nullptr, 0ms), os::ChildProcess::WaitResult::kExited);
}

TEST_F(ChildProcessTest, TheStopEventOrTheLimitEndsTheWaitAndTheProgramGoesOn) {
    const std::string marker = sandbox.Root() + "/marker";
    const std::string gate = sandbox.Root() + "/gate";
    const std::string program =
        Script("slow.sh", "while [ ! -e " + gate + " ]; do sleep 0.01; done\necho done > " + marker + "\n");
    os::Event stop;
    std::optional<os::ChildProcess> child = os::ChildProcess::Start(program, {});
    ASSERT_TRUE(child);
    EXPECT_EQ(child->WaitForExitOrStop(&stop, 30ms), os::ChildProcess::WaitResult::kTimedOut);
    std::thread stopper([&] { stop.Set(); });
    EXPECT_EQ(child->WaitForExitOrStop(&stop, -1ms), os::ChildProcess::WaitResult::kStopped);
    stopper.join();
    const pid_t pid = child->Pid();
    child.reset();  // dropped while running: it goes on and is reaped later
    std::ofstream(gate) << "";
    EXPECT_TRUE(vtest::WaitFor([&] { return Read(marker) == "done\n"; }, 20s));
    // Reaped in the background: no zombie remains.
    EXPECT_TRUE(vtest::WaitFor([&] { return ::kill(pid, 0) != 0; }, 20s));
}

TEST_F(ChildProcessTest, AProgramThatCannotStartIsNoProcess) {
    EXPECT_FALSE(os::ChildProcess::Start(sandbox.Root() + "/missing", {}));
    std::ofstream(sandbox.Root() + "/plain") << "not a program";
    EXPECT_FALSE(os::ChildProcess::Start(sandbox.Root() + "/plain", {}));
    EXPECT_FALSE(os::ChildProcess::Start("", {}));
    EXPECT_FALSE(os::ChildProcess::Start("vanto-no-such-program-on-path", {}));
    ASSERT_TRUE(os::ChildProcess::Start("true", {}));  // a bare name is looked up on PATH
}

}  // namespace
