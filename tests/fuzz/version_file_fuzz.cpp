// Fuzzes the version-file reader and the version comparison of the update
// and toolbox checks: any reply, as raw bytes and as the text the requester
// makes of it, gives a definite answer -- what follows "version=" once line
// feeds and tabs are gone, the same as a reading done on UTF-16 code units
// -- and the comparison is a strict order (never newer than itself, never
// both ways, transitive) that agrees with UTF-16 order.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "config/VersionFile.h"
#include "net/Utf8ChunkJoiner.h"
#include "platform/os/Text.h"

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
    const std::optional<std::string> version = VersionFile::ReadVersion(text);
    std::string cleaned;
    for (const char c : text) {
        if (c != '\n' && c != '\t')
            cleaned += c;
    }
    Check(version.has_value() == cleaned.starts_with("version="));
    if (version) {
        Check(*version == cleaned.substr(8));
        Check(version->find('\n') == std::string::npos && version->find('\t') == std::string::npos);
        Check(!VersionFile::IsNewer(*version, *version));
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
    const std::optional<std::string> version = VersionFile::ReadVersion(text);
    const std::optional<std::u16string> expected = ReadWide(wide);
    Check(version.has_value() == expected.has_value());
    if (version)
        Check(os::Utf8ToUtf16(*version) == *expected);

    // Two versions out of the text, cut where the first byte says: a strict
    // order on code units.
    const std::size_t cut = size == 0 ? 0 : data[0] % (text.size() + 1);
    const std::string a = text.substr(0, cut);
    const std::string b = text.substr(cut);
    const bool aNewer = VersionFile::IsNewer(a, b);
    const bool bNewer = VersionFile::IsNewer(b, a);
    Check(!(aNewer && bNewer));
    Check(aNewer == (os::Utf8ToUtf16(a) > os::Utf8ToUtf16(b)));
    Check((aNewer || bNewer) == (os::Utf8ToUtf16(a) != os::Utf8ToUtf16(b)));
    // Three texts: the order is transitive.
    const std::string c = version.value_or(std::string());
    if (VersionFile::IsNewer(a, b) && VersionFile::IsNewer(b, c))
        Check(VersionFile::IsNewer(a, c));
    return 0;
}
