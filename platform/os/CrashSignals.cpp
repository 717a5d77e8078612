#include "platform/os/CrashSignals.h"

#include <errno.h>
#include <execinfo.h>
#include <setjmp.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>

namespace os {
namespace {

constexpr int kFaultSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL};

// One guarded region of a thread; regions nest through `outer`.
struct GuardFrame {
    sigjmp_buf jump;
    FaultInfo* fault;
    GuardFrame* outer;
};

// Read by the signal handler: initial-exec TLS never allocates on access.
thread_local GuardFrame* t_guard __attribute__((tls_model("initial-exec"))) = nullptr;

std::atomic<FatalFaultHandler> g_fatal{nullptr};
std::atomic<bool> g_handlersInstalled{false};
std::atomic<pid_t> g_fatalThread{0};

pid_t CurrentThreadId() {
    return static_cast<pid_t>(syscall(SYS_gettid));
}

// The alternate signal stack of one thread, released when the thread ends.
class AltStack {
  public:
    AltStack() = default;
    AltStack(const AltStack&) = delete;
    AltStack& operator=(const AltStack&) = delete;
    ~AltStack() {
        if (m_memory == nullptr) {
            return;
        }
        stack_t current{};
        // Only switch it off when it is still ours (a later owner may have replaced it).
        if (sigaltstack(nullptr, &current) == 0 && current.ss_sp == m_memory) {
            stack_t off{};
            off.ss_flags = SS_DISABLE;
            sigaltstack(&off, nullptr);
        }
        munmap(m_memory, m_size);
    }

    bool Ensure() {
        if (m_ready) {
            return true;
        }
        m_ready = Install();
        return m_ready;
    }

