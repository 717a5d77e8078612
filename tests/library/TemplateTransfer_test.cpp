#include "library/TemplateTransfer.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "library/DownloadBytes.h"
#include "library/PythonFileServer.h"
#include "platform/os/Event.h"
#include "platform/os/UniqueFd.h"
#include "support/DemoStore.h"
#include "support/RawHttpServer.h"
#include "support/Sandbox.h"

// Outcomes by name in the failure messages.
void PrintTo(CTemplateTransfer::Outcome outcome, std::ostream* out) {
    constexpr const char* kNames[] = {"Complete", "Failed", "Stopped"};
    *out << kNames[static_cast<int>(outcome)];
}

namespace {

using Clock = std::chrono::steady_clock;
using Outcome = CTemplateTransfer::Outcome;
using vtest::Pattern;
using vtest::RawHttpServer;
using vtest::SameBytes;

// Percentages only grow, each value once, and the last is 100.
::testing::AssertionResult RisingTo100(const std::vector<int>& percents) {
    for (std::size_t i = 0; i < percents.size(); ++i) {
        if (percents[i] < 0 || percents[i] > 100 || (i > 0 && percents[i] <= percents[i - 1])) {
            return ::testing::AssertionFailure() << "value " << percents[i] << " at " << i;
        }
    }
    if (percents.empty() || percents.back() != 100) {
        return ::testing::AssertionFailure() << "does not end at 100";
    }
    return ::testing::AssertionSuccess();
}

class TemplateTransferTest : public vtest::SandboxTest {
  protected:
    std::string Final() const { return sandbox.Root() + "/年度报告.pptx"; }
    std::string Side() const { return Final() + ".tmp"; }

    // Runs one transfer into Side(), collecting its percentages.
    Outcome Run(const std::string& url, std::chrono::milliseconds stall = std::chrono::milliseconds(10000),
                std::uint64_t cap = CTemplateTransfer::kSizeCap) {
        CTemplateTransfer transfer(url, Side());
        transfer.SetStallLimit(stall);
        transfer.SetSizeCap(cap);
        transfer.SetPercentSink([this](int percent) { percents.push_back(percent); });
        const Outcome outcome = transfer.Run();
        status = transfer.Status();
        received = transfer.Received();
        return outcome;
    }

