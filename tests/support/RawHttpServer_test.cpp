// The scripted test server is itself checked against a client that is not
// ours: the curl command-line program.
#include "support/RawHttpServer.h"

#include <gtest/gtest.h>

#include "support/Sandbox.h"

namespace {

using vtest::RawHttpServer;

TEST(RawHttpServer, RecordsTheRequestAndSendsTheScriptedReply) {
    RawHttpServer server([](const RawHttpServer::Request& r) {
        RawHttpServer::Reply reply;
        reply.bytes = RawHttpServer::ChunkedResponse(200, {"he", "llo ", r.body});
        reply.pieceSize = 3;
        return reply;
    });
    const vtest::ProcessResult result = vtest::RunProcess(
        {"curl", "-s", "-H", "X-token: abc", "--data-binary", "world", server.BaseUrl() + "/a/b.html?x=1"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "hello world");
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].target, "/a/b.html?x=1");
    EXPECT_EQ(requests[0].Header("x-TOKEN"), "abc");
    EXPECT_EQ(requests[0].body, "world");
    EXPECT_FALSE(requests[0].HasHeader("Cookie"));
}

TEST(RawHttpServer, AnnouncedLengthLongerThanTheBodyIsSeenAsCutShort) {
    RawHttpServer server([](const RawHttpServer::Request&) {
        return RawHttpServer::Reply{"HTTP/1.1 200 OK\r\nContent-Length: 10\r\nConnection: close\r\n\r\nabc"};
    });
    const vtest::ProcessResult result = vtest::RunProcess({"curl", "-s", server.BaseUrl() + "/"});
    EXPECT_EQ(result.exitCode, 18);  // CURLE_PARTIAL_FILE
    EXPECT_EQ(result.out, "abc");
}

}  // namespace
