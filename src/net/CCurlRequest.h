#pragma once
// The request layer of the store API calls: one blocking GET or POST that
// carries the logged-in user's token in an "X-token" header and returns the
// reply body as narrow text. A requester serves one request.
//
// Requests may run on any thread; they block it for at most the time limits
// below. The token is read from the user session when the headers are built.

#include <curl/curl.h>
#include <cstddef>

#include <string>

#include "net/Utf8ChunkJoiner.h"

class CCurlRequest {
  public:
    // Connect time limit of every request, and overall limit of a POST.
    static constexpr long kConnectTimeoutSeconds = 20;
    static constexpr long kPostTimeoutSeconds = 20;
    // A GET ends when no byte has arrived for this long (it has no overall
    // limit, but a silent server must not hold the caller for ever).
    static constexpr long kStallSeconds = 20;

    // rawReply true: the reply's bytes are kept as they arrive. false (what
    // every store call uses): the reply is taken as UTF-8 and kept as
    // well-formed UTF-8, malformed bytes replaced by U+FFFD.
    explicit CCurlRequest(bool rawReply = false);
    ~CCurlRequest();
    CCurlRequest(const CCurlRequest&) = delete;
    CCurlRequest& operator=(const CCurlRequest&) = delete;

    // GET with the headers "X-Requested-With: XMLHttpRequest" and
    // "X-token:<token>". Returns the reply body received (complete, partial
    // or empty); HTTP statuses are not examined.
    std::string GetWithToken(const std::string& url);

    // POST with "Content-Type:application/json;charset=UTF-8",
    // "X-Requested-With:XMLHttpRequest" and "X-token:<token>"; the body is
    // the text of the X-token line. Returns the reply body received.
    std::string PostWithToken(const std::string& url);

    // libcurl's write callback: appends one piece of the reply to the
    // requester `userData`. Without a requester it returns 0, which ends the
    // transfer.
    static std::size_t WriteCallback(char* data, std::size_t size, std::size_t count, void* userData);

  private:
    void Append(const char* data, std::size_t size);
    void BeginReply();
    void EndReply();
    // Runs the transfer with the TLS trust of every request, traces a
    // failure to the debugger output and ends the reply.
    void Perform(CURL* handle);

    bool m_rawReply;
    std::string m_reply;
    Utf8ChunkJoiner m_joiner;
};
