#include "web/PageMessage.h"

#include "net/ApiReply.h"
#include "platform/os/Text.h"

#include <json/value.h>

#include <array>
#include <utility>

namespace {

struct CommandName {
    const char* name;
    PageCommand command;
};
constexpr std::array<CommandName, 4> kCommands{{{"showlogin", PageCommand::ShowLogin},
                                                {"down", PageCommand::Down},
                                                {"opendoc", PageCommand::OpenDoc},
                                                {"deletedoc", PageCommand::DeleteDoc}}};

std::optional<PageMessage> Reject(std::string* reason, const char* why) {
    if (reason != nullptr)
        *reason = why;
    return std::nullopt;
}

const Json::Value* Member(const Json::Value& root, std::string_view name) {
    return root.find(name.data(), name.data() + name.size());
}

// Reads text member `name` into `out` (empty when missing); false when it
// is there and not text.
bool ReadText(const Json::Value& root, std::string_view name, std::string& out) {
    const Json::Value* value = Member(root, name);
    if (value == nullptr)
        return true;
    if (!value->isString())
        return false;
    // A round through UTF-16 leaves well-formed text as it is and turns
    // anything malformed into U+FFFD.
    out = os::Utf16ToUtf8(os::Utf8ToUtf16(value->asString()));
    return true;
}

}  // namespace

std::optional<PageMessage> DecodePageMessage(std::string_view text, std::string* reason) {
    if (text.size() > kMaxPageMessage)
        return Reject(reason, "too long");
    Json::Value root;
    if (!ApiReply::ParseObject(text, root))
        return Reject(reason, "not a JSON object");
    const Json::Value* action = Member(root, "action");
    if (action == nullptr || !action->isString())
        return Reject(reason, "no action");
    PageMessage message;
    const std::string name = action->asString();
    bool known = false;
    for (const CommandName& command : kCommands) {
        if (name == command.name) {
            message.command = command.command;
            known = true;
            break;
        }
    }
    if (!known)
        return Reject(reason, "unknown action");
    if (!ReadText(root, "url", message.url) || !ReadText(root, "title", message.title))
        return Reject(reason, "url or title not text");
    if (const Json::Value* id = Member(root, "id"); id != nullptr) {
        // JsonCpp counts a number with an integral value in range (5.0,
        // 1e3) as an int, and nothing else: not a bool, not text.
        if (!id->isInt())
            return Reject(reason, "id not a 32-bit integer");
        message.id = id->asInt();
    }
    return message;
}
