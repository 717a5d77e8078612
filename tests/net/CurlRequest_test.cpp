#include "net/CCurlRequest.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

#include "NetTestSupport.h"
#include "platform/os/Event.h"
#include "support/RawHttpServer.h"

namespace {

using nettest::HeaderLines;
using nettest::SetToken;
using testing::AnyOf;
using testing::ElementsAre;
using testing::Eq;
using vtest::RawHttpServer;

class CurlRequestTest : public nettest::NetTest {};

RawHttpServer::Handler Answer(const std::string& bytes) {
    return [bytes](const RawHttpServer::Request&) { return RawHttpServer::Reply{bytes}; };
}

TEST_F(CurlRequestTest, GetSendsAnEmptyTokenLineWhenNobodyIsLoggedIn) {
    RawHttpServer server(Answer(RawHttpServer::Response(200, R"({"code":1})")));
    CCurlRequest request(false);
    EXPECT_EQ(request.GetWithToken(server.BaseUrl() + "/api/user/deleteDownLoad?document_id=7"),
              R"({"code":1})");
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    const auto& sent = requests[0];
    EXPECT_EQ(sent.method, "GET");
    EXPECT_EQ(sent.target, "/api/user/deleteDownLoad?document_id=7");
    EXPECT_THAT(HeaderLines(sent.head), ElementsAre("Host: " + server.HostPort(), "Accept: */*",
                                                    "X-Requested-With: XMLHttpRequest", "X-token:"));
    EXPECT_EQ(sent.body, "");
}

TEST_F(CurlRequestTest, WithoutATokenProviderTheTokenLineIsEmpty) {
    SetToken("not asked");
    SetSessionTokenProvider(nullptr);
    RawHttpServer server(Answer(RawHttpServer::Response(200, "ok")));
    CCurlRequest request(false);
    EXPECT_EQ(request.GetWithToken(server.BaseUrl() + "/x"), "ok");
    EXPECT_EQ(request.PostWithToken(server.BaseUrl() + "/x"), "ok");
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(HeaderLines(requests[0].head).back(), "X-token:");
    EXPECT_EQ(requests[1].body, "X-token:");
}

TEST_F(CurlRequestTest, GetSendsTheTokenRightAfterTheColon) {
    SetToken("eyJhbGciOi.J9.abc:");
    RawHttpServer server(Answer(RawHttpServer::Response(200, "ok")));
    CCurlRequest request(false);
    EXPECT_EQ(request.GetWithToken(server.BaseUrl() + "/x"), "ok");
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_THAT(HeaderLines(server.Requests()[0].head),
                ElementsAre("Host: " + server.HostPort(), "Accept: */*", "X-Requested-With: XMLHttpRequest",
                            "X-token:eyJhbGciOi.J9.abc:"));
}

TEST_F(CurlRequestTest, PostSendsItsTokenLineAsTheJsonBody) {
    for (const std::string token : {"", "tok-123"}) {
        SetToken(token);
        RawHttpServer server(Answer(RawHttpServer::Response(200, R"({"code":1,"data":{}})")));
        CCurlRequest request(false);
        EXPECT_EQ(request.PostWithToken(server.BaseUrl() + "/api/user/userinfo.html"),
                  R"({"code":1,"data":{}})");
        const auto requests = server.Requests();
        ASSERT_EQ(requests.size(), 1u);
        const auto& sent = requests[0];
        const std::string tokenLine = "X-token:" + token;
        EXPECT_EQ(sent.method, "POST");
        EXPECT_EQ(sent.target, "/api/user/userinfo.html");
        EXPECT_THAT(
            HeaderLines(sent.head),
            ElementsAre("Host: " + server.HostPort(), "Accept: */*",
                        "Content-Type:application/json;charset=UTF-8", "X-Requested-With:XMLHttpRequest",
                        tokenLine, "Content-Length: " + std::to_string(tokenLine.size())));
        EXPECT_EQ(sent.body, tokenLine);
    }
}

TEST_F(CurlRequestTest, ATokenWithALineBreakIsNeverSent) {
    // Its second line would become a header of its own.
    SetToken("abc\r\nX-Admin: 1");
    RawHttpServer server(Answer(RawHttpServer::Response(200, "ok")));
    CCurlRequest request(false);
    EXPECT_EQ(request.GetWithToken(server.BaseUrl() + "/x"), "");
    EXPECT_EQ(request.PostWithToken(server.BaseUrl() + "/x"), "");
    EXPECT_TRUE(server.Requests().empty());
}

TEST_F(CurlRequestTest, ChunksAreJoinedAndACharacterSplitBetweenThemSurvives) {
    // "模板" is E6 A8 A1 E6 9D BF; the first chunk ends inside the second character.
    const std::string first = "{\"msg\":\"\xE6\xA8\xA1\xE6";
    const std::string second = "\x9D\xBF\"}";
    for (bool raw : {false, true}) {
        RawHttpServer server(Answer(RawHttpServer::ChunkedResponse(200, {first, second})));
        CCurlRequest request(raw);
        EXPECT_EQ(request.GetWithToken(server.BaseUrl() + "/x"), "{\"msg\":\"模板\"}") << raw;
        EXPECT_EQ(request.PostWithToken(server.BaseUrl() + "/x"), "{\"msg\":\"模板\"}") << raw;
    }
}

TEST_F(CurlRequestTest, ConvertedRepliesReplaceMalformedBytesRawRepliesKeepThem) {
    // A stray continuation byte, a Latin-1 "é", and a reply cut inside a character.
    const std::string body =
        "a\x80"
        "b\xE9"
        "c\xE6\xA8";
    RawHttpServer server(Answer(RawHttpServer::ChunkedResponse(200, {body.substr(0, 3), body.substr(3)})));
    CCurlRequest converted(false);
    EXPECT_EQ(converted.GetWithToken(server.BaseUrl() + "/x"), "a\uFFFDb\uFFFDc\uFFFD\uFFFD");
    CCurlRequest raw(true);
    EXPECT_EQ(raw.GetWithToken(server.BaseUrl() + "/x"), body);
}

TEST_F(CurlRequestTest, ErrorPagesAreReturnedAsTheirText) {
    for (int status : {404, 500}) {
        const std::string page = "<html>" + std::to_string(status) + "</html>";
        RawHttpServer server(Answer(RawHttpServer::Response(status, page)));
        CCurlRequest request(false);
        EXPECT_EQ(request.GetWithToken(server.BaseUrl() + "/missing"), page);
        EXPECT_EQ(request.PostWithToken(server.BaseUrl() + "/missing"), page);
    }
    EXPECT_TRUE(debug.Texts().empty());
}

TEST_F(CurlRequestTest, AServerClosingMidBodyGivesThePartialTextAndATrace) {
    // Announces 100 bytes, sends 12, closes.
    RawHttpServer server(
        Answer("HTTP/1.1 200 OK\r\nContent-Length: 100\r\nConnection: close\r\n\r\n{\"code\":1,\"d"));
    CCurlRequest request(false);
    EXPECT_EQ(request.GetWithToken(server.BaseUrl() + "/x"), "{\"code\":1,\"d");
    EXPECT_EQ(request.PostWithToken(server.BaseUrl() + "/x"), "{\"code\":1,\"d");
    EXPECT_THAT(debug.Texts(),
                ElementsAre("curl_easy_perform error = 18\n", "curl_easy_perform error = 18\n"));
}

TEST_F(CurlRequestTest, ARefusedConnectionGivesAnEmptyReplyAndATrace) {
    int port = 0;
    {
        RawHttpServer gone(Answer(""));
        port = gone.Port();
    }  // nothing listens there any more
    CCurlRequest request(false);
    EXPECT_EQ(request.GetWithToken("http://127.0.0.1:" + std::to_string(port) + "/x"), "");
    EXPECT_THAT(debug.Texts(), ElementsAre("curl_easy_perform error = 7\n"));
}

TEST_F(CurlRequestTest, AMalformedAddressIsAFailedTransfer) {
    CCurlRequest request(false);
    EXPECT_EQ(request.GetWithToken("http://127.0.0.1:99999999/x"), "");
    EXPECT_EQ(request.PostWithToken(""), "");
    EXPECT_EQ(debug.Texts().size(), 2u);
}

TEST_F(CurlRequestTest, EachRequestStartsWithAnEmptyReply) {
    RawHttpServer server(Answer(RawHttpServer::Response(200, "first")));
    CCurlRequest request(false);
    EXPECT_EQ(request.GetWithToken(server.BaseUrl() + "/x"), "first");
    EXPECT_EQ(request.GetWithToken("http://127.0.0.1:1/x"), "");
}

TEST_F(CurlRequestTest, TheWriteCallbackWithoutARequesterEndsTheTransfer) {
    char data[] = "abc";
    EXPECT_EQ(CCurlRequest::WriteCallback(data, 1, 3, nullptr), 0u);
}

// A server that sends the head and part of the body, then nothing.
RawHttpServer::Reply Stall(const RawHttpServer::Request&) {
    return {"HTTP/1.1 200 OK\r\nContent-Length: 50\r\n\r\npartial", 0, true};
}

// The limits under test are set short; the others stay long enough that
// only the limit under test can end the request before this.
constexpr auto kShortLimit = std::chrono::milliseconds(300);
constexpr auto kLongLimit = std::chrono::seconds(30);
constexpr auto kWellBeforeLongLimit = std::chrono::seconds(10);

TEST_F(CurlRequestTest, TheLimitsStartAtTheirDocumentedValues) {
    using std::chrono::seconds;
    const CCurlRequest request(false);
    const net::TransferLimits get = request.LimitsOfGet();
    EXPECT_EQ(get.connect, seconds(20));
    EXPECT_EQ(get.stall, seconds(20));
    EXPECT_EQ(get.overall, seconds(60));
    const net::TransferLimits post = request.LimitsOfPost();
    EXPECT_EQ(post.connect, seconds(20));
    EXPECT_EQ(post.stall, seconds(0));
    EXPECT_EQ(post.overall, seconds(20));
}

TEST_F(CurlRequestTest, APostToASilentServerEndsAtItsTimeLimit) {
    RawHttpServer server(&Stall);
    CCurlRequest request(false);
    request.SetPostLimit(kShortLimit);
    request.SetStallLimit(std::chrono::milliseconds(1));  // a GET's limit: no effect on a POST
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(request.PostWithToken(server.BaseUrl() + "/x"), "partial");
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, kShortLimit / 2);
    EXPECT_LT(took, kWellBeforeLongLimit);
    EXPECT_THAT(debug.Texts(), ElementsAre("curl_easy_perform error = 28\n"));
}

