#include "platform/os/CrashReport.h"

#include <errno.h>
#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace os {
namespace {

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

}  // namespace os
