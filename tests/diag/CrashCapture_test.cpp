#include "diag/CrashCapture.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <new>
#include <regex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/os/DebugPrint.h"
#include "support/FaultTrigger.h"
#include "support/Sandbox.h"

namespace {

using vtest::DivideByZero;
using vtest::WriteThroughNull;

// Collects the debugger output for one test.
class DebugLines {
  public:
    DebugLines() {
        os::SetDebugSink([this](const std::string& line) {
            std::lock_guard lock(m_mutex);
            m_lines.push_back(line);
        });
    }
    ~DebugLines() { os::SetDebugSink({}); }
    std::vector<std::string> Lines() {
        std::lock_guard lock(m_mutex);
        return m_lines;
    }

  private:
    std::mutex m_mutex;
    std::vector<std::string> m_lines;
};

// Runs a guarded worker body on its own thread, as the update worker does.
void RunOnWorker(const std::function<void()>& work) {
    std::thread worker(work);
    worker.join();
}

const std::regex kSehLine(R"(Type=1 File=update\.cpp Line=269 ExceptCode=([0-9a-f]+) Address=([0-9a-f]+))");

}  // namespace

TEST(GuardedWorkerBody, FaultsOnTheWorkerAreTracedWithType1AndTheProcessGoesOn) {
    DebugLines debug;
    RunOnWorker([] { RunGuardedWorkerBody("/src/update/update.cpp", 269, 270, [] { WriteThroughNull(); }); });
    RunOnWorker([] { RunGuardedWorkerBody("/src/update/update.cpp", 269, 270, [] { DivideByZero(); }); });
    // The same thread recovers twice in a row: the guard and the signal mask are restored.
    RunOnWorker([] {
        for (int i = 0; i < 2; ++i) {
            RunGuardedWorkerBody("update.cpp", 269, 270, [] { WriteThroughNull(); });
        }
    });

    const auto lines = debug.Lines();
    ASSERT_EQ(lines.size(), 4u);
    const char* codes[] = {"c0000005", "c0000094", "c0000005", "c0000005"};
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(lines[i], m, kSehLine)) << lines[i];
        EXPECT_EQ(m[1], codes[i]);
        EXPECT_NE(m[2], "0");
    }
    // Still alive, and a later clean body traces nothing.
    RunOnWorker([] { RunGuardedWorkerBody("update.cpp", 269, 270, [] {}); });
    EXPECT_EQ(debug.Lines().size(), 4u);
}

TEST(GuardedWorkerBody, OtherExceptionsAreTracedWithType5) {
    DebugLines debug;
    RunOnWorker([] {
        RunGuardedWorkerBody("src/update/update.cpp", 269, 270, [] { throw std::runtime_error("boom"); });
        RunGuardedWorkerBody("src/update/update.cpp", 269, 270, [] { throw 1; });
        // The manual check has only the catch-all handler: a fault is type 5 as well.
        RunGuardedWorkerBody("src/update/update.cpp", 436, [] { WriteThroughNull(); });
        RunGuardedWorkerBody("src/update/update.cpp", 436, [] { throw 7; });
    });
    const std::vector<std::string> expected = {
        "Type=5 File=update.cpp Line=270", "Type=5 File=update.cpp Line=270",
        "Type=5 File=update.cpp Line=436", "Type=5 File=update.cpp Line=436"};
    EXPECT_EQ(debug.Lines(), expected);
}

TEST(SehTranslator, ThrowsARecordOfTheFault) {
    RunOnWorker([] {
        InstallSehTranslator();
        try {
            RunWithSehTranslator([] { WriteThroughNull(); });
            ADD_FAILURE() << "no exception";
        } catch (const CSEHException& e) {
            EXPECT_EQ(e.Code(), EXCEPTION_ACCESS_VIOLATION);
            EXPECT_EQ(e.Record().ExceptionCode, EXCEPTION_ACCESS_VIOLATION);
            EXPECT_NE(e.Address(), 0u);
            // Windows' access-violation parameters: write flag, then the data address.
            ASSERT_EQ(e.Record().NumberParameters, 2u);
            EXPECT_EQ(e.Record().ExceptionInformation[1], 0u);
#if defined(__x86_64__)
            EXPECT_EQ(e.Record().ExceptionInformation[0], 1u);
            ASSERT_GT(e.Context().count, 16u);
            EXPECT_EQ(e.Context().registers[16], e.Address());  // the instruction pointer
#endif
        }
        EXPECT_FALSE(os::InGuardedRegion());
    });
}

