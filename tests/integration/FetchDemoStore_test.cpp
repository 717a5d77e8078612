// The plain file fetch against the demo store: the update host's installer,
// the toolbox host's installers and the store host over HTTPS with the
// store's own CA, and the store's delivery faults.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "library/FileFetch.h"
#include "support/DemoStore.h"
#include "support/Sandbox.h"

namespace vtest {
namespace {

class EventLog : public IDownLoadCallBack {
  public:
    void OnStatus(int code, DWORD) override { events.push_back("status " + std::to_string(code)); }
    void OnStart(const std::string& path, std::uint64_t length, DWORD) override {
        events.push_back("start " + path + " " + std::to_string(length));
    }
    int OnProgress(int failed, int, std::uint64_t received, std::uint64_t, DWORD) override {
        if (failed != 0) {
            events.push_back("failed step " + std::to_string(received));
        } else {
            largestStep = std::max(largestStep, received - last);
            last = received;
        }
        return 0;
    }
    void OnComplete(DWORD) override { events.push_back("complete"); }

    std::vector<std::string> events;
    std::uint64_t last = 0;
    std::uint64_t largestStep = 0;
};

using Events = std::vector<std::string>;

std::string Pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 7 + i / 509) & 0xFF);
    }
    return bytes;
}

class FetchDemoStoreTest : public SandboxTest {
  protected:
    std::string Target(const std::string& name) const { return sandbox.Root() + "/" + name; }
    static Json::Value Fault(const std::string& service, const std::string& path) {
        Json::Value fault(Json::objectValue);
        fault["service"] = service;
        fault["path"] = path;
        return fault;
    }

    DemoStore store{sandbox};
    EventLog log;
};

TEST_F(FetchDemoStoreTest, UpdateInstallerArrivesWholeAndTheRequestIsPlain) {
    ASSERT_TRUE(store.Started());
    const std::string installer = ReadFile(store.DataDir() + "/files/update/windows/VANTOSetup.exe");
    ASSERT_FALSE(installer.empty());

    CFileFetch fetch;  // the update passes no observer
    ASSERT_EQ(fetch.Fetch(store.BaseUrl("update") + "/windows/VANTOSetup.exe", Target("VANTOSetup.exe"), 2),
              S_OK);
    EXPECT_EQ(ReadFile(Target("VANTOSetup.exe")), installer);
    EXPECT_FALSE(Exists(Target("VANTOSetup.exe.upd")));

    const Json::Value requests = store.Requests("update");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0]["method"].asString(), "GET");
    EXPECT_EQ(requests[0]["target"].asString(), "/windows/VANTOSetup.exe");
    std::string agent, host;
    bool hasAccept = false, hasAuthorization = false;
    for (const Json::Value& header : requests[0]["headers"]) {
        const std::string name = header[0].asString();
        if (name == "User-Agent") {
            agent = header[1].asString();
        } else if (name == "Host") {
            host = header[1].asString();
        }
        hasAccept = hasAccept || name == "Accept";
        hasAuthorization = hasAuthorization || name == "Authorization";
    }
    EXPECT_EQ(agent, "MyDownLoad");
    EXPECT_EQ(host, store.HostPort("update"));  // the port named in the address
    EXPECT_FALSE(hasAccept);
    EXPECT_FALSE(hasAuthorization);
}

TEST_F(FetchDemoStoreTest, ToolboxInstallerReportsStepsToTheObserver) {
    ASSERT_TRUE(store.Started());
    const std::string body = Pattern(200000);
    ASSERT_TRUE(store.PutFile("toolbox", "/download/BigToolSetup.exe", body));
    CFileFetch fetch(&log, 3);
    ASSERT_EQ(
        fetch.Fetch(store.BaseUrl("toolbox") + "/download/BigToolSetup.exe", Target("BigToolSetup.exe"), 2),
        S_OK);
    EXPECT_TRUE(ReadFile(Target("BigToolSetup.exe")) == body);
    EXPECT_EQ(log.events, (Events{"status 200", "start /download/BigToolSetup.exe 200000", "complete"}));
    EXPECT_EQ(log.last, 200000u);
    EXPECT_LE(log.largestStep, 8192u);
}

TEST_F(FetchDemoStoreTest, MissingFileIs404Then500) {
    ASSERT_TRUE(store.Started());
    CFileFetch fetch(&log, 3);
    EXPECT_EQ(fetch.Fetch(store.BaseUrl("toolbox") + "/download/NoSuchSetup.exe", Target("No.exe"), 2),
              E_FAIL);
    EXPECT_EQ(log.events, (Events{"status 404", "status 500"}));
    EXPECT_FALSE(Exists(Target("No.exe.upd")));
}

