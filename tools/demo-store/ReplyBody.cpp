#include "demo-store/ReplyBody.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "platform/os/FileIo.h"
#include "platform/os/Text.h"

namespace demostore {
namespace {

// Bytes handed to the connection at once: what a file read costs in memory.
constexpr std::size_t kPiece = 64 * 1024;
// The largest chunk of a chunked reply (the admin's "chunk_size" bound).
constexpr std::size_t kLargestChunk = 1 << 20;
// A throttled body leaves in this many pieces per second (at most kPiece each).
constexpr long long kThrottleSteps = 20;

using Clock = std::chrono::steady_clock;

// Sends one reply's body, a window [m_first, m_first + m_length) of `body`,
// piece by piece. The HTTP library asks for it with offsets within the window.
class BodySender {
  public:
    BodySender(std::shared_ptr<const ReplyBody> body, std::uint64_t first, std::uint64_t length,
               std::uint64_t limit, std::size_t piece, long long throttle, bool stallAtCut, bool chunked,
               FaultTable& faults, std::uint64_t generation)
        : m_body(std::move(body)),
          m_first(first),
          m_length(length),
          m_limit(limit),
          m_piece(piece),
          m_throttle(throttle),
          m_stallAtCut(stallAtCut),
          m_chunked(chunked),
          m_faults(faults),
          m_generation(generation) {}

    std::uint64_t Length() const { return m_length; }
    std::uint64_t Limit() const { return m_limit; }
    bool Cut() const { return m_limit < m_length; }

    // Sends the piece at `offset` (of at most `room` bytes, stopping at the
    // cut). False ends the reply: the bytes cannot be read, the store stops,
    // or the client is gone.
    bool Send(std::uint64_t offset, std::uint64_t room, httplib::DataSink& sink) {
        const std::uint64_t end = std::min(m_limit, offset + room);
        if (offset >= end) {
            return EndCut();
        }
        const std::size_t length = static_cast<std::size_t>(std::min<std::uint64_t>(end - offset, m_piece));
        if (!Pace(length)) {
            return false;
        }
        if (m_body->NeedsScratch() && m_scratchSize < length) {
            m_scratch = std::make_unique<char[]>(length);
            m_scratchSize = length;
        }
        const char* bytes = m_body->Bytes(m_first + offset, length, m_scratch.get());
        return bytes != nullptr && sink.write(bytes, length);
    }

    // The end of a body cut short: held silent first when asked, then the
    // connection is closed (a provider that answers false aborts the reply).
    bool EndCut() {
        if (m_stallAtCut) {
            m_faults.Wait(std::nullopt, m_generation);
        }
        return false;
    }

  private:
    // Waits until `length` more bytes keep the body within its rate: after
    // t seconds at most rate × t bytes plus one piece have left. False when
    // the store stops; clearing the faults lifts the throttle.
    bool Pace(std::size_t length) {
        if (m_throttle <= 0) {
            return true;
        }
        const auto now = Clock::now();
        if (!m_started) {
            m_start = now;
            m_started = true;
        }
        const std::uint64_t after = m_sent + length;
        const std::uint64_t beyondBurst = after > m_piece ? after - m_piece : 0;
        const auto due = m_start + std::chrono::nanoseconds(static_cast<std::int64_t>(
                                       static_cast<long double>(beyondBurst) * 1e9L / m_throttle));
        for (auto waitFrom = now; waitFrom < due; waitFrom = Clock::now()) {
            const FaultTable::WaitEnd end = m_faults.Await(due - waitFrom, m_generation);
            if (end == FaultTable::WaitEnd::Stopping) {
                return false;
            }
            if (end == FaultTable::WaitEnd::Released) {
                // The rest leaves at full speed, in full pieces unless
                // each piece is a chunk of the asked size.
                m_throttle = 0;
                if (!m_chunked) {
                    m_piece = std::max(m_piece, kPiece);
                }
                break;
            }
        }
        m_sent = after;
        return true;
    }

    std::shared_ptr<const ReplyBody> m_body;
    std::uint64_t m_first;
    std::uint64_t m_length;
    std::uint64_t m_limit;
    std::size_t m_piece;
    long long m_throttle;
    bool m_stallAtCut;
    bool m_chunked;
    FaultTable& m_faults;
    std::uint64_t m_generation;  // a Clear after it releases the reply
    std::unique_ptr<char[]> m_scratch;
    std::size_t m_scratchSize = 0;
    bool m_started = false;
    Clock::time_point m_start;
    std::uint64_t m_sent = 0;
};

// A decimal number of a range; values beyond 19 digits saturate, which is
// as good as infinite against any body.
bool ReadNumber(std::string_view text, std::uint64_t& value) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) {
        return false;
    }
    value = 0;
    for (char c : text) {
        if (value > (UINT64_MAX - 9) / 10) {
            value = UINT64_MAX;
            return true;
        }
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return true;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

}  // namespace

std::shared_ptr<const FileBody> FileBody::Open(const std::string& path) {
    os::UniqueFd fd = os::OpenRegularFile(path);
    struct stat st {};
    if (!fd || fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return nullptr;
    }
    return std::shared_ptr<const FileBody>(
        new FileBody(std::move(fd), static_cast<std::uint64_t>(st.st_size)));
}

const char* FileBody::Bytes(std::uint64_t offset, std::size_t length, char* scratch) const {
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = pread(m_fd.Get(), scratch + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return nullptr;  // a read error, or the file shrank since it was opened
        }
        done += static_cast<std::size_t>(n);
    }
    return scratch;
}