TEST_F(CurlRequestTest, AGetFromASilentServerEndsAfterItsStallLimit) {
    RawHttpServer server(&Stall);
    CCurlRequest request(false);
    request.SetStallLimit(kShortLimit);
    request.SetPostLimit(std::chrono::milliseconds(1));  // a POST's limit: no effect on a GET
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(request.GetWithToken(server.BaseUrl() + "/x"), "partial");
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, kShortLimit / 2);
    EXPECT_LT(took, kWellBeforeLongLimit);
    EXPECT_THAT(debug.Texts(), ElementsAre("curl_easy_perform error = 28\n"));
}

TEST_F(CurlRequestTest, AGetFromATricklingServerEndsAtItsOverallLimit) {
    // A byte every 20 ms: never silent for the stall limit, never done.
    nettest::TrickleServer server(std::chrono::milliseconds(20));
    CCurlRequest request(false);
    request.SetStallLimit(kShortLimit);
    request.SetGetLimit(6 * kShortLimit);
    const auto start = std::chrono::steady_clock::now();
    const std::string reply = request.GetWithToken(server.BaseUrl() + "/x");
    const auto took = std::chrono::steady_clock::now() - start;
    // Several stall limits long: the overall limit ended it, not the stall limit.
    EXPECT_GE(took, 5 * kShortLimit);
    EXPECT_LT(took, kWellBeforeLongLimit);
    // What arrived until then is the partial reply, as for any failure.
    EXPECT_FALSE(reply.empty());
    EXPECT_EQ(reply, std::string(reply.size(), 'x'));
    EXPECT_THAT(debug.Texts(), ElementsAre("curl_easy_perform error = 28\n"));
}

