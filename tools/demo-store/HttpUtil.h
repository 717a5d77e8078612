#pragma once
// Helpers shared by the demo store's services: the query of a request target
// in its original order, the store's reply envelope, and header lookups.

#include <httplib.h>
#include <json/json.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace demostore {

using QueryList = std::vector<std::pair<std::string, std::string>>;

// The query of `target` ("/path?a=1&b=2") as (key, value) pairs in the order
// sent, values percent-decoded. An item without "=" has an empty value.
QueryList ParseQuery(const std::string& target);
// The value of the first pair with this key.
std::optional<std::string> QueryValue(const QueryList& query, const std::string& key);
// True when the keys are exactly `keys`, in this order.
bool QueryKeysAre(const QueryList& query, const std::vector<std::string>& keys);

// The store's reply envelope: {"code":…,"msg":…,"data":…} as UTF-8 JSON.
void ReplyEnvelope(httplib::Response& res, int code, const std::string& msg,
                   const Json::Value& data = Json::Value(Json::objectValue));
// A refusal: "code" 0 and a message for the user.
void ReplyRefusal(httplib::Response& res, const std::string& msg);
void ReplyHtml(httplib::Response& res, const std::string& title, const std::string& bodyHtml);
void ReplyText(httplib::Response& res, int status, const std::string& text);
void ReplyJson(httplib::Response& res, int status, const Json::Value& json);

// The request's header value as sent, or empty when absent.
std::optional<std::string> HeaderValue(const httplib::Request& req, const std::string& name);
// Parses `text` with JsonCpp's strict rules (one root value, nothing after it).
bool ParseStrictJson(const std::string& text, Json::Value& value);

std::string HtmlEscape(const std::string& text);
bool IsDecimal(const std::string& text, bool allowMinus = false);

// The body's Content-Type is stashed here before the HTTP library sees it, so
// that multipart bodies reach the handlers as raw bytes.
inline constexpr const char* kStashedContentType = "X-Demo-Store-Content-Type";
// The Content-Type the client sent (also when stashed).
std::string ClientContentType(const httplib::Request& req);

}  // namespace demostore
