// Feeds arbitrary bytes as the header lines of a reply and as a reply text.
// Beyond "no crash, no overrun", it checks that a completed head always has a
// final status, that every header found by index is also found by name, and
// that the reply-text integer agrees with a plain reading of its digits.
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "net/PostForm.h"
#include "stats/HttpReplyHead.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    HttpReplyHead head;
    std::size_t start = 0;
    while (start < input.size()) {
        std::size_t end = input.find('\n', start);
        end = end == std::string_view::npos ? input.size() : end + 1;
        head.AddLine(input.substr(start, end - start));
        start = end;
    }
    if (head.Complete() && (head.Status() < 200 || head.Status() > 999)) {
        std::abort();
    }
    for (std::string_view name : {"Content-Type", "content-length", "X"}) {
        std::size_t index = 0;
        while (head.Header(name, index)) {
            ++index;
        }
        if (index > 0 && head.Header(name) != head.Header(name, 0)) {
            std::abort();
        }
    }

    const int value = LeadingInteger(input);
    // Up to nine digits never saturate: compare with the C library's reading.
    std::string digits(input.substr(0, 9));
    if (digits.find('\0') == std::string::npos && digits.size() == input.size()) {
        if (value != static_cast<int>(std::strtol(digits.c_str(), nullptr, 10))) {
            std::abort();
        }
    }
    return 0;
}
