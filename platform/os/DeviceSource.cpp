#include "platform/os/DeviceSource.h"

#include "platform/os/LinuxDeviceSource.h"

namespace os {

const DeviceSource& SystemDeviceSource() {
    static const LinuxDeviceSource source;
    return source;
}

void PutIdentifyText(IdentifyData& data, std::size_t offset, std::size_t length, std::string_view text) {
    if (offset > data.size() || length > data.size() - offset || length % 2 != 0) {
        return;
    }
    for (std::size_t i = 0; i < length; ++i) {
        const std::uint8_t c = i < text.size() ? static_cast<std::uint8_t>(text[i]) : ' ';
        // Word k holds characters 2k (high byte, the odd address) and 2k + 1.
        data[offset + (i ^ 1)] = c;
    }
}

}  // namespace os
