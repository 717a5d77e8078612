#include "ui/OpenUrl.h"

#include "platform/os/Shell.h"
#include "platform/os/Text.h"

#include <string>
#include <vector>

namespace {

constexpr int kShowMaximized = 3;
// The desktop's browser commands, in the order Debian offers them.
constexpr const char* kFallbackBrowsers[] = {"x-www-browser", "sensible-browser"};

bool Started(HINSTANCE answer) {
    return reinterpret_cast<std::intptr_t>(answer) > 32;
}

}  // namespace

bool OpenUrl(HWND owner, std::string_view address) {
    const std::u16string target = os::Utf8ToUtf16(address);
    if (Started(::ShellExecuteW(owner, u"open", target.c_str(), nullptr, nullptr, kShowMaximized)))
        return true;
    // An option-looking text would reach the browser as an option, and an
    // empty one opens nothing.
    if (address.empty() || address.front() == '-')
        return false;
    // The address is the browser's one argument as it is: never a parameter
    // text that quotes inside it could split into several.
    const std::vector<std::string> arguments{std::string(address)};
    for (const char* browser : kFallbackBrowsers)
        if (os::StartProgramDetached(browser, arguments))
            return true;
    return false;
}
