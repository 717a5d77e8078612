#include "demo-store/FileUtil.h"

#include <sys/stat.h>

#include <filesystem>

#include "platform/os/FileIo.h"

namespace demostore {

bool WriteFileAtomic(const std::string& path, const std::string& bytes, mode_t mode) {
    std::error_code ec;
    const std::filesystem::path target(path);
    if (target.has_parent_path()) {
        std::filesystem::create_directories(target.parent_path(), ec);
    }
    // A FIFO, device or folder in the file's place is never replaced.
    return os::ReplaceFileAtomically(path, bytes, mode);
}

bool ReadWholeFile(const std::string& path, std::string& bytes) {
    // Only a regular file: a FIFO in the place of a data file must not hold
    // the store's start (or a request) forever.
    std::optional<std::string> content = os::ReadWholeFile(path);
    if (!content) {
        return false;
    }
    bytes = std::move(*content);
    return true;
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

}  // namespace demostore
