#pragma once
// The request layer of the store API calls: one blocking GET or POST that
// carries the logged-in user's token in an "X-token" header and returns the
// reply body as narrow text. A requester serves one request at a time.
//
// Requests may run on any thread; they block it for at most the time limits
// below. The token comes from the provider of SessionToken.h, asked when the
// headers are built, unless SetToken gave the requester one of its own.

#include <curl/curl.h>

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <utility>

#include "net/CurlEasy.h"
#include "net/Utf8ChunkJoiner.h"

namespace os {
class Event;
}

class CCurlRequest {
  public:
    // The limits a requester starts with. Every request may take this long to
    // connect; a POST may take kPostLimit in all. A GET ends when no byte has
    // arrived for kStallLimit, and after kGetLimit in all, so that neither a
    // silent server nor one trickling a byte now and then holds the caller.
    static constexpr std::chrono::milliseconds kConnectLimit{20000};
    static constexpr std::chrono::milliseconds kPostLimit{20000};
    static constexpr std::chrono::milliseconds kStallLimit{20000};
    static constexpr std::chrono::milliseconds kGetLimit{60000};
    // A longer reply is a failed request (SetReplyCap changes it).
    static constexpr std::size_t kMaxReply = net::kMaxReplyBytes;

    // rawReply true: the reply's bytes are kept as they arrive. false (what
    // every store call uses): the reply is taken as UTF-8 and kept as
    // well-formed UTF-8, malformed bytes replaced by U+FFFD.
    explicit CCurlRequest(bool rawReply = false);
    ~CCurlRequest();
    CCurlRequest(const CCurlRequest&) = delete;
    CCurlRequest& operator=(const CCurlRequest&) = delete;

    // The limits of the following requests (millisecond resolution).
    void SetConnectLimit(std::chrono::milliseconds limit) { m_connectLimit = limit; }
    void SetPostLimit(std::chrono::milliseconds limit) { m_postLimit = limit; }
    void SetStallLimit(std::chrono::milliseconds limit) { m_stallLimit = limit; }
    void SetGetLimit(std::chrono::milliseconds limit) { m_getLimit = limit; }
    void SetReplyCap(std::size_t bytes) { m_replyCap = bytes; }
    // The token the following requests carry instead of the provider's: a
    // worker that must know which user its reply belongs to sends the token
    // it was started with, whatever the session holds by then.
    void SetToken(std::string token) { m_token = std::move(token); }
    // An event that ends the following requests as soon as it is set (the
    // request then returns what arrived, usually nothing); null for none. It
    // must outlive the requests.
    void SetStopEvent(const os::Event* stop) { m_stop = stop; }
    // What a GET and a POST run with now.
    net::TransferLimits LimitsOfGet() const { return {m_connectLimit, m_stallLimit, m_getLimit, m_replyCap}; }
    net::TransferLimits LimitsOfPost() const { return {m_connectLimit, {}, m_postLimit, m_replyCap}; }

    // GET with the headers "X-Requested-With: XMLHttpRequest" and
    // "X-token:<token>". Returns the reply body received (complete, partial
    // or empty); HTTP statuses are not examined. A reply longer than
    // the cap (kMaxReply unless set) gives empty text.
    std::string GetWithToken(const std::string& url);

    // POST with "Content-Type:application/json;charset=UTF-8",
    // "X-Requested-With:XMLHttpRequest" and "X-token:<token>"; the body is
    // the text of the X-token line. Returns the reply body received, empty
    // for a reply longer than kMaxReply.
    std::string PostWithToken(const std::string& url);

    // libcurl's write callback: appends one piece of the reply to the
    // requester `userData`. Without a requester, or when the reply grows
    // beyond kMaxReply, it returns 0, which ends the transfer.
    static std::size_t WriteCallback(char* data, std::size_t size, std::size_t count, void* userData);

  private:
    bool Append(const char* data, std::size_t size);
    void BeginReply();
    // Runs the transfer, traces a failure to the debugger output and ends
    // the reply.
    void Perform(net::CurlEasy& easy);

    // The "X-token" line of a request; false for a token that cannot be genuine.
    bool BuildTokenLine(std::string& line) const;

    bool m_rawReply;
    std::optional<std::string> m_token;  // set: sent instead of the provider's
    const os::Event* m_stop = nullptr;
    std::chrono::milliseconds m_connectLimit = kConnectLimit;
    std::chrono::milliseconds m_postLimit = kPostLimit;
    std::chrono::milliseconds m_stallLimit = kStallLimit;
    std::chrono::milliseconds m_getLimit = kGetLimit;
    std::size_t m_replyCap = kMaxReply;
    std::string m_reply;
    std::size_t m_received = 0;  // reply bytes as they came, before any conversion
    bool m_overCap = false;
    Utf8ChunkJoiner m_joiner;
};