TEST_F(FetchDemoStoreTest, DeliveryFaultsFailTheFetchAndKeepTheTarget) {
    ASSERT_TRUE(store.Started());
    const std::string body = Pattern(50000);
    ASSERT_TRUE(store.PutFile("toolbox", "/download/Tool.exe", body));
    const std::string url = store.BaseUrl("toolbox") + "/download/Tool.exe";
    WriteFile(Target("Tool.exe"), "installed before");

    struct Case {
        const char* name;
        Json::Value fault;
        Events expected;
    };
    std::vector<Case> cases;
    Json::Value fault = Fault("toolbox", "/download/Tool.exe");
    fault["truncate"] = 20000;
    cases.push_back({"truncate",
                     fault,
                     {"status 200", "start /download/Tool.exe 50000", "failed step 20000", "status 500"}});
    fault = Fault("toolbox", "/download/Tool.exe");
    fault["no_length"] = true;
    cases.push_back({"no length", fault, {"status 200", "status 500"}});
    fault = Fault("toolbox", "/download/Tool.exe");
    fault["chunked"] = true;
    cases.push_back({"chunked", fault, {"status 200", "status 500"}});
    fault = Fault("toolbox", "/download/Tool.exe");
    fault["status"] = 503;
    cases.push_back({"status", fault, {"status 503", "status 500"}});
    fault = Fault("toolbox", "/download/Tool.exe");
    fault["stall"] = true;
    fault["truncate"] = 10000;
    cases.push_back({"stall",
                     fault,
                     {"status 200", "start /download/Tool.exe 50000", "failed step 10000", "status 500"}});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(store.ClearFaults());
        ASSERT_TRUE(store.SetFault(c.fault));
        log.events.clear();
        CFileFetch fetch(&log, 3);
        fetch.SetStallLimit(std::chrono::milliseconds(500));
        EXPECT_EQ(fetch.Fetch(url, Target("Tool.exe"), 2), E_FAIL);
        EXPECT_EQ(log.events, c.expected);
        EXPECT_EQ(ReadFile(Target("Tool.exe")), "installed before");
    }
    ASSERT_TRUE(store.ClearFaults());

    // Once the faults are gone the same fetch replaces the old file.
    CFileFetch fetch;
    EXPECT_EQ(fetch.Fetch(url, Target("Tool.exe"), 2), S_OK);
    EXPECT_TRUE(ReadFile(Target("Tool.exe")) == body);
}

// The store's throttle: a body that keeps coming, a piece every 50 ms, for
// far longer than the stall limit.
TEST_F(FetchDemoStoreTest, ABodyThatKeepsComingOutlastsTheStallLimit) {
    ASSERT_TRUE(store.Started());
    // 600 bytes at 200 a second: three seconds of data, never silent for
    // more than a twentieth of a second. Only a stall limit that had become
    // an overall one would end it.
    const std::string body = Pattern(600);
    ASSERT_TRUE(store.PutFile("toolbox", "/download/Slow.exe", body));
    Json::Value fault = Fault("toolbox", "/download/Slow.exe");
    fault["throttle"] = 200;
    ASSERT_TRUE(store.SetFault(fault));
    constexpr auto kStall = std::chrono::milliseconds(400);
    CFileFetch fetch(&log, 3);
    fetch.SetStallLimit(kStall);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(fetch.Fetch(store.BaseUrl("toolbox") + "/download/Slow.exe", Target("Slow.exe"), 2), S_OK);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 5 * kStall);
    EXPECT_TRUE(ReadFile(Target("Slow.exe")) == body);
    EXPECT_EQ(log.events, (Events{"status 200", "start /download/Slow.exe 600", "complete"}));
}

TEST_F(FetchDemoStoreTest, TheOverallLimitEndsAFetchThatKeepsMoving) {
    ASSERT_TRUE(store.Started());
    EXPECT_EQ(CFileFetch().OverallLimit(), std::chrono::hours(4));
    const std::string body = Pattern(100000);  // 500 seconds at this rate
    ASSERT_TRUE(store.PutFile("toolbox", "/download/Big.exe", body));
    Json::Value fault = Fault("toolbox", "/download/Big.exe");
    fault["throttle"] = 200;
    ASSERT_TRUE(store.SetFault(fault));
    CFileFetch fetch(&log, 3);
    fetch.SetStallLimit(std::chrono::seconds(20));
    fetch.SetOverallLimit(std::chrono::milliseconds(800));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(fetch.Fetch(store.BaseUrl("toolbox") + "/download/Big.exe", Target("Big.exe"), 2), E_FAIL);
    // Well before the stall limit: the overall limit ended it.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    const std::string part = ReadFile(Target("Big.exe") + ".upd");
    EXPECT_FALSE(part.empty());
    EXPECT_TRUE(part == body.substr(0, part.size()));
    EXPECT_EQ(log.events, (Events{"status 200", "start /download/Big.exe 100000",
                                  "failed step " + std::to_string(part.size()), "status 500"}));
    EXPECT_FALSE(Exists(Target("Big.exe")));
}

TEST_F(FetchDemoStoreTest, HttpsToTheStoreNeedsItsCa) {
    ASSERT_TRUE(store.Started());
    // A page of the store host, which speaks only HTTPS.
    const std::string url = store.BaseUrl("store") + "/help/8.html";
    ASSERT_EQ(url.rfind("https://", 0), 0u);

    CFileFetch fetch(&log, 3);
    // The sandbox trusts the store's CA (VANTO_CA_FILE).
    ASSERT_EQ(fetch.Fetch(url, Target("help.html"), 2), S_OK) << ::testing::PrintToString(log.events);
    const std::string page = ReadFile(Target("help.html"));
    EXPECT_FALSE(page.empty());
    EXPECT_EQ(log.events,
              (Events{"status 200", "start /help/8.html " + std::to_string(page.size()), "complete"}));

    log.events.clear();
    sandbox.SetEnv("VANTO_CA_FILE", std::nullopt);
    EXPECT_EQ(fetch.Fetch(url, Target("other.html"), 2), E_FAIL);
    EXPECT_EQ(log.events, (Events{"status 500"}));
    EXPECT_FALSE(Exists(Target("other.html.upd")));

    // Plain HTTP to the HTTPS port gets no usable reply either.
    log.events.clear();
    EXPECT_EQ(fetch.Fetch("http://" + store.HostPort("store") + "/help/8.html", Target("other.html"), 2),
              E_FAIL);
    EXPECT_EQ(log.events.back(), "status 500");
}

}  // namespace
}  // namespace vtest
