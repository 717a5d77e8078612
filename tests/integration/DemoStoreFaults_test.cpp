// The demo store's faults, seen by independent clients (curl and
// cpp-httplib): delays, stalls, bodies cut short, replies without a length,
// chunked replies, other status codes, and faults that hit a number of
// requests only.

#include <gtest/gtest.h>

#include <thread>

#include "DemoStoreCalls.h"

namespace vtest {
namespace {

class DemoStoreFaultsTest : public SandboxTest {
  protected:
    DemoStore store{sandbox};

    // The version file: a known body of 13 bytes ("version=1.0.1").
    std::string VersionUrl() const { return store.BaseUrl("update") + "/windows/newversion.htm"; }
    static Json::Value Fault(const std::string& service, const std::string& path) {
        Json::Value fault(Json::objectValue);
        fault["service"] = service;
        fault["path"] = path;
        return fault;
    }
    // curl with the version file's credentials; -i keeps the head, --raw the chunk framing.
    ProcessResult FetchVersion(std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {"-u", "kiwi:plum"};
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back(VersionUrl());
        return Curl(args);
    }
};

std::string Head(const std::string& reply) {
    return reply.substr(0, reply.find("\r\n\r\n"));
}
std::string Body(const std::string& reply) {
    const std::size_t end = reply.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : reply.substr(end + 4);
}

TEST_F(DemoStoreFaultsTest, WithoutFaultsTheVersionFileArrivesWhole) {
    ASSERT_TRUE(store.Started());
    const ProcessResult reply = FetchVersion({"-i"});
    EXPECT_EQ(reply.exitCode, 0);
    EXPECT_NE(Head(reply.out).find("Content-Length: 13"), std::string::npos) << reply.out;
    EXPECT_EQ(Body(reply.out), "version=1.0.1");
}

TEST_F(DemoStoreFaultsTest, TruncateSendsTheFullLengthButOnlyNBytes) {
    ASSERT_TRUE(store.Started());
    Json::Value fault = Fault("update", "/windows/newversion.htm");
    fault["truncate"] = 5;
    ASSERT_TRUE(store.SetFault(fault));
    const ProcessResult reply = FetchVersion({"-i"});
    EXPECT_EQ(reply.exitCode, 18) << reply.err;  // CURLE_PARTIAL_FILE
    EXPECT_NE(Head(reply.out).find("Content-Length: 13"), std::string::npos) << reply.out;
    EXPECT_EQ(Body(reply.out), "versi");

    // Cut at zero bytes: the head only.
    fault["truncate"] = 0;
    ASSERT_TRUE(store.SetFault(fault));
    const ProcessResult empty = FetchVersion({"-i"});
    EXPECT_EQ(empty.exitCode, 18);
    EXPECT_EQ(Body(empty.out), "");
}

TEST_F(DemoStoreFaultsTest, NoLengthEndsTheBodyByClosingTheConnection) {
    ASSERT_TRUE(store.Started());
    Json::Value fault = Fault("update", "/windows/newversion.htm");
    fault["no_length"] = true;
    ASSERT_TRUE(store.SetFault(fault));
    const ProcessResult reply = FetchVersion({"-i"});
    EXPECT_EQ(reply.exitCode, 0) << reply.err;
    const std::string head = Head(reply.out);
    EXPECT_EQ(head.find("Content-Length"), std::string::npos) << head;
    EXPECT_EQ(head.find("chunked"), std::string::npos) << head;
    EXPECT_EQ(Body(reply.out), "version=1.0.1");

    // Without a length and cut short: the client cannot tell, the bytes are fewer.
    fault["truncate"] = 7;
    ASSERT_TRUE(store.SetFault(fault));
    EXPECT_EQ(Body(FetchVersion({"-i"}).out), "version");
}

TEST_F(DemoStoreFaultsTest, ChunkedRepliesUseTheAskedChunkSize) {
    ASSERT_TRUE(store.Started());
    Json::Value fault = Fault("update", "/windows/newversion.htm");
    fault["chunked"] = true;
    fault["chunk_size"] = 5;
    ASSERT_TRUE(store.SetFault(fault));
    const ProcessResult raw = FetchVersion({"-i", "--raw"});
    EXPECT_EQ(raw.exitCode, 0) << raw.err;
    EXPECT_NE(Head(raw.out).find("Transfer-Encoding: chunked"), std::string::npos) << raw.out;
    EXPECT_EQ(Body(raw.out), "5\r\nversi\r\n5\r\non=1.\r\n3\r\n0.1\r\n0\r\n\r\n");
    // Decoded, the body is whole.
    EXPECT_EQ(FetchVersion().out, "version=1.0.1");

    // Without a chunk size: two halves.
    fault.removeMember("chunk_size");
    ASSERT_TRUE(store.SetFault(fault));
    EXPECT_EQ(Body(FetchVersion({"-i", "--raw"}).out), "7\r\nversion\r\n6\r\n=1.0.1\r\n0\r\n\r\n");
}

TEST_F(DemoStoreFaultsTest, StatusAndBodyReplaceTheHandlersReply) {
    ASSERT_TRUE(store.Started());
    Json::Value fault = Fault("store", "/api/user/userinfo.html");
    fault["status"] = 503;
    fault["body"] = "<html>busy</html>";
    ASSERT_TRUE(store.SetFault(fault));
    const ProcessResult reply = Curl({"--cacert", store.CaFile(), "-w", "\n%{http_code}", "-d", "",
                                      store.BaseUrl("store") + "/api/user/userinfo.html"});
    EXPECT_EQ(reply.exitCode, 0);
    EXPECT_EQ(reply.out, "<html>busy</html>\n503");
}

TEST_F(DemoStoreFaultsTest, TimesLimitsAFaultAndAnExactPathWinsOverTheWildcard) {
    ASSERT_TRUE(store.Started());
    Json::Value exact = Fault("client", "/ppt.html");
    exact["status"] = 404;
    exact["times"] = 2;
    Json::Value any = Fault("client", "*");
    any["status"] = 500;
    ASSERT_TRUE(store.SetFault(exact));
    ASSERT_TRUE(store.SetFault(any));
    const auto status = [&](const std::string& path) {
        const auto result = StoreGet(store, "client", path);
        return result ? result->status : -1;
    };
    EXPECT_EQ(status("/ppt.html"), 404);
    EXPECT_EQ(status("/word.html"), 500);
    EXPECT_EQ(status("/ppt.html"), 404);
    // The exact fault is used up; the wildcard still applies.
    EXPECT_EQ(status("/ppt.html"), 500);
    EXPECT_EQ(store.AdminGet("/faults").size(), 1u);
    // Other services are untouched.
    const auto page = StoreGet(store, "feedback", "/msg/?a=0&t=0&appid=2002");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    ASSERT_TRUE(store.ClearFaults());
    EXPECT_EQ(status("/ppt.html"), 200);
}

TEST_F(DemoStoreFaultsTest, AStalledReplyWaitsUntilTheFaultsAreCleared) {
    ASSERT_TRUE(store.Started());
    Json::Value fault = Fault("client", "/excel.html");
    fault["stall"] = true;
    ASSERT_TRUE(store.SetFault(fault));
    httplib::Result result{nullptr, httplib::Error::Unknown};
    std::thread client([&] { result = StoreGet(store, "client", "/excel.html"); });
    // Once the request has arrived, the reply is held; nothing arrives until cleared.
    ASSERT_TRUE(store.WaitForRequests("client", 1));
    ASSERT_TRUE(store.ClearFaults());
    client.join();
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 200);
    EXPECT_NE(result->body.find("Excel"), std::string::npos);
}

TEST_F(DemoStoreFaultsTest, AStallAfterNBytesHoldsTheConnectionOpen) {
    ASSERT_TRUE(store.Started());
    Json::Value fault = Fault("update", "/windows/newversion.htm");
    fault["stall"] = true;
    fault["truncate"] = 4;
    ASSERT_TRUE(store.SetFault(fault));
    // curl gives up after a second of silence, having read the head and 4 bytes.
    const ProcessResult reply = FetchVersion({"-i", "--max-time", "1"});
    EXPECT_EQ(reply.exitCode, 28) << reply.err;  // CURLE_OPERATION_TIMEDOUT
    EXPECT_NE(Head(reply.out).find("Content-Length: 13"), std::string::npos);
    EXPECT_EQ(Body(reply.out), "vers");
}

TEST_F(DemoStoreFaultsTest, ADelayedReplyArrivesWholeAndNotBeforeTheDelay) {
    ASSERT_TRUE(store.Started());
    Json::Value fault = Fault("update", "*");
    fault["delay_ms"] = 300;
    ASSERT_TRUE(store.SetFault(fault));
    const ProcessResult reply = FetchVersion({"-w", "\n%{time_total}"});
    EXPECT_EQ(reply.exitCode, 0);
    const std::size_t newline = reply.out.find('\n');
    EXPECT_EQ(reply.out.substr(0, newline), "version=1.0.1");
    EXPECT_GE(std::stod(reply.out.substr(newline + 1)), 0.3);
}

TEST_F(DemoStoreFaultsTest, TheAdminRefusesMalformedFaults) {
    ASSERT_TRUE(store.Started());
    httplib::Client admin("127.0.0.1", store.Port("admin"));
    for (const std::string body :
         {R"({"service":"nowhere","path":"*"})", R"({"service":"store","path":"x"})",
          R"({"service":"store","status":99})", R"({"service":"store","truncate":-1})",
          R"({"service":"store","chunked":true,"no_length":true})", R"({"service":"store","stall":"yes"})",
          R"({"service":"store","color":1})", R"({"service":"store","throttle":0})",
          R"({"service":"store","throttle":"fast"})", R"({"service":"store","throttle":2000000000})",
          "not json"}) {
        const auto result = admin.Post("/faults", body, "application/json");
        ASSERT_TRUE(result);
        EXPECT_EQ(result->status, 400) << body;
        EXPECT_TRUE(ParseJsonText(result->body)["error"].isString()) << body;
    }
    EXPECT_EQ(store.AdminGet("/faults").size(), 0u);
}

TEST_F(DemoStoreFaultsTest, ResetForgetsArrivalsAndFaults) {
    ASSERT_TRUE(store.Started());
    Json::Value fault = Fault("client", "*");
    fault["status"] = 500;
    ASSERT_TRUE(store.SetFault(fault));
    StoreGet(store, "client", "/");
    EXPECT_EQ(store.Requests("client").size(), 1u);
    ASSERT_TRUE(store.Reset());
    EXPECT_EQ(store.Requests().size(), 0u);
    EXPECT_EQ(store.AdminGet("/faults").size(), 0u);
    const auto page = StoreGet(store, "client", "/");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
}

}  // namespace
}  // namespace vtest
