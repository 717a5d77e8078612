#pragma once
// The operating system's name and bitness, as the usage reports send them.

#include <cstddef>
#include <optional>
#include <string_view>

#include "platform/os/WinTypes.h"

struct WindowsVersion {
    DWORD major;
    DWORD minor;
};

// The report name of a Windows release: "Windows2000" (5.0), "WindowsXP"
// (5.1), "Windows2003" (5.2), "Vista" (6.0), "Windows7" (6.1), "Windows8"
// (6.2), "Windows8.1" (6.3), "windows10" (10.0, also Windows 11); empty for
// any other pair.
std::string_view OsNameForVersion(DWORD major, DWORD minor);

// Fills `buffer` with the name of `version`, cut to capacity - 1 characters
// and NUL-terminated; returns true when a name was found. Without a name (or
// an empty buffer) the buffer stays unchanged.
bool GetOsName(LPWSTR buffer, std::size_t capacity, std::optional<WindowsVersion> version);

// The same for the running system. Linux has no Windows version, so no name
// is found and the buffer stays unchanged.
bool GetOsName(LPWSTR buffer, std::size_t capacity);

// 64 for a machine name of a 64-bit kernel ("x86_64", "aarch64", ...), else 32.
int OsBitsForMachine(std::string_view machine);

// 64 on a 64-bit kernel (uname), else 32.
int GetOsBits();
