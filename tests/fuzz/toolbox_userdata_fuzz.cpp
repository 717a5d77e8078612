// Fuzzes the reader of the toolbox layout's user-data texts with a key taken
// from the input: any text gives a value without a crash, the value never
// holds a ";", and it is the rest of an item of the text whose key matches
// without regard to case; the lookup does not depend on the key's case.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/os/Text.h"
#include "toolbox/UserData.h"

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    // The first byte picks the key's length; the key follows, then the text.
    const std::size_t keyLength = size == 0 ? 0 : std::min<std::size_t>(data[0] % 12, size - 1);
    const std::string_view key = size == 0 ? std::string_view() : input.substr(1, keyLength);
    const std::string_view text = size == 0 ? std::string_view() : input.substr(1 + keyLength);

    const std::string value = UserDataValue(text, key);
    Check(value.find(';') == std::string::npos);
    Check(UserDataValue(text, os::AsciiUpperCopy(key)) == value);
    if (!value.empty()) {
        // Some item reads key + "=" + value.
        const std::string lowered = os::AsciiLowerCopy(text);
        const std::string item = os::AsciiLowerCopy(std::string(key) + "=" + value);
        Check(lowered.find(item) != std::string::npos);
    }
    // For the four captions the panel reads, the list's own text.
    for (const char* caption : {"open", "get", "learn", "installing"})
        Check(UserDataValue(text, caption).find(';') == std::string::npos);
    return 0;
}
