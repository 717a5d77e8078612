#include "web/PageOrigin.h"

#include "platform/os/Text.h"

namespace {

std::optional<std::uint16_t> DefaultPort(std::string_view scheme) {
    if (scheme == "http")
        return 80;
    if (scheme == "https")
        return 443;
    return std::nullopt;
}

std::optional<std::uint16_t> ParsePort(std::string_view digits) {
    if (digits.empty() || digits.size() > 5)
        return std::nullopt;
    unsigned value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value == 0 || value > 65535)
        return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

// "name", "name:port", "[v6]" or "[v6]:port" into host and port (the default
// when none is given). Empty on anything else.
bool SplitHostPort(std::string_view authority, std::uint16_t defaultPort, std::string& host,
                   std::uint16_t& port) {
    std::string_view name;
    std::string_view rest;
    if (!authority.empty() && authority.front() == '[') {
        const auto close = authority.find(']');
        if (close == std::string_view::npos)
            return false;
        name = authority.substr(1, close - 1);
        rest = authority.substr(close + 1);
        if (!rest.empty() && rest.front() != ':')
            return false;
    } else {
        const auto colon = authority.find(':');
        name = authority.substr(0, colon);
        rest = colon == std::string_view::npos ? std::string_view() : authority.substr(colon);
    }
    if (name.empty())
        return false;
    for (char c : name) {
        // Letters, digits, '-', '.', and ':' inside an IPv6 literal; no
        // escapes, blanks or controls that another parser might read otherwise.
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                        c == '-' || c == '.' || (c == ':' && authority.front() == '[');
        if (!ok)
            return false;
    }
    if (rest.empty()) {
        port = defaultPort;
    } else {
        const auto parsed = ParsePort(rest.substr(1));
        if (!parsed)
            return false;
        port = *parsed;
    }
    host = os::AsciiLowerCopy(name);
    return true;
}

}  // namespace

std::optional<PageOrigin> ParsePageOrigin(std::string_view url) {
    const auto schemeEnd = url.find("://");
    if (schemeEnd == std::string_view::npos)
        return std::nullopt;
    PageOrigin origin;
    origin.scheme = os::AsciiLowerCopy(url.substr(0, schemeEnd));
    const auto defaultPort = DefaultPort(origin.scheme);
    if (!defaultPort)
        return std::nullopt;
    std::string_view rest = url.substr(schemeEnd + 3);
    const std::string_view authority = rest.substr(0, rest.find_first_of("/?#\\"));
    // User information ("http://host@elsewhere/") names another host than
    // it seems to: never accepted.
    if (authority.find('@') != std::string_view::npos)
        return std::nullopt;
    if (!SplitHostPort(authority, *defaultPort, origin.host, origin.port))
        return std::nullopt;
    return origin;
}

bool IsPageOnHost(std::string_view pageUrl, std::string_view scheme, std::string_view host) {
    const auto page = ParsePageOrigin(pageUrl);
    if (!page)
        return false;
    const std::string wanted = os::AsciiLowerCopy(scheme);
    const auto defaultPort = DefaultPort(wanted);
    if (!defaultPort || page->scheme != wanted)
        return false;
    std::string expectedHost;
    std::uint16_t expectedPort = 0;
    if (!SplitHostPort(host, *defaultPort, expectedHost, expectedPort))
        return false;
    return page->host == expectedHost && page->port == expectedPort;
}
