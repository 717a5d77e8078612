// crash-child <mode>: installs the crash handlers the way the client's entry
// point does, then fails. VANTO_TEST_PROGRAM_FOLDER names the folder that
// holds the crash message helper (the program itself lives in the test tree).

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <thread>

#include "diag/CrashCapture.h"
#include "platform/os/Paths.h"
#include "support/FaultTrigger.h"

namespace {

// Recurses until the stack is gone; the crash path must still run (on the
// thread's alternate signal stack).
__attribute__((noinline)) int Recurse(int depth) {
    volatile char frame[512];
    frame[0] = static_cast<char>(depth);
    if (depth == INT_MAX) {
        return 0;  // never reached; keeps the recursion formally finite
    }
    return Recurse(depth + 1) + frame[0];
}

__attribute__((noinline)) void ThrowInteger() {
    throw 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (const char* folder = std::getenv("VANTO_TEST_PROGRAM_FOLDER")) {
        os::OverrideProgramFolder(folder);
    }
    InstallCrashHandlers();
    const char* mode = argc > 1 ? argv[1] : "";
    if (std::strcmp(mode, "segv") == 0) {
        vtest::WriteThroughNull();
    } else if (std::strcmp(mode, "stack-overflow") == 0) {
        return Recurse(0);
    } else if (std::strcmp(mode, "throw-int") == 0) {
        ThrowInteger();
    } else if (std::strcmp(mode, "pure-call") == 0) {
        vtest::CallPureVirtualDuringConstruction();
    } else if (std::strcmp(mode, "worker-segv") == 0) {
        // A worker outside any guarded body: the whole process goes.
        std::thread worker([] { vtest::WriteThroughNull(); });
        worker.join();
    } else if (std::strcmp(mode, "guarded-then-segv") == 0) {
        // A guarded worker recovers; a later fault on the main thread still crashes.
        std::thread worker(
            [] { RunGuardedWorkerBody("update.cpp", 269, 270, [] { vtest::WriteThroughNull(); }); });
        worker.join();
        std::fputs("worker recovered\n", stdout);
        std::fflush(stdout);
        vtest::WriteThroughNull();
    } else if (std::strcmp(mode, "exit") == 0) {
        return 0;
    }
    return 3;  // the failure did not end the process
}