TEST(SehTranslator, NestedRegionsAndPassingExceptions) {
    RunOnWorker([] {
        int innerFaults = 0;
        bool outerFinished = false;
        try {
            RunWithSehTranslator([&] {
                try {
                    RunWithSehTranslator([] { DivideByZero(); });
                } catch (const CSEHException& e) {
                    EXPECT_EQ(e.Code(), EXCEPTION_INT_DIVIDE_BY_ZERO);
                    ++innerFaults;
                }
                EXPECT_TRUE(os::InGuardedRegion());
                // The outer region still takes a fault after the inner one was left.
                WriteThroughNull();
            });
        } catch (const CSEHException& e) {
            EXPECT_EQ(e.Code(), EXCEPTION_ACCESS_VIOLATION);
            outerFinished = true;
        }
        EXPECT_EQ(innerFaults, 1);
        EXPECT_TRUE(outerFinished);
        EXPECT_FALSE(os::InGuardedRegion());

        // A C++ exception leaves the region unchanged and closes it.
        EXPECT_THROW(RunWithSehTranslator([] { throw std::logic_error("x"); }), std::logic_error);
        EXPECT_FALSE(os::InGuardedRegion());
    });
}

TEST(ExceptionCodes, SignalsMapToTheWindowsCodes) {
    EXPECT_EQ(os::ExceptionCodeForSignal(SIGSEGV, SEGV_MAPERR), 0xC0000005u);
    EXPECT_EQ(os::ExceptionCodeForSignal(SIGBUS, BUS_ADRERR), 0xC0000005u);
    EXPECT_EQ(os::ExceptionCodeForSignal(SIGFPE, FPE_INTDIV), 0xC0000094u);
    EXPECT_EQ(os::ExceptionCodeForSignal(SIGILL, ILL_ILLOPN), 0xC000001Du);
    EXPECT_EQ(FormatCrashMessage(0xC0000005, 0x401a2b), "程序发生异常崩溃( code:c0000005 address:401a2b )");
    EXPECT_EQ(FormatCrashMessage(EXCEPTION_CPP_EXCEPTION, 0), "程序发生异常崩溃( code:e06d7363 address:0 )");
}

TEST(CrashHandlers, PureCallAndFailedAllocationThrowTheInteger1) {
    vtest::Sandbox sandbox;
    InstallCrashHandlers();
    int caught = 0;
    try {
        vtest::CallPureVirtualDuringConstruction();
    } catch (int value) {
        caught = value;
    }
    EXPECT_EQ(caught, 1);

    std::new_handler handler = std::get_new_handler();
    ASSERT_NE(handler, nullptr);
    EXPECT_THROW(handler(), int);
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    // The sanitizers' allocators end the process on such a request instead of
    // calling the new-handler, so the real allocation runs only without them.
    volatile std::size_t huge = std::size_t(1) << 62;
    EXPECT_THROW(::operator delete(::operator new(huge)), int);
    // The nothrow form still answers null: the handler's integer stops inside it.
    EXPECT_EQ(::operator new(huge, std::nothrow), nullptr);
#endif
}

class CrashFileRule : public vtest::SandboxTest {};

TEST_F(CrashFileRule, OnlyFilesOf1ByteTo2MiBArePending) {
    const std::string path = CrashFilePath();
    EXPECT_EQ(path, sandbox.UserDataFolder() + "/Error.tmp");
    EXPECT_EQ(PendingCrashFile(), std::nullopt);  // missing

    struct Case {
        std::size_t size;
        bool uploadable;
    } cases[] = {{0, false}, {1, true}, {2097152, true}, {2097153, false}};
    for (const Case& c : cases) {
        vtest::WriteFile(path, std::string(c.size, 'x'));
        EXPECT_EQ(IsUploadableCrashFile(path), c.uploadable) << c.size;
        EXPECT_EQ(PendingCrashFile().has_value(), c.uploadable) << c.size;
        // Never deleted here, whatever the size.
        EXPECT_TRUE(vtest::Exists(path));
    }
    std::filesystem::remove(path);
    std::filesystem::create_directories(path);
    EXPECT_FALSE(IsUploadableCrashFile(path));  // a folder of that name is no crash file
}

TEST_F(CrashFileRule, ALinkPlantedAtTheCrashFileIsNeverPending) {
    // Whatever the link points to, a file the size rule would take or one it
    // would refuse, it is not the file the crash handler wrote.
    const std::string path = CrashFilePath();
    const std::string other = sandbox.Root() + "/private.txt";
    std::filesystem::create_directories(sandbox.UserDataFolder());
    for (const std::size_t size : {std::size_t{1}, std::size_t{4096}, std::size_t{3} << 20}) {
        vtest::WriteFile(other, std::string(size, 's'));
        std::filesystem::remove(path);
        std::filesystem::create_symlink(other, path);
        EXPECT_FALSE(IsUploadableCrashFile(path)) << size;
        EXPECT_EQ(PendingCrashFile(), std::nullopt) << size;
        EXPECT_EQ(std::filesystem::file_size(other), size);
    }
}