    std::vector<int> percents;
    long status = 0;
    std::uint64_t received = 0;
};

// Replies of a scripted server and what the transfer makes of each. A side
// file left from an earlier run stands at the side path first: a reply that
// must not open the side file leaves it as it was, one that fails after
// opening it leaves nothing.
struct ReplyCase {
    const char* what;
    std::string reply;
    Outcome outcome;
    std::optional<std::string> side;  // the side file's bytes afterwards; none: gone
    std::uint64_t cap = CTemplateTransfer::kSizeCap;
};

TEST_F(TemplateTransferTest, EachReplyShapeEndsAsItShould) {
    const std::string leftover = "a leftover of an earlier run, longer than the new document";
    const std::vector<ReplyCase> cases = {
        {"plain", RawHttpServer::Response(200, "new"), Outcome::Complete, "new"},
        {"created 201", RawHttpServer::Response(201, "new"), Outcome::Complete, "new"},
        {"empty", RawHttpServer::Response(200, ""), Outcome::Complete, ""},
        {"no length", RawHttpServer::Response(200, "until close", {}, false), Outcome::Complete,
         "until close"},
        {"chunked", RawHttpServer::ChunkedResponse(200, {"ab", "cd"}), Outcome::Complete, "abcd"},
        // Trailers come after the body: they say nothing about it.
        {"chunked with trailers",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nTrailer: X-Sum\r\nConnection: close\r\n\r\n"
         "5\r\nhello\r\n0\r\nX-Sum: 5\r\nContent-Length: 99\r\n\r\n",
         Outcome::Complete, "hello"},
        {"404", RawHttpServer::Response(404, "<html>not found</html>"), Outcome::Failed, leftover},
        {"500", RawHttpServer::Response(500, "oops"), Outcome::Failed, leftover},
        {"302 without a location", RawHttpServer::Response(302, "moved?"), Outcome::Failed, leftover},
        {"garbled length", RawHttpServer::Response(200, "12345", {{"Content-Length", "5x"}}, false),
         Outcome::Failed, leftover},
        {"two lengths", RawHttpServer::Response(200, "12345", {{"Content-Length", "4"}}), Outcome::Failed,
         leftover},
        {"cut short", RawHttpServer::Response(200, "12345", {{"Content-Length", "9"}}, false),
         Outcome::Failed, std::nullopt},
        {"chunked past its length",
         RawHttpServer::ChunkedResponse(200, {"abcde", "fgh"}, {{"Content-Length", "5"}}), Outcome::Failed,
         std::nullopt},
        {"length over the cap", RawHttpServer::Response(200, "12345"), Outcome::Failed, leftover, 4},
        {"length at the cap", RawHttpServer::Response(200, "12345"), Outcome::Complete, "12345", 5},
        {"no length, past the cap", RawHttpServer::Response(200, "123456", {}, false), Outcome::Failed,
         std::nullopt, 5},
        {"chunked past the cap", RawHttpServer::ChunkedResponse(200, {"123", "456"}), Outcome::Failed,
         std::nullopt, 5},
    };
    for (const ReplyCase& c : cases) {
        SCOPED_TRACE(c.what);
        RawHttpServer server([&](const RawHttpServer::Request&) { return RawHttpServer::Reply{c.reply}; });
        vtest::WriteFile(Side(), leftover);
        EXPECT_EQ(Run(server.BaseUrl() + "/files/1234_r.pptx", std::chrono::milliseconds(10000), c.cap),
                  c.outcome);
        EXPECT_EQ(vtest::Exists(Side()), c.side.has_value());
        if (c.side) {
            EXPECT_EQ(vtest::ReadFile(Side()), *c.side);
        }
        std::remove(Side().c_str());
    }
}

TEST_F(TemplateTransferTest, PercentagesRiseOnlyWhenTheyChangeAndNeverWithoutATotal) {
    const std::string body = Pattern(1 << 20);
    // Small pieces, so that many of them give the same percentage.
    RawHttpServer sized([&](const RawHttpServer::Request&) {
        return RawHttpServer::Reply{RawHttpServer::Response(200, body), 3000};
    });
    ASSERT_EQ(Run(sized.BaseUrl() + "/big"), Outcome::Complete);
    EXPECT_TRUE(RisingTo100(percents));
    EXPECT_TRUE(SameBytes(vtest::ReadFile(Side()), body));
    EXPECT_EQ(received, body.size());

    for (const std::string& reply :
         {RawHttpServer::ChunkedResponse(200, {body.substr(0, 500000), body.substr(500000)}),
          RawHttpServer::Response(200, body, {}, false)}) {
        RawHttpServer unsized([&](const RawHttpServer::Request&) {
            return RawHttpServer::Reply{reply, 3000};
        });
        percents.clear();
        ASSERT_EQ(Run(unsized.BaseUrl() + "/big"), Outcome::Complete);
        EXPECT_TRUE(percents.empty());
        EXPECT_TRUE(SameBytes(vtest::ReadFile(Side()), body));
    }
}

// A listening socket that only tells whether anyone connected: the place a
// refused scheme would have reached.
class Listener {
  public:
    Listener() {
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (m_fd && bind(m_fd.Get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
            listen(m_fd.Get(), 4) == 0 &&
            getsockname(m_fd.Get(), reinterpret_cast<sockaddr*>(&addr), &len) == 0) {
            m_port = ntohs(addr.sin_port);
        }
    }
    std::string HostPort() const { return "127.0.0.1:" + std::to_string(m_port); }
    bool Knocked() const { return os::UniqueFd(accept4(m_fd.Get(), nullptr, nullptr, SOCK_CLOEXEC)).Valid(); }

  private:
    os::UniqueFd m_fd{socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0)};
    int m_port = 0;
};

TEST_F(TemplateTransferTest, RedirectsAreFollowedBetweenHttpAddressesOnly) {
    RawHttpServer target([](const RawHttpServer::Request&) {
        return RawHttpServer::Reply{RawHttpServer::Response(200, "the document")};
    });
    Listener elsewhere;
    struct Case {
        std::string location;
        Outcome outcome;
    };
    const std::vector<Case> cases = {
        {target.BaseUrl() + "/files/1234_r.pptx", Outcome::Complete},
        {"/loop", Outcome::Failed},  // back to itself, until the redirect limit
        {"file://" + sandbox.Root() + "/secret", Outcome::Failed},
        {"ftp://" + elsewhere.HostPort() + "/r.pptx", Outcome::Failed},
        {"ftps://" + elsewhere.HostPort() + "/r.pptx", Outcome::Failed},
    };
    vtest::WriteFile(sandbox.Root() + "/secret", "not for a page");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.location);
        RawHttpServer redirect([&](const RawHttpServer::Request&) {
            return RawHttpServer::Reply{RawHttpServer::Response(302, "moved", {{"Location", c.location}})};
        });
        vtest::WriteFile(Side(), "leftover");
        EXPECT_EQ(Run(redirect.BaseUrl() + "/loop", std::chrono::milliseconds(500)), c.outcome);
        if (c.outcome == Outcome::Complete) {
            EXPECT_EQ(status, 200);
            EXPECT_EQ(vtest::ReadFile(Side()), "the document");
        } else {
            EXPECT_EQ(vtest::ReadFile(Side()), "leftover");  // never opened
        }
        EXPECT_FALSE(elsewhere.Knocked());
    }
    // The first address is held to the same schemes.
    EXPECT_EQ(Run("ftp://" + elsewhere.HostPort() + "/r.pptx", std::chrono::milliseconds(500)),
              Outcome::Failed);
    EXPECT_FALSE(elsewhere.Knocked());
}

