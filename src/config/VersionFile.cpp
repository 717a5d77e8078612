#include "config/VersionFile.h"

#include "config/Settings.h"
#include "platform/os/Registry.h"
#include "platform/os/Text.h"

#include <ctime>
#include <utility>

VersionFile::VersionFile(std::string dayValue) : m_dayValue(std::move(dayValue)) {}

std::optional<std::string> VersionFile::ReadVersion(std::string_view fileText) {
    std::string text;
    text.reserve(fileText.size());
    for (const char c : fileText) {
        if (c != '\n' && c != '\t')
            text.push_back(c);
    }
    if (!std::string_view(text).starts_with(kPrefix))
        return std::nullopt;
    return text.substr(kPrefix.size());
}

bool VersionFile::IsNewer(std::string_view server, std::string_view local) {
    return os::CompareUtf16(server, local) > 0;
}

int VersionFile::LocalDayOfMonth() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    return localtime_r(&now, &local) != nullptr ? local.tm_mday : 0;
}

void VersionFile::SetDayOfMonthSource(DayOfMonthSource source) {
    m_dayOfMonth = std::move(source);
}

int VersionFile::Today() const {
    return m_dayOfMonth ? m_dayOfMonth() : LocalDayOfMonth();
}

bool VersionFile::CheckedOn(int day) const {
    const DWORD stored = os::RegGetDword(HKEY_CURRENT_USER, settings::kClientKey, m_dayValue).value_or(0);
    return static_cast<int>(stored & 0xFFFF) == day;
}

bool VersionFile::RecordDay(int day) const {
    return os::RegSetDword(HKEY_CURRENT_USER, settings::kClientKey, m_dayValue, static_cast<DWORD>(day));
}
