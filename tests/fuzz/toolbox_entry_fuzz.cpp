// Fuzzes what the toolbox takes from a list entry of a downloaded archive
// before it acts on it: the page address, the installer's file name and the
// tool's program inside its folder. Whatever the entry says, an accepted
// address is a web address, an accepted installer lands directly in the
// installer folder and is none of the client's own files, and an accepted
// program stays below the tool's folder.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "platform/os/Paths.h"
#include "platform/os/Text.h"
#include "toolbox/ServerNames.h"
#include "toolbox/UserData.h"

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

bool HasControlOrSpace(std::string_view text, bool spaceToo) {
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || (spaceToo && c == ' '))
            return true;
    }
    return false;
}

void CheckAddress(std::string_view url) {
    if (!IsWebAddress(url))
        return;
    const bool http = os::AsciiStartsWithIgnoreCase(url, "http://") && url.size() > 7;
    const bool https = os::AsciiStartsWithIgnoreCase(url, "https://") && url.size() > 8;
    Check(http || https);
    Check(!HasControlOrSpace(url, true));
}

void CheckInstaller(std::string_view name) {
    if (!IsPlainServerFileName(name))
        return;
    Check(!name.empty() && name != "." && name != "..");
    Check(name.find('/') == std::string_view::npos && name.find('\\') == std::string_view::npos);
    Check(!HasControlOrSpace(name, false));
    for (const char* own : {"toolbox.dat", "registry.db", "config.ini", "vantosetup.exe", "error.tmp"})
        Check(!os::AsciiEqualsIgnoreCase(name, own));
    // Joined to the installer folder it names a file directly inside it.
    const std::string folder = "/data/vanto/toolbox-installers";
    const std::string target = os::PathJoin(folder, name);
    Check(target.size() == folder.size() + 1 + name.size() && target.starts_with(folder + "/"));
}

void CheckProgram(std::string_view folder, std::string_view exe) {
    const std::optional<std::string> program = ToolProgramPath(folder, exe);
    if (!program)
        return;
    std::string base(folder);
    if (base.back() != '/')
        base += '/';
    Check(program->size() > base.size() && program->starts_with(base));
    // Below the folder: plain segments only.
    std::string_view rest = std::string_view(*program).substr(base.size());
    Check(!HasControlOrSpace(rest, false));
    while (!rest.empty()) {
        const std::size_t end = rest.find('/');
        const std::string_view segment = rest.substr(0, end);
        Check(!segment.empty() && segment != "." && segment != ".." &&
              segment.find('\\') == std::string_view::npos);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view entry(reinterpret_cast<const char*>(data), size);
    CheckAddress(UserDataValue(entry, "url"));
    CheckInstaller(UserDataValue(entry, "installer"));
    const std::string exe = UserDataValue(entry, "exe");
    CheckProgram("/opt/tool", exe);
    CheckProgram("/opt/tool/", exe);
    // The folder a tool registered may itself be odd; the program still
    // stays below it.
    const std::string folder = UserDataValue(entry, "regedit");
    if (!folder.empty())
        CheckProgram(folder, exe);
    return 0;
}
