#pragma once
// The one owner of libcurl easy handles in the client, and what every
// transfer has in common, whichever requester runs it (store calls, version
// files, form posts, uploads, file fetches):
//   - the TLS trust of TlsTrust.h;
//   - no signals: libcurl must not change process-wide signal dispositions
//     around each transfer while other threads run theirs (SIGPIPE is
//     ignored once instead, see CurlGlobal.h);
//   - time limits of millisecond resolution, set per requester, so that a
//     test sets a short limit instead of waiting a long one out.
//
// A handle and its header list belong to one thread at a time; transfers on
// different handles may run on any threads at once.

#include <curl/curl.h>

#include <chrono>
#include <cstddef>

namespace os {
class Event;
}

namespace net {

// The largest replies the client reads into memory: a reply of the store or
// of a service, and a version file. A longer reply is a failed request.
inline constexpr std::size_t kMaxReplyBytes = 16 * 1024 * 1024;
inline constexpr std::size_t kMaxVersionFileBytes = 64 * 1024;

// The limits of one transfer; a zero time limit is no limit (a zero connect
// limit leaves libcurl's own, 300 seconds).
struct TransferLimits {
    // Setting up the connection, TLS handshake included.
    std::chrono::milliseconds connect{0};
    // Silence once connected: no byte sent or received for this long ends the
    // transfer. A byte now and then keeps it going; see `overall`.
    std::chrono::milliseconds stall{0};
    // The whole transfer, from its start to its last byte.
    std::chrono::milliseconds overall{0};
    // The most reply bytes a requester that reads the reply into memory
    // keeps; a longer reply is a failure. Enforced by those requesters (their
    // write callbacks), not by libcurl.
    std::size_t reply = kMaxReplyBytes;
};

// Sets the common options on `handle`: TLS trust, CURLOPT_NOSIGNAL, and the
// connect and overall limits (the stall limit needs a look at the transfer
// while it runs: CurlEasy::Perform and StallWatch). False when libcurl
// refuses one of them.
bool ApplyCommonOptions(CURL* handle, const TransferLimits& limits);

// An easy handle with the common options, cleaned up when it goes.
class CurlEasy {
  public:
    // Sets libcurl's global state up (CurlGlobalInit), makes the handle and
    // applies the common options with `limits`. Invalid when any of that fails.
    explicit CurlEasy(const TransferLimits& limits);
    ~CurlEasy();
    CurlEasy(const CurlEasy&) = delete;
    CurlEasy& operator=(const CurlEasy&) = delete;

    CURL* Get() const { return m_handle; }
    bool Valid() const { return m_handle != nullptr; }
    explicit operator bool() const { return Valid(); }
    const TransferLimits& Limits() const { return m_limits; }

    // An event that ends the transfer as soon as it is set (a component
    // going away while its worker waits on a silent server); null for none.
    // The event must outlive the transfers it is set for.
    void SetStopEvent(const os::Event* stop) { m_stop = stop; }

    // Runs the transfer to its end on the calling thread, blocking it for at
    // most the limits. Returns libcurl's result; silence beyond the stall
    // limit gives CURLE_OPERATION_TIMEDOUT, as the other limits do, and the
    // stop event (set before or during the transfer) CURLE_ABORTED_BY_CALLBACK.
    CURLcode Perform();

  private:
    CURL* m_handle = nullptr;
    TransferLimits m_limits;
    const os::Event* m_stop = nullptr;
};

// A header list for CURLOPT_HTTPHEADER, freed when it goes.
class CurlHeaderList {
  public:
    CurlHeaderList() = default;
    ~CurlHeaderList();
    CurlHeaderList(const CurlHeaderList&) = delete;
    CurlHeaderList& operator=(const CurlHeaderList&) = delete;

    // Appends one line; false (the list unchanged) when libcurl cannot grow it.
    bool Append(const char* line);
    curl_slist* Get() const { return m_head; }

  private:
    curl_slist* m_head = nullptr;
};

// Watches a running transfer for silence: what the transfer counts as sent
// and received (request, headers, bodies) must grow at least once per stall
// limit once the connection is made. Before that the connect limit rules.
// For callers that drive a transfer through libcurl's multi interface
// themselves; CurlEasy::Perform uses one too.
class StallWatch {
  public:
    // Silence counts from now. A zero limit never stalls.
    explicit StallWatch(std::chrono::milliseconds limit);

    // Looks at the transfer's counters now: true when it is connected and
    // nothing has moved for the limit or longer.
    bool Stalled(CURL* handle);

    // How long a wait for the connection may last before the next look:
    // the silence left until the limit, between 1 ms and `most`.
    int WaitMilliseconds(int most = 1000) const;

  private:
    std::chrono::milliseconds m_limit;
    std::chrono::steady_clock::time_point m_lastMove;
    curl_off_t m_moved = -1;
};

}  // namespace net
