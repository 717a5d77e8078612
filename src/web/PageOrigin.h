#pragma once
// Where a page comes from, for the page-to-client channel: messages are acted
// on only when the sending page is on the host its receiver expects (the
// store pages on the client-page host, sign-in and feedback results on
// theirs). Texts come from the engine, that is from web pages: parsing is
// strict and anything unclear is "not on the host".

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct PageOrigin {
    std::string scheme;  // lower case
    std::string host;    // lower case; an IPv6 literal without its brackets
    std::uint16_t port = 0;
};

// The origin of an absolute http or https address; empty for anything else
// (another scheme, user information in the address, a bad port, no host).
std::optional<PageOrigin> ParsePageOrigin(std::string_view url);

// True when `pageUrl` is an address on `host` ("name[:port]", the form of the
// host constants) with `scheme` ("http" or "https"); a missing port is the
// scheme's own (80, 443) on both sides.
bool IsPageOnHost(std::string_view pageUrl, std::string_view scheme, std::string_view host);
