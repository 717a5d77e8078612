#include "diag/CrashCapture.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>

#include "platform/os/CrashHelperStart.h"
#include "platform/os/CrashReport.h"
#include "platform/os/DebugPrint.h"
#include "platform/os/FileIo.h"
#include "platform/os/Paths.h"

namespace {

// Fixed at installation so that the crash handler needs no allocation.
char g_crashFilePath[1024];
char g_crashBoxPath[1024];
std::atomic<bool> g_pureCallThrows{false};

constexpr const char* kCrashCaption = "except";

void CopyPath(char (&target)[1024], const std::string& path) {
    const std::size_t n = std::min(path.size(), sizeof target - 1);
    std::memcpy(target, path.data(), n);
    target[n] = '\0';
}

void AppendCrashMessage(os::SafeText& t, DWORD code, std::uintptr_t address) {
    os::SafeAppend(t, "程序发生异常崩溃( code:");
    os::SafeAppendHex(t, code);
    os::SafeAppend(t, " address:");
    os::SafeAppendHex(t, address);
    os::SafeAppend(t, " )");
}

// Shows the crash message from the helper program and waits until it is
// answered. Without the helper the message goes to standard error in the
// form the headless message box uses. Async-signal-safe.
void ShowCrashMessage(DWORD code, std::uintptr_t address) {
    static os::SafeText message;
    os::SafeClear(message);
    AppendCrashMessage(message, code, address);
    char caption[] = "except";
    char* argv[] = {g_crashBoxPath, message.text, caption, nullptr};
    const int status = g_crashBoxPath[0] != '\0' ? os::SpawnAndWait(g_crashBoxPath, argv) : -1;
    if (status < 0 || (WIFEXITED(status) && WEXITSTATUS(status) == 127)) {
        static os::SafeText line;
        os::SafeClear(line);
        os::SafeAppend(line, kCrashCaption);
        os::SafeAppend(line, ": ");
        os::SafeAppend(line, message.text);
        os::SafeAppend(line, "\n");
        os::SafeWrite(STDERR_FILENO, line);
    }
}

// The process-wide handler for what nothing else takes: the crash file, then
// the message; the caller ends the process. Runs inside a signal handler.
void OnFatalFault(const os::FaultInfo& fault) {
    if (g_crashFilePath[0] != '\0') {
        const int fd = os::OpenCrashFile(g_crashFilePath);
        if (fd >= 0) {
            os::WriteCrashReport(fd, fault);
            close(fd);
        }
    }
    ShowCrashMessage(fault.record.ExceptionCode,
                     reinterpret_cast<std::uintptr_t>(fault.record.ExceptionAddress));
}

// Names the exception being handled, for the report. Not in a signal
// handler: the terminate handler may allocate.
void DescribeCurrentException(char* out, std::size_t size) {
    std::string text = "none";
    if (std::exception_ptr current = std::current_exception()) {
        try {
            std::rethrow_exception(current);
        } catch (const std::exception& e) {
            text = std::string("uncaught std::exception: ") + e.what();
        } catch (int value) {
            text = "uncaught int " + std::to_string(value);
        } catch (...) {
            text = "uncaught exception of another type";
        }
    }
    std::snprintf(out, size, "%s", text.c_str());
}

// An exception nobody caught (the integer 1 of the handlers included) takes
// the crash path with the code of a C++ exception.
[[noreturn]] void OnTerminate() {
    if (os::ClaimFatalPath()) {
        os::FaultInfo fault;
        os::DescribeNonSignalFault(EXCEPTION_CPP_EXCEPTION,
                                   reinterpret_cast<std::uintptr_t>(__builtin_return_address(0)), &fault);
        DescribeCurrentException(fault.detail, sizeof fault.detail);
        OnFatalFault(fault);
    }
    os::RaiseWithDefaultAction(SIGABRT);
    _exit(128 + SIGABRT);
}

void ThrowOnFailedAllocation() {
    throw 1;
}

std::string TracedFileName(std::string_view fileName) {
    return std::string(os::FileNamePart(fileName));
}

}  // namespace

// The C++ run-time calls this for a call of a pure virtual function (a call
// through a half-built or half-destroyed object). Once the handlers are
// installed it throws the integer 1 like the other handlers; before that it
// behaves as the run-time's own: a message and terminate.
extern "C" void __cxa_pure_virtual() {  // NOLINT(bugprone-reserved-identifier): the run-time's own entry
    if (g_pureCallThrows.load()) {
        throw 1;
    }
    static const char kText[] = "pure virtual method called\n";
    os::SafeWrite(STDERR_FILENO, kText, sizeof kText - 1);
    std::terminate();
}

void InstallSehTranslator() {
    os::EnsureFaultSignalHandlers();
}

void InstallCrashHandlers() {
    InstallSehTranslator();
    // The C library of Linux has no invalid-parameter hook: nothing to install.
    g_pureCallThrows.store(true);
    std::set_new_handler(ThrowOnFailedAllocation);
    CopyPath(g_crashFilePath, CrashFilePath());
    CopyPath(g_crashBoxPath, os::PathJoin(os::GetProgramFolder(), kCrashBoxProgram));
    os::InstallFaultSignalHandlers(OnFatalFault);
    std::set_terminate(OnTerminate);
}

void RunGuardedWorkerBody(std::string_view fileName, int lineSeh, int lineAny,
                          const std::function<void()>& body) {
    InstallSehTranslator();
    try {
        RunWithSehTranslator(body);
    } catch (const CSEHException& e) {
        DebugPrint("Type=%d File=%s Line=%d ExceptCode=%x Address=%" PRIxPTR, 1,
                   TracedFileName(fileName).c_str(), lineSeh, e.Code(), e.Address());
    } catch (...) {
        DebugPrint("Type=%d File=%s Line=%d", 5, TracedFileName(fileName).c_str(), lineAny);
    }
}

void RunGuardedWorkerBody(std::string_view fileName, int lineAny, const std::function<void()>& body) {
    InstallSehTranslator();
    try {
        RunWithSehTranslator(body);
    } catch (...) {
        DebugPrint("Type=%d File=%s Line=%d", 5, TracedFileName(fileName).c_str(), lineAny);
    }
}

std::string FormatCrashMessage(DWORD code, std::uintptr_t address) {
    os::SafeText t;
    os::SafeClear(t);
    AppendCrashMessage(t, code, address);
    return std::string(t.text, t.length);
}

std::string CrashFilePath() {
    return os::PathJoin(os::GetUserDataFolder(), kCrashFileName);
}

bool IsUploadableCrashFile(const std::string& path) {
    // Only the file the crash handler wrote: a link planted at the name is
    // not followed, whatever it points to.
    const os::UniqueFd file = os::OpenRegularFile(path, O_NOFOLLOW);
    struct stat info {};
    if (!file || fstat(file.Get(), &info) != 0) {
        return false;
    }
    const auto size = static_cast<std::uintmax_t>(info.st_size);
    return size >= 1 && size <= kMaxUploadableCrashFile;
}

std::optional<std::string> PendingCrashFile() {
    std::string path = CrashFilePath();
    if (!IsUploadableCrashFile(path)) {
        return std::nullopt;
    }
    return path;
}
