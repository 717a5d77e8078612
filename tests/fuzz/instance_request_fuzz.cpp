// Fuzzes the instance channel's request reader: whatever another process
// writes to the socket, a request is either refused or one of the three
// known ones with a show command in range, and a taken request reads back
// the same from its canonical text.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/duilib/InstanceChannel.h"

namespace {

void Check(bool condition) {
    if (!condition)
        std::abort();
}

std::string Canonical(const DuiLib::InstanceChannel::Request& request) {
    using Kind = DuiLib::InstanceChannel::Request::Kind;
    switch (request.kind) {
        case Kind::Ping:
            return "PING";
        case Kind::Foreground:
            return "FOREGROUND";
        case Kind::Show:
            return "SHOW " + std::to_string(request.cmdShow);
    }
    return {};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    const auto request = DuiLib::InstanceChannel::ParseRequest(line);
    if (!request)
        return 0;
    Check(request->cmdShow >= 0 && request->cmdShow <= 11);
    Check(line == Canonical(*request));
    return 0;
}
