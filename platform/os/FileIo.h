#pragma once
// File plumbing shared by every reader and writer of the client's files:
// opening only regular files (never blocking on a FIFO or device someone put
// at the path), reading a whole file with a size cap, writing every byte, and
// replacing a file atomically. Every descriptor is opened with O_CLOEXEC.
// Safe from any thread.

#include "platform/os/UniqueFd.h"

#include <sys/types.h>

#include <cstddef>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

namespace os {

// Opens `path` read-only when it is a regular file. A FIFO, device, socket or
// folder at the path is refused without blocking (the open is non-blocking and
// the blocking mode is restored afterwards). `extraFlags` adds flags such as
// O_NOFOLLOW. Invalid on any failure, with errno set.
UniqueFd OpenRegularFile(const std::string& path, int extraFlags = 0);

// Opens `path` for writing when it is a regular file that belongs to this
// user (the effective user), creating it with `createMode` (less the umask)
// when `flags` holds O_CREAT. A symbolic link at the path (ELOOP), a FIFO,
// device, socket or folder (EINVAL, EISDIR) and another user's file (EPERM)
// are refused without blocking. `flags` gives the access mode and flags such
// as O_APPEND, O_CREAT, O_EXCL, O_TRUNC (applied only after the checks);
// O_NOFOLLOW, O_NOCTTY, O_CLOEXEC and, during the checks only, O_NONBLOCK
// are added. Invalid on any failure, with errno set.
UniqueFd OpenOwnRegularFile(const std::string& path, int flags, mode_t createMode = 0600);

// The whole content of a regular file, or nothing when it is missing, not a
// regular file, unreadable, or larger than `maxBytes`.
std::optional<std::string> ReadWholeFile(const std::string& path,
                                         std::size_t maxBytes = std::numeric_limits<std::size_t>::max());

// The whole remaining content of an open descriptor, at most `maxBytes`
// (nothing when there is more or a read fails).
std::optional<std::string> ReadAll(int fd, std::size_t maxBytes = std::numeric_limits<std::size_t>::max());

// Writes every byte, retrying after interruptions and short writes.
bool WriteAll(int fd, const void* data, std::size_t size);
inline bool WriteAll(int fd, std::string_view bytes) {
    return WriteAll(fd, bytes.data(), bytes.size());
}

// Writes `bytes` to a new hidden file beside `target` (".<name>.tmp-<random>"),
// syncs it and renames it over `target`, so that a reader sees the old or the
// new file, never a part; false without writing anything when the target is not
// replaceable (IsReplaceableTarget). `mode`: the new file's mode; without it the umask
// decides (0666 & ~umask), as for any new file. The temporary file is removed
// on any failure. The folder is not synced: after a power cut the old file may
// come back, whole.
bool ReplaceFileAtomically(const std::string& target, std::string_view bytes,
                           std::optional<mode_t> mode = std::nullopt);

// Whether a file may be renamed over `path`: nothing is there, or a regular
// file, or a link (the rename replaces the link, not what it points to). A
// device, FIFO, socket or folder is never replaced: a client running as root
// must not turn /dev/null into a file.
bool IsReplaceableTarget(const std::string& path);

// The name ReplaceFileAtomically would give a temporary file beside `target`
// (for callers that write the file themselves, like a downloader).
std::string TemporarySiblingName(const std::string& target);

}  // namespace os
