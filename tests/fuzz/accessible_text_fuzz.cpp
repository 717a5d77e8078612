// Fuzzes what a screen reader is told of a control's text: a label's markup
// or plain text (from a layout, a page or the store), cut to a byte limit.
// The first byte picks markup (bit 0) and the limit (the rest, in bytes).
// The answer is valid UTF-8 without control characters and within the limit,
// and the caret offsets convert both ways without leaving the text.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/duilib/AccessibleInfo.h"
#include "platform/os/Text.h"

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const bool markup = (data[0] & 1) != 0;
    const std::size_t limit = data[0] >> 1;
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::string told = DuiLib::AccessibleText(text, markup, limit);
    Check(told.size() <= limit);
    Check(os::Utf16ToUtf8(os::Utf8ToUtf16(told)) == told);
    Check(!os::HasControlCharacter(told));
    const int units = static_cast<int>(os::Utf16Length(told));
    const int chars = DuiLib::Utf16ToCharOffset(told, units);
    Check(chars >= 0 && chars <= units);
    Check(DuiLib::CharToUtf16Offset(told, chars) == units);
    return 0;
}
