#include "identity/InstallUuid.h"

#include <cstdio>

#include "platform/os/Registry.h"

namespace {

constexpr std::size_t kReadBufferBytes = 520;

}  // namespace

std::string FormatGuid(const GUID& guid) {
    char text[33];
    std::snprintf(text, sizeof text, "%08X%04X%04X%02X%02X%02X%02X%02X%02X%02X%02X",
                  static_cast<unsigned>(guid.Data1), static_cast<unsigned>(guid.Data2),
                  static_cast<unsigned>(guid.Data3), guid.Data4[0], guid.Data4[1], guid.Data4[2],
                  guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return text;
}

void EnsureInstallUuid(const GuidMaker& makeGuid) {
    const std::optional<std::string> stored =
        os::RegGetString(HKEY_LOCAL_MACHINE, kInstallUuidKey, kInstallUuidValue, kReadBufferBytes);
    if (stored && !stored->empty()) {
        return;
    }
    GUID guid{};
    std::string text;
    if (makeGuid && makeGuid(&guid)) {
        text = FormatGuid(guid);
    }
    os::RegSetString(HKEY_LOCAL_MACHINE, kInstallUuidKey, kInstallUuidValue, text);
}

std::string ReadInstallUuid() {
    return os::RegGetString(HKEY_LOCAL_MACHINE, kInstallUuidKey, kInstallUuidValue, kReadBufferBytes)
        .value_or(std::string());
}
