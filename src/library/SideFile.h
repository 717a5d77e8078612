#pragma once
// What the client's two downloaders (the plain file fetch and the template
// transfer) share: the side file a download writes before it takes the
// target's name, and the reading of the length a reply's head announces.
// Internal to the library; both run on the downloading thread.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/os/UniqueFd.h"

// The length a reply's head announces, read line by line as libcurl hands
// the head over (ReadHeadLine).
struct HeadLength {
    // The announced length; none when the head has no Content-Length.
    std::optional<std::uint64_t> value;
    // A Content-Length that is not a decimal number, or two that differ: the
    // reply cannot be trusted to say how long its body is. A value that is
    // not a number is never read as 0, which would turn a garbled reply into
    // an empty "complete" file.
    bool garbled = false;
};

// Reads one header line into `length`. A status line ("HTTP/…") starts a new
// head (a redirect's, an interim reply's or the final one) and forgets what
// the earlier one said. True when `line` is the blank line that ends a head.
bool ReadHeadLine(std::string_view line, HeadLength& length);

// One download's side file, open for writing. Opened owner-only (0600 whatever
// the umask), never through a symbolic link, not handed on to programs the
// client starts, and locked (flock) so that a second download into the same
// path fails instead of mixing its bytes in. Closed when it goes.
class SideFile {
  public:
    SideFile() = default;

    // Opens `path` with `createFlags` (0, O_CREAT, or O_CREAT | O_EXCL) added
    // to the open flags above; `truncate` empties it once the lock is ours, so
    // that a second download cannot destroy the first one's bytes. Invalid on
    // any failure (the file may then exist, empty or as it was).
    static SideFile Open(const std::string& path, int createFlags, bool truncate);

    bool Valid() const { return m_fd.Valid(); }
    const std::string& Path() const { return m_path; }
    // The bytes written so far (or the size after Truncate).
    std::uint64_t Written() const { return m_written; }

    // Appends every byte of `data` at the end of what was written. Written
    // bytes are handed to the disk in windows of kWritebackWindow while the
    // download goes on (sync_file_range), so that the final Sync has only the
    // last window left to wait for and a large download does not pile up
    // dirty pages. False when the write fails (a full disk).
    bool Write(const char* data, std::size_t size);

    // Cuts the file to `size` bytes (no more than written) and continues
    // writing there.
    bool Truncate(std::uint64_t size);

    // Cuts away anything past what was written (the tail of a file opened
    // without truncation) and puts the bytes on the disk (fdatasync): after
    // this, a power loss cannot leave a shorter file under its later name.
    bool Sync();

    // Closes the file; false when the close failed (written data may be lost).
    bool Close();

    // Removes the file, only while the path still names the file this object
    // opened (someone may have put another file there since), and closes it.
    void Remove();

    static constexpr std::uint64_t kWritebackWindow = 8 * 1024 * 1024;

  private:
    SideFile(std::string path, os::UniqueFd fd) : m_path(std::move(path)), m_fd(std::move(fd)) {}

    std::string m_path;
    os::UniqueFd m_fd;
    std::uint64_t m_written = 0;
    std::uint64_t m_writebackStart = 0;
};
