// Feeds arbitrary bytes as the address of a page that sent a message (the
// engine hands it over from the web). Beyond "no crash": an accepted origin
// has a known scheme, a host of plain characters and a port, and the address
// it came from is judged on the host it names, and on no other.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "web/PageOrigin.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto origin = ParsePageOrigin(input);
    if (!origin)
        return 0;
    if ((origin->scheme != "http" && origin->scheme != "https") || origin->host.empty() || origin->port == 0)
        std::abort();
    for (const char c : origin->host) {
        const bool plain =
            (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == ':';
        if (!plain)
            std::abort();
    }
    const bool v6 = origin->host.find(':') != std::string::npos;
    const std::string host =
        (v6 ? "[" + origin->host + "]" : origin->host) + ":" + std::to_string(origin->port);
    if (!IsPageOnHost(input, origin->scheme, host))
        std::abort();
    if (IsPageOnHost(input, origin->scheme, "x" + host))
        std::abort();
    return 0;
}
