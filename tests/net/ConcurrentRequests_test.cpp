// Requesters run on whichever thread needs them (the user-information
// worker, the update and toolbox threads, the UI thread) at the same time.

#include <gtest/gtest.h>

#include <future>
#include <memory>
#include <vector>

#include "NetTestSupport.h"
#include "net/CCurlRequest.h"
#include "net/CCurlRequestW.h"
#include "support/RawHttpServer.h"

namespace {

using vtest::RawHttpServer;

class ConcurrentRequestsTest : public nettest::NetTest {};

TEST_F(ConcurrentRequestsTest, RequestsOnSeveralThreadsEachGetTheirOwnReply) {
    constexpr int kThreads = 4;
    std::vector<std::unique_ptr<RawHttpServer>> servers;
    for (int i = 0; i < kThreads; ++i) {
        const std::string body = "{\"code\":1,\"msg\":\"模板" + std::to_string(i) + "\"}";
        servers.push_back(std::make_unique<RawHttpServer>([body](const RawHttpServer::Request&) {
            // Split inside the first character of "模板".
            return RawHttpServer::Reply{
                RawHttpServer::ChunkedResponse(200, {body.substr(0, 17), body.substr(17)})};
        }));
    }
    nettest::SetToken("shared-token");
    std::vector<std::future<std::string>> results;
    for (int i = 0; i < kThreads; ++i) {
        const std::string url = servers[i]->BaseUrl() + "/api";
        results.push_back(std::async(std::launch::async, [url, i] {
            if (i % 2 == 0) {
                CCurlRequest request(false);
                return request.GetWithToken(url) + request.PostWithToken(url);
            }
            return FetchUrlText(url) + FetchUrlText(url);
        }));
    }
    for (int i = 0; i < kThreads; ++i) {
        const std::string one = "{\"code\":1,\"msg\":\"模板" + std::to_string(i) + "\"}";
        EXPECT_EQ(results[i].get(), one + one) << i;
        const auto requests = servers[i]->Requests();
        ASSERT_EQ(requests.size(), 2u);
        EXPECT_EQ(requests[0].Header("X-token"), i % 2 == 0 ? "shared-token" : "");
    }
}

}  // namespace
