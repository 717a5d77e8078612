#pragma once
// The crash report: the readable text the fatal path writes about a fault
// (signal, code, address, thread, process, registers, back trace, loaded
// modules), and the fixed-buffer text helpers it is made with.
//
// Everything here is async-signal-safe: it runs inside the fatal signal
// handler, so it never allocates or takes a lock; only system calls and
// fixed buffers.

#include <cstddef>
#include <cstdint>

#include "platform/os/CrashSignals.h"

namespace os {

// A fixed text buffer that never allocates; excess text is dropped.
struct SafeText {
    char text[1024];
    std::size_t length;
};
void SafeClear(SafeText& t);
void SafeAppend(SafeText& t, const char* s);
// Lower-case hexadecimal without prefix or leading zeros ("0" for 0).
void SafeAppendHex(SafeText& t, std::uintptr_t value);
void SafeAppendDecimal(SafeText& t, long long value);
// Writes all of it; false on a failed write.
bool SafeWrite(int fd, const char* data, std::size_t size);
bool SafeWrite(int fd, const SafeText& t);

// Writes the readable crash report (signal, code, address, thread, process,
// registers, back trace, loaded modules from /proc/self/maps) to `fd`.
void WriteCrashReport(int fd, const FaultInfo& fault);

// Opens `path` for writing as a new file (mode 0600, an old one removed); creates a
// missing parent folder chain first. -1 on failure.
int OpenCrashFile(const char* path);

}  // namespace os
