// Fuzzes the store's reply envelope reader and the readers built on it: any
// text, including one fed through the request layer's chunk joining the way
// a reply arrives, must give a definite answer without a crash, and the
// answers must agree with each other.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "net/ApiReply.h"
#include "net/StoreApi.h"
#include "net/Utf8ChunkJoiner.h"

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void ReadAll(std::string_view text) {
    const ApiReply reply = ApiReply::Read(text);
    Check(!reply.Succeeded() || (reply.Parsed() && reply.Code() == 1));
    Check(reply.Parsed() || (reply.Code() == 0 && reply.Message().empty() && !reply.HasData()));
    // A code read as anything but 0 was there to read.
    Check(reply.HasCode() || reply.Code() == 0);
    Check(!reply.HasCode() || reply.Parsed());
    const api::UserInfo info = api::ReadUserInfo(reply);
    Check(info.succeeded == reply.Succeeded());
    Check(info.succeeded || (info.id == 0 && info.headPicUrl.empty()));
    Check(api::LoginToken(reply).empty() || reply.Succeeded());
    const api::SignInResult signIn = api::ReadSignInResult(text);
    Check(signIn.parsed == reply.Parsed());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    ReadAll(text);

    // The same bytes as a reply in two pieces: the joined text is
    // well-formed UTF-8 and does not depend on where the reply was cut.
    const std::size_t cut = size == 0 ? 0 : data[0] % (size + 1);
    Utf8ChunkJoiner split;
    std::string joined = split.TakeUtf8(text.substr(0, cut));
    joined += split.TakeUtf8(text.substr(cut));
    joined += split.FinishUtf8();
    Utf8ChunkJoiner whole;
    std::string once = whole.TakeUtf8(text);
    once += whole.FinishUtf8();
    Check(once == joined);
    ReadAll(joined);
    return 0;
}
