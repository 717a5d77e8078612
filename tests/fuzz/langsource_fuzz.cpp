// Fuzzes langpack's source parser: whatever it accepts must print back (the
// way dump prints entries) into a source that parses to the same entries, and
// any UTF-16 text must survive escaping as a value.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "LangSource.h"

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    langpack::SourceError error;
    if (const auto parsed = langpack::ParseLangSource(text, error)) {
        std::string printed;
        for (std::size_t s = 0; s < langpack::kStreamNames.size(); ++s) {
            printed += "[" + std::string(langpack::kStreamNames[s]) + "]\n";
            for (const auto& [key, value] : parsed->streams[s]) {
                printed += langpack::FormatEntry(key, value) + "\n";
            }
        }
        const auto again = langpack::ParseLangSource(printed, error);
        Check(again.has_value() && again->streams == parsed->streams);
    } else {
        Check(!error.message.empty());
    }

    // The same bytes as UTF-16 code units (NULs dropped: values cannot hold them).
    std::u16string value;
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        const char16_t unit = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
        if (unit != 0) {
            value += unit;
        }
    }
    if (value.size() > 60000) {
        return 0;  // a stream this long is refused on purpose
    }
    const auto single =
        langpack::ParseLangSource("[Text]\n" + langpack::FormatEntry(u"k", value) + "\n", error);
    Check(single.has_value() && single->streams[0].size() == 1 && single->streams[0][0].second == value);
    return 0;
}
