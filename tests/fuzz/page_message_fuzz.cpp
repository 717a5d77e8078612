// Feeds arbitrary bytes to the reader of the store pages' requests. Beyond
// "no crash": an accepted request came from a text within the size limit,
// names one of the four commands, carries well-formed UTF-8, and reads back
// the same when it is written out as JSON again.
#include <json/value.h>
#include <json/writer.h>

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "platform/os/Text.h"
#include "web/PageMessage.h"

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

bool WellFormed(const std::string& text) {
    return os::Utf16ToUtf8(os::Utf8ToUtf16(text)) == text;
}

const char* CommandName(PageCommand command) {
    switch (command) {
        case PageCommand::ShowLogin:
            return "showlogin";
        case PageCommand::Down:
            return "down";
        case PageCommand::OpenDoc:
            return "opendoc";
        case PageCommand::DeleteDoc:
            return "deletedoc";
    }
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::optional<PageMessage> message = DecodePageMessage(text);
    if (!message) {
        return 0;
    }
    Check(size <= kMaxPageMessage);
    Check(WellFormed(message->url) && WellFormed(message->title));

    Json::Value again(Json::objectValue);
    again["action"] = CommandName(message->command);
    again["url"] = message->url;
    again["title"] = message->title;
    again["id"] = message->id;
    Json::StreamWriterBuilder writer;
    writer["emitUTF8"] = true;
    const std::optional<PageMessage> reread = DecodePageMessage(Json::writeString(writer, again));
    Check(reread && reread->command == message->command && reread->url == message->url &&
          reread->title == message->title && reread->id == message->id);
    return 0;
}
