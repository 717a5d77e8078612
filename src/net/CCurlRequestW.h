#pragma once
// The wide requester: a plain GET whose reply is kept as UTF-16, used for
// the version files of the update and toolbox services. Every request sends
// the fixed credentials "kiwi:plum" those services expect. A requester
// serves one request; it may run on any thread.

#include <cstddef>
#include <string>
#include <string_view>

#include "net/Utf8ChunkJoiner.h"

class CCurlRequestW {
  public:
    static constexpr long kConnectTimeoutSeconds = 20;
    // No overall limit, but a server that sends nothing for this long ends
    // the request.
    static constexpr long kStallSeconds = 20;
    static constexpr const char* kCredentials = "kiwi:plum";

    CCurlRequestW();
    ~CCurlRequestW();
    CCurlRequestW(const CCurlRequestW&) = delete;
    CCurlRequestW& operator=(const CCurlRequestW&) = delete;

    // GET `url`; returns the reply body received so far when the transfer
    // ends (empty when nothing arrived). Failures are not reported.
    std::u16string Get(std::u16string_view url);

    // libcurl's write callback: appends one piece of the reply to the
    // requester `userData`; without one it returns 0, which ends the transfer.
    static std::size_t WriteCallback(char* data, std::size_t size, std::size_t count, void* userData);

  private:
    std::u16string m_reply;
    Utf8ChunkJoiner m_joiner;
};

// The text at `url` (a version file), fetched with a CCurlRequestW and
// handed back as UTF-8 like every other text of the client. Empty when
// nothing arrived.
std::string FetchUrlText(std::string_view url);