TEST_F(CurlRequestTest, RepliesBeyondTheCapAreRefusedWhole) {
    EXPECT_EQ(CCurlRequest::kMaxReply, 16u * 1024 * 1024);
    EXPECT_EQ(CCurlRequest(false).LimitsOfGet().reply, CCurlRequest::kMaxReply);
    EXPECT_EQ(CCurlRequest(false).LimitsOfPost().reply, CCurlRequest::kMaxReply);
    constexpr std::size_t kCap = 100000;
    const std::string full(kCap, 'a');
    {
        RawHttpServer server(Answer(RawHttpServer::Response(200, full)));
        CCurlRequest request(true);
        request.SetReplyCap(kCap);
        EXPECT_EQ(request.GetWithToken(server.BaseUrl() + "/x"), full);
        EXPECT_TRUE(debug.Texts().empty());
    }
    // Raw or converted, the cap counts the bytes as they came ("é" is two).
    RawHttpServer server(Answer(RawHttpServer::Response(200, full.substr(1) + "\xC3\xA9")));
    CCurlRequest raw(true);
    raw.SetReplyCap(kCap);
    EXPECT_EQ(raw.GetWithToken(server.BaseUrl() + "/x"), "");
    CCurlRequest converted(false);
    converted.SetReplyCap(kCap);
    EXPECT_EQ(converted.PostWithToken(server.BaseUrl() + "/x"), "");
    const std::string failed = "curl_easy_perform error = 23\n";
    const std::string refused = "reply refused: more than 100000 bytes\n";
    EXPECT_THAT(debug.Texts(), ElementsAre(failed, refused, failed, refused));
}

