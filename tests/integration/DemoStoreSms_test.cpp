// The send-code call of the demo store: the signature over time and phone,
// the five-minute window on the time, and the shape of the request.

#include <gtest/gtest.h>

#include <ctime>

#include "DemoStoreCalls.h"

namespace vtest {
namespace {

constexpr char kPhone[] = "13712345678";

class DemoStoreSmsTest : public SandboxTest {
  protected:
    DemoStore store{sandbox};

    Json::Value Send(const std::string& target, const httplib::Headers& headers = TokenHeaders("")) {
        return Envelope(StoreGet(store, "store", target, headers));
    }
    std::string Target(const std::string& phone, const std::string& time, const std::string& token) {
        return "/api/sms/sendsms.html?phone=" + phone + "&time=" + time + "&token=" + token;
    }
};

TEST_F(DemoStoreSmsTest, ASignedRequestWithinFiveMinutesSendsASixDigitCode) {
    ASSERT_TRUE(store.Started());
    const long long now = std::time(nullptr);
    // 290 seconds either way stays inside the window even if the clock ticks meanwhile.
    for (const long long time : {now, now - 290, now + 290}) {
        const Json::Value reply = Send(SendCodeTarget(kPhone, time));
        EXPECT_EQ(reply["code"].asInt(), 1) << time - now << reply.toStyledString();
    }
    const Json::Value codes = store.SmsCodes();
    ASSERT_EQ(codes.size(), 3u);
    for (const Json::Value& item : codes) {
        EXPECT_EQ(item["phone"].asString(), kPhone);
        const std::string code = item["code"].asString();
        ASSERT_EQ(code.size(), 6u);
        EXPECT_TRUE(std::all_of(code.begin(), code.end(), ::isdigit)) << code;
        // Printed for the person running the store.
        EXPECT_NE(store.Output().find("# SMS to " + std::string(kPhone) + ": verification code " + code),
                  std::string::npos);
    }
    // The newest code is the one that logs in.
    const std::string last = codes[2]["code"].asString();
    EXPECT_EQ(Send(LoginTarget(kPhone, last))["code"].asInt(), 1);
}

TEST_F(DemoStoreSmsTest, OldOrFutureTimesAreRefusedEvenWhenSigned) {
    ASSERT_TRUE(store.Started());
    const long long now = std::time(nullptr);
    for (const long long time : {now - 310, now + 310, 0LL, -now}) {
        const Json::Value reply = Send(SendCodeTarget(kPhone, time));
        EXPECT_EQ(reply["code"].asInt(), 0) << time - now;
        EXPECT_FALSE(reply["msg"].asString().empty());
    }
    EXPECT_EQ(store.SmsCodes().size(), 0u);
}

TEST_F(DemoStoreSmsTest, WrongSignaturesAndShapesAreRefused) {
    ASSERT_TRUE(store.Started());
    const std::string now = std::to_string(std::time(nullptr));
    const std::string good = Md5Signature(now, kPhone);
    std::string upper = good;
    std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
    ASSERT_NE(upper, good);
    const std::vector<std::string> targets = {
        Target(kPhone, now, Md5Signature(now, "13700000000")),  // signed for another phone
        Target(kPhone, now, Md5Signature(std::to_string(std::stoll(now) - 1), kPhone)),  // for another second
        Target(kPhone, now, upper),                                                   // digits in upper case
        Target(kPhone, now, ""),                                                      // no signature
        Target("1371234567", now, Md5Signature(now, "1371234567")),                   // 10 digits
        Target("23712345678", now, Md5Signature(now, "23712345678")),                 // not a mobile number
        Target(kPhone, now + "x", Md5Signature(now + "x", kPhone)),                   // time not a number
        "/api/sms/sendsms.html?time=" + now + "&phone=" + kPhone + "&token=" + good,  // keys out of order
        "/api/sms/sendsms.html?phone=" + std::string(kPhone) + "&time=" + now,        // token missing
    };
    for (const std::string& target : targets) {
        const Json::Value reply = Send(target);
        EXPECT_EQ(reply["code"].asInt(), 0) << target;
        EXPECT_FALSE(reply["msg"].asString().empty()) << target;
    }
    // The correct request without the client's request header.
    EXPECT_EQ(Send(Target(kPhone, now, good), {})["code"].asInt(), 0);
    // POST is not how the client asks.
    const auto post =
        StorePost(store, "store", Target(kPhone, now, good), TokenHeaders(""), "", "text/plain");
    EXPECT_EQ(Envelope(post)["code"].asInt(), 0);
    EXPECT_EQ(store.SmsCodes().size(), 0u);
    // The same request with everything right is accepted.
    EXPECT_EQ(Send(Target(kPhone, now, good))["code"].asInt(), 1);
}

TEST_F(DemoStoreSmsTest, ARepeatedCodeRequestReplacesTheEarlierCode) {
    ASSERT_TRUE(store.Started());
    std::string first, second;
    // Two sends in a row; rare equal codes are drawn again.
    for (int attempt = 0; attempt < 5 && first == second; ++attempt) {
        ASSERT_EQ(Send(SendCodeTarget(kPhone, std::time(nullptr)))["code"].asInt(), 1);
        first = store.LastSmsCode(kPhone);
        ASSERT_EQ(Send(SendCodeTarget(kPhone, std::time(nullptr)))["code"].asInt(), 1);
        second = store.LastSmsCode(kPhone);
    }
    ASSERT_NE(first, second);
    EXPECT_EQ(Send(LoginTarget(kPhone, first))["code"].asInt(), 0);
    EXPECT_EQ(Send(LoginTarget(kPhone, second))["code"].asInt(), 1);
}

}  // namespace
}  // namespace vtest
