// Feeds arbitrary bytes to the demo store's reader of Range headers: the
// first eight bytes are the body's size, the rest the header value. Beyond
// "no crash", a part is always inside the body, starts where a plain
// "bytes=A-B" header says and never reaches past B, and a body that is
// empty never has a part.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "demo-store/ReplyBody.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::uint64_t bodySize = 0;
    if (size >= sizeof bodySize) {
        std::memcpy(&bodySize, data, sizeof bodySize);
        data += sizeof bodySize;
        size -= sizeof bodySize;
        // Mostly small bodies, so that ranges inside them come up.
        if ((bodySize & 1) == 0) {
            bodySize = (bodySize >> 1) % 5000;
        }
    }
    const std::string_view header(reinterpret_cast<const char*>(data), size);
    demostore::ByteRange range;
    const demostore::RangeAnswer answer = demostore::ResolveRange(header, bodySize, range);
    if (answer == demostore::RangeAnswer::Partial &&
        (bodySize == 0 || range.first > range.last || range.last >= bodySize)) {
        std::abort();
    }
    // The plain form read back: "bytes=A-B" with A and B decimal.
    const std::string text(header);
    unsigned long long a = 0, b = 0;
    int consumed = 0;
    if (answer == demostore::RangeAnswer::Partial &&
        std::sscanf(text.c_str(), "bytes=%llu-%llu%n", &a, &b, &consumed) == 2 &&
        static_cast<std::size_t>(consumed) == text.size() &&
        text.find_first_of("+ \t", 6) == std::string::npos && text.size() < 30 &&
        (range.first != a || range.last > b)) {
        std::abort();
    }
    return 0;
}