TEST_F(CurlRequestTest, AConnectionThatIsNeverAcceptedEndsAtTheConnectLimit) {
    nettest::FullListener listener;
    ASSERT_NE(listener.Port(), 0);
    const std::string url = "http://127.0.0.1:" + std::to_string(listener.Port()) + "/x";
    CCurlRequest request(false);
    request.SetConnectLimit(kShortLimit);
    request.SetStallLimit(kLongLimit);
    request.SetGetLimit(kLongLimit);
    request.SetPostLimit(kLongLimit);
    for (bool post : {false, true}) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(post ? request.PostWithToken(url) : request.GetWithToken(url), "");
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_GE(took, kShortLimit / 2) << post;
        EXPECT_LT(took, kWellBeforeLongLimit) << post;
    }
    EXPECT_THAT(debug.Texts(),
                ElementsAre("curl_easy_perform error = 28\n", "curl_easy_perform error = 28\n"));
}

TEST_F(CurlRequestTest, ARequestersOwnTokenIsSentWhateverTheSessionHoldsNow) {
    SetToken("the session's token now");
    RawHttpServer server(Answer(RawHttpServer::Response(200, "ok")));
    CCurlRequest request(false);
    request.SetToken("tok-of-the-fetch");
    EXPECT_EQ(request.PostWithToken(server.BaseUrl() + "/x"), "ok");
    EXPECT_EQ(request.GetWithToken(server.BaseUrl() + "/x"), "ok");
    request.SetToken("bad\r\nX-Evil: 1");
    EXPECT_EQ(request.PostWithToken(server.BaseUrl() + "/x"), "");
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].body, "X-token:tok-of-the-fetch");
    EXPECT_EQ(HeaderLines(requests[0].head)[4], "X-token:tok-of-the-fetch");
    EXPECT_EQ(HeaderLines(requests[1].head).back(), "X-token:tok-of-the-fetch");
}

TEST_F(CurlRequestTest, TheStopEventEndsARequestToASilentServerAtOnce) {
    RawHttpServer server(&Stall);
    os::Event stop;
    CCurlRequest request(false);
    request.SetStopEvent(&stop);
    request.SetPostLimit(kLongLimit);
    request.SetStallLimit(kLongLimit);
    std::thread stopper([&] {
        // Once the request is there and waits for the rest of its reply.
        vtest::WaitFor([&] { return !server.Requests().empty(); });
        stop.Set();
    });
    const auto start = std::chrono::steady_clock::now();
    // What arrived by then: the server logs the request before its partial
    // reply reaches the client, so the stop may come before or after it.
    EXPECT_THAT(request.PostWithToken(server.BaseUrl() + "/x"), AnyOf(Eq("partial"), Eq("")));
    EXPECT_LT(std::chrono::steady_clock::now() - start, kWellBeforeLongLimit);
    stopper.join();
    // Set before a request, it ends that one before it is sent.
    EXPECT_EQ(request.GetWithToken(server.BaseUrl() + "/x"), "");
    EXPECT_EQ(server.Requests().size(), 1u);
    EXPECT_THAT(debug.Texts(),
                ElementsAre("curl_easy_perform error = 42\n", "curl_easy_perform error = 42\n"));
}

}  // namespace
