// Feeds arbitrary bytes as a template's address and as a document title.
// Beyond "no crash": an accepted address gives a file name of 1 to 255 bytes
// without "/", "?" or NUL, whose document ids and extension are parts of it;
// the proposed save name never holds "/" or NUL, never exceeds 259 UTF-16
// units, and is well-formed UTF-8 whenever the title was.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "library/TemplateName.h"
#include "platform/os/Text.h"

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

bool WellFormed(std::string_view text) {
    return os::Utf16ToUtf8(os::Utf8ToUtf16(text)) == text;
}

bool Holds(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

void CheckAddress(std::string_view url) {
    const std::optional<std::string> name = TemplateFileName(url);
    if (!name) {
        return;
    }
    Check(!name->empty() && name->size() <= kMaxTemplateFileName);
    Check(name->find_first_of(std::string_view("/?\0", 3)) == std::string::npos);
    Check(Holds(url, *name));
    Check(Holds(*name, DocumentIdAtRequest(*name)));
    Check(Holds(*name, DocumentIdAtCompletion(*name)));
    const std::string extension = TemplateExtension(*name);
    Check(Holds(*name, extension));
    const auto filter = SaveFilterFor(extension);
    Check(!filter.first.empty() && !filter.second.empty());
}

void CheckTitle(std::string_view title) {
    const std::string proposed = ProposedSaveName(title);
    Check(proposed.find_first_of(std::string_view("/\0", 2)) == std::string::npos);
    Check(os::Utf16Length(proposed) <= 259);
    Check(!WellFormed(title) || WellFormed(proposed));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    CheckAddress(input);
    CheckTitle(input);
    // Most random bytes fail the scheme test at once: the same bytes as an
    // address's path reach the name rules.
    if (!input.empty() && (data[0] & 1) != 0) {
        CheckAddress("http://cdn.test/" + std::string(input.substr(1)));
    }
    return 0;
}
