#include "platform/os/Guid.h"

#include <uuid/uuid.h>

#include <cstring>

namespace os {

bool CreateGuid(GUID* guid) {
    if (guid == nullptr) {
        return false;
    }
    uuid_t bytes;
    uuid_generate(bytes);
    *guid = GuidFromBytes(bytes);
    return true;
}

GUID GuidFromBytes(const std::uint8_t (&bytes)[16]) {
    GUID guid{};
    guid.Data1 = (static_cast<std::uint32_t>(bytes[0]) << 24) | (static_cast<std::uint32_t>(bytes[1]) << 16) |
                 (static_cast<std::uint32_t>(bytes[2]) << 8) | bytes[3];
    guid.Data2 = static_cast<std::uint16_t>((bytes[4] << 8) | bytes[5]);
    guid.Data3 = static_cast<std::uint16_t>((bytes[6] << 8) | bytes[7]);
    std::memcpy(guid.Data4, bytes + 8, sizeof guid.Data4);
    return guid;
}

}  // namespace os
