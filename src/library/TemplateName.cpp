#include "library/TemplateName.h"

#include "platform/os/Text.h"

namespace {

bool HasWebScheme(std::string_view url) {
    return os::AsciiStartsWithIgnoreCase(url, "http://") || os::AsciiStartsWithIgnoreCase(url, "https://");
}

// The part of `name` before its last "_", or all of it.
std::string_view BeforeLastUnderscore(std::string_view name) {
    const std::size_t underscore = name.rfind('_');
    return underscore == std::string_view::npos ? name : name.substr(0, underscore);
}

}  // namespace

std::optional<std::string> TemplateFileName(std::string_view url) {
    if (url.size() > kMaxTemplateAddress || !HasWebScheme(url) || os::HasControlCharacter(url))
        return std::nullopt;
    // The name comes from the path: "http://host" has none.
    const std::size_t path = url.find('/', url.find("://") + 3);
    if (path == std::string_view::npos)
        return std::nullopt;
    // The last "/" of the path, not of a query: a signed address may carry
    // "/" in its query, and a name taken from there would name another
    // document.
    const std::string_view beforeQuery = url.substr(0, url.find('?'));
    std::string_view name = beforeQuery.substr(beforeQuery.rfind('/') + 1);
    name = name.substr(0, name.find('&'));
    if (name.empty() || name == "." || name == ".." || name.size() > kMaxTemplateFileName)
        return std::nullopt;
    return std::string(name);
}

std::string DocumentIdAtRequest(std::string_view fileName) {
    const std::size_t backslash = fileName.rfind('\\');
    if (backslash != std::string_view::npos)
        fileName.remove_prefix(backslash + 1);
    return std::string(BeforeLastUnderscore(fileName));
}

std::string DocumentIdAtCompletion(std::string_view fileName) {
    return std::string(BeforeLastUnderscore(fileName));
}

std::string TemplateExtension(std::string_view fileName) {
    const std::size_t dot = fileName.find('.');
    return std::string(dot == std::string_view::npos ? fileName : fileName.substr(dot + 1));
}

std::pair<std::string, std::string> SaveFilterFor(std::string_view extension) {
    if (extension == "pptx")
        return {"PPT文档(*.pptx)", "*.pptx;"};
    if (extension == "xlsx")
        return {"EXCEL文档(*.xlsx)", "*.xlsx;"};
    if (extension == "docx")
        return {"WORD文档(*.docx)", "*.docx;"};
    return {"ALL Files(*.*)", "*.*;"};
}

std::string ProposedSaveName(std::string_view title) {
    std::string name;
    name.reserve(title.size());
    for (const char c : title) {
        if (c != '/' && c != '\0')
            name += c;
    }
    return os::CutUtf8ToUtf16Units(name, 259);
}
