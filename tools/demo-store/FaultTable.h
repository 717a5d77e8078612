#pragma once
// Faults that the admin interface sets per service and path, and the waits
// they need. A request is first handled as usual; a fault then changes how
// its reply is delivered (late, never, cut short, without length, chunked,
// with another status, throttled to a number of bytes per second), like a
// network or proxy failure after the server did its work.

#include <json/json.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "demo-store/ServiceCatalog.h"

namespace demostore {

struct Fault {
    int delayMs = 0;     // wait before anything is sent
    bool stall = false;  // hold the connection silent until the faults are cleared or the store stops
    long long truncateAfter = -1;     // >= 0: send only this many body bytes, then close (or stall)
    bool dropLength = false;          // no Content-Length: the body ends when the connection closes
    bool chunked = false;             // chunked transfer encoding
    std::size_t chunkSize = 0;        // bytes per chunk; 0: the body in two halves
    int status = 0;                   // non-zero: this status instead of the handler's
    std::optional<std::string> body;  // replaces the handler's body
    long long throttle = 0;           // > 0: the body leaves at this many bytes per second at most
    int times = -1;                   // how many requests it hits; -1: all until cleared

    // Reads the admin interface's JSON form; false with `error` on a bad member.
    static bool FromJson(const Json::Value& json, Fault& fault, std::string& error);
    Json::Value ToJson() const;
};

class FaultTable {
  public:
    // `path` "*" hits every path of the service; an exact path wins over "*".
    void Set(Service service, const std::string& path, const Fault& fault);
    // The fault for this request, counting it against `times`, and in
    // `generation` the count of Clear and Shutdown calls so far (the
    // reply's waits end at any Clear after that).
    std::optional<Fault> Take(Service service, const std::string& path, std::uint64_t& generation);
    // Removes every fault and releases every stalled, delayed or throttled reply.
    void Clear();
    // Releases every wait for good (the store is stopping).
    void Shutdown();
    Json::Value ToJson() const;

    enum class WaitEnd { TimedOut, Released, Stopping };
    // Waits for `duration`, or without end when it is empty, unless Clear or
    // Shutdown comes first, and says which came first. A Clear since
    // `generation` counts too, so a reply that waits now and then misses no
    // Clear that came between its waits.
    WaitEnd Await(std::optional<std::chrono::nanoseconds> duration, std::uint64_t generation);
    // Await; true when the store is not stopping.
    bool Wait(std::optional<std::chrono::nanoseconds> duration, std::uint64_t generation) {
        return Await(duration, generation) != WaitEnd::Stopping;
    }

  private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::map<std::pair<Service, std::string>, Fault> m_faults;
    std::uint64_t m_generation = 0;
    bool m_shutdown = false;
};

}  // namespace demostore
