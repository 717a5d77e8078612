// The login dialog's pure rules: what counts as a mobile number, a code and
// a token the client can carry, the countdown text, and what a sign-in
// page's result means.

#include "account/LoginRules.h"
#include "account/SignInOutcome.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(LoginRulesTest, OnlyElevenAsciiDigitsAreAMobileNumber) {
    EXPECT_TRUE(IsMobileNumber("13800138000"));
    EXPECT_TRUE(IsMobileNumber("00000000000"));
    for (const char* text : {"", "1380013800", "138001380001", "1380013800a", " 13800138000", "1380013800 ",
                             "１３８００１３８０００", "+8613800138"}) {
        EXPECT_FALSE(IsMobileNumber(text)) << text;
    }
    EXPECT_FALSE(IsMobileNumber(std::string("1380013800\0", 11)));
}

TEST(LoginRulesTest, ACodeIsOneOrMoreAsciiDigits) {
    EXPECT_TRUE(IsVerificationCode("1"));
    EXPECT_TRUE(IsVerificationCode("004711"));
    for (const char* text : {"", " 123456", "12345a", "１２３", "123&p=2", "12\n34"})
        EXPECT_FALSE(IsVerificationCode(text)) << text;
}

TEST(LoginRulesTest, TokensWithControlsOrBlanksCannotBeCarried) {
    for (const char* token :
         {"eyJhbGciOiJIUzI1NiJ9.eyJ1aWQiOjF9.c2lnbmF0dXJl", "o-6-6Fjq_AbC", "令牌", "a\xF0\x9F\x94\x91z"}) {
        EXPECT_TRUE(IsUsableAccountToken(token)) << token;
    }
    const std::string refused[] = {"",
                                   " ",
                                   "a b",
                                   "a\tb",
                                   "a\r\nX-Other: 1",
                                   std::string("a\0b", 3),
                                   "a\x7F",
                                   "a\xC2\x85z",         // NEL, a C1 control
                                   "a\xC2\xA0z",         // no-break space
                                   "a\xE2\x80\x8Bz",     // zero-width space
                                   "a\xE2\x80\xA8z",     // line separator
                                   "a\xE3\x80\x80z",     // ideographic space
                                   "\xEF\xBB\xBFtoken",  // byte order mark
                                   "a\xFFz",             // not UTF-8
                                   "a\xED\xA0\x80z"};    // an encoded surrogate
    for (const std::string& token : refused)
        EXPECT_FALSE(IsUsableAccountToken(token)) << token;
}

TEST(LoginRulesTest, TheCountdownTextPlacesTheSecondsWithoutAFormatter) {
    struct Case {
        const char* format;
        int seconds;
        const char* text;
    };
    for (const Case& c :
         {Case{"%d秒后重新发送", 120, "120秒后重新发送"}, Case{"重新发送(%d)", 1, "重新发送(1)"},
          Case{"%d%% %d", 7, "7% %d"}, Case{"%s %n %d", 5, "%s %n 5"}, Case{"no number", 3, "no number"},
          Case{"%", 3, "%"}, Case{"", 3, ""}}) {
        EXPECT_EQ(FormatCountdownText(c.format, c.seconds), c.text) << c.format;
    }
}

TEST(SignInOutcomeTest, WhatASignInPageResultMeans) {
    using Action = SignInOutcome::Action;
    struct Case {
        const char* text;
        Action action;
        const char* token;
        const char* name;
    };
    const Case cases[] = {
        {R"({"result":1,"errInfo":"","openid":"o-77","nickname":"小林"})", Action::LoggedIn, "o-77", "小林"},
        {R"({"result":1.0,"openid":"o-77"})", Action::LoggedIn, "o-77", ""},
        {R"({"result":1,"openid":"o-77","nickname":7})", Action::LoggedIn, "o-77", ""},
        {R"({"result":1,"openid":"","nickname":"小林"})", Action::StayOpen, "", ""},
        {R"({"result":1})", Action::StayOpen, "", ""},
        {R"({"result":1,"openid":42})", Action::StayOpen, "", ""},
        {R"({"result":1,"openid":"o 77"})", Action::Refused, "", ""},
        {R"({"result":1,"openid":"o-77\n"})", Action::Refused, "", ""},
        {R"({"result":0,"errInfo":"用户取消了登录","openid":"o-77"})", Action::Refused, "", ""},
        {R"({"result":"1","openid":"o-77"})", Action::Refused, "", ""},
        {R"({"openid":"o-77"})", Action::Refused, "", ""},
        {R"({})", Action::Refused, "", ""},
        {"", Action::Ignore, "", ""},
        {R"( {"result":1,"openid":"o-77"})", Action::Ignore, "", ""},
        {R"(["result",1])", Action::Ignore, "", ""},
        {"signed in", Action::Ignore, "", ""},
        {R"({"result":1,"openid":"o-77")", Action::Ignore, "", ""},
        {"{result:1}", Action::Ignore, "", ""},
    };
    for (const Case& c : cases) {
        const SignInOutcome outcome = ReadSignInOutcome(c.text);
        EXPECT_EQ(outcome.action, c.action) << c.text;
        EXPECT_EQ(outcome.token, c.token) << c.text;
        EXPECT_EQ(outcome.name, c.name) << c.text;
    }
}

}  // namespace