bool FileReplies::Serve(httplib::Response& res, const std::string& path, const std::string& contentType) {
    auto body = FileBody::Open(path);
    if (!body) {
        return false;
    }
    res.status = 200;
    res.body.clear();
    std::lock_guard lock(m_mutex);
    m_pending[&res] = Pending{std::move(body), contentType};
    return true;
}

std::optional<FileReplies::Pending> FileReplies::Take(const httplib::Response& res) {
    std::lock_guard lock(m_mutex);
    const auto it = m_pending.find(&res);
    if (it == m_pending.end()) {
        return std::nullopt;
    }
    Pending pending = std::move(it->second);
    m_pending.erase(it);
    return pending;
}

RangeAnswer ResolveRange(std::string_view header, std::uint64_t size, ByteRange& range) {
    header = Trim(header);
    const std::size_t equals = header.find('=');
    if (equals == std::string_view::npos ||
        !os::AsciiEqualsIgnoreCase(Trim(header.substr(0, equals)), "bytes")) {
        return RangeAnswer::Whole;
    }
    const std::string_view spec = Trim(header.substr(equals + 1));
    const std::size_t dash = spec.find('-');
    if (spec.find(',') != std::string_view::npos || dash == std::string_view::npos) {
        return RangeAnswer::Whole;
    }
    const std::string_view firstText = Trim(spec.substr(0, dash));
    const std::string_view lastText = Trim(spec.substr(dash + 1));
    std::uint64_t first = 0;
    std::uint64_t last = 0;
    if (firstText.empty()) {
        // "-N": the last N bytes.
        if (!ReadNumber(lastText, last)) {
            return RangeAnswer::Whole;
        }
        if (last == 0 || size == 0) {
            return RangeAnswer::Unsatisfiable;
        }
        range = {size - std::min(last, size), size - 1};
        return RangeAnswer::Partial;
    }
    if (!ReadNumber(firstText, first)) {
        return RangeAnswer::Whole;
    }
    if (lastText.empty()) {
        last = UINT64_MAX;
    } else if (!ReadNumber(lastText, last) || last < first) {
        return RangeAnswer::Whole;
    }
    if (first >= size) {
        return RangeAnswer::Unsatisfiable;
    }
    range = {first, std::min(last, size - 1)};
    return RangeAnswer::Partial;
}

void SendBody(httplib::Response& res, std::shared_ptr<const ReplyBody> body, const std::string& contentType,
              std::optional<ByteRange> range, const Fault& fault, FaultTable& faults,
              std::uint64_t generation) {
    res.body.clear();
    const std::uint64_t first = range ? range->first : 0;
    const std::uint64_t length = range ? range->last - range->first + 1 : body->Size();
    const bool cut = fault.truncateAfter >= 0 && static_cast<std::uint64_t>(fault.truncateAfter) < length;
    const std::uint64_t limit = cut ? static_cast<std::uint64_t>(fault.truncateAfter) : length;
    if (length == 0 && !fault.chunked && !fault.dropLength) {
        res.set_content(std::string(), contentType);
        return;
    }
    std::size_t piece = kPiece;
    if (fault.chunked) {
        // Each write is one chunk: the asked size, or the body in two halves.
        piece = fault.chunkSize > 0
                    ? fault.chunkSize
                    : static_cast<std::size_t>(std::clamp<std::uint64_t>((limit + 1) / 2, 1, kLargestChunk));
    } else if (fault.throttle > 0) {
        piece = static_cast<std::size_t>(
            std::clamp<long long>(fault.throttle / kThrottleSteps, 1, static_cast<long long>(kPiece)));
    }
    auto sender = std::make_shared<BodySender>(std::move(body), first, length, limit, piece, fault.throttle,
                                               fault.stall && cut, fault.chunked, faults, generation);
    if (fault.chunked) {
        res.set_chunked_content_provider(contentType, [sender](std::size_t offset, httplib::DataSink& sink) {
            if (offset < sender->Limit()) {
                return sender->Send(offset, sender->Length() - offset, sink);
            }
            if (sender->Cut()) {
                return sender->EndCut();
            }
            sink.done();
            return true;
        });
    } else if (fault.dropLength) {
        // Such a body ends where the connection ends, so the connection is
        // closed after the last byte (the library would keep it open).
        res.set_content_provider(contentType, [sender](std::size_t offset, httplib::DataSink& sink) {
            if (offset < sender->Limit()) {
                return sender->Send(offset, sender->Length() - offset, sink);
            }
            return sender->EndCut();
        });
    } else {
        res.set_content_provider(static_cast<std::size_t>(length), contentType,
                                 [sender](std::size_t offset, std::size_t room, httplib::DataSink& sink) {
                                     return sender->Send(offset, room, sink);
                                 });
    }
}

}  // namespace demostore
