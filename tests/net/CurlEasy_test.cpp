// What every transfer of the client has in common, whichever requester runs
// it: signals left alone, and the limits of the common transfer.

#include "net/CurlEasy.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "NetTestSupport.h"
#include "net/CCurlRequest.h"
#include "net/CCurlRequestW.h"
#include "net/PostForm.h"
#include "platform/os/Text.h"
#include "support/RawHttpServer.h"

namespace {

using vtest::RawHttpServer;

class CurlEasyTest : public nettest::NetTest {};

void (*CurrentSigpipeHandler())(int) {
    struct sigaction now {};
    sigaction(SIGPIPE, nullptr, &now);
    return now.sa_handler;
}

void CountingHandler(int) {}

// Installs CountingHandler for SIGPIPE while it lives.
class SigpipeHandlerScope {
  public:
    SigpipeHandlerScope() {
        struct sigaction handler {};
        handler.sa_handler = &CountingHandler;
        sigemptyset(&handler.sa_mask);
        sigaction(SIGPIPE, &handler, &m_previous);
    }
    ~SigpipeHandlerScope() { sigaction(SIGPIPE, &m_previous, nullptr); }

  private:
    struct sigaction m_previous {};
};

TEST_F(CurlEasyTest, AfterTheFirstTransferSigpipeIsIgnored) {
    // A peer closing while the client writes must give a write error, not
    // end the process.
    RawHttpServer server(
        [](const RawHttpServer::Request&) { return RawHttpServer::Reply{"HTTP/1.1 200 OK\r\n"}; });
    CCurlRequest request(false);
    request.GetWithToken(server.BaseUrl() + "/x");
    EXPECT_EQ(CurrentSigpipeHandler(), SIG_IGN);
}

TEST_F(CurlEasyTest, TransfersLeaveTheProcessSignalDispositionsAlone) {
    // The server looks at the disposition while the client waits for the
    // reply, on another thread: libcurl without CURLOPT_NOSIGNAL would have
    // changed it for the whole process.
    std::atomic<int> seen{0};
    std::atomic<int> changed{0};
    RawHttpServer server([&](const RawHttpServer::Request&) {
        ++seen;
        if (CurrentSigpipeHandler() != &CountingHandler) {
            ++changed;
        }
        return RawHttpServer::Reply{RawHttpServer::Response(200, "1")};
    });
    const SigpipeHandlerScope scope;
    CCurlRequest request(false);
    EXPECT_EQ(request.GetWithToken(server.BaseUrl() + "/x"), "1");
    EXPECT_EQ(request.PostWithToken(server.BaseUrl() + "/x"), "1");
    EXPECT_EQ(FetchUrlText(server.BaseUrl() + "/v"), "1");
    const std::string body = "b";
    EXPECT_TRUE(PostForm(server.BaseUrl() + "/a", body.data(), body.size(), nullptr, true));
    EXPECT_EQ(seen.load(), 4);
    EXPECT_EQ(changed.load(), 0);
    EXPECT_EQ(CurrentSigpipeHandler(), &CountingHandler);
}

TEST_F(CurlEasyTest, SilenceCountsOnlyOnceConnected) {
    // A connection that is never accepted is silent all along, but only the
    // connect limit may end it (a form post connects for longer than it may
    // stay silent).
    nettest::FullListener listener;
    ASSERT_NE(listener.Port(), 0);
    net::CurlEasy easy({std::chrono::milliseconds(600), std::chrono::milliseconds(50), {}});
    ASSERT_TRUE(easy);
    const std::string url = "http://127.0.0.1:" + std::to_string(listener.Port()) + "/x";
    curl_easy_setopt(easy.Get(), CURLOPT_URL, url.c_str());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(easy.Perform(), CURLE_OPERATION_TIMEDOUT);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(300));  // half the limit: timers may fire a little early
    EXPECT_LT(took, std::chrono::seconds(10));
}

TEST_F(CurlEasyTest, AnOverallLimitEndsEvenATransferThatKeepsMoving) {
    nettest::TrickleServer server(std::chrono::milliseconds(10));
    constexpr auto kStall = std::chrono::milliseconds(200);
    net::CurlEasy easy({{}, kStall, std::chrono::milliseconds(1200)});
    ASSERT_TRUE(easy);
    const std::string url = server.BaseUrl() + "/x";
    curl_easy_setopt(easy.Get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(
        easy.Get(), CURLOPT_WRITEFUNCTION,
        +[](char*, std::size_t size, std::size_t count, void*) { return size * count; });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(easy.Perform(), CURLE_OPERATION_TIMEDOUT);
    // The bytes kept coming for several stall limits: it was not the stall limit.
    EXPECT_GE(std::chrono::steady_clock::now() - start, 5 * kStall);
    EXPECT_GT(server.Sent(), 50);
}

// Data that keeps coming for six times the stall limit: every requester
// with a stall limit takes it whole. A stall limit that had turned into an
// overall one would end each of them at the first limit.
TEST_F(CurlEasyTest, TransfersThatKeepMovingOutlastTheirStallLimit) {
    constexpr auto kStall = std::chrono::milliseconds(200);
    constexpr int kBytes = 60;  // one every 20 ms: 1.2 seconds
    const std::string whole(kBytes, 'x');
    const std::vector<std::pair<const char*, std::function<std::string(const std::string&)>>> requesters = {
        {"common transfer",
         [&](const std::string& url) {
             net::CurlEasy easy({{}, kStall, {}});
             std::string reply;
             curl_easy_setopt(easy.Get(), CURLOPT_URL, url.c_str());
             curl_easy_setopt(easy.Get(), CURLOPT_WRITEDATA, &reply);
             curl_easy_setopt(
                 easy.Get(), CURLOPT_WRITEFUNCTION,
                 +[](char* data, std::size_t size, std::size_t count, void* to) {
                     static_cast<std::string*>(to)->append(data, size * count);
                     return size * count;
                 });
             return easy.Perform() == CURLE_OK ? reply : "failed";
         }},
        {"store GET",
         [&](const std::string& url) {
             CCurlRequest request(true);
             request.SetStallLimit(kStall);
             return request.GetWithToken(url);
         }},
        {"version file",
         [&](const std::string& url) {
             CCurlRequestW request;
             request.SetStallLimit(kStall);
             return os::Utf16ToUtf8(request.Get(os::Utf8ToUtf16(url)));
         }},
        {"form post",
         [&](const std::string& url) {
             net::TransferLimits limits = kPostFormLimits;
             limits.stall = kStall;
             std::string reply;
             return PostForm(url, "b", 1, &reply, true, limits) ? reply : "failed";
         }},
    };
    for (const auto& [name, run] : requesters) {
        SCOPED_TRACE(name);
        nettest::TrickleServer server(std::chrono::milliseconds(20), kBytes, kBytes);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(run(server.BaseUrl() + "/x"), whole);
        EXPECT_GE(std::chrono::steady_clock::now() - start, 5 * kStall);
    }
    EXPECT_TRUE(debug.Texts().empty());
}

}  // namespace
