// The demo store's account API end to end: the SMS login, the token it
// issues, the user information and the download list, and what it refuses.

#include <gtest/gtest.h>

#include <ctime>

#include "DemoStoreCalls.h"

namespace vtest {
namespace {

constexpr char kPhone[] = "13612345678";

class DemoStoreLoginTest : public SandboxTest {
  protected:
    DemoStore store{sandbox};

    Json::Value UserInfo(const std::string& token, const std::string& body, const std::string& contentType) {
        httplib::Headers headers = {{"X-Requested-With", "XMLHttpRequest"}};
        if (!token.empty()) {
            headers.emplace("X-token", token);
        }
        return Envelope(StorePost(store, "store", "/api/user/userinfo.html", headers, body, contentType));
    }
    Json::Value UserInfo(const std::string& token) {
        return UserInfo(token, "X-token:" + token, "application/json;charset=UTF-8");
    }
    Json::Value Delete(const std::string& token, const std::string& id) {
        return Envelope(
            StoreGet(store, "store", "/api/user/deleteDownLoad?document_id=" + id, TokenHeaders(token)));
    }
};

// A refusal is the envelope with code 0 and a message in Chinese.
void ExpectRefusal(const Json::Value& envelope) {
    EXPECT_EQ(envelope["code"].asInt(), 0) << envelope.toStyledString();
    const std::string msg = envelope["msg"].asString();
    EXPECT_FALSE(msg.empty());
    EXPECT_TRUE(std::any_of(msg.begin(), msg.end(), [](char c) {
        return static_cast<unsigned char>(c) >= 0xE4;
    })) << msg;
}

TEST_F(DemoStoreLoginTest, SmsLoginGivesATokenThatUserInfoAndDeletionAccept) {
    ASSERT_TRUE(store.Started());
    const Json::Value sent =
        Envelope(StoreGet(store, "store", SendCodeTarget(kPhone, std::time(nullptr)), TokenHeaders("")));
    ASSERT_EQ(sent["code"].asInt(), 1) << sent.toStyledString();
    const std::string code = store.LastSmsCode(kPhone);
    ASSERT_EQ(code.size(), 6u);
    EXPECT_NE(store.Output().find(std::string(kPhone) + ": verification code " + code), std::string::npos);

    const Json::Value login = Envelope(StoreGet(store, "store", LoginTarget(kPhone, code), TokenHeaders("")));
    ASSERT_EQ(login["code"].asInt(), 1) << login.toStyledString();
    const std::string token = login["data"]["jwt"].asString();
    ASSERT_FALSE(token.empty());

    const Json::Value info = UserInfo(token);
    ASSERT_EQ(info["code"].asInt(), 1) << info.toStyledString();
    const Json::Value& data = info["data"];
    EXPECT_TRUE(data["id"].isIntegral());
    EXPECT_GT(data["id"].asInt64(), 0);
    EXPECT_EQ(data["start_time"].asString(), "");
    EXPECT_EQ(data["stop_time"].asString(), "");
    EXPECT_EQ(data["invite_code"].asString().size(), 6u);
    const std::string picture = data["head_pic"].asString();
    ASSERT_EQ(picture.rfind(store.BaseUrl("store") + "/", 0), 0u) << picture;

    // The picture is served, as a JPEG, over the store's HTTPS.
    const auto image = StoreGet(store, "store", picture.substr(store.BaseUrl("store").size()));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->status, 200);
    EXPECT_EQ(image->get_header_value("Content-Type"), "image/jpeg");
    EXPECT_EQ(image->body.substr(0, 3), "\xff\xd8\xff");

