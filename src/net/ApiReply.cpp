#include "net/ApiReply.h"

#include <json/reader.h>

#include <exception>
#include <limits>
#include <memory>

namespace {

// Nesting deeper than any reply of the store would carry; keeps a hostile
// reply from exhausting the stack of the parsing thread.
constexpr int kMaxNesting = 64;

}  // namespace

bool ApiReply::ParseObject(std::string_view text, Json::Value& root) {
    if (text.empty()) {
        return false;
    }
    Json::CharReaderBuilder builder;
    builder["stackLimit"] = kMaxNesting;
    builder["collectComments"] = false;
    // As strict as the classic reader about commas; text after the root
    // object is ignored, as that reader does.
    builder["allowTrailingCommas"] = false;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value parsed;
    std::string errors;
    try {
        if (!reader->parse(text.data(), text.data() + text.size(), &parsed, &errors) || !parsed.isObject()) {
            return false;
        }
    } catch (const std::exception&) {
        // JsonCpp reports nesting beyond the stack limit by throwing.
        return false;
    }
    root = std::move(parsed);
    return true;
}

std::string ApiReply::StringMember(const Json::Value& object, const char* name) {
    if (!object.isObject()) {
        return {};
    }
    const Json::Value* member = object.find(name, name + std::char_traits<char>::length(name));
    return member != nullptr && member->isString() ? member->asString() : std::string();
}

std::int64_t ApiReply::IntMember(const Json::Value& object, const char* name) {
    if (!object.isObject()) {
        return 0;
    }
    const Json::Value* member = object.find(name, name + std::char_traits<char>::length(name));
    return member != nullptr && member->isInt64() ? member->asInt64() : 0;
}

ApiReply ApiReply::Read(std::string_view text) {
    ApiReply reply;
    Json::Value root;
    if (!ParseObject(text, root)) {
        return reply;
    }
    reply.m_parsed = true;
    reply.m_hasCode = root.find("code", "code" + 4) != nullptr;
    const std::int64_t code = IntMember(root, "code");
    if (code >= std::numeric_limits<int>::min() && code <= std::numeric_limits<int>::max()) {
        reply.m_code = static_cast<int>(code);
    }
    reply.m_message = StringMember(root, "msg");
    if (const Json::Value* data = root.find("data", "data" + 4); data != nullptr) {
        reply.m_data = *data;
    }
    return reply;
}

std::string ApiReply::DataString(const char* name) const {
    return StringMember(m_data, name);
}

std::int64_t ApiReply::DataInt(const char* name) const {
    return IntMember(m_data, name);
}
