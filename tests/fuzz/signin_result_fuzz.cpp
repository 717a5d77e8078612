// Feeds arbitrary bytes as the text a sign-in page hands back through the
// browser dialog (a web page's words). Beyond "no crash": only a text that
// starts as an object means anything; a login always carries a token the
// client can put into a header line and an address (checked here byte by
// byte, apart from the rule itself), and nothing but a login carries one.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "account/LoginRules.h"
#include "account/SignInOutcome.h"

namespace {

void Check(bool condition) {
    if (!condition)
        std::abort();
}

// No ASCII control, blank or byte that cannot start or continue UTF-8.
bool PlainBytes(std::string_view token) {
    for (const char c : token) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7F || byte == 0xC0 || byte == 0xC1 || byte >= 0xF5)
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const SignInOutcome outcome = ReadSignInOutcome(text);
    using Action = SignInOutcome::Action;
    if (text.empty() || text.front() != '{')
        Check(outcome.action == Action::Ignore);
    if (outcome.action == Action::LoggedIn) {
        Check(!outcome.token.empty() && IsUsableAccountToken(outcome.token) && PlainBytes(outcome.token));
    } else {
        Check(outcome.token.empty() && outcome.name.empty());
    }
    // The token rule on the raw bytes too: whatever it accepts is plain.
    Check(!IsUsableAccountToken(text) || PlainBytes(text));
    // The countdown text never grows by more than one number.
    Check(FormatCountdownText(text, 120).size() <= text.size() + 3);
    return 0;
}
