// Crashes a client-like child program in a sandbox and checks what the crash
// leaves behind: the crash file, the crash message, and the way the process ended.

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "support/Sandbox.h"

namespace {

const std::string kChild = std::string(VANTO_BINARY_DIR) + "/tests/crash-child";

using ChildResult = vtest::ProcessResult;

// Runs the child; the result keeps the raw wait status, which names the signal.
ChildResult RunChild(const std::string& mode) {
    return vtest::RunProcess({kChild, mode});
}

std::string Field(const std::string& report, const std::string& name) {
    std::smatch m;
    const std::regex line("(^|\n)" + name + ": ([^\n]*)");
    return std::regex_search(report, m, line) ? m[2].str() : std::string("<missing>");
}

class CrashProcess : public vtest::SandboxTest {
  protected:
    void SetUp() override {
        // Our handlers must see the faults, not the sanitizer's.
        sandbox.SetEnv("ASAN_OPTIONS",
                       "handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_sigill=0:"
                       "allow_user_segv_handler=1:detect_leaks=0");
        sandbox.SetEnv("VANTO_TEST_PROGRAM_FOLDER", std::string(VANTO_BIN_DIR));
    }
    std::string CrashFile() const { return sandbox.UserDataFolder() + "/Error.tmp"; }

    // The one crash message line on standard error; returns its code and address.
    static bool CrashMessage(const std::string& err, std::string* code, std::string* address) {
        const std::regex message("except: 程序发生异常崩溃\\( code:([0-9a-f]+) address:([0-9a-f]+) \\)\n");
        auto begin = std::sregex_iterator(err.begin(), err.end(), message);
        if (std::distance(begin, std::sregex_iterator()) != 1) {
            return false;
        }
        *code = (*begin)[1];
        *address = (*begin)[2];
        return true;
    }
};

TEST_F(CrashProcess, AFaultOnTheMainThreadWritesTheCrashFileShowsTheMessageAndDies) {
    // A stale crash file is replaced, not appended to.
    vtest::WriteFile(CrashFile(), "OLD REPORT\n");
    const ChildResult r = RunChild("segv");
    EXPECT_TRUE(r.Signalled(SIGSEGV)) << r.status << "\n" << r.err;

    std::string code, address;
    ASSERT_TRUE(CrashMessage(r.err, &code, &address)) << r.err;
    EXPECT_EQ(code, "c0000005");
    EXPECT_NE(address, "0");

    const std::string report = vtest::ReadFile(CrashFile());
    EXPECT_EQ(report.find("OLD REPORT"), std::string::npos);
    EXPECT_EQ(Field(report, "Signal"), "11 (SIGSEGV)");
    EXPECT_EQ(Field(report, "Exception code"), "c0000005");
    EXPECT_EQ(Field(report, "Address"), address);
    EXPECT_EQ(Field(report, "Parameter 1"), "0");  // the data address: null
    // The main thread's id is the process id.
    EXPECT_EQ(Field(report, "Thread"), Field(report, "Process"));
    EXPECT_NE(report.find("rip="), std::string::npos);
    EXPECT_NE(report.find("\nBack trace:\n"), std::string::npos);
    const std::size_t modules = report.find("\nModules:\n");
    ASSERT_NE(modules, std::string::npos);
    EXPECT_NE(report.find("crash-child", modules), std::string::npos);

    struct stat info {};
    ASSERT_EQ(stat(CrashFile().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(CrashProcess, AStackOverflowStillReachesTheCrashPath) {
    const ChildResult r = RunChild("stack-overflow");
    EXPECT_TRUE(r.Signalled(SIGSEGV)) << r.status << "\n" << r.err;
    std::string code, address;
    ASSERT_TRUE(CrashMessage(r.err, &code, &address)) << r.err;
    EXPECT_EQ(code, "c0000005");
    EXPECT_EQ(Field(vtest::ReadFile(CrashFile()), "Exception code"), "c0000005");
}

TEST_F(CrashProcess, UncaughtExceptionsTakeTheCrashPathWithTheCppCode) {
    for (const char* mode : {"throw-int", "pure-call"}) {
        std::filesystem::remove(CrashFile());
        const ChildResult r = RunChild(mode);
        EXPECT_TRUE(r.Signalled(SIGABRT)) << mode << " " << r.status << "\n" << r.err;
        std::string code, address;
        ASSERT_TRUE(CrashMessage(r.err, &code, &address)) << mode << "\n" << r.err;
        EXPECT_EQ(code, "e06d7363") << mode;
        const std::string report = vtest::ReadFile(CrashFile());
        EXPECT_EQ(Field(report, "Exception code"), "e06d7363") << mode;
        EXPECT_EQ(Field(report, "Signal"), "6 (SIGABRT)") << mode;
        // Both end as the integer 1: thrown directly, or by the pure-call handler.
        EXPECT_EQ(Field(report, "Detail"), "uncaught int 1") << mode;
    }
}

TEST_F(CrashProcess, AFaultOnAnUnguardedWorkerEndsTheProcessButAGuardedOneDoesNot) {
    ChildResult r = RunChild("worker-segv");
    EXPECT_TRUE(r.Signalled(SIGSEGV)) << r.status << "\n" << r.err;
    std::string report = vtest::ReadFile(CrashFile());
    EXPECT_EQ(Field(report, "Exception code"), "c0000005");
    EXPECT_NE(Field(report, "Thread"), Field(report, "Process"));

    r = RunChild("guarded-then-segv");
    EXPECT_EQ(r.out, "worker recovered\n");
    EXPECT_NE(r.err.find("Type=1 File=update.cpp Line=269 ExceptCode=c0000005 Address="), std::string::npos);
    EXPECT_TRUE(r.Signalled(SIGSEGV)) << r.status << "\n" << r.err;
    report = vtest::ReadFile(CrashFile());
    EXPECT_EQ(Field(report, "Thread"), Field(report, "Process"));
}

TEST_F(CrashProcess, AnUnwritableDataFolderStillShowsTheMessage) {
    // A file where the data folder should be: no user, root included, can write below it.
    vtest::WriteFile(sandbox.UserDataFolder(), "not a folder");
    const ChildResult r = RunChild("segv");
    EXPECT_TRUE(r.Signalled(SIGSEGV)) << r.status << "\n" << r.err;
    std::string code, address;
    ASSERT_TRUE(CrashMessage(r.err, &code, &address)) << r.err;
    EXPECT_EQ(code, "c0000005");
    EXPECT_EQ(vtest::ReadFile(sandbox.UserDataFolder()), "not a folder");
}

TEST_F(CrashProcess, TheMessageComesFromTheHelperWithTextAndCaption) {
    // A stand-in helper that records its arguments: the crashing process
    // starts the program beside it and waits for it to finish.
    const std::string folder = sandbox.ProgramDir();
    const std::string record = sandbox.Root() + "/helper-args";
    vtest::WriteFile(folder + "/vanto-crashbox", "#!/bin/sh\nprintf '%s|%s' \"$1\" \"$2\" > '" + record +
                                                     ".part'\nmv '" + record + ".part' '" + record + "'\n");
    chmod((folder + "/vanto-crashbox").c_str(), 0755);
    sandbox.SetEnv("VANTO_TEST_PROGRAM_FOLDER", folder);

    const ChildResult r = RunChild("segv");
    EXPECT_TRUE(r.Signalled(SIGSEGV));
    // Written before the crashing process ended: it waited for the helper.
    const std::string args = vtest::ReadFile(record);
    EXPECT_TRUE(std::regex_match(
        args, std::regex("程序发生异常崩溃\\( code:c0000005 address:[0-9a-f]+ \\)\\|except")))
        << args;
    // The helper showed it, so the process did not print it itself.
    EXPECT_EQ(r.err.find("except:"), std::string::npos) << r.err;

    // Without any helper the message still reaches standard error.
    std::filesystem::remove(folder + "/vanto-crashbox");
    const ChildResult bare = RunChild("segv");
    std::string code, address;
    EXPECT_TRUE(CrashMessage(bare.err, &code, &address)) << bare.err;
}

}  // namespace