TEST_F(TemplateTransferTest, ASilentServerFailsAfterTheStallLimit) {
    const std::string body = Pattern(30000);
    std::string half = RawHttpServer::Response(200, body);
    half.resize(half.size() - 20000);
    // Silent before the head, and within the body.
    for (const std::string& reply : {std::string(), half}) {
        RawHttpServer server([&](const RawHttpServer::Request&) {
            return RawHttpServer::Reply{reply, 0, true};
        });
        const auto start = Clock::now();
        EXPECT_EQ(Run(server.BaseUrl() + "/silent", std::chrono::milliseconds(400)), Outcome::Failed);
        const auto took = Clock::now() - start;
        EXPECT_GE(took, std::chrono::milliseconds(400));
        EXPECT_LT(took, std::chrono::seconds(10));
        EXPECT_FALSE(vtest::Exists(Side()));
    }
}

TEST_F(TemplateTransferTest, AStopEventSetBeforehandStartsNothing) {
    RawHttpServer server([](const RawHttpServer::Request&) {
        return RawHttpServer::Reply{RawHttpServer::Response(200, "x")};
    });
    os::Event stop(true);
    CTemplateTransfer transfer(server.BaseUrl() + "/f", Side());
    transfer.SetStopEvent(&stop);
    EXPECT_EQ(transfer.Run(), Outcome::Stopped);
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_FALSE(vtest::Exists(Side()));
}

