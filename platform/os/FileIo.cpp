#include "platform/os/FileIo.h"

#include "platform/os/Paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <random>

namespace os {

namespace {

// Opens `path` without blocking (a FIFO without a writer must not hold the
// caller) and keeps the descriptor only when it names a regular file, of
// this user when `ownOnly`. O_NONBLOCK is cleared again unless the caller
// asked for it.
UniqueFd OpenRegular(const std::string& path, int flags, mode_t createMode, bool ownOnly) {
    if (path.empty() || path.find('\0') != std::string::npos) {
        errno = ENOENT;
        return UniqueFd();
    }
    UniqueFd fd(::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, createMode));
    if (!fd.Valid())
        return fd;
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0)
        return UniqueFd();
    if (!S_ISREG(st.st_mode)) {
        errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return UniqueFd();
    }
    if (ownOnly && st.st_uid != ::geteuid()) {
        errno = EPERM;
        return UniqueFd();
    }
    if ((flags & O_NONBLOCK) == 0) {
        const int status = ::fcntl(fd.Get(), F_GETFL);
        if (status < 0 || ::fcntl(fd.Get(), F_SETFL, status & ~O_NONBLOCK) != 0)
            return UniqueFd();
    }
    return fd;
}

}  // namespace

UniqueFd OpenRegularFile(const std::string& path, int extraFlags) {
    return OpenRegular(path, O_RDONLY | extraFlags, 0, false);
}

UniqueFd OpenOwnRegularFile(const std::string& path, int flags, mode_t createMode) {
    // O_TRUNC would cut a file before it is known to be ours: it waits for the checks.
    UniqueFd fd = OpenRegular(path, (flags & ~(O_TRUNC | O_NONBLOCK)) | O_NOFOLLOW, createMode, true);
    if (fd.Valid() && (flags & O_TRUNC) != 0 && ::ftruncate(fd.Get(), 0) != 0)
        return UniqueFd();
    return fd;
}

std::optional<std::string> ReadAll(int fd, std::size_t maxBytes) {
    std::string bytes;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 &&
        static_cast<std::uint64_t>(st.st_size) <= maxBytes)
        bytes.reserve(static_cast<std::size_t>(st.st_size));
    char chunk[16384];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n == 0)
            return bytes;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return std::nullopt;
        }
        if (static_cast<std::size_t>(n) > maxBytes - bytes.size())
            return std::nullopt;
        bytes.append(chunk, static_cast<std::size_t>(n));
    }
}

std::optional<std::string> ReadWholeFile(const std::string& path, std::size_t maxBytes) {
    const UniqueFd fd = OpenRegularFile(path);
    if (!fd.Valid())
        return std::nullopt;
    return ReadAll(fd.Get(), maxBytes);
}

bool WriteAll(int fd, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, bytes + done, size - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0) {
            errno = EIO;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::string TemporarySiblingName(const std::string& target) {
    thread_local std::mt19937_64 generator{std::random_device{}() ^ static_cast<std::uint64_t>(::getpid())};
    static constexpr char kDigits[] = "0123456789abcdef";
    std::uint64_t bits = generator();
    std::string suffix;
    for (int i = 0; i < 12; ++i) {
        suffix.push_back(kDigits[bits & 0xF]);
        bits >>= 4;
    }
    return PathJoin(ParentFolder(target), "." + std::string(FileNamePart(target)) + ".tmp-" + suffix);
}

bool IsReplaceableTarget(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return errno == ENOENT;
    return S_ISREG(st.st_mode) || S_ISLNK(st.st_mode);
}

bool ReplaceFileAtomically(const std::string& target, std::string_view bytes, std::optional<mode_t> mode) {
    if (!IsReplaceableTarget(target)) {
        errno = EEXIST;
        return false;
    }
    std::string temp;
    UniqueFd fd;
    for (int attempt = 0; attempt < 16 && !fd.Valid(); ++attempt) {
        temp = TemporarySiblingName(target);
        // 0666 lets the umask decide a new file's mode, as for any new file.
        fd.Reset(
            ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode.value_or(0666)));
        if (!fd.Valid() && errno != EEXIST)
            return false;
    }
    if (!fd.Valid())
        return false;
    bool ok = WriteAll(fd.Get(), bytes);
    if (ok && mode) {
        // The creation mode went through the umask; the asked-for mode is exact.
        ok = ::fchmod(fd.Get(), *mode) == 0;
    }
    ok = ok && ::fsync(fd.Get()) == 0;
    ok = fd.Close() && ok;
    ok = ok && ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        const int saved = errno;
        ::unlink(temp.c_str());
        errno = saved;
    }
    return ok;
}

}  // namespace os
