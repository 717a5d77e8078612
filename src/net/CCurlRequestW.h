#pragma once
// The wide requester: a plain GET whose reply is kept as UTF-16, used for
// the version files of the update and toolbox services. Every request sends
// the fixed credentials "kiwi:plum" those services expect. A requester
// serves one request at a time; it may run on any thread.

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

#include "net/CurlEasy.h"
#include "net/Utf8ChunkJoiner.h"

namespace os {
class Event;
}

class CCurlRequestW {
  public:
    // The limits a requester starts with: the connection may take
    // kConnectLimit; a server that sends nothing for kStallLimit ends the
    // request, and so does kOverallLimit in all.
    static constexpr std::chrono::milliseconds kConnectLimit{20000};
    static constexpr std::chrono::milliseconds kStallLimit{20000};
    static constexpr std::chrono::milliseconds kOverallLimit{60000};
    // A version file is a few lines; a longer reply is a failed request.
    static constexpr std::size_t kMaxReply = net::kMaxVersionFileBytes;
    static constexpr const char* kCredentials = "kiwi:plum";

    CCurlRequestW();
    ~CCurlRequestW();
    CCurlRequestW(const CCurlRequestW&) = delete;
    CCurlRequestW& operator=(const CCurlRequestW&) = delete;

    // The limits of the following requests (millisecond resolution).
    void SetConnectLimit(std::chrono::milliseconds limit) { m_limits.connect = limit; }
    void SetStallLimit(std::chrono::milliseconds limit) { m_limits.stall = limit; }
    void SetOverallLimit(std::chrono::milliseconds limit) { m_limits.overall = limit; }
    const net::TransferLimits& Limits() const { return m_limits; }
    // An event that ends a running request as soon as it is set (null: none);
    // it must outlive the requests. A stopped request gives what arrived.
    void SetStopEvent(const os::Event* stop) { m_stop = stop; }

    // GET `url`; returns the reply body received so far when the transfer
    // ends (empty when nothing arrived). Failures are not reported, except a
    // reply longer than kMaxReply: it gives empty text and a debugger line.
    std::u16string Get(std::u16string_view url);

    // libcurl's write callback: appends one piece of the reply to the
    // requester `userData`; without one, or when the reply grows beyond
    // kMaxReply, it returns 0, which ends the transfer.
    static std::size_t WriteCallback(char* data, std::size_t size, std::size_t count, void* userData);

  private:
    net::TransferLimits m_limits{kConnectLimit, kStallLimit, kOverallLimit};
    const os::Event* m_stop = nullptr;
    std::u16string m_reply;
    std::size_t m_received = 0;  // reply bytes as they came
    bool m_overCap = false;
    Utf8ChunkJoiner m_joiner;
};

// The text at `url` (a version file), fetched with a CCurlRequestW and
// handed back as UTF-8 like every other text of the client. Empty when
// nothing arrived or the reply was too long. `stop` (may be null) ends the
// request early when it is set. Any thread.
std::string FetchUrlText(std::string_view url, const os::Event* stop = nullptr);