// A write that fails (the file-size limit stands in for a full disk) fails
// the transfer and removes the side file. In a child process, so that the
// limit stays there.
TEST_F(TemplateTransferTest, AFailedWriteFailsAndLeavesNoSideFile) {
    const std::string body = Pattern(200000);
    RawHttpServer server([&](const RawHttpServer::Request&) {
        return RawHttpServer::Reply{RawHttpServer::Response(200, body)};
    });
    const std::string url = server.BaseUrl() + "/full";
    const int result = vtest::RunInChild([&] {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit = {50000, 50000};
        setrlimit(RLIMIT_FSIZE, &limit);
        return CTemplateTransfer(url, Side()).Run() == Outcome::Failed ? 0 : 1;
    });
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(vtest::Exists(Side()));
}

TEST_F(TemplateTransferTest, AnUnreachableServerFailsWithoutAFile) {
    int port = 0;
    {
        RawHttpServer gone([](const RawHttpServer::Request&) { return RawHttpServer::Reply{}; });
        port = gone.Port();
    }
    EXPECT_EQ(Run("http://127.0.0.1:" + std::to_string(port) + "/f"), Outcome::Failed);
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(vtest::Exists(Side()));
}

// Python's http.server: a server we did not write.
TEST_F(TemplateTransferTest, PythonServerFileArrivesWholeAndItsMissingFileIsA404) {
    const std::string folder = sandbox.Root() + "/www";
    const std::string body = Pattern(3 << 20);
    vtest::WriteFile(folder + "/files/1234_年度报告.pptx", body);
    vtest::PythonFileServer server(folder);
    ASSERT_NE(server.Port(), 0);
    const std::string base = "http://127.0.0.1:" + std::to_string(server.Port());

    ASSERT_EQ(Run(base + "/files/1234_年度报告.pptx"), Outcome::Complete);
    EXPECT_TRUE(SameBytes(vtest::ReadFile(Side()), body));
    EXPECT_TRUE(RisingTo100(percents));
    ASSERT_TRUE(CommitTemplateFile(Side(), Final()));
    EXPECT_TRUE(SameBytes(vtest::ReadFile(Final()), body));

    vtest::WriteFile(Side(), "leftover");
    EXPECT_EQ(Run(base + "/files/missing.pptx"), Outcome::Failed);
    EXPECT_EQ(status, 404);
    EXPECT_EQ(vtest::ReadFile(Side()), "leftover");
}