    // A new account's list holds 101..103; a deletion takes effect once.
    EXPECT_EQ(Delete(token, "102")["code"].asInt(), 1);
    ExpectRefusal(Delete(token, "102"));
    ExpectRefusal(Delete(token, "999"));
    const Json::Value users = store.AdminGet("/users");
    bool found = false;
    for (const Json::Value& user : users) {
        if (user["phone"].asString() == kPhone) {
            found = true;
            ASSERT_EQ(user["downloads"].size(), 2u);
            EXPECT_EQ(user["downloads"][0].asInt(), 101);
            EXPECT_EQ(user["downloads"][1].asInt(), 103);
        }
    }
    EXPECT_TRUE(found);
}

TEST_F(DemoStoreLoginTest, MemberDatesComeFromTheUsersRecord) {
    ASSERT_TRUE(store.Started());
    Json::Value fields(Json::objectValue);
    fields["start_time"] = "2026-03-01";
    fields["stop_time"] = "2027-02-28";
    fields["invite_code"] = "ABC123";
    ASSERT_TRUE(store.SetUser(kPhone, fields));
    const Json::Value info = UserInfo(LoginBySms(store, kPhone));
    ASSERT_EQ(info["code"].asInt(), 1);
    EXPECT_EQ(info["data"]["start_time"].asString(), "2026-03-01");
    EXPECT_EQ(info["data"]["stop_time"].asString(), "2027-02-28");
    EXPECT_EQ(info["data"]["invite_code"].asString(), "ABC123");
}

TEST_F(DemoStoreLoginTest, TheSampleMemberHasDatesAndTheOtherSampleUserNone) {
    ASSERT_TRUE(store.Started());
    const Json::Value member = UserInfo(store.IssueToken("13800138000"))["data"];
    EXPECT_EQ(member["id"].asInt(), 10001);
    EXPECT_EQ(member["start_time"].asString(), "2026-01-01");
    EXPECT_EQ(member["stop_time"].asString(), "2027-12-31");
    const Json::Value plain = UserInfo(store.IssueToken("13900139000"))["data"];
    EXPECT_EQ(plain["id"].asInt(), 10002);
    EXPECT_EQ(plain["start_time"].asString(), "");
    EXPECT_EQ(plain["stop_time"].asString(), "");
}

TEST_F(DemoStoreLoginTest, ATokenOfAnotherStoreIsRefused) {
    ASSERT_TRUE(store.Started());
    std::string foreign;
    {
        // Another data folder has its own signing secret; user 10001 exists in both.
        DemoStore other(sandbox, sandbox.Root() + "/other-store");
        ASSERT_TRUE(other.Started());
        foreign = other.IssueToken("13800138000");
    }
    ASSERT_FALSE(foreign.empty());
    ExpectRefusal(UserInfo(foreign));
    EXPECT_EQ(UserInfo(store.IssueToken("13800138000"))["code"].asInt(), 1);
}

TEST_F(DemoStoreLoginTest, CodesAreCheckedAndUsedOnce) {
    ASSERT_TRUE(store.Started());
    // No code was sent to this phone yet.
    ExpectRefusal(Envelope(StoreGet(store, "store", LoginTarget(kPhone, "123456"), TokenHeaders(""))));

    ASSERT_EQ(Envelope(StoreGet(store, "store", SendCodeTarget(kPhone, std::time(nullptr)),
                                TokenHeaders("")))["code"]
                  .asInt(),
              1);
    const std::string code = store.LastSmsCode(kPhone);
    const std::string wrong = code == "000000" ? "000001" : "000000";
    ExpectRefusal(Envelope(StoreGet(store, "store", LoginTarget(kPhone, wrong), TokenHeaders(""))));
    // A code sent to one phone does not log in another.
    ExpectRefusal(Envelope(StoreGet(store, "store", LoginTarget("13900000000", code), TokenHeaders(""))));
    // The right code still works after a wrong try, and only once.
    EXPECT_EQ(Envelope(StoreGet(store, "store", LoginTarget(kPhone, code), TokenHeaders("")))["code"].asInt(),
              1);
    ExpectRefusal(Envelope(StoreGet(store, "store", LoginTarget(kPhone, code), TokenHeaders(""))));
}

TEST_F(DemoStoreLoginTest, LoginRefusesWrongCommonValuesAndQueryShapes) {
    ASSERT_TRUE(store.Started());
    const auto sendAndTry = [&](const std::function<std::string(const std::string&)>& target,
                                const httplib::Headers& headers) {
        Envelope(StoreGet(store, "store", SendCodeTarget(kPhone, std::time(nullptr)), TokenHeaders("")));
        return Envelope(StoreGet(store, "store", target(store.LastSmsCode(kPhone)), headers));
    };
    const std::string prefix = std::string("/api/public_api/smsLogin.html?phone=") + kPhone + "&code=";
    const std::vector<std::string> badTails = {
        "&p=3&appid=2002&adid=&partner_id=0&machine_code=",          // p is always 2
        "&p=2&appid=2003&adid=&partner_id=0&machine_code=",          // appid is always 2002
        "&p=2&appid=2002&adid=&partner_id=&machine_code=",           // partner id "0" when there is none
        "&p=2&appid=2002&adid=&partner_id=0",                        // machine_code missing
        "&appid=2002&p=2&adid=&partner_id=0&machine_code=",          // keys out of order
        "&p=2&appid=2002&adid=&partner_id=0&machine_code=<script>",  // not an identifier
    };
    for (const std::string& tail : badTails) {
        ExpectRefusal(
            sendAndTry([&](const std::string& code) { return prefix + code + tail; }, TokenHeaders("")));
    }
    // Without the header every client call carries.
    ExpectRefusal(sendAndTry([&](const std::string& code) { return LoginTarget(kPhone, code); }, {}));
    // A machine code and an AdId of the client's kinds are accepted.
    const Json::Value ok = sendAndTry(
        [&](const std::string& code) {
            return prefix + code +
                   "&p=2&appid=2002&adid=1234&partner_id=77&machine_code=0123456789ABCDEF0123456789ABCDEF";
        },
        TokenHeaders(""));
    EXPECT_EQ(ok["code"].asInt(), 1) << ok.toStyledString();
}

TEST_F(DemoStoreLoginTest, UserInfoChecksTheTokenHeaderBodyAndType) {
    ASSERT_TRUE(store.Started());
    const std::string token = store.IssueToken(kPhone);
    ASSERT_FALSE(token.empty());
    EXPECT_EQ(UserInfo(token)["code"].asInt(), 1);
    // The body must repeat the header line exactly.
    ExpectRefusal(UserInfo(token, "X-token: " + token, "application/json;charset=UTF-8"));
    ExpectRefusal(UserInfo(token, "", "application/json;charset=UTF-8"));
    ExpectRefusal(UserInfo(token, "X-token:" + token, "application/x-www-form-urlencoded"));
    // Nobody logged in: the header line is "X-token:" and so is the body.
    ExpectRefusal(UserInfo("", "X-token:", "application/json;charset=UTF-8"));
    // A token whose signature was altered, or that is not a token at all.
    // (A character inside the signature: the last one also carries unused bits.)
    std::string forged = token;
    char& inside = forged[forged.size() - 5];
    inside = inside == 'A' ? 'B' : 'A';
    ExpectRefusal(UserInfo(forged));
    ExpectRefusal(UserInfo("not-a-token"));
    ExpectRefusal(Delete(forged, "101"));
    // GET is not how the client asks.
    ExpectRefusal(Envelope(StoreGet(store, "store", "/api/user/userinfo.html", TokenHeaders(token))));
}

TEST_F(DemoStoreLoginTest, UsersAndTokensSurviveARestart) {
    ASSERT_TRUE(store.Started());
    const std::string token = LoginBySms(store, kPhone);
    ASSERT_FALSE(token.empty());
    const std::string ca = ReadFile(store.CaFile());
    ASSERT_EQ(store.Stop(), 0);
    EXPECT_FALSE(Exists(store.DataDir() + "/ports.env"));

    DemoStore again(sandbox, store.DataDir());
    ASSERT_TRUE(again.Started());
    EXPECT_EQ(ReadFile(again.CaFile()), ca);
    const Json::Value info =
        Envelope(StorePost(again, "store", "/api/user/userinfo.html", TokenHeaders(token), "X-token:" + token,
                           "application/json;charset=UTF-8"));
    EXPECT_EQ(info["code"].asInt(), 1) << info.toStyledString();
}

}  // namespace
}  // namespace vtest
