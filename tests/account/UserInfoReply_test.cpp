#include "account/UserInfoReply.h"

#include <gtest/gtest.h>
#include <json/value.h>

#include <string>

namespace {

TEST(UserInfoReply, RepliesThatAreNotASuccessChangeNothing) {
    for (const std::string reply : {
             "",
             "<html><body>502 Bad Gateway</body></html>",
             R"({"code":1,"data":{"id":5})",  // cut short
             R"([{"code":1}])",
             R"({"msg":"ok","data":{"id":5}})",  // no "code": read as 0
             R"({"code":0,"msg":"请先登录","data":{"id":5}})",
             R"({"code":"1","data":{"id":5}})",
             R"({"code":2,"data":{"id":5}})",
             R"({"code":1.5,"data":{"id":5}})",
         }) {
        EXPECT_FALSE(ReadUserInfoReply(reply).has_value()) << reply;
    }
}

TEST(UserInfoReply, ASuccessWithoutDataIsUserZeroWithNothingElse) {
    for (const std::string reply : {R"({"code":1})", R"({"code":1,"data":[]})", R"({"code":1,"data":"x"})"}) {
        const auto values = ReadUserInfoReply(reply);
        ASSERT_TRUE(values.has_value()) << reply;
        EXPECT_EQ(values->userId, "0");
        EXPECT_EQ(values->inviteCode, "");
        EXPECT_EQ(values->startTime, "");
        EXPECT_EQ(values->stopTime, "");
        EXPECT_FALSE(values->isMember);
        EXPECT_EQ(values->pictureUrl, "");
    }
}

TEST(UserInfoReply, MembershipFollowsEitherDateAsSent) {
    struct Case {
        const char* start;
        const char* stop;
        bool member;
    };
    for (const Case c :
         {Case{"", "", false}, Case{"2026-01-01", "2027-12-31", true}, Case{"2026-01-01", "", true},
          Case{"", "2027-12-31 23:59:59", true}, Case{" ", "", true}}) {
        const std::string reply = std::string(R"({"code":1,"data":{"id":10001,"start_time":")") + c.start +
                                  R"(","stop_time":")" + c.stop + R"(","invite_code":"VT8K2M"}})";
        const auto values = ReadUserInfoReply(reply);
        ASSERT_TRUE(values.has_value()) << reply;
        EXPECT_EQ(values->isMember, c.member) << reply;
        EXPECT_EQ(values->startTime, c.start);
        EXPECT_EQ(values->stopTime, c.stop);
        EXPECT_EQ(values->userId, "10001");
        EXPECT_EQ(values->inviteCode, "VT8K2M");
    }
}

TEST(UserInfoReply, TheUserNumberIsAnIntegerInDecimal) {
    struct Case {
        const char* id;
        const char* userId;
    };
    for (const Case c : {Case{"9007199254740993", "9007199254740993"}, Case{"-7", "-7"}, Case{"42.0", "42"},
                         Case{"\"10001\"", "0"}, Case{"1e30", "0"}, Case{"null", "0"}, Case{"true", "0"}}) {
        const auto values = ReadUserInfoReply(std::string(R"({"code":1,"data":{"id":)") + c.id + "}}");
        ASSERT_TRUE(values.has_value()) << c.id;
        EXPECT_EQ(values->userId, c.userId) << c.id;
    }
}

TEST(UserInfoReply, OnlyHttpAndHttpsPicturesAreFetched) {
    struct Case {
        const char* url;
        bool fetched;
    };
    for (const Case c : {
             Case{"https://store.example/static/head/1.jpg", true},
             Case{"http://127.0.0.1:8080/head.jpg?v=2", true},
             Case{"HTTPS://store.example/head.jpg", true},
             Case{"file:///etc/passwd", false},
             Case{"ftp://store.example/head.jpg", false},
             Case{"data:image/jpeg;base64,/9j/", false},
             Case{"//store.example/head.jpg", false},
             Case{"/static/head/1.jpg", false},
             Case{"https://", false},
             Case{"http://store.example/a\r\nX-Evil: 1", false},
             Case{"", false},
         }) {
        EXPECT_EQ(IsPictureAddress(c.url), c.fetched) << c.url;
        // The address as a JSON string (the control characters escaped).
        const auto values = ReadUserInfoReply(std::string(R"({"code":1,"data":{"head_pic":)") +
                                              Json::Value(c.url).toStyledString() + "}}");
        ASSERT_TRUE(values.has_value()) << c.url;
        EXPECT_EQ(values->pictureUrl, c.fetched ? c.url : "") << c.url;
    }
}

}  // namespace
