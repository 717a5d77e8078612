#pragma once
// GUIDs in the Windows layout, made by libuuid.

#include <cstdint>

struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};

namespace os {

// Creates a new random GUID. Returns false (and leaves *guid alone) only when
// `guid` is null.
bool CreateGuid(GUID* guid);

// A GUID from the 16 bytes of a UUID in RFC 4122 (network) order: the first
// three fields big-endian, then the eight bytes as they come.
GUID GuidFromBytes(const std::uint8_t (&bytes)[16]);

}  // namespace os
