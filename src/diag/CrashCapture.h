#pragma once
// Crash capture: every run-time failure ends either in a guarded worker body,
// which catches it and traces it to the debugger output, or in the
// process-wide crash handler, which writes "Error.tmp" in the per-user data
// folder, shows the crash message and ends the process.
//
// This lives in diag rather than app so that workers below the entry point
// (the update worker) can run their bodies guarded.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

#include "platform/os/CrashSignals.h"

// A hardware fault turned into a C++ exception by the translator. A plain
// class: no base, no virtual operations; thrown by value, caught by reference.
class CSEHException {
  public:
    explicit CSEHException(const os::FaultInfo& fault)
        : m_code(fault.record.ExceptionCode), m_record(fault.record), m_context(fault.context) {}

    DWORD Code() const { return m_code; }
    const EXCEPTION_RECORD& Record() const { return m_record; }
    const os::FaultContext& Context() const { return m_context; }
    std::uintptr_t Address() const { return reinterpret_cast<std::uintptr_t>(m_record.ExceptionAddress); }

  private:
    DWORD m_code;
    EXCEPTION_RECORD m_record;
    os::FaultContext m_context;
};

// The crash file's name in the per-user data folder, and the largest crash
// file that is ever uploaded.
inline constexpr const char* kCrashFileName = "Error.tmp";
inline constexpr std::uintmax_t kMaxUploadableCrashFile = 2097152;
// The helper program beside the executable that shows the crash message.
inline constexpr const char* kCrashBoxProgram = "vanto-crashbox";

// Installs the process-wide handlers, on the main thread at start-up, in
// this order: the fault translator for the calling thread; the
// invalid-parameter handler (the C library on Linux has no such hook:
// nothing to install); the pure-virtual-call handler (a pure virtual call
// throws the integer 1); the new-handler (a failed new throws the integer
// 1; a failed malloc still returns null, Linux has no hook that routes it to
// the new-handler); the crash handler for faults no guarded body takes and
// the terminate handler for exceptions nobody catches. The crash file path
// and the helper's path are fixed here, from the environment of this moment.
void InstallCrashHandlers();

// Prepares the calling thread for the translator (its alternate signal stack).
// Each guarded worker body calls it at its start.
void InstallSehTranslator();

// Runs `body`; a fault (access violation, division by zero, illegal
// instruction) inside it on this thread is thrown as CSEHException from here.
// Other exceptions pass unchanged. Locals of the body are not destroyed when
// a fault leaves it.
template <class Body>
void RunWithSehTranslator(Body&& body) {
    using BodyType = std::remove_reference_t<Body>;
    os::FaultInfo fault;
    auto trampoline = [](void* p) { (*static_cast<BodyType*>(p))(); };
    if (!os::RunGuardedRegion(trampoline, const_cast<std::remove_const_t<BodyType>*>(std::addressof(body)),
                              &fault)) {
        throw CSEHException(fault);
    }
}

// A guarded worker body: installs the translator and runs `body`. A fault is
// traced as "Type=1 File=<name> Line=<lineSeh> ExceptCode=<code> Address=<address>",
// any other exception as "Type=5 File=<name> Line=<lineAny>"; then it returns
// normally. `fileName` may be a path (__FILE__): only its last part is traced.
void RunGuardedWorkerBody(std::string_view fileName, int lineSeh, int lineAny,
                          const std::function<void()>& body);

// The same with a catch-all handler only: a fault is traced with type 5 too.
void RunGuardedWorkerBody(std::string_view fileName, int lineAny, const std::function<void()>& body);

// The crash message for a code and an address (lower-case hexadecimal).
std::string FormatCrashMessage(DWORD code, std::uintptr_t address);

// Per-user data folder + "Error.tmp".
std::string CrashFilePath();

// True when `path` is a regular file of 1 to 2097152 bytes, not reached
// through a symbolic link at `path` itself.
bool IsUploadableCrashFile(const std::string& path);

// The crash file's path when it exists and may be uploaded; a file that is
// empty or larger than 2 MiB is left alone (the next crash replaces it).
std::optional<std::string> PendingCrashFile();
