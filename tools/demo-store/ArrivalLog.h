#pragma once
// What arrived at the demo store, for the admin interface: every request per
// service (method, target, headers, body), the decoded usage reports, the
// uploaded files and the verification codes the store "sent". Kept in memory
// only; the reports and uploads are also written to the data folder.

#include <json/json.h>

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "demo-store/ServiceCatalog.h"

namespace demostore {

struct RecordedRequest {
    Service service = Service::Store;
    std::string method;
    std::string target;  // path and query as sent
    std::string path;    // the path alone
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
};

class ArrivalLog {
  public:
    // Returns the request's sequence number (from 1, across all services).
    std::uint64_t AddRequest(RecordedRequest request);
    void AddReport(Json::Value report);
    void AddUpload(Json::Value upload);
    void AddSmsCode(const std::string& phone, const std::string& code);

    // Requests of one service, or of all when empty, oldest first.
    Json::Value Requests(std::optional<Service> service) const;
    Json::Value Reports() const;
    Json::Value Uploads() const;
    Json::Value SmsCodes() const;
    std::uint64_t RequestCount() const;

    void Clear();

  private:
    mutable std::mutex m_mutex;
    std::vector<std::pair<std::uint64_t, RecordedRequest>> m_requests;
    std::uint64_t m_sequence = 0;
    Json::Value m_reports{Json::arrayValue};
    Json::Value m_uploads{Json::arrayValue};
    Json::Value m_sms{Json::arrayValue};
};

// Bodies are kept as text when they are valid UTF-8 and always as Base64,
// so binary uploads survive the JSON of the admin interface.
bool IsValidUtf8(const std::string& bytes);
std::string Base64Encode(const std::string& bytes);
// Strict standard-alphabet Base64 with "=" padding, no line breaks.
bool Base64Decode(const std::string& text, std::string& bytes);

}  // namespace demostore
