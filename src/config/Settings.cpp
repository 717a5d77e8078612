#include "config/Settings.h"

#include <cstdlib>
#include <optional>

std::string AdIdFromInstallerName(std::string_view installerName) {
    // The installer writes a Windows-style or a POSIX path; either separator
    // ends a folder name.
    std::string_view name = installerName;
    if (const std::size_t sep = name.find_last_of("\\/"); sep != std::string_view::npos) {
        name.remove_prefix(sep + 1);
    }
    if (const std::size_t dot = name.rfind('.'); dot != std::string_view::npos) {
        name = name.substr(0, dot);
    }
    std::size_t mark = name.find('_');
    if (mark == std::string_view::npos) {
        mark = name.find('-');
    }
    if (mark == std::string_view::npos) {
        return {};
    }
    std::string remainder(name.substr(mark + 1));
    if (remainder.empty()) {
        return {};
    }
    // The leading number as a signed 64-bit value: blanks and a sign allowed,
    // parsing stops at the first non-digit, out-of-range values saturate.
    const long long number = std::strtoll(remainder.c_str(), nullptr, 10);
    if (number <= 0) {
        return {};
    }
    return remainder;
}

std::string ReadAdId(bool allowInstallerFallback) {
    if (std::optional<std::string> adId = os::RegGetString(HKEY_CURRENT_USER, settings::kClientKey,
                                                           settings::kAdId, settings::kDefaultReadBuffer)) {
        return *adId;
    }
    if (!allowInstallerFallback) {
        return {};
    }
    const std::optional<std::string> installer = os::RegGetString(
        HKEY_LOCAL_MACHINE, settings::kClientKey, settings::kInstallerName, settings::kDefaultReadBuffer);
    if (!installer) {
        return {};
    }
    std::string adId = AdIdFromInstallerName(*installer);
    if (!adId.empty()) {
        os::RegSetString(HKEY_CURRENT_USER, settings::kClientKey, settings::kAdId, adId);
    }
    return adId;
}

std::string ReadProgramVersion() {
    if (std::optional<std::string> version = os::RegGetString(
            HKEY_CURRENT_USER, settings::kClientKey, settings::kVersion, settings::kDefaultReadBuffer)) {
        return *version;
    }
    // A system package cannot write every user's settings, so it records the
    // installed version once for the machine. Without it every packaged
    // installation would take any server version for a newer one and fetch
    // the installer each day.
    return os::RegGetString(HKEY_LOCAL_MACHINE, settings::kClientKey, settings::kVersion,
                            settings::kDefaultReadBuffer)
        .value_or(std::string());
}
