#include "toolbox/UserData.h"

#include "platform/os/Text.h"

std::string UserDataValue(std::string_view userData, std::string_view key) {
    while (!userData.empty()) {
        const std::size_t end = userData.find(';');
        const std::string_view item = userData.substr(0, end);
        userData = end == std::string_view::npos ? std::string_view() : userData.substr(end + 1);
        if (item.size() > key.size() && item[key.size()] == '=' &&
            os::AsciiEqualsIgnoreCase(item.substr(0, key.size()), key))
            return std::string(item.substr(key.size() + 1));
    }
    return {};
}
