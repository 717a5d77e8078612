#include "account/SignInOutcome.h"

#include "account/LoginRules.h"
#include "net/StoreApi.h"

SignInOutcome ReadSignInOutcome(std::string_view pageMessage) {
    SignInOutcome outcome;
    // Only a text that starts as an object is a result at all; the pages
    // send other texts too, which the dialog keeps but does not act on.
    if (pageMessage.empty() || pageMessage.front() != '{')
        return outcome;
    const api::SignInResult result = api::ReadSignInResult(pageMessage);
    if (!result.parsed)
        return outcome;
    if (result.result != 1) {
        outcome.action = SignInOutcome::Action::Refused;
        return outcome;
    }
    if (result.openId.empty()) {
        outcome.action = SignInOutcome::Action::StayOpen;
        return outcome;
    }
    if (!IsUsableAccountToken(result.openId)) {
        outcome.action = SignInOutcome::Action::Refused;
        return outcome;
    }
    outcome.action = SignInOutcome::Action::LoggedIn;
    outcome.token = result.openId;
    outcome.name = result.nickName;
    return outcome;
}
