#include "ui/OpenUrl.h"

#include "platform/os/Shell.h"
#include "platform/os/Text.h"

#include <string>

namespace {

constexpr int kShowMaximized = 3;
// The desktop's browser commands, in the order Debian offers them.
constexpr const char16_t* kFallbackBrowsers[] = {u"x-www-browser", u"sensible-browser"};

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
    // Quoted, so that the browser gets the address as one argument.
    const std::u16string parameters = u"\"" + target + u"\"";
    for (const char16_t* browser : kFallbackBrowsers)
        if (Started(::ShellExecuteW(owner, u"open", browser, parameters.c_str(), nullptr, kShowMaximized)))
            return true;
    return false;
}
