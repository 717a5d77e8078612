#include "demo-store/FaultTable.h"

namespace demostore {
namespace {

bool ReadInt(const Json::Value& json, const char* name, long long min, long long max, long long& out,
             std::string& error) {
    if (!json.isMember(name)) {
        return true;
    }
    const Json::Value& value = json[name];
    if (!value.isIntegral() || value.asLargestInt() < min || value.asLargestInt() > max) {
        error = std::string("\"") + name + "\" must be an integer from " + std::to_string(min) + " to " +
                std::to_string(max);
        return false;
    }
    out = value.asLargestInt();
    return true;
}

bool ReadBool(const Json::Value& json, const char* name, bool& out, std::string& error) {
    if (!json.isMember(name)) {
        return true;
    }
    if (!json[name].isBool()) {
        error = std::string("\"") + name + "\" must be true or false";
        return false;
    }
    out = json[name].asBool();
    return true;
}

}  // namespace

bool Fault::FromJson(const Json::Value& json, Fault& fault, std::string& error) {
    if (!json.isObject()) {
        error = "a fault is a JSON object";
        return false;
    }
    static const char* const kKnown[] = {"service",  "path",      "delay_ms", "stall",
                                         "truncate", "no_length", "chunked",  "chunk_size",
                                         "status",   "body",      "throttle", "times"};
    for (const std::string& name : json.getMemberNames()) {
        bool known = false;
        for (const char* k : kKnown) {
            known = known || name == k;
        }
        if (!known) {
            error = "unknown member \"" + name + "\"";
            return false;
        }
    }
    Fault result;
    long long delay = 0, truncate = -1, chunkSize = 0, status = 0, throttle = 0, times = -1;
    if (!ReadInt(json, "delay_ms", 0, 600000, delay, error) ||
        !ReadInt(json, "truncate", 0, 1LL << 40, truncate, error) ||
        !ReadInt(json, "chunk_size", 1, 1 << 20, chunkSize, error) ||
        !ReadInt(json, "status", 100, 599, status, error) ||
        !ReadInt(json, "throttle", 1, 1LL << 30, throttle, error) ||
        !ReadInt(json, "times", 1, 1000000, times, error) || !ReadBool(json, "stall", result.stall, error) ||
        !ReadBool(json, "no_length", result.dropLength, error) ||
        !ReadBool(json, "chunked", result.chunked, error)) {
        return false;
    }
    if (json.isMember("body")) {
        if (!json["body"].isString()) {
            error = "\"body\" must be a string";
            return false;
        }
        result.body = json["body"].asString();
    }
    if (result.chunked && result.dropLength) {
        error = "\"chunked\" and \"no_length\" exclude each other";
        return false;
    }
    result.delayMs = static_cast<int>(delay);
    result.truncateAfter = truncate;
    result.chunkSize = static_cast<std::size_t>(chunkSize);
    result.status = static_cast<int>(status);
    result.throttle = throttle;
    result.times = static_cast<int>(times);
    fault = result;
    return true;
}

Json::Value Fault::ToJson() const {
    Json::Value json(Json::objectValue);
    json["delay_ms"] = delayMs;
    json["stall"] = stall;
    json["truncate"] = static_cast<Json::Int64>(truncateAfter);
    json["no_length"] = dropLength;
    json["chunked"] = chunked;
    json["chunk_size"] = static_cast<Json::UInt64>(chunkSize);
    json["status"] = status;
    if (body) {
        json["body"] = *body;
    }
    json["throttle"] = static_cast<Json::Int64>(throttle);
    json["times"] = times;
    return json;
}

void FaultTable::Set(Service service, const std::string& path, const Fault& fault) {
    std::lock_guard lock(m_mutex);
    m_faults[{service, path}] = fault;
}

std::optional<Fault> FaultTable::Take(Service service, const std::string& path, std::uint64_t& generation) {
    std::lock_guard lock(m_mutex);
    generation = m_generation;
    auto it = m_faults.find({service, path});
    if (it == m_faults.end()) {
        it = m_faults.find({service, "*"});
    }
    if (it == m_faults.end()) {
        return std::nullopt;
    }
    Fault fault = it->second;
    if (it->second.times > 0 && --it->second.times == 0) {
        m_faults.erase(it);
    }
    return fault;
}

void FaultTable::Clear() {
    {
        std::lock_guard lock(m_mutex);
        m_faults.clear();
        ++m_generation;
    }
    m_changed.notify_all();
}

void FaultTable::Shutdown() {
    {
        std::lock_guard lock(m_mutex);
        m_shutdown = true;
        ++m_generation;
    }
    m_changed.notify_all();
}

Json::Value FaultTable::ToJson() const {
    std::lock_guard lock(m_mutex);
    Json::Value list(Json::arrayValue);
    for (const auto& [key, fault] : m_faults) {
        Json::Value item = fault.ToJson();
        item["service"] = std::string(ServiceName(key.first));
        item["path"] = key.second;
        list.append(item);
    }
    return list;
}

FaultTable::WaitEnd FaultTable::Await(std::optional<std::chrono::nanoseconds> duration,
                                      std::uint64_t generation) {
    std::unique_lock lock(m_mutex);
    if (m_shutdown) {
        return WaitEnd::Stopping;
    }
    const std::uint64_t start = generation;
    const auto released = [&] { return m_generation != start; };
    bool wasReleased = true;
    if (duration) {
        wasReleased = m_changed.wait_for(lock, *duration, released);
    } else {
        m_changed.wait(lock, released);
    }
    if (m_shutdown) {
        return WaitEnd::Stopping;
    }
    return wasReleased ? WaitEnd::Released : WaitEnd::TimedOut;
}

}  // namespace demostore
