#include "library/FetchAddress.h"

#include <charconv>
#include <cstddef>

#include "platform/os/Text.h"

namespace {

// InternetCrackUrlW fills buffers of 260 characters, terminator included.
constexpr std::size_t kMaxPartUnits = 259;

bool IsHostNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_';
}

bool IsIpv6LiteralChar(char c) {
    return (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || (c >= '0' && c <= '9') || c == ':' || c == '.';
}

// A control character can never be part of a request line (CR and LF would
// end it early and let the address inject headers).
bool HasControlChar(std::string_view text) {
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) {
            return true;
        }
    }
    return false;
}

// host[:port] of the authority, without user information.
bool SplitHostPort(std::string_view hostPort, bool secure, FetchAddress& out) {
    std::string_view portText;
    bool hasPort = false;
    if (!hostPort.empty() && hostPort.front() == '[') {
        const std::size_t close = hostPort.find(']');
        if (close == std::string_view::npos || close == 1) {
            return false;
        }
        const std::string_view literal = hostPort.substr(1, close - 1);
        for (const char c : literal) {
            if (!IsIpv6LiteralChar(c)) {
                return false;
            }
        }
        out.host = std::string(literal);
        const std::string_view rest = hostPort.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') {
                return false;
            }
            hasPort = true;
            portText = rest.substr(1);
        }
    } else {
        const std::size_t colon = hostPort.find(':');
        const std::string_view name = hostPort.substr(0, colon);
        if (name.empty()) {
            return false;
        }
        for (const char c : name) {
            if (!IsHostNameChar(c)) {
                return false;
            }
        }
        out.host = std::string(name);
        if (colon != std::string_view::npos) {
            hasPort = true;
            portText = hostPort.substr(colon + 1);
        }
    }
    out.port = secure ? 443 : 80;
    if (hasPort && !portText.empty()) {
        int port = 0;
        const auto [end, ec] = std::from_chars(portText.data(), portText.data() + portText.size(), port);
        if (ec != std::errc() || end != portText.data() + portText.size() || port < 1 || port > 65535 ||
            portText.front() == '+') {
            return false;
        }
        out.port = port;
    }
    return os::Utf16Length(out.host) <= kMaxPartUnits;
}

}  // namespace

std::optional<FetchAddress> SplitFetchAddress(std::string_view url) {
    FetchAddress out;
    std::string_view rest;
    if (os::AsciiStartsWithIgnoreCase(url, "http://")) {
        rest = url.substr(7);
    } else if (os::AsciiStartsWithIgnoreCase(url, "https://")) {
        out.secure = true;
        rest = url.substr(8);
    } else {
        return std::nullopt;
    }
    if (HasControlChar(rest)) {
        return std::nullopt;
    }
    const std::size_t fragment = rest.find('#');
    rest = rest.substr(0, fragment);

    const std::size_t authorityEnd = rest.find_first_of("/?");
    std::string_view authority = rest.substr(0, authorityEnd);
    const std::size_t at = authority.rfind('@');
    if (at != std::string_view::npos) {
        authority = authority.substr(at + 1);
    }
    if (!SplitHostPort(authority, out.secure, out)) {
        return std::nullopt;
    }

    if (authorityEnd == std::string_view::npos) {
        out.path = "/";
    } else if (rest[authorityEnd] == '?') {
        out.path = "/" + std::string(rest.substr(authorityEnd));
    } else {
        out.path = std::string(rest.substr(authorityEnd));
    }
    if (os::Utf16Length(out.path) > kMaxPartUnits) {
        return std::nullopt;
    }
    return out;
}

std::string FetchAddress::RequestUrl() const {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string url = secure ? "https://" : "http://";
    if (host.find(':') != std::string::npos) {
        url += "[" + host + "]";
    } else {
        url += host;
    }
    url += ":" + std::to_string(port);
    for (std::size_t i = 0; i < path.size(); ++i) {
        const auto u = static_cast<unsigned char>(path[i]);
        const bool escapedAlready = u == '%' && i + 2 < path.size() && os::HexDigitValue(path[i + 1]) >= 0 &&
                                    os::HexDigitValue(path[i + 2]) >= 0;
        if (u <= 0x20 || u >= 0x7F || u == '"' || u == '<' || u == '>' || u == '\\' || u == '^' || u == '`' ||
            u == '{' || u == '|' || u == '}' || (u == '%' && !escapedAlready)) {
            url += '%';
            url += kHex[u >> 4];
            url += kHex[u & 0x0F];
        } else {
            url += static_cast<char>(u);
        }
    }
    return url;
}
