// Fuzzes the reading of the store's user-information reply into the values
// the session keeps: any text gives a definite answer without a crash; a
// picture address that comes out of it can only be an http or https one the
// plain file fetch accepts; the membership follows the two dates; the user
// number is a decimal integer.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "account/UserInfoReply.h"
#include "library/FetchAddress.h"

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

bool IsDecimal(const std::string& text) {
    std::size_t i = text.size() > 1 && text[0] == '-' ? 1 : 0;
    if (i == text.size() || (text[i] == '0' && text.size() > i + 1)) {
        return false;
    }
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto values = ReadUserInfoReply(text);
    if (!values) {
        return 0;
    }
    Check(IsDecimal(values->userId));
    Check(values->isMember == (!values->startTime.empty() || !values->stopTime.empty()));
    if (!values->pictureUrl.empty()) {
        Check(IsPictureAddress(values->pictureUrl));
        const auto address = SplitFetchAddress(values->pictureUrl);
        Check(address.has_value() && !address->host.empty());
        const std::string scheme = values->pictureUrl.substr(0, values->pictureUrl.find(':'));
        Check(scheme.size() == 4 || scheme.size() == 5);
    }
    return 0;
}
