#pragma once
// Fault signals with the shape of Windows structured exceptions.
//
// The Windows design catches hardware faults two ways: a per-thread translator
// turns them into C++ exceptions inside guarded code, and a process-wide
// filter takes whatever nobody catches. Here signal handlers do both jobs:
// a fault (SIGSEGV, SIGBUS, SIGFPE, SIGILL) on a thread that is inside a
// guarded region jumps back to that region's start (sigsetjmp/siglongjmp on
// that thread only) with the Windows exception code and address; a fault
// anywhere else goes to the process-wide fatal handler, which runs on the
// faulting thread's alternate signal stack.
//
// Everything that runs inside the signal handler is async-signal-safe: no
// allocation, no locks, only system calls and fixed buffers. What the fatal
// path does next lives beside this: writing the report (CrashReport.h) and
// starting the helper that shows the crash message (CrashHelperStart.h).

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

#include "platform/os/WinTypes.h"

using ULONG_PTR = std::uintptr_t;
using PVOID = void*;

constexpr DWORD EXCEPTION_ACCESS_VIOLATION = 0xC0000005;
constexpr DWORD EXCEPTION_INT_DIVIDE_BY_ZERO = 0xC0000094;
constexpr DWORD EXCEPTION_ILLEGAL_INSTRUCTION = 0xC000001D;
constexpr DWORD EXCEPTION_FLT_INVALID_OPERATION = 0xC0000090;
// The code the C++ run-time raises for a thrown C++ exception.
constexpr DWORD EXCEPTION_CPP_EXCEPTION = 0xE06D7363;
constexpr DWORD EXCEPTION_MAXIMUM_PARAMETERS = 15;

// The Windows exception record, field for field.
struct EXCEPTION_RECORD {
    DWORD ExceptionCode;
    DWORD ExceptionFlags;
    EXCEPTION_RECORD* ExceptionRecord;
    PVOID ExceptionAddress;
    DWORD NumberParameters;
    ULONG_PTR ExceptionInformation[EXCEPTION_MAXIMUM_PARAMETERS];
};

namespace os {

// What Linux tells about the processor state at the fault: the general
// registers of the signal's ucontext (on x86-64 in the order of REG_R8 ...
// REG_CR2 of <sys/ucontext.h>). Only `count` entries are filled.
struct FaultContext {
    static constexpr std::size_t kMaxRegisters = 34;
    std::uintptr_t registers[kMaxRegisters];
    std::uint32_t count;
};

// One fault, as a signal handler saw it.
struct FaultInfo {
    int signal;      // SIGSEGV, SIGBUS, SIGFPE, SIGILL, or SIGABRT for the terminate path
    int signalCode;  // siginfo's si_code
    pid_t threadId;  // kernel thread id of the faulting thread
    EXCEPTION_RECORD record;
    FaultContext context;
    char detail[256];  // a text for the report ("uncaught: int 1"); empty for signals
};

// The Windows exception code for a fault signal: 0xC0000005 for SIGSEGV and
// SIGBUS, 0xC0000094 for an integer division by zero, 0xC000001D for SIGILL;
// other floating-point signals map to 0xC0000090.
DWORD ExceptionCodeForSignal(int signal, int signalCode);

// Called on the faulting thread, inside the signal handler, for a fault that
// no guarded region takes (and for the terminate path). Must be
// async-signal-safe. When it returns, the signal's default action ends the
// process so that the exit status names the signal.
using FatalFaultHandler = void (*)(const FaultInfo& fault);

// Installs the fault handlers (SA_SIGINFO | SA_ONSTACK) for SIGSEGV, SIGBUS,
// SIGFPE and SIGILL and gives the calling thread an alternate signal stack.
// Calling it again replaces the fatal handler. Returns false when a handler
// could not be installed.
bool InstallFaultSignalHandlers(FatalFaultHandler fatal);

// Installs the fault handlers once per process when nobody has yet, keeping
// the fatal handler (none: a fault outside a guarded region then takes the
// signal's default action). Guarded regions need them.
bool EnsureFaultSignalHandlers();

// Gives the calling thread an alternate signal stack (kept when the thread
// already has one), so that a stack overflow still reaches the handler. The
// stack is released when the thread ends. Returns false when none could be
// set up.
bool EnsureAltSignalStack();

// Runs body(arg) as a guarded region of the calling thread. Returns true when
// the body returned (or threw: the exception passes through unchanged).
// Returns false when the body faulted; `fault` then describes the fault. The
// body is left by a jump: destructors of its locals do not run, so guarded
// bodies should hold no locks or resources across code that may fault.
// Regions nest; the innermost one takes the fault. Installs the fault
// handlers first when nobody has (EnsureFaultSignalHandlers).
bool RunGuardedRegion(void (*body)(void*), void* arg, FaultInfo* fault);

// True while the calling thread is inside a guarded region.
bool InGuardedRegion();

// Fills a FaultInfo for the calling thread outside any signal (the terminate
// path): code, the given address, no registers.
void DescribeNonSignalFault(DWORD code, std::uintptr_t address, FaultInfo* fault);

// Enters the fatal path at most once per process. Returns true for the first
// caller. A second thread that faults while another one writes its report
// waits here until the process ends; a fault of the reporting thread itself
// returns false so that the caller ends the process at once.
bool ClaimFatalPath();

// Puts the signal's default action back and raises it again; the signal is
// delivered when the current handler returns (or at once outside a handler).
void RaiseWithDefaultAction(int signal);

}  // namespace os
