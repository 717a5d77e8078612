#include "identity/Crc32.h"

#include <zlib.h>

#include <algorithm>
#include <limits>

std::uint32_t Crc32(const void* data, std::size_t size) {
    uLong crc = crc32(0L, Z_NULL, 0);
    const auto* bytes = static_cast<const Bytef*>(data);
    // zlib takes the length as uInt; feed very large inputs in pieces.
    while (size > 0) {
        const std::size_t piece = std::min<std::size_t>(size, std::numeric_limits<uInt>::max());
        crc = crc32(crc, bytes, static_cast<uInt>(piece));
        bytes += piece;
        size -= piece;
    }
    return static_cast<std::uint32_t>(crc);
}
