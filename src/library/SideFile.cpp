#include "library/SideFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <utility>

#include "platform/os/FileIo.h"
#include "platform/os/Text.h"

namespace {

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() &&
           (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n')) {
        text.remove_suffix(1);
    }
    return text;
}

bool HeaderNameIs(std::string_view line, std::string_view name) {
    return line.size() > name.size() && line[name.size()] == ':' &&
           os::AsciiEqualsIgnoreCase(line.substr(0, name.size()), name);
}

// A Content-Length value: decimal digits only, at most 18 of them (no
// overflow, and far beyond any size cap).
std::optional<std::uint64_t> ParseLength(std::string_view value) {
    value = Trim(value);
    if (value.empty() || value.size() > 18) {
        return std::nullopt;
    }
    std::uint64_t length = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), length);
    if (ec != std::errc() || end != value.data() + value.size()) {
        return std::nullopt;
    }
    return length;
}

}  // namespace

bool ReadHeadLine(std::string_view line, HeadLength& length) {
    constexpr std::string_view kLengthName = "content-length";
    if (line.substr(0, 5) == "HTTP/") {
        length = HeadLength{};
        return false;
    }
    if (HeaderNameIs(line, kLengthName)) {
        const auto value = ParseLength(line.substr(kLengthName.size() + 1));
        if (!value || (length.value && *length.value != *value)) {
            length.garbled = true;
        }
        length.value = value;
        return false;
    }
    return Trim(line).empty();
}

SideFile SideFile::Open(const std::string& path, int createFlags, bool truncate) {
    os::UniqueFd fd(open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW | createFlags, 0600));
    // Truncate only once the lock is ours; the mode is set again because the
    // file may be a leftover of other permissions, or the umask cut it.
    if (!fd || flock(fd.Get(), LOCK_EX | LOCK_NB) != 0 || (truncate && ftruncate(fd.Get(), 0) != 0) ||
        fchmod(fd.Get(), 0600) != 0) {
        return SideFile();
    }
    return SideFile(path, std::move(fd));
}

bool SideFile::Write(const char* data, std::size_t size) {
    if (!m_fd || !os::WriteAll(m_fd.Get(), data, size)) {
        return false;
    }
    m_written += size;
    if (m_written - m_writebackStart >= kWritebackWindow) {
        // Starts the write-out of the window without waiting for it.
        sync_file_range(m_fd.Get(), static_cast<off_t>(m_writebackStart),
                        static_cast<off_t>(m_written - m_writebackStart), SYNC_FILE_RANGE_WRITE);
        m_writebackStart = m_written;
    }
    return true;
}

bool SideFile::Truncate(std::uint64_t size) {
    size = std::min(size, m_written);
    if (!m_fd || ftruncate(m_fd.Get(), static_cast<off_t>(size)) != 0 ||
        lseek(m_fd.Get(), static_cast<off_t>(size), SEEK_SET) < 0) {
        return false;
    }
    m_written = size;
    m_writebackStart = std::min(m_writebackStart, size);
    return true;
}

bool SideFile::Sync() {
    return m_fd && ftruncate(m_fd.Get(), static_cast<off_t>(m_written)) == 0 && fdatasync(m_fd.Get()) == 0;
}

bool SideFile::Close() {
    return m_fd.Close();
}

void SideFile::Remove() {
    struct stat opened {};
    struct stat named {};
    // The descriptor still holds the lock while the names are compared, so a
    // second download cannot have taken the file over in between.
    if (m_fd && fstat(m_fd.Get(), &opened) == 0 && lstat(m_path.c_str(), &named) == 0 &&
        opened.st_dev == named.st_dev && opened.st_ino == named.st_ino) {
        unlink(m_path.c_str());
    }
    m_fd.Close();
}
