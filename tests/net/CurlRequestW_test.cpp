#include "net/CCurlRequestW.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <thread>

#include "NetTestSupport.h"
#include "platform/os/Event.h"
#include "platform/os/Text.h"
#include "support/RawHttpServer.h"

namespace {

using nettest::HeaderLines;
using testing::ElementsAre;
using vtest::RawHttpServer;

class CurlRequestWTest : public nettest::NetTest {};

RawHttpServer::Handler Answer(const std::string& bytes) {
    return [bytes](const RawHttpServer::Request&) { return RawHttpServer::Reply{bytes}; };
}

TEST_F(CurlRequestWTest, GetSendsTheFixedCredentialsAndNoToken) {
    nettest::SetToken("someone");
    RawHttpServer server(Answer(RawHttpServer::Response(200, "version=2.1.0\n")));
    CCurlRequestW request;
    EXPECT_EQ(request.Get(os::Utf8ToUtf16(server.BaseUrl() + "/windows/newversion.htm")), u"version=2.1.0\n");
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].target, "/windows/newversion.htm");
    // "kiwi:plum" in Base64.
    EXPECT_THAT(
        HeaderLines(requests[0].head),
        ElementsAre("Host: " + server.HostPort(), "Authorization: Basic a2l3aTpwbHVt", "Accept: */*"));
}

TEST_F(CurlRequestWTest, ChunksAreJoinedIntoUtf16) {
    RawHttpServer server(Answer(RawHttpServer::ChunkedResponse(200, {"version=1.\xE6\xA8", "\xA1\t2\n"})));
    CCurlRequestW request;
    EXPECT_EQ(request.Get(os::Utf8ToUtf16(server.BaseUrl() + "/v")), u"version=1.模\t2\n");
    EXPECT_EQ(FetchUrlText(server.BaseUrl() + "/v"), "version=1.模\t2\n");
}

TEST_F(CurlRequestWTest, FailuresGiveWhatArrivedAndReportNothing) {
    RawHttpServer cut(Answer("HTTP/1.1 200 OK\r\nContent-Length: 40\r\n\r\nversion=3"));
    EXPECT_EQ(FetchUrlText(cut.BaseUrl() + "/v"), "version=3");
    RawHttpServer missing(Answer(RawHttpServer::Response(404, "<h1>Not Found</h1>")));
    EXPECT_EQ(FetchUrlText(missing.BaseUrl() + "/v"), "<h1>Not Found</h1>");
    EXPECT_EQ(FetchUrlText("http://127.0.0.1:1/v"), "");
    EXPECT_EQ(FetchUrlText("not an address"), "");
    EXPECT_TRUE(debug.Texts().empty());
}

TEST_F(CurlRequestWTest, TheWriteCallbackWithoutARequesterEndsTheTransfer) {
    char data[] = "abc";
    EXPECT_EQ(CCurlRequestW::WriteCallback(data, 3, 1, nullptr), 0u);
}

TEST_F(CurlRequestWTest, TheLimitsStartAtTheirDocumentedValues) {
    const CCurlRequestW request;
    EXPECT_EQ(request.Limits().connect, std::chrono::seconds(20));
    EXPECT_EQ(request.Limits().stall, std::chrono::seconds(20));
    EXPECT_EQ(request.Limits().overall, std::chrono::seconds(60));
}

TEST_F(CurlRequestWTest, AFetchFromASilentServerEndsAfterItsStallLimit) {
    RawHttpServer server([](const RawHttpServer::Request&) {
        return RawHttpServer::Reply{"HTTP/1.1 200 OK\r\nContent-Length: 50\r\n\r\nversion=", 0, true};
    });
    CCurlRequestW request;
    request.SetStallLimit(std::chrono::milliseconds(300));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(request.Get(os::Utf8ToUtf16(server.BaseUrl() + "/v")), u"version=");
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(150));  // half the limit: timers may fire a little early
    EXPECT_LT(took, std::chrono::seconds(10));
}

TEST_F(CurlRequestWTest, AStopEventEndsARequestToASilentServerAtOnce) {
    RawHttpServer server([](const RawHttpServer::Request&) {
        return RawHttpServer::Reply{"HTTP/1.1 200 OK\r\nContent-Length: 50\r\n\r\nversion=", 0, true};
    });
    os::Event stop;
    std::thread stopper([&] {
        EXPECT_TRUE(server.WaitForRequests(1));
        stop.Set();
    });
    // The default limits (20 s of silence) stay: only the event ends it in
    // time. What arrived before the event is kept, and the event may come
    // before the first bytes do.
    const auto start = std::chrono::steady_clock::now();
    const std::string text = FetchUrlText(server.BaseUrl() + "/v", &stop);
    EXPECT_TRUE(text.empty() || text == "version=") << text;
    stopper.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    // Already set: no request is made.
    EXPECT_EQ(FetchUrlText(server.BaseUrl() + "/v", &stop), "");
    EXPECT_EQ(server.Requests().size(), 1u);
}

TEST_F(CurlRequestWTest, AFetchFromATricklingServerEndsAtItsOverallLimit) {
    nettest::TrickleServer server(std::chrono::milliseconds(20));
    CCurlRequestW request;
    constexpr auto kStall = std::chrono::milliseconds(300);
    request.SetStallLimit(kStall);
    request.SetOverallLimit(6 * kStall);
    const auto start = std::chrono::steady_clock::now();
    const std::u16string text = request.Get(os::Utf8ToUtf16(server.BaseUrl() + "/v"));
    const auto took = std::chrono::steady_clock::now() - start;
    // Several stall limits long: the overall limit ended it, not the stall limit.
    EXPECT_GE(took, 5 * kStall);
    EXPECT_LT(took, std::chrono::seconds(10));
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(text, std::u16string(text.size(), u'x'));
}

TEST_F(CurlRequestWTest, VersionFilesBeyondSixtyFourKibibytesAreRefusedWhole) {
    EXPECT_EQ(CCurlRequestW::kMaxReply, 65536u);
    const std::string full = "version=1\n" + std::string(CCurlRequestW::kMaxReply - 10, '#');
    RawHttpServer fits(Answer(RawHttpServer::Response(200, full)));
    EXPECT_EQ(FetchUrlText(fits.BaseUrl() + "/v"), full);
    EXPECT_TRUE(debug.Texts().empty());
    RawHttpServer tooLong(Answer(RawHttpServer::ChunkedResponse(200, {full, "#"})));
    EXPECT_EQ(FetchUrlText(tooLong.BaseUrl() + "/v"), "");
    EXPECT_THAT(debug.Texts(), ElementsAre("version file refused: more than 65536 bytes\n"));
}

}  // namespace
