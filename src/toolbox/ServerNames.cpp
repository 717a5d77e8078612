#include "toolbox/ServerNames.h"

#include "platform/os/Text.h"

#include <array>

namespace {

// Files and folders of the per-user data folder that belong to the client.
constexpr std::array<std::string_view, 7> kClientFiles = {
    "registry.db", "config.ini", "toolbox.dat", "pic_head.jpg", "VANTOSetup.exe", "Error.tmp", "KD_template",
};

constexpr std::size_t kMaxFileName = 255;

}  // namespace

bool IsPlainServerFileName(std::string_view name) {
    if (name.empty() || name == "." || name == ".." || name.size() > kMaxFileName ||
        name.find_first_of("/\\") != std::string_view::npos || os::HasControlCharacter(name))
        return false;
    for (const std::string_view own : kClientFiles) {
        if (os::AsciiEqualsIgnoreCase(name, own))
            return false;
    }
    return true;
}

std::optional<std::string> ToolProgramPath(std::string_view folder, std::string_view exe) {
    if (folder.empty() || exe.empty() || exe.front() == '/' || exe.front() == '\\' ||
        os::HasControlCharacter(exe))
        return std::nullopt;
    std::string relative;
    while (!exe.empty()) {
        const std::size_t end = exe.find_first_of("/\\");
        const std::string_view segment = exe.substr(0, end);
        exe = end == std::string_view::npos ? std::string_view() : exe.substr(end + 1);
        if (segment == "..")
            return std::nullopt;
        if (segment.empty() || segment == ".")
            continue;
        if (!relative.empty())
            relative += '/';
        relative += segment;
    }
    if (relative.empty())
        return std::nullopt;
    std::string path(folder);
    if (path.back() != '/')
        path += '/';
    return path + relative;
}

bool IsWebAddress(std::string_view url) {
    std::size_t schemeLength = 0;
    if (os::AsciiStartsWithIgnoreCase(url, "http://"))
        schemeLength = 7;
    else if (os::AsciiStartsWithIgnoreCase(url, "https://"))
        schemeLength = 8;
    return schemeLength != 0 && url.size() > schemeLength && !os::HasControlCharacter(url) &&
           url.find(' ') == std::string_view::npos;
}
