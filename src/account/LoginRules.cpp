#include "account/LoginRules.h"

#include "platform/os/Text.h"

#include <algorithm>

namespace {

bool AllAsciiDigits(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Controls, blanks and what stands in for a malformed sequence (U+FFFD).
// Surrogates pass: a pair is one character outside the basic plane.
bool IsRefusedTokenUnit(char16_t unit) {
    if (unit <= 0x20 || (unit >= 0x7F && unit <= 0xA0))
        return true;
    switch (unit) {
        case 0x1680:
        case 0x180E:
        case 0x2028:
        case 0x2029:
        case 0x202F:
        case 0x205F:
        case 0x3000:
        case 0xFEFF:
        case 0xFFFD:
            return true;
        default:
            return unit >= 0x2000 && unit <= 0x200B;
    }
}

}  // namespace

bool IsMobileNumber(std::string_view text) {
    return text.size() == 11 && AllAsciiDigits(text);
}

bool IsVerificationCode(std::string_view text) {
    return !text.empty() && AllAsciiDigits(text);
}

bool IsUsableAccountToken(std::string_view token) {
    if (token.empty())
        return false;
    const std::u16string units = os::Utf8ToUtf16(token);
    return std::none_of(units.begin(), units.end(), IsRefusedTokenUnit);
}

std::string FormatCountdownText(std::string_view format, int seconds) {
    std::string text;
    bool numberPlaced = false;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size()) {
            const char next = format[i + 1];
            if (next == '%') {
                text += '%';
                ++i;
                continue;
            }
            if (next == 'd' && !numberPlaced) {
                text += std::to_string(seconds);
                numberPlaced = true;
                ++i;
                continue;
            }
        }
        text += format[i];
    }
    return text;
}
