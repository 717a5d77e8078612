#include "toolbox/VersionText.h"

#include "platform/os/Text.h"

namespace {
constexpr std::string_view kVersionPrefix = "version=";
}  // namespace

std::optional<std::string> ToolboxServerVersion(std::string_view fileText) {
    std::string text;
    text.reserve(fileText.size());
    for (const char c : fileText) {
        if (c != '\n' && c != '\t')
            text.push_back(c);
    }
    // A carriage return is not removed: "version=1.2\r" offers "1.2\r".
    if (!std::string_view(text).starts_with(kVersionPrefix))
        return std::nullopt;
    return text.substr(kVersionPrefix.size());
}

bool IsNewerToolboxVersion(std::string_view server, std::string_view local) {
    return os::CompareUtf16(server, local) > 0;
}
