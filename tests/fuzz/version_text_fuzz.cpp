// Fuzzes the version-file reader and the version comparison: any reply, as
// raw bytes and as the text the requester makes of it, gives a definite
// answer that agrees with a reading done on UTF-16 code units, and the
// comparison is a strict order (never newer than itself, never both ways).
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "net/Utf8ChunkJoiner.h"
#include "platform/os/Text.h"
#include "update/update.h"

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// The reading done on UTF-16 text, as the Windows client does it.
std::optional<std::u16string> ReadWide(std::u16string_view text) {
    std::u16string kept;
    for (const char16_t c : text) {
        if (c != u'\n' && c != u'\t')
            kept.push_back(c);
    }
    if (kept.compare(0, 8, u"version=") != 0)
        return std::nullopt;
    return kept.substr(8);
}

void CheckReading(std::string_view text) {
    const std::optional<std::string> version = ReadVersionText(text);
    if (version) {
        Check(version->find('\n') == std::string::npos && version->find('\t') == std::string::npos);
        Check(version->size() + 8 <= text.size());
        Check(!CUpdate::IsNewerVersion(*version, *version));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view raw(reinterpret_cast<const char*>(data), size);
    CheckReading(raw);

    // The text as a reply reaches the reader: decoded as UTF-8 the way the
    // requester joins the pieces of a reply.
    Utf8ChunkJoiner joiner;
    std::u16string wide = joiner.TakeUtf16(raw);
    wide += joiner.FinishUtf16();
    const std::string text = os::Utf16ToUtf8(wide);
    CheckReading(text);
    const std::optional<std::string> version = ReadVersionText(text);
    const std::optional<std::u16string> expected = ReadWide(wide);
    Check(version.has_value() == expected.has_value());
    if (version)
        Check(os::Utf8ToUtf16(*version) == *expected);

    // Two versions out of the two halves: a strict order on code units.
    const std::size_t half = text.size() / 2;
    const std::string a = text.substr(0, half);
    const std::string b = text.substr(half);
    const bool aNewer = CUpdate::IsNewerVersion(a, b);
    const bool bNewer = CUpdate::IsNewerVersion(b, a);
    Check(!(aNewer && bNewer));
    Check(aNewer == (os::Utf8ToUtf16(a) > os::Utf8ToUtf16(b)));
    Check((aNewer || bNewer) == (os::Utf8ToUtf16(a) != os::Utf8ToUtf16(b)));
    return 0;
}
