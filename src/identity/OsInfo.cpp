#include "identity/OsInfo.h"

#include <sys/utsname.h>

#include <algorithm>
#include <string>

#include "platform/os/Text.h"

namespace {

struct OsNameEntry {
    DWORD major;
    DWORD minor;
    std::string_view name;
};

// The names are what the store's reports expect, letter case included.
constexpr OsNameEntry kOsNames[] = {
    {5, 0, "Windows2000"}, {5, 1, "WindowsXP"}, {5, 2, "Windows2003"}, {6, 0, "Vista"},
    {6, 1, "Windows7"},    {6, 2, "Windows8"},  {6, 3, "Windows8.1"},  {10, 0, "windows10"},
};

// The running system's Windows version; there is none on Linux.
std::optional<WindowsVersion> QueryWindowsVersion() {
    return std::nullopt;
}

}  // namespace

std::string_view OsNameForVersion(DWORD major, DWORD minor) {
    for (const OsNameEntry& entry : kOsNames) {
        if (entry.major == major && entry.minor == minor) {
            return entry.name;
        }
    }
    return {};
}

bool GetOsName(LPWSTR buffer, std::size_t capacity, std::optional<WindowsVersion> version) {
    if (!version || buffer == nullptr || capacity == 0) {
        return false;
    }
    const std::u16string name = os::Utf8ToUtf16(OsNameForVersion(version->major, version->minor));
    if (name.empty()) {
        return false;
    }
    const std::size_t length = std::min(name.size(), capacity - 1);
    std::copy_n(name.begin(), length, buffer);
    buffer[length] = u'\0';
    return true;
}

bool GetOsName(LPWSTR buffer, std::size_t capacity) {
    return GetOsName(buffer, capacity, QueryWindowsVersion());
}

int OsBitsForMachine(std::string_view machine) {
    // Every 64-bit Linux architecture name carries "64", except these two.
    if (machine.find("64") != std::string_view::npos || machine == "s390x" || machine == "alpha") {
        return 64;
    }
    return 32;
}

int GetOsBits() {
    utsname info{};
    if (uname(&info) != 0) {
        return 32;
    }
    return OsBitsForMachine(info.machine);
}
