#pragma once
// What a sign-in page's result means for the login dialog. The QQ and WeChat
// sign-in pages end the browser dialog with a JSON object ("result" 1 when
// signed in, "openid" the account token, "nickname" the display name); the
// dialog reads the text the page sent last through this one pure function.
// The text comes from a web page: anything may arrive. Any thread.

#include <string>
#include <string_view>

struct SignInOutcome {
    enum class Action {
        Ignore,    // no result: empty, not starting with "{", or not a JSON object
        StayOpen,  // "result" 1 without an "openid": nothing happens
        LoggedIn,  // "result" 1 with a usable token
        Refused,   // any other "result", or a token the client cannot carry
    };
    Action action = Action::Ignore;
    std::string token;  // "openid" when logged in
    std::string name;   // "nickname" when logged in (may be empty)
};

SignInOutcome ReadSignInOutcome(std::string_view pageMessage);
