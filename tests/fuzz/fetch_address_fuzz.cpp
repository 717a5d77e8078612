// Feeds arbitrary bytes as a fetch address (it comes from the toolbox's and
// the update's version files). Beyond "no crash", it checks that an accepted
// address rebuilds into a request address without raw spaces, control or
// non-ASCII bytes, and that the rebuilt address names the same server.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "library/FetchAddress.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto address = SplitFetchAddress(input);
    if (!address) {
        return 0;
    }
    if (address->host.empty() || address->port < 1 || address->port > 65535 || address->path.empty() ||
        address->path.front() != '/') {
        std::abort();
    }
    const std::string url = address->RequestUrl();
    for (const char c : url) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u >= 0x7F) {
            std::abort();
        }
    }
    // The encoded path may outgrow the limit, so only the server part is split again.
    const auto again = SplitFetchAddress(url.substr(0, url.find('/', url.find("://") + 3)));
    if (!again || again->secure != address->secure || again->host != address->host ||
        again->port != address->port) {
        std::abort();
    }
    return 0;
}
