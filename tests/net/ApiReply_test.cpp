#include "net/ApiReply.h"

#include <gtest/gtest.h>

#include "net/StoreApi.h"

namespace {

TEST(ApiReplyTest, SuccessIsExactlyTheIntegerCodeOne) {
    EXPECT_TRUE(ApiReply::Read(R"({"code":1})").Succeeded());
    EXPECT_TRUE(ApiReply::Read(R"({"code":1.0,"msg":"ok"})").Succeeded());
    for (const char* text : {R"({"code":0})", R"({"code":2})", R"({"code":-1})", R"({"msg":"x"})",
                             R"({"code":"1"})", R"({"code":true})", R"({"code":1.5})", R"({"code":null})",
                             R"({"code":4294967297})", R"({"code":[1]})", R"({"Code":1})"}) {
        const ApiReply reply = ApiReply::Read(text);
        EXPECT_TRUE(reply.Parsed()) << text;
        EXPECT_FALSE(reply.Succeeded()) << text;
    }
    EXPECT_EQ(ApiReply::Read(R"({"code":-7})").Code(), -7);
    EXPECT_EQ(ApiReply::Read(R"({"code":4294967297})").Code(), 0);
}

// The login calls are silent about a reply without "code" and show "msg"
// for any other: the member's presence is what counts, not its type.
TEST(ApiReplyTest, ACodeMemberIsToldApartFromItsValue) {
    struct Case {
        const char* text;
        bool hasCode;
    };
    for (const Case& c :
         {Case{R"({"code":1})", true}, Case{R"({"code":0,"msg":"x"})", true}, Case{R"({"code":null})", true},
          Case{R"({"code":"1"})", true}, Case{R"({"code":[1]})", true}, Case{R"({"msg":"x"})", false},
          Case{R"({"Code":1})", false}, Case{R"({"data":{"code":1}})", false},
          Case{"<html>502 Bad Gateway</html>", false}, Case{"", false}, Case{"[{\"code\":1}]", false}}) {
        EXPECT_EQ(ApiReply::Read(c.text).HasCode(), c.hasCode) << c.text;
    }
}

TEST(ApiReplyTest, TextsThatAreNotAJsonObjectAreFailures) {
    for (const char* text : {"", "   ", "<html><body>404 Not Found</body></html>", "{\"code\":1", "[1,2]",
                             "1", "\"code\"", "null", R"({"code":1,})", "\xEF\xBB\xBF"}) {
        const ApiReply reply = ApiReply::Read(text);
        EXPECT_FALSE(reply.Succeeded()) << text;
        EXPECT_EQ(reply.Message(), "") << text;
    }
    EXPECT_FALSE(ApiReply::Read("<html>").Parsed());
    // What follows the object is not looked at.
    EXPECT_TRUE(ApiReply::Read("{\"code\":1}\r\n<!-- cache -->").Succeeded());
}

TEST(ApiReplyTest, DeeplyNestedRepliesAreRefusedNotRecursedInto) {
    const std::string deep =
        "{\"code\":1,\"data\":" + std::string(100000, '[') + std::string(100000, ']') + "}";
    EXPECT_FALSE(ApiReply::Read(deep).Succeeded());
}

TEST(ApiReplyTest, TheMessageIsReadWhateverTheCode) {
    const ApiReply reply = ApiReply::Read(R"({"code":0,"msg":"验证码错误"})");
    EXPECT_FALSE(reply.Succeeded());
    EXPECT_EQ(reply.Message(), "验证码错误");
    EXPECT_EQ(ApiReply::Read(R"({"code":0,"msg":42})").Message(), "");
}

TEST(ApiReplyTest, DataMembersOfTheWrongTypeReadAsEmptyOrZero) {
    const ApiReply reply = ApiReply::Read(
        R"({"code":1,"data":{"id":"12","jwt":7,"start_time":null,"n":12.5,"big":9007199254740993,"neg":-4}})");
    EXPECT_EQ(reply.DataInt("id"), 0);
    EXPECT_EQ(reply.DataString("jwt"), "");
    EXPECT_EQ(reply.DataString("start_time"), "");
    EXPECT_EQ(reply.DataInt("n"), 0);
    EXPECT_EQ(reply.DataInt("big"), 9007199254740993);
    EXPECT_EQ(reply.DataInt("neg"), -4);
    EXPECT_EQ(reply.DataInt("absent"), 0);
    for (const char* text :
         {R"({"code":1,"data":[{"id":3}]})", R"({"code":1,"data":"x"})", R"({"code":1})"}) {
        EXPECT_EQ(ApiReply::Read(text).DataInt("id"), 0) << text;
        EXPECT_FALSE(ApiReply::Read(text).HasData()) << text;
    }
}

TEST(ApiReplyTest, UserInformationIsReadOnlyFromASuccessfulReply) {
    const api::UserInfo info = api::ReadUserInfo(ApiReply::Read(
        R"({"code":1,"msg":"","data":{"id":100233,"start_time":"2026-01-01","stop_time":"2027-01-01",
            "invite_code":"K7Q2","head_pic":"https://127.0.0.1/pic/100233.jpg"}})"));
    EXPECT_TRUE(info.succeeded);
    EXPECT_EQ(info.id, 100233);
    EXPECT_EQ(info.startTime, "2026-01-01");
    EXPECT_EQ(info.stopTime, "2027-01-01");
    EXPECT_EQ(info.inviteCode, "K7Q2");
    EXPECT_EQ(info.headPicUrl, "https://127.0.0.1/pic/100233.jpg");

    const api::UserInfo bare = api::ReadUserInfo(ApiReply::Read(R"({"code":1})"));
    EXPECT_TRUE(bare.succeeded);
    EXPECT_EQ(bare.id, 0);
    EXPECT_EQ(bare.startTime + bare.stopTime + bare.inviteCode + bare.headPicUrl, "");

    const api::UserInfo refused = api::ReadUserInfo(ApiReply::Read(R"({"code":0,"data":{"id":5}})"));
    EXPECT_FALSE(refused.succeeded);
    EXPECT_EQ(refused.id, 0);
}

TEST(ApiReplyTest, TheLoginTokenComesOnlyWithSuccess) {
    EXPECT_EQ(api::LoginToken(ApiReply::Read(R"({"code":1,"data":{"jwt":"a.b.c"}})")), "a.b.c");
    EXPECT_EQ(api::LoginToken(ApiReply::Read(R"({"code":0,"data":{"jwt":"a.b.c"}})")), "");
}

TEST(ApiReplyTest, SignInResultsAreReadFromThePageText) {
    const api::SignInResult ok =
        api::ReadSignInResult(R"({"result":1,"errInfo":"","openid":"o-77","nickname":"小林"})");
    EXPECT_TRUE(ok.SignedIn());
    EXPECT_EQ(ok.openId, "o-77");
    EXPECT_EQ(ok.nickName, "小林");
    EXPECT_FALSE(api::ReadSignInResult(R"({"result":0,"errInfo":"cancelled"})").SignedIn());
    EXPECT_EQ(api::ReadSignInResult(R"({"result":0,"errInfo":"cancelled"})").errInfo, "cancelled");
    EXPECT_FALSE(api::ReadSignInResult("result=1").SignedIn());
    EXPECT_FALSE(api::ReadSignInResult(R"({"result":"1","openid":"x"})").SignedIn());
}

}  // namespace
