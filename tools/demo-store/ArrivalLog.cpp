#include "demo-store/ArrivalLog.h"

#include <ctime>

namespace demostore {

std::uint64_t ArrivalLog::AddRequest(RecordedRequest request) {
    std::lock_guard lock(m_mutex);
    m_requests.emplace_back(++m_sequence, std::move(request));
    return m_sequence;
}

void ArrivalLog::AddReport(Json::Value report) {
    std::lock_guard lock(m_mutex);
    m_reports.append(std::move(report));
}

void ArrivalLog::AddUpload(Json::Value upload) {
    std::lock_guard lock(m_mutex);
    m_uploads.append(std::move(upload));
}

void ArrivalLog::AddSmsCode(const std::string& phone, const std::string& code) {
    Json::Value item(Json::objectValue);
    item["phone"] = phone;
    item["code"] = code;
    item["time"] = static_cast<Json::Int64>(std::time(nullptr));
    std::lock_guard lock(m_mutex);
    m_sms.append(item);
}

Json::Value ArrivalLog::Requests(std::optional<Service> service) const {
    std::lock_guard lock(m_mutex);
    Json::Value list(Json::arrayValue);
    for (const auto& [sequence, request] : m_requests) {
        if (service && request.service != *service) {
            continue;
        }
        Json::Value item(Json::objectValue);
        item["seq"] = static_cast<Json::UInt64>(sequence);
        item["service"] = std::string(ServiceName(request.service));
        item["method"] = request.method;
        item["target"] = request.target;
        item["path"] = request.path;
        Json::Value headers(Json::arrayValue);
        for (const auto& [name, value] : request.headers) {
            Json::Value pair(Json::arrayValue);
            pair.append(name);
            pair.append(value);
            headers.append(pair);
        }
        item["headers"] = headers;
        if (IsValidUtf8(request.body)) {
            item["body"] = request.body;
        }
        item["body_base64"] = Base64Encode(request.body);
        item["body_size"] = static_cast<Json::UInt64>(request.body.size());
        list.append(item);
    }
    return list;
}

Json::Value ArrivalLog::Reports() const {
    std::lock_guard lock(m_mutex);
    return m_reports;
}

Json::Value ArrivalLog::Uploads() const {
    std::lock_guard lock(m_mutex);
    return m_uploads;
}

Json::Value ArrivalLog::SmsCodes() const {
    std::lock_guard lock(m_mutex);
    return m_sms;
}

std::uint64_t ArrivalLog::RequestCount() const {
    std::lock_guard lock(m_mutex);
    return m_requests.size();
}

void ArrivalLog::Clear() {
    std::lock_guard lock(m_mutex);
    m_requests.clear();
    m_reports = Json::Value(Json::arrayValue);
    m_uploads = Json::Value(Json::arrayValue);
    m_sms = Json::Value(Json::arrayValue);
}

bool IsValidUtf8(const std::string& bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        std::size_t extra = 0;
        unsigned int code = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
            code = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            code = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            code = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= bytes.size()) {
            return false;
        }
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            code = (code << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        if ((extra == 2 && code < 0x800) || (extra == 3 && (code < 0x10000 || code > 0x10FFFF)) ||
            (code >= 0xD800 && code <= 0xDFFF)) {
            return false;
        }
        i += extra + 1;
    }
    return true;
}

namespace {
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int AlphabetIndex(char c) {
    if (c >= 'A' && c <= 'Z') {
        return c - 'A';
    }
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 26;
    }
    if (c >= '0' && c <= '9') {
        return c - '0' + 52;
    }
    if (c == '+') {
        return 62;
    }
    if (c == '/') {
        return 63;
    }
    return -1;
}
}  // namespace

std::string Base64Encode(const std::string& bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const unsigned int v = (static_cast<unsigned char>(bytes[i]) << 16) |
                               (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                               static_cast<unsigned char>(bytes[i + 2]);
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += kAlphabet[v & 63];
    }
    const std::size_t rest = bytes.size() - i;
    if (rest == 1) {
        const unsigned int v = static_cast<unsigned char>(bytes[i]) << 16;
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += "==";
    } else if (rest == 2) {
        const unsigned int v =
            (static_cast<unsigned char>(bytes[i]) << 16) | (static_cast<unsigned char>(bytes[i + 1]) << 8);
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += '=';
    }
    return out;
}

bool Base64Decode(const std::string& text, std::string& bytes) {
    bytes.clear();
    if (text.size() % 4 != 0) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        int v[4];
        int padding = 0;
        for (int k = 0; k < 4; ++k) {
            const char c = text[i + k];
            if (c == '=' && last && k >= 2) {
                v[k] = 0;
                ++padding;
                continue;
            }
            v[k] = padding > 0 ? -1 : AlphabetIndex(c);
            if (v[k] < 0) {
                return false;
            }
        }
        const unsigned int word = (v[0] << 18) | (v[1] << 12) | (v[2] << 6) | v[3];
        // Bits below the last whole byte must be zero: one byte string, one text.
        if ((padding == 1 && (word & 0xFF) != 0) || (padding == 2 && (word & 0xFFFF) != 0)) {
            return false;
        }
        bytes += static_cast<char>((word >> 16) & 0xFF);
        if (padding < 2) {
            bytes += static_cast<char>((word >> 8) & 0xFF);
        }
        if (padding < 1) {
            bytes += static_cast<char>(word & 0xFF);
        }
    }
    return true;
}

}  // namespace demostore