  private:
    bool Install() {
        stack_t current{};
        if (sigaltstack(nullptr, &current) != 0) {
            return false;
        }
        if ((current.ss_flags & SS_DISABLE) == 0) {
            return true;  // this thread has one already (ours, or the sanitizer's)
        }
        const long minimum = sysconf(_SC_SIGSTKSZ);
        m_size = std::max<std::size_t>(128 * 1024, minimum > 0 ? static_cast<std::size_t>(minimum) * 4 : 0);
        void* memory = mmap(nullptr, m_size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (memory == MAP_FAILED) {
            return false;
        }
        stack_t stack{};
        stack.ss_sp = memory;
        stack.ss_size = m_size;
        if (sigaltstack(&stack, nullptr) != 0) {
            munmap(memory, m_size);
            return false;
        }
        m_memory = memory;
        return true;
    }

    void* m_memory = nullptr;
    std::size_t m_size = 0;
    bool m_ready = false;
};

thread_local AltStack t_altStack;

void FillContext(const ucontext_t* uc, FaultContext* context) {
    context->count = 0;
    if (uc == nullptr) {
        return;
    }
#if defined(__x86_64__)
    for (int i = 0; i < NGREG && context->count < FaultContext::kMaxRegisters; ++i) {
        context->registers[context->count++] = static_cast<std::uintptr_t>(uc->uc_mcontext.gregs[i]);
    }
#elif defined(__aarch64__)
    for (int i = 0; i < 31; ++i) {
        context->registers[context->count++] = uc->uc_mcontext.regs[i];
    }
    context->registers[context->count++] = uc->uc_mcontext.sp;
    context->registers[context->count++] = uc->uc_mcontext.pc;
    context->registers[context->count++] = uc->uc_mcontext.pstate;
#endif
}

std::uintptr_t InstructionAddress(const siginfo_t* info, const ucontext_t* uc) {
#if defined(__x86_64__)
    if (uc != nullptr) {
        return static_cast<std::uintptr_t>(uc->uc_mcontext.gregs[REG_RIP]);
    }
#elif defined(__aarch64__)
    if (uc != nullptr) {
        return uc->uc_mcontext.pc;
    }
#endif
    return reinterpret_cast<std::uintptr_t>(info->si_addr);
}

void DescribeSignal(int sig, const siginfo_t* info, const ucontext_t* uc, FaultInfo* fault) {
    std::memset(fault, 0, sizeof *fault);
    fault->signal = sig;
    fault->signalCode = info->si_code;
    fault->threadId = CurrentThreadId();
    EXCEPTION_RECORD& record = fault->record;
    record.ExceptionCode = ExceptionCodeForSignal(sig, info->si_code);
    // The record holds the address as a pointer.
    record.ExceptionAddress =
        reinterpret_cast<PVOID>(InstructionAddress(info, uc));  // NOLINT(performance-no-int-to-ptr)
    if (record.ExceptionCode == EXCEPTION_ACCESS_VIOLATION) {
        // As on Windows: [0] 0 for a read, 1 for a write; [1] the data address.
        ULONG_PTR isWrite = 0;
#if defined(__x86_64__)
        if (uc != nullptr && sig == SIGSEGV) {
            isWrite = (uc->uc_mcontext.gregs[REG_ERR] & 0x2) != 0 ? 1 : 0;
        }
#endif
        record.NumberParameters = 2;
        record.ExceptionInformation[0] = isWrite;
        record.ExceptionInformation[1] = reinterpret_cast<ULONG_PTR>(info->si_addr);
    }
    FillContext(uc, &fault->context);
}

void FaultHandler(int sig, siginfo_t* info, void* rawContext) {
    const int savedErrno = errno;
    auto* uc = static_cast<ucontext_t*>(rawContext);
    // Only a fault the kernel raised (si_code > 0) is translated; a fault
    // signal sent by kill() is nothing a guarded body could recover from.
    GuardFrame* guard = t_guard;
    if (guard != nullptr && info != nullptr && info->si_code > 0) {
        DescribeSignal(sig, info, uc, guard->fault);
        siglongjmp(guard->jump, 1);
    }
    if (ClaimFatalPath()) {
        FaultInfo fault;
        if (info != nullptr) {
            DescribeSignal(sig, info, uc, &fault);
        } else {
            DescribeNonSignalFault(ExceptionCodeForSignal(sig, 0), 0, &fault);
            fault.signal = sig;
        }
        if (FatalFaultHandler fatal = g_fatal.load()) {
            fatal(fault);
        }
    }
    RaiseWithDefaultAction(sig);
    errno = savedErrno;
}

}  // namespace

DWORD ExceptionCodeForSignal(int signal, int signalCode) {
    switch (signal) {
        case SIGSEGV:
        case SIGBUS:
            return EXCEPTION_ACCESS_VIOLATION;
        case SIGILL:
            return EXCEPTION_ILLEGAL_INSTRUCTION;
        case SIGFPE:
            switch (signalCode) {
                case FPE_INTDIV:
                    return EXCEPTION_INT_DIVIDE_BY_ZERO;
                case FPE_INTOVF:
                    return 0xC0000095;  // EXCEPTION_INT_OVERFLOW
                case FPE_FLTDIV:
                    return 0xC000008E;  // EXCEPTION_FLT_DIVIDE_BY_ZERO
                case FPE_FLTOVF:
                    return 0xC0000091;  // EXCEPTION_FLT_OVERFLOW
                case FPE_FLTUND:
                    return 0xC0000093;  // EXCEPTION_FLT_UNDERFLOW
                case FPE_FLTRES:
                    return 0xC000008F;  // EXCEPTION_FLT_INEXACT_RESULT
                default:
                    return EXCEPTION_FLT_INVALID_OPERATION;
            }
        default:
            return EXCEPTION_CPP_EXCEPTION;
    }
}

bool EnsureAltSignalStack() {
    return t_altStack.Ensure();
}

bool InstallFaultSignalHandlers(FatalFaultHandler fatal) {
    g_fatal.store(fatal);
    g_handlersInstalled.store(true);
    // The first back trace loads the unwinder, which allocates; do it now, not
    // inside a signal handler.
    void* frames[2];
    backtrace(frames, 2);
    bool ok = EnsureAltSignalStack();
    for (const int sig : kFaultSignals) {
        struct sigaction action {};
        action.sa_sigaction = FaultHandler;
        action.sa_flags = SA_SIGINFO | SA_ONSTACK;
        sigemptyset(&action.sa_mask);
        ok = sigaction(sig, &action, nullptr) == 0 && ok;
    }
    return ok;
}

bool EnsureFaultSignalHandlers() {
    if (g_handlersInstalled.load()) {
        return EnsureAltSignalStack();
    }
    return InstallFaultSignalHandlers(g_fatal.load());
}

bool RunGuardedRegion(void (*body)(void*), void* arg, FaultInfo* fault) {
    // Without the handlers a fault would never come back here.
    EnsureFaultSignalHandlers();
    GuardFrame frame;
    frame.fault = fault;
    frame.outer = t_guard;
    // Leaves the region on every way out: return, exception, or the jump back.
    struct Restore {
        GuardFrame* outer;
        ~Restore() { t_guard = outer; }
    } restore{frame.outer};
    if (sigsetjmp(frame.jump, 1) != 0) {
        return false;
    }
    t_guard = &frame;
    body(arg);
    return true;
}

bool InGuardedRegion() {
    return t_guard != nullptr;
}

void DescribeNonSignalFault(DWORD code, std::uintptr_t address, FaultInfo* fault) {
    std::memset(fault, 0, sizeof *fault);
    fault->signal = SIGABRT;
    fault->threadId = CurrentThreadId();
    fault->record.ExceptionCode = code;
    fault->record.ExceptionAddress = reinterpret_cast<PVOID>(address);  // NOLINT(performance-no-int-to-ptr)
}

bool ClaimFatalPath() {
    const pid_t self = CurrentThreadId();
    pid_t expected = 0;
    if (g_fatalThread.compare_exchange_strong(expected, self)) {
        return true;
    }
    if (expected == self) {
        return false;  // the fatal path itself failed: end without a second report
    }
    for (;;) {
        pause();  // the first crashing thread ends the process
    }
}

void RaiseWithDefaultAction(int signal) {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
    raise(signal);
}

}  // namespace os
