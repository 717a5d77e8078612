// Fuzzes the toolbox's reading of a version file and the comparison of
// versions: any bytes give a definite answer without a crash; the version
// is what follows "version=" once line feeds and tabs are gone; and the
// comparison is a strict order (never both ways, never with itself).
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "toolbox/VersionText.h"

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::optional<std::string> version = ToolboxServerVersion(text);
    std::string cleaned;
    for (const char c : text) {
        if (c != '\n' && c != '\t')
            cleaned += c;
    }
    Check(version.has_value() == cleaned.starts_with("version="));
    if (version) {
        Check(*version == cleaned.substr(8));
        Check(version->find('\n') == std::string::npos && version->find('\t') == std::string::npos);
    }

    // Two versions out of the same bytes, cut where the first byte says.
    const std::size_t cut = size == 0 ? 0 : data[0] % (size + 1);
    const std::string_view a = text.substr(0, cut);
    const std::string_view b = text.substr(cut);
    Check(!IsNewerToolboxVersion(a, a));
    Check(!(IsNewerToolboxVersion(a, b) && IsNewerToolboxVersion(b, a)));
    // Three texts: the order is transitive.
    const std::string_view c = version ? std::string_view(*version) : std::string_view();
    if (IsNewerToolboxVersion(a, b) && IsNewerToolboxVersion(b, c))
        Check(IsNewerToolboxVersion(a, c));
    return 0;
}
