#include "net/PostForm.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <string>

#include "NetTestSupport.h"
#include "support/RawHttpServer.h"
#include "support/Sandbox.h"

namespace {

using vtest::RawHttpServer;

RawHttpServer::Handler Answer(std::string bytes) {
    return [bytes](const RawHttpServer::Request&) { return RawHttpServer::Reply{bytes}; };
}

bool Post(const std::string& url, const std::string& body, std::string* reply) {
    return PostForm(url, body.data(), body.size(), reply, true);
}

TEST(PostForm, SendsExactlyOneFormPostToTheNamedPort) {
    RawHttpServer server(Answer(RawHttpServer::Response(200, "1")));
    std::string reply;
    ASSERT_TRUE(Post(server.BaseUrl() + "/action.ashx?x=1", "k=v&a b", &reply));
    EXPECT_EQ(reply, "1");
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].raw,
              "POST /action.ashx?x=1 HTTP/1.1\r\n"
              "Host: " +
                  server.HostPort() +
                  "\r\n"
                  "Content-Type: application/x-www-form-urlencoded\r\n"
                  "Content-Length: 7\r\n"
                  "\r\n"
                  "k=v&a b");
}

TEST(PostForm, SendsBodyBytesUnchangedAndAnEmptyBodyAsEmptyForm) {
    RawHttpServer server(Answer(RawHttpServer::Response(200, "1")));
    const std::string binary("a\0\r\n\xff+%20", 8);
    ASSERT_TRUE(Post(server.BaseUrl() + "/p", binary, nullptr));
    ASSERT_TRUE(PostForm(server.BaseUrl() + "/p", nullptr, 0, nullptr, true));
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].body, binary);
    EXPECT_EQ(requests[1].Header("Content-Length"), "0");
    EXPECT_EQ(requests[1].body, "");
    EXPECT_EQ(requests[1].Header("Content-Type"), "application/x-www-form-urlencoded");
}

TEST(PostForm, AddressWithoutPortGoesToPort80) {
    // The configured proxy carries the request, so the test sees the address
    // and port that the post was meant for without owning port 80.
    vtest::Sandbox sandbox;
    RawHttpServer proxy(Answer(RawHttpServer::Response(200, "7")));
    sandbox.SetEnv("http_proxy", proxy.BaseUrl());
    sandbox.SetEnv("no_proxy", std::nullopt);
    sandbox.SetEnv("NO_PROXY", std::nullopt);
    std::string reply;
    ASSERT_TRUE(Post("http://stats.invalid/action.ashx", "b", &reply));
    ASSERT_TRUE(Post("http://stats.invalid:8080/action.ashx", "b", &reply));
    EXPECT_EQ(reply, "7");
    const auto requests = proxy.Requests();
    ASSERT_EQ(requests.size(), 2u);
    // An absolute address without a port names port 80.
    EXPECT_EQ(requests[0].target, "http://stats.invalid/action.ashx");
    EXPECT_EQ(requests[0].Header("Host"), "stats.invalid");
    EXPECT_EQ(requests[1].target, "http://stats.invalid:8080/action.ashx");
    EXPECT_EQ(requests[1].Header("Host"), "stats.invalid:8080");
}

TEST(PostForm, ReplyIsReadOnlyAsFarAsContentLengthAnnounces) {
    struct Case {
        const char* name;
        std::string reply;
        std::string expected;
    };
    const std::string untouched = "untouched";
    const Case cases[] = {
        {"with length", RawHttpServer::Response(200, "17ok"), "17ok"},
        {"chunked, no length", RawHttpServer::ChunkedResponse(200, {"1", "7"}), untouched},
        {"no length, close ends body", RawHttpServer::Response(200, "1", {}, false), untouched},
        {"length 0", RawHttpServer::Response(200, ""), untouched},
        {"negative length", "HTTP/1.1 200 OK\r\nContent-Length: -4\r\nConnection: close\r\n\r\n", untouched},
        {"error status still read", RawHttpServer::Response(500, "oops"), "oops"},
        {"body cut short", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\nConnection: close\r\n\r\n12345",
         "12345"},
        {"text after a NUL dropped", RawHttpServer::Response(200, std::string("1\0zz", 4)), "1"},
        {"malformed UTF-8 replaced", RawHttpServer::Response(200, "1\xff"), "1\xef\xbf\xbd"},
        {"UTF-8 kept", RawHttpServer::Response(200, "1 好"), "1 好"},
    };
    for (const Case& c : cases) {
        RawHttpServer server(Answer(c.reply));
        std::string reply = untouched;
        EXPECT_TRUE(Post(server.BaseUrl() + "/action.ashx", "body", &reply)) << c.name;
        EXPECT_EQ(reply, c.expected) << c.name;
    }
}

