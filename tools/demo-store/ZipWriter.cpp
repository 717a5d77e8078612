#include "demo-store/ZipWriter.h"

#include <zlib.h>

namespace demostore {
namespace {

void Put16(std::string& out, std::uint32_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}

void Put32(std::string& out, std::uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

// 1 January 2026, 00:00, in MS-DOS form: a fixed stamp keeps the archive the
// same from one start to the next.
constexpr std::uint32_t kDosTime = 0;
constexpr std::uint32_t kDosDate = ((2026 - 1980) << 9) | (1 << 5) | 1;

}  // namespace

void ZipWriter::Add(const std::string& name, const std::string& bytes) {
    Entry entry;
    entry.name = name;
    entry.bytes = bytes;
    entry.crc = static_cast<std::uint32_t>(
        crc32(0L, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
    m_entries.push_back(std::move(entry));
}

std::string ZipWriter::Finish() const {
    std::string out;
    std::string central;
    for (const Entry& entry : m_entries) {
        const auto offset = static_cast<std::uint32_t>(out.size());
        const auto size = static_cast<std::uint32_t>(entry.bytes.size());
        const auto nameSize = static_cast<std::uint32_t>(entry.name.size());
        // Bit 11: the names are UTF-8.
        Put32(out, 0x04034b50);
        Put16(out, 10);
        Put16(out, 0x0800);
        Put16(out, 0);
        Put16(out, kDosTime);
        Put16(out, kDosDate);
        Put32(out, entry.crc);
        Put32(out, size);
        Put32(out, size);
        Put16(out, nameSize);
        Put16(out, 0);
        out += entry.name;
        out += entry.bytes;

        Put32(central, 0x02014b50);
        Put16(central, 0x031E);  // made by: Unix, version 3.0
        Put16(central, 10);
        Put16(central, 0x0800);
        Put16(central, 0);
        Put16(central, kDosTime);
        Put16(central, kDosDate);
        Put32(central, entry.crc);
        Put32(central, size);
        Put32(central, size);
        Put16(central, nameSize);
        Put16(central, 0);
        Put16(central, 0);
        Put16(central, 0);
        Put16(central, 0);
        Put32(central, 0100644u << 16);  // rw-r--r--
        Put32(central, offset);
        central += entry.name;
    }
    const auto centralOffset = static_cast<std::uint32_t>(out.size());
    out += central;
    Put32(out, 0x06054b50);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, static_cast<std::uint32_t>(m_entries.size()));
    Put16(out, static_cast<std::uint32_t>(m_entries.size()));
    Put32(out, static_cast<std::uint32_t>(central.size()));
    Put32(out, centralOffset);
    Put16(out, 0);
    return out;
}

}  // namespace demostore
