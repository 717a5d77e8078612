#include "AutomationClient.h"

#include "tests/support/AutomationClient.h"

namespace bench {

Json::Value AutomationClient::Ask(const Json::Value& request) const {
    vtest::AutomationClient connection(m_path);
    if (!connection.Connected())
        return {};
    Json::Value reply = connection.Ask(vtest::Compact(request));
    if (!reply.isObject() || !reply["ok"].asBool())
        return {};
    return reply;
}

std::optional<Rect> AutomationClient::Control(const std::string& window, const std::string& name) const {
    Json::Value request;
    request["op"] = "control";
    request["window"] = window;
    request["name"] = name;
    const Json::Value rect = Ask(request)["rect"];
    if (!rect.isArray() || rect.size() != 4)
        return std::nullopt;
    return Rect{rect[0].asInt(), rect[1].asInt(), rect[2].asInt() - rect[0].asInt(),
                rect[3].asInt() - rect[1].asInt()};
}

std::string AutomationClient::Url(const std::string& window, const std::string& view) const {
    Json::Value request;
    request["op"] = "url";
    request["window"] = window;
    request["view"] = view;
    const Json::Value url = Ask(request)["url"];
    return url.isString() ? url.asString() : std::string();
}

}  // namespace bench