TEST(PostForm, FailsWithoutSendingForAddressesItCannotPost) {
    RawHttpServer server(Answer(RawHttpServer::Response(200, "1")));
    const std::string port = std::to_string(server.Port());
    const std::string tooLongPath = "/" + std::string(259, 'p');
    const std::string longestPath = "/" + std::string(258, 'p');
    for (const std::string& url :
         {std::string("not an address"), std::string(""), "https://127.0.0.1:" + port + "/a",
          "ftp://127.0.0.1:" + port + "/a", "http://127.0.0.1:" + port + tooLongPath,
          "http://" + std::string(260, 'h') + "/a", std::string("http:///a")}) {
        std::string reply = "untouched";
        EXPECT_FALSE(Post(url, "b", &reply)) << url;
        EXPECT_EQ(reply, "untouched") << url;
    }
    EXPECT_EQ(server.Requests().size(), 0u);
    EXPECT_FALSE(PostForm(server.BaseUrl() + "/a", nullptr, 3, nullptr, true));
    // The longest path that fits is posted.
    EXPECT_TRUE(Post("http://127.0.0.1:" + port + longestPath, "b", nullptr));
    EXPECT_EQ(server.Requests().size(), 1u);
}

TEST(PostForm, FailsWhenNoServerAnswers) {
    std::string closedPort;
    {
        RawHttpServer gone(Answer(""));
        closedPort = gone.BaseUrl();
    }
    EXPECT_FALSE(Post(closedPort + "/a", "b", nullptr));

    // A server that takes the request and closes without a status line.
    RawHttpServer silent(Answer(""));
    std::string reply = "untouched";
    EXPECT_FALSE(Post(silent.BaseUrl() + "/a", "b", &reply));
    EXPECT_EQ(reply, "untouched");
    EXPECT_EQ(silent.Requests().size(), 1u);
}

TEST(PostForm, RepliesAnnouncingMoreThanTheCapAreAFailure) {
    nettest::DebugCapture debug;
    EXPECT_EQ(kPostFormLimits.reply, 16u * 1024 * 1024);
    net::TransferLimits limits = kPostFormLimits;
    limits.reply = 100000;
    const std::string full(limits.reply, '1');
    const auto post = [&](const std::string& url, std::string* reply) {
        return PostForm(url, "b", 1, reply, true, limits);
    };
    {
        RawHttpServer server(Answer(RawHttpServer::Response(200, full)));
        std::string reply;
        EXPECT_TRUE(post(server.BaseUrl() + "/a", &reply));
        EXPECT_EQ(reply.size(), full.size());
    }
    for (const std::string& tooLong :
         {RawHttpServer::Response(200, full + "1"),
          // Announced, never sent: the announcement alone is refused.
          std::string("HTTP/1.1 200 OK\r\nContent-Length: 2147483647\r\nConnection: close\r\n\r\n1")}) {
        RawHttpServer server(Answer(tooLong));
        std::string reply = "untouched";
        EXPECT_FALSE(post(server.BaseUrl() + "/a", &reply));
        EXPECT_EQ(reply, "untouched");
    }
    const std::string refusal = "form post reply refused: more than 100000 bytes announced\n";
    EXPECT_THAT(debug.Texts(), testing::ElementsAre(refusal, refusal));
}

TEST(PostForm, ASilentServerEndsThePostAtTheSilenceLimit) {
    EXPECT_EQ(kPostFormLimits.connect, std::chrono::seconds(60));
    EXPECT_EQ(kPostFormLimits.stall, std::chrono::seconds(30));
    EXPECT_EQ(kPostFormLimits.overall, std::chrono::seconds(120));
    // Takes the request and never answers.
    RawHttpServer server([](const RawHttpServer::Request&) { return RawHttpServer::Reply{"", 0, true}; });
    const net::TransferLimits limits{std::chrono::seconds(30), std::chrono::milliseconds(300), {}};
    const std::string body = "b";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(PostForm(server.BaseUrl() + "/a", body.data(), body.size(), nullptr, true, limits));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(150));  // half the limit: timers may fire a little early
    EXPECT_LT(took, std::chrono::seconds(10));
    EXPECT_EQ(server.Requests().size(), 1u);
}

TEST(PostForm, AReplyThatKeepsComingEndsAtTheOverallLimit) {
    // A byte every 20 ms: never silent, never done. The status line came, so
    // the post was sent; the reply holds what arrived.
    nettest::TrickleServer server(std::chrono::milliseconds(20));
    const net::TransferLimits limits{std::chrono::seconds(30), std::chrono::seconds(20),
                                     std::chrono::milliseconds(800)};
    std::string reply;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(PostForm(server.BaseUrl() + "/a", "b", 1, &reply, true, limits));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_FALSE(reply.empty());
    EXPECT_EQ(reply, std::string(reply.size(), 'x'));
    EXPECT_GT(server.Sent(), 0);
}

TEST(LeadingInteger, ReadsLikeTheRuntimeTextToIntegerConversion) {
    EXPECT_EQ(LeadingInteger("1"), 1);
    EXPECT_EQ(LeadingInteger("17"), 17);
    EXPECT_EQ(LeadingInteger("1ok"), 1);
    EXPECT_EQ(LeadingInteger("0"), 0);
    EXPECT_EQ(LeadingInteger(""), 0);
    EXPECT_EQ(LeadingInteger("ok1"), 0);
    EXPECT_EQ(LeadingInteger(" \t\n 42"), 42);
    EXPECT_EQ(LeadingInteger("-3"), -3);
    EXPECT_EQ(LeadingInteger("+4"), 4);
    EXPECT_EQ(LeadingInteger("- 4"), 0);
    EXPECT_EQ(LeadingInteger("99999999999999999999"), INT_MAX);
    EXPECT_EQ(LeadingInteger("-99999999999999999999"), INT_MIN);
}

}  // namespace
