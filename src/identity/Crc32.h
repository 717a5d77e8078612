#pragma once
// CRC-32 as zip and PNG compute it (reflected, polynomial 0xEDB88320,
// initial value and final inversion 0xFFFFFFFF), through zlib.

#include <cstddef>
#include <cstdint>

std::uint32_t Crc32(const void* data, std::size_t size);
