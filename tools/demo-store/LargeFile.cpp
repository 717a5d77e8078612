#include "demo-store/LargeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "platform/os/FileIo.h"
#include "platform/os/UniqueFd.h"

namespace demostore {
namespace {

constexpr char kMemberName[] = "vanto-demo-large-file.txt";
constexpr std::size_t kMemberNameSize = sizeof kMemberName - 1;
constexpr std::size_t kLocalHeaderSize = 30 + kMemberNameSize;
constexpr std::size_t kCentralHeaderSize = 46 + kMemberNameSize;
constexpr std::size_t kEndRecordSize = 22;
constexpr std::size_t kLineSize = 64;
// 2026-01-01 00:00 in the archive's DOS date, so the bytes never depend on the clock.
constexpr std::uint16_t kDosDate = ((2026 - 1980) << 9) | (1 << 5) | 1;

void Put16(std::string& out, std::uint32_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}
void Put32(std::string& out, std::uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

// The header fields both directory records share, from "version needed" on.
std::string CommonFields(std::uint32_t crc, std::uint32_t size) {
    std::string out;
    Put16(out, 10);  // version needed: stored data
    Put16(out, 0);   // flags
    Put16(out, 0);   // method: stored
    Put16(out, 0);   // time
    Put16(out, kDosDate);
    Put32(out, crc);
    Put32(out, size);  // compressed
    Put32(out, size);  // uncompressed
    Put16(out, kMemberNameSize);
    Put16(out, 0);  // extra field
    return out;
}

std::string LocalHeader(std::uint32_t crc, std::uint32_t size) {
    std::string out;
    Put32(out, 0x04034b50);
    return out + CommonFields(crc, size) + kMemberName;
}

std::string DirectoryAndEnd(std::uint32_t crc, std::uint32_t size) {
    std::string central;
    Put32(central, 0x02014b50);
    Put16(central, (3 << 8) | 20);  // made by: Unix, 2.0
    central += CommonFields(crc, size);
    Put16(central, 0);               // comment
    Put16(central, 0);               // disk
    Put16(central, 1);               // internal attributes: text
    Put32(central, 0100644u << 16);  // external attributes: a regular file, rw-r--r--
    Put32(central, 0);               // where the local header is
    central += kMemberName;
    std::string end;
    Put32(end, 0x06054b50);
    Put16(end, 0);
    Put16(end, 0);
    Put16(end, 1);
    Put16(end, 1);
    Put32(end, static_cast<std::uint32_t>(central.size()));
    Put32(end, static_cast<std::uint32_t>(kLocalHeaderSize + size));
    Put16(end, 0);  // comment
    return central + end;
}

// Line `number` (from 1): 63 characters and a line feed.
void FormatLine(std::uint64_t number, char* line) {
    char text[kLineSize + 1];
    const int n = std::snprintf(text, sizeof text, "line %012llu of the Vanto demo store's large file",
                                static_cast<unsigned long long>(number));
    std::memset(line, '.', kLineSize - 1);
    std::memcpy(line, text, static_cast<std::size_t>(n));
    line[kLineSize - 1] = '\n';
}

}  // namespace

std::optional<std::uint64_t> LargeFile::ParseSize(std::string_view text) {
    std::uint64_t unit = 1;
    if (!text.empty()) {
        switch (text.back()) {
            case 'k':
            case 'K':
                unit = 1ULL << 10;
                break;
            case 'm':
            case 'M':
                unit = 1ULL << 20;
                break;
            case 'g':
            case 'G':
                unit = 1ULL << 30;
                break;
            default:
                break;
        }
        if (unit != 1) {
            text.remove_suffix(1);
        }
    }
    if (text.empty() || text.size() > 12 || text.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (char c : text) {
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (value > kLargestSize / unit) {
        return std::nullopt;
    }
    value *= unit;
    if (value < kSmallestSize) {
        return std::nullopt;
    }
    return value;
}

bool LargeFile::WriteArchive(int fd, std::uint64_t size) {
    if (size < kSmallestSize || size > kLargestSize) {
        return false;
    }
    const std::uint64_t memberSize = size - kLocalHeaderSize - kCentralHeaderSize - kEndRecordSize;
    // The member's checksum is known after its bytes: the local header goes
    // first with none and gets it at the end.
    if (!os::WriteAll(fd, LocalHeader(0, static_cast<std::uint32_t>(memberSize)))) {
        return false;
    }
    constexpr std::size_t kLinesPerBlock = 16384;
    std::vector<char> block(kLinesPerBlock * kLineSize);
    uLong crc = crc32(0L, Z_NULL, 0);
    std::uint64_t written = 0;
    std::uint64_t line = 1;
    while (written < memberSize) {
        const std::size_t length =
            static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), memberSize - written));
        for (std::size_t at = 0; at < length; at += kLineSize) {
            FormatLine(line++, block.data() + at);
        }
        crc = crc32(crc, reinterpret_cast<const Bytef*>(block.data()), static_cast<uInt>(length));
        if (!os::WriteAll(fd, block.data(), length)) {
            return false;
        }
        written += length;
    }
    const std::string header =
        LocalHeader(static_cast<std::uint32_t>(crc), static_cast<std::uint32_t>(memberSize));
    return os::WriteAll(fd, DirectoryAndEnd(static_cast<std::uint32_t>(crc),
                                            static_cast<std::uint32_t>(memberSize))) &&
           pwrite(fd, header.data() + 14, 4, 14) == 4;
}

bool LargeFile::Ensure(const std::string& path, std::string& error) {
    std::lock_guard lock(m_mutex);
    struct stat st {};
    if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        static_cast<std::uint64_t>(st.st_size) == m_size) {
        return true;
    }
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    if (!os::IsReplaceableTarget(path)) {
        error = "something other than a file is in the place of " + path;
        return false;
    }
    const std::string temporary = os::TemporarySiblingName(path);
    os::UniqueFd fd(open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    // Readers see the old file or the whole new one; a power cut may leave a
    // short one, which the next request replaces.
    const bool written =
        fd && WriteArchive(fd.Get(), m_size) && fd.Close() && rename(temporary.c_str(), path.c_str()) == 0;
    if (!written) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace demostore
