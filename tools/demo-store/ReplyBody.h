#pragma once
// How the demo store sends a reply's body: from memory, or from a file read
// piece by piece while it is sent (so the store's memory does not grow with
// the files it serves), honouring a single byte range and the delivery
// faults (cut short, without length, chunked, throttled).
//
// A handler that serves a file hands it to FileReplies::Serve; the server
// takes it (FileReplies::Take) as soon as the handler returns and sends it
// with SendBody. The providers SendBody installs run on the HTTP library's
// worker thread that writes the reply, one call after the other.

#include <httplib.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "demo-store/FaultTable.h"
#include "platform/os/UniqueFd.h"

namespace demostore {

class ReplyBody {
  public:
    virtual ~ReplyBody() = default;
    virtual std::uint64_t Size() const = 0;
    // `length` bytes from `offset` (within Size()): a pointer into the body,
    // or `scratch` (room for at least `length` bytes) filled with them;
    // nullptr when they cannot be read.
    virtual const char* Bytes(std::uint64_t offset, std::size_t length, char* scratch) const = 0;
    // Whether Bytes needs the scratch room.
    virtual bool NeedsScratch() const = 0;
};

class MemoryBody final : public ReplyBody {
  public:
    explicit MemoryBody(std::string bytes) : m_bytes(std::move(bytes)) {}
    std::uint64_t Size() const override { return m_bytes.size(); }
    const char* Bytes(std::uint64_t offset, std::size_t, char*) const override {
        return m_bytes.data() + offset;
    }
    bool NeedsScratch() const override { return false; }

  private:
    std::string m_bytes;
};

// An open regular file and its size when it was opened. A file replaced while
// it is sent keeps its old bytes (the descriptor holds them); one that shrinks
// in place ends the reply early instead of padding it.
class FileBody final : public ReplyBody {
  public:
    // Nothing when `path` is missing, not a regular file (never blocks on a
    // FIFO) or unreadable.
    static std::shared_ptr<const FileBody> Open(const std::string& path);

    std::uint64_t Size() const override { return m_size; }
    const char* Bytes(std::uint64_t offset, std::size_t length, char* scratch) const override;
    bool NeedsScratch() const override { return true; }

  private:
    FileBody(os::UniqueFd fd, std::uint64_t size) : m_fd(std::move(fd)), m_size(size) {}

    os::UniqueFd m_fd;
    std::uint64_t m_size;
};

// Files handed from the handlers to the server, by the reply they belong to.
// Safe from any thread.
class FileReplies {
  public:
    struct Pending {
        std::shared_ptr<const FileBody> body;
        std::string contentType;
    };

    // Makes the file at `path` the body of `res` with status 200. False, with
    // `res` untouched, when the file cannot be opened.
    bool Serve(httplib::Response& res, const std::string& path, const std::string& contentType);
    // The file handed over for `res`, if any; forgets it.
    std::optional<Pending> Take(const httplib::Response& res);

  private:
    std::mutex m_mutex;
    std::map<const httplib::Response*, Pending> m_pending;
};

// The part of a body a "Range" header asks for, inclusive.
struct ByteRange {
    std::uint64_t first = 0;
    std::uint64_t last = 0;
};
enum class RangeAnswer { Whole, Partial, Unsatisfiable };
// Reads a "Range" header value against a body of `size` bytes. One "bytes"
// range that fits (cut to the body's end) is Partial; one that starts at or
// beyond the end, or a suffix of zero bytes, is Unsatisfiable; anything
// else (several ranges, another unit, a malformed value) is Whole: the
// header is ignored, as a server may.
RangeAnswer ResolveRange(std::string_view header, std::uint64_t size, ByteRange& range);

// Installs `body` (or its part `range`) as the reply's body, delivered as
// `fault` says: cut after `truncateAfter` bytes (then held silent when
// `stall`), without length, chunked, throttled to `throttle` bytes per
// second. Clearing the faults after `generation` (FaultTable::Take) releases
// a stall and lifts the throttle of a reply under way; a stopping store ends it.
void SendBody(httplib::Response& res, std::shared_ptr<const ReplyBody> body, const std::string& contentType,
              std::optional<ByteRange> range, const Fault& fault, FaultTable& faults,
              std::uint64_t generation);

}  // namespace demostore