TEST_F(TemplateTransferTest, CommitReplacesAFileButNeverAFolderOrDevice) {
    struct Case {
        const char* what;
        void (*prepare)(const std::string& finalPath);
        bool committed;
    };
    const std::vector<Case> cases = {
        {"nothing there", [](const std::string&) {}, true},
        {"an older file", [](const std::string& p) { vtest::WriteFile(p, "older"); }, true},
        {"an empty folder", [](const std::string& p) { ASSERT_EQ(mkdir(p.c_str(), 0700), 0); }, false},
        {"a fifo", [](const std::string& p) { ASSERT_EQ(mkfifo(p.c_str(), 0600), 0); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.prepare(Final());
        vtest::WriteFile(Side(), "document");
        EXPECT_EQ(CommitTemplateFile(Side(), Final()), c.committed);
        struct stat st {};
        ASSERT_EQ(lstat(Final().c_str(), &st), 0);
        EXPECT_EQ(S_ISREG(st.st_mode), c.committed);
        // Refused: both names as they were.
        EXPECT_EQ(vtest::Exists(Side()), !c.committed);
        if (c.committed) {
            EXPECT_EQ(vtest::ReadFile(Final()), "document");
        }
        std::remove(Final().c_str());
        std::remove(Side().c_str());
    }
    // No side file: nothing to commit, the old file stays.
    vtest::WriteFile(Final(), "older");
    EXPECT_FALSE(CommitTemplateFile(Side(), Final()));
    EXPECT_EQ(vtest::ReadFile(Final()), "older");
}

// The demo store's template files and its faults.
class TemplateTransferStoreTest : public TemplateTransferTest {
  protected:
    std::string LargeUrl() const { return store.BaseUrl("client") + "/files/9001_大文件演示素材包.zip"; }
    std::string LargeFile() const {
        return store.DataDir() + "/files/client/files/9001_大文件演示素材包.zip";
    }

    vtest::DemoStore store{sandbox, sandbox.Root() + "/demo-store", {"--large-file-size", "2M"}};
};

TEST_F(TemplateTransferStoreTest, TheLargeFileArrivesWholeAndCommits) {
    ASSERT_TRUE(store.Started());
    vtest::WriteFile(Final(), "the document the user agreed to overwrite");
    ASSERT_EQ(Run(LargeUrl()), Outcome::Complete);
    EXPECT_EQ(status, 200);
    EXPECT_EQ(received, 2u << 20);
    EXPECT_TRUE(RisingTo100(percents));
    ASSERT_TRUE(CommitTemplateFile(Side(), Final()));
    EXPECT_FALSE(vtest::Exists(Side()));
    EXPECT_TRUE(SameBytes(vtest::ReadFile(Final()), vtest::ReadFile(LargeFile())));
}

TEST_F(TemplateTransferStoreTest, TheStoresFaultsEndAsTheyShould) {
    ASSERT_TRUE(store.Started());
    struct Case {
        const char* fault;
        Outcome outcome;
        bool percents;
    };
    const std::vector<Case> cases = {
        {R"({"status":404})", Outcome::Failed, false},
        {R"({"truncate":100000})", Outcome::Failed, true},
        {R"({"no_length":true})", Outcome::Complete, false},
        {R"({"chunked":true,"chunk_size":65536})", Outcome::Complete, false},
        {R"({"stall":true,"truncate":100000})", Outcome::Failed, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        Json::Value fault = vtest::ParseJson(c.fault);
        fault["service"] = "client";
        fault["path"] = "*";
        ASSERT_TRUE(store.ClearFaults());
        ASSERT_TRUE(store.SetFault(fault));
        percents.clear();
        EXPECT_EQ(Run(LargeUrl(), std::chrono::milliseconds(1000)), c.outcome);
        EXPECT_EQ(!percents.empty(), c.percents);
        if (c.outcome == Outcome::Complete) {
            EXPECT_TRUE(SameBytes(vtest::ReadFile(Side()), vtest::ReadFile(LargeFile())));
        } else {
            EXPECT_FALSE(vtest::Exists(Side()));
        }
        std::remove(Side().c_str());
    }
    EXPECT_TRUE(store.ClearFaults());
}

TEST_F(TemplateTransferStoreTest, AStopMidwayEndsTheTransferPromptlyAndRemovesTheSideFile) {
    ASSERT_TRUE(store.Started());
    // 64 KiB a second: the 2 MiB file would take half a minute.
    ASSERT_TRUE(store.SetFault(vtest::ParseJson(R"({"service":"client","path":"*","throttle":65536})")));
    os::Event stop;
    std::atomic<bool> moving{false};
    CTemplateTransfer transfer(LargeUrl(), Side());
    transfer.SetStopEvent(&stop);
    transfer.SetPercentSink([&](int) { moving = true; });
    Clock::time_point stoppedAt;
    std::thread stopper([&] {
        EXPECT_TRUE(vtest::WaitFor([&] { return moving.load(); }));
        EXPECT_TRUE(vtest::Exists(Side()));
        stoppedAt = Clock::now();
        stop.Set();
    });
    const Outcome outcome = transfer.Run();
    const auto returnedAt = Clock::now();
    stopper.join();
    EXPECT_EQ(outcome, Outcome::Stopped);
    EXPECT_LT(returnedAt - stoppedAt, std::chrono::seconds(5));
    EXPECT_GT(transfer.Received(), 0u);
    EXPECT_LT(transfer.Received(), 2u << 20);
    EXPECT_FALSE(vtest::Exists(Side()));
    EXPECT_TRUE(store.ClearFaults());
}

}  // namespace
