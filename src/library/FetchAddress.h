#pragma once
// The address of a plain file fetch, split into the parts the fetch connects
// with: scheme, host, port and request path. The split follows the Windows
// URL cracker's limits (host name and path of at most 259 UTF-16 code units
// each) and refuses what could not be sent as a request line.

#include <optional>
#include <string>
#include <string_view>

struct FetchAddress {
    bool secure = false;  // "https"
    std::string host;     // name or IPv4 literal; an IPv6 literal without its brackets
    int port = 80;        // the port the address names; 80 (443 for https) when none
    std::string path;     // the request path with its query, "/" when the address has none

    // The address rebuilt for the transfer library: scheme, host, port and the
    // path with spaces, non-ASCII bytes and stray '%' signs percent-encoded.
    std::string RequestUrl() const;
};

// Splits an "http://" or "https://" address (scheme without regard to case).
// User name and password are dropped (the fetch never sends them), a fragment
// is dropped (it never travels). Empty when the address cannot be split: other
// schemes, no host, a bad port, control characters, parts over the limits.
std::optional<FetchAddress> SplitFetchAddress(std::string_view url);
