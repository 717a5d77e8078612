#include "platform/os/CrashSignals.h"

#include <errno.h>
#include <execinfo.h>
#include <fcntl.h>
#include <setjmp.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
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

const char* SignalName(int sig) {
    switch (sig) {
        case SIGSEGV:
            return "SIGSEGV";
        case SIGBUS:
            return "SIGBUS";
        case SIGFPE:
            return "SIGFPE";
        case SIGILL:
            return "SIGILL";
        case SIGABRT:
            return "SIGABRT";
        default:
            return "signal";
    }
}

#if defined(__x86_64__)
constexpr const char* kRegisterNames[] = {"r8",  "r9",  "r10",    "r11", "r12",    "r13",     "r14", "r15",
                                          "rdi", "rsi", "rbp",    "rbx", "rdx",    "rax",     "rcx", "rsp",
                                          "rip", "efl", "csgsfs", "err", "trapno", "oldmask", "cr2"};
#endif

void AppendRegisterName(SafeText& t, std::uint32_t index) {
#if defined(__x86_64__)
    if (index < sizeof kRegisterNames / sizeof kRegisterNames[0]) {
        SafeAppend(t, kRegisterNames[index]);
        return;
    }
#endif
    SafeAppend(t, "r");
    SafeAppendDecimal(t, index);
}

void CopyFile(const char* path, int fd) {
    const int in = open(path, O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        return;
    }
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0 || !SafeWrite(fd, buffer, static_cast<std::size_t>(n))) {
            break;
        }
    }
    close(in);
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

void SafeClear(SafeText& t) {
    t.length = 0;
    t.text[0] = '\0';
}

void SafeAppend(SafeText& t, const char* s) {
    while (s != nullptr && *s != '\0' && t.length + 1 < sizeof t.text) {
        t.text[t.length++] = *s++;
    }
    t.text[t.length] = '\0';
}

void SafeAppendHex(SafeText& t, std::uintptr_t value) {
    char digits[2 * sizeof value + 1];
    std::size_t n = 0;
    do {
        digits[n++] = "0123456789abcdef"[value & 0xF];
        value >>= 4;
    } while (value != 0);
    char out[sizeof digits];
    for (std::size_t i = 0; i < n; ++i) {
        out[i] = digits[n - 1 - i];
    }
    out[n] = '\0';
    SafeAppend(t, out);
}

void SafeAppendDecimal(SafeText& t, long long value) {
    char digits[24];
    std::size_t n = 0;
    const bool negative = value < 0;
    unsigned long long magnitude =
        negative ? 0ULL - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
    do {
        digits[n++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    char out[sizeof digits + 2];
    std::size_t k = 0;
    if (negative) {
        out[k++] = '-';
    }
    for (std::size_t i = 0; i < n; ++i) {
        out[k++] = digits[n - 1 - i];
    }
    out[k] = '\0';
    SafeAppend(t, out);
}

bool SafeWrite(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool SafeWrite(int fd, const SafeText& t) {
    return SafeWrite(fd, t.text, t.length);
}

void WriteCrashReport(int fd, const FaultInfo& fault) {
    SafeText t;
    SafeClear(t);
    SafeAppend(t, "Vanto crash report\nSignal: ");
    SafeAppendDecimal(t, fault.signal);
    SafeAppend(t, " (");
    SafeAppend(t, SignalName(fault.signal));
    SafeAppend(t, ")\nSignal code: ");
    SafeAppendDecimal(t, fault.signalCode);
    SafeAppend(t, "\nException code: ");
    SafeAppendHex(t, fault.record.ExceptionCode);
    SafeAppend(t, "\nAddress: ");
    SafeAppendHex(t, reinterpret_cast<std::uintptr_t>(fault.record.ExceptionAddress));
    for (DWORD i = 0; i < fault.record.NumberParameters && i < EXCEPTION_MAXIMUM_PARAMETERS; ++i) {
        SafeAppend(t, "\nParameter ");
        SafeAppendDecimal(t, i);
        SafeAppend(t, ": ");
        SafeAppendHex(t, fault.record.ExceptionInformation[i]);
    }
    if (fault.detail[0] != '\0') {
        SafeAppend(t, "\nDetail: ");
        SafeAppend(t, fault.detail);
    }
    SafeAppend(t, "\nProcess: ");
    SafeAppendDecimal(t, getpid());
    SafeAppend(t, "\nThread: ");
    SafeAppendDecimal(t, fault.threadId);
    SafeAppend(t, "\n");
    SafeWrite(fd, t);

    if (fault.context.count > 0) {
        SafeClear(t);
        SafeAppend(t, "Registers:\n");
        for (std::uint32_t i = 0; i < fault.context.count && i < FaultContext::kMaxRegisters; ++i) {
            SafeAppend(t, "  ");
            AppendRegisterName(t, i);
            SafeAppend(t, "=");
            SafeAppendHex(t, fault.context.registers[i]);
            SafeAppend(t, (i % 4 == 3) ? "\n" : "");
        }
        SafeAppend(t, "\n");
        SafeWrite(fd, t);
    }

    SafeClear(t);
    SafeAppend(t, "Back trace:\n");
    SafeWrite(fd, t);
    void* frames[64];
    const int depth = backtrace(frames, 64);
    if (depth > 0) {
        backtrace_symbols_fd(frames, depth, fd);
    }
    SafeClear(t);
    SafeAppend(t, "Modules:\n");
    SafeWrite(fd, t);
    CopyFile("/proc/self/maps", fd);
}

int OpenCrashFile(const char* path) {
    // A fresh file each time, so that an old report's owner or mode never carries over.
    unlink(path);
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd >= 0 || errno != ENOENT) {
        return fd;
    }
    // Create the missing folders, outermost first, in a fixed buffer.
    char folder[1024];
    const std::size_t length = strlen(path);
    if (length >= sizeof folder) {
        return -1;
    }
    memcpy(folder, path, length + 1);
    char* lastSlash = strrchr(folder, '/');
    if (lastSlash == nullptr || lastSlash == folder) {
        return -1;
    }
    *lastSlash = '\0';
    for (char* p = folder + 1; *p != '\0'; ++p) {
        if (*p == '/') {
            *p = '\0';
            mkdir(folder, 0700);
            *p = '/';
        }
    }
    mkdir(folder, 0700);
    return open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
}

int SpawnAndWait(const char* path, char* const argv[]) {
    // A raw clone with fork semantics: no fork handlers run (they may take
    // locks the crashing thread holds) and the child only calls execve.
    const long pid = syscall(SYS_clone, SIGCHLD, 0, 0, 0, 0);
    if (pid < 0) {
        return -1;
    }
    if (pid == 0) {
        execve(path, argv, environ);
        _exit(127);
    }
    int status = 0;
    while (waitpid(static_cast<pid_t>(pid), &status, 0) < 0) {
        if (errno != EINTR) {
            return 0;  // SIGCHLD ignored: the child ran and was reaped by the kernel
        }
    }
    return status;
}

void RaiseWithDefaultAction(int signal) {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
    raise(signal);
}

}  // namespace os
