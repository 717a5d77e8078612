#include "library/FileFetch.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "library/DownloadBytes.h"
#include "library/PythonFileServer.h"
#include "platform/os/Event.h"
#include "support/RawHttpServer.h"
#include "support/Sandbox.h"

namespace {

using vtest::Pattern;
using vtest::RawHttpServer;
using vtest::SameBytes;

// Records every observer call in order, as text, and can stop after a step.
class RecordingObserver : public IDownLoadCallBack {
  public:
    struct Step {
        int failed;
        std::uint64_t received;
        std::uint64_t total;
    };

    void OnStatus(int code, DWORD userData) override {
        events.push_back("status " + std::to_string(code));
        CheckUserData(userData);
    }
    void OnStart(const std::string& path, std::uint64_t length, DWORD userData) override {
        events.push_back("start " + path + " " + std::to_string(length));
        CheckUserData(userData);
    }
    int OnProgress(int failed, int reserved, std::uint64_t received, std::uint64_t total,
                   DWORD userData) override {
        EXPECT_EQ(reserved, 0);
        CheckUserData(userData);
        steps.push_back({failed, received, total});
        if (failed != 0) {
            events.push_back("failed step " + std::to_string(received));
        }
        return stopAfterSteps != 0 && steps.size() >= stopAfterSteps ? 1 : 0;
    }
    void OnComplete(DWORD userData) override {
        events.push_back("complete");
        CheckUserData(userData);
    }

    // Every step a whole write of at most 8192 bytes, counts only growing.
    void ExpectStepsWithin8192() const {
        std::uint64_t last = 0;
        for (const Step& s : steps) {
            if (s.failed == 0) {
                EXPECT_GT(s.received, last);
                EXPECT_LE(s.received - last, CFileFetch::kStepSize);
            }
            last = s.received;
        }
    }

    std::vector<std::string> events;
    std::vector<Step> steps;
    std::size_t stopAfterSteps = 0;
    DWORD expectedUserData = 7;

  private:
    void CheckUserData(DWORD userData) const { EXPECT_EQ(userData, expectedUserData); }
};

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

class FileFetchTest : public vtest::SandboxTest {
  protected:
    std::string Target() const { return sandbox.Root() + "/Setup.exe"; }
    std::string Side() const { return Target() + ".upd"; }

    RecordingObserver observer;
    CFileFetch fetch{&observer, 7};
};

using Events = std::vector<std::string>;

TEST_F(FileFetchTest, DownloadsInStepsAndMovesTheSideFileOntoTheTarget) {
    const std::string body = Pattern(100000);
    RawHttpServer server([&](const RawHttpServer::Request&) {
        // Large pieces, so that steps are cut by the fetcher, not by the network.
        return RawHttpServer::Reply{RawHttpServer::Response(200, body), 40000};
    });
    vtest::WriteFile(Target(), "the old installer");

    ASSERT_EQ(fetch.Fetch(server.BaseUrl() + "/windows/Setup.exe?v=2", Target(), CREATE_ALWAYS), S_OK);

    EXPECT_TRUE(SameBytes(vtest::ReadFile(Target()), body));
    EXPECT_FALSE(vtest::Exists(Side()));
    EXPECT_EQ(ModeOf(Target()), 0600u);
    EXPECT_EQ(observer.events, (Events{"status 200", "start /windows/Setup.exe?v=2 100000", "complete"}));
    ASSERT_EQ(observer.steps.size(), 13u);  // 12 full steps and 1696 bytes
    EXPECT_EQ(observer.steps.back().received, 100000u);
    EXPECT_EQ(observer.steps.back().total, 100000u);
    observer.ExpectStepsWithin8192();

    // The request: the named port, no accepted types, the fetcher's own agent.
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].head, "GET /windows/Setup.exe?v=2 HTTP/1.1\r\nHost: " + server.HostPort() +
                                    "\r\nUser-Agent: MyDownLoad\r\nConnection: Keep-Alive");
}

TEST_F(FileFetchTest, WorksWithoutAnObserverAndSendsEncodedPaths) {
    RawHttpServer server([](const RawHttpServer::Request&) {
        return RawHttpServer::Reply{RawHttpServer::Response(200, "MZ")};
    });
    CFileFetch plain;
    ASSERT_EQ(plain.Fetch(server.BaseUrl() + "/download/my tool\xE5\xB7\xA5.exe", Target(), CREATE_ALWAYS),
              S_OK);
    EXPECT_EQ(vtest::ReadFile(Target()), "MZ");
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0].target, "/download/my%20tool%E5%B7%A5.exe");
}

TEST_F(FileFetchTest, NonOkStatusIsReportedThenFailsWithoutAFile) {
    for (const int status : {404, 500, 302, 206}) {
        SCOPED_TRACE(status);
        RawHttpServer server([&](const RawHttpServer::Request&) {
            return RawHttpServer::Reply{
                RawHttpServer::Response(status, "not here", {{"Location", "/elsewhere"}})};
        });
        observer.events.clear();
        EXPECT_EQ(fetch.Fetch(server.BaseUrl() + "/f.exe", Target(), CREATE_ALWAYS), E_FAIL);
        EXPECT_EQ(observer.events, (Events{"status " + std::to_string(status), "status 500"}));
        EXPECT_TRUE(observer.steps.empty());
        EXPECT_FALSE(vtest::Exists(Side()));
        EXPECT_FALSE(vtest::Exists(Target()));
    }
}

TEST_F(FileFetchTest, MissingOrGarbledLengthFailsAfterTheStatus) {
    const std::vector<std::string> replies = {
        RawHttpServer::Response(200, "body without length", {}, false),
        RawHttpServer::Response(200, "12345", {{"Content-Length", "5x"}}, false),
        RawHttpServer::Response(200, "12345", {{"Content-Length", "-5"}}, false),
        RawHttpServer::ChunkedResponse(200, {"abc", "def"}),
    };
    for (const std::string& reply : replies) {
        RawHttpServer server([&](const RawHttpServer::Request&) { return RawHttpServer::Reply{reply}; });
        observer.events.clear();
        EXPECT_EQ(fetch.Fetch(server.BaseUrl() + "/f", Target(), CREATE_ALWAYS), E_FAIL) << reply;
        // curl may refuse a garbled length itself, before any status is heard.
        ASSERT_FALSE(observer.events.empty());
        EXPECT_EQ(observer.events.back(), "status 500") << reply;
        EXPECT_LE(observer.events.size(), 2u) << reply;
        EXPECT_FALSE(vtest::Exists(Side()));
        EXPECT_FALSE(vtest::Exists(Target()));
    }
}

TEST_F(FileFetchTest, ZeroLengthBodyCreatesAnEmptyTarget) {
    RawHttpServer server(
        [](const RawHttpServer::Request&) { return RawHttpServer::Reply{RawHttpServer::Response(200, "")}; });
    vtest::WriteFile(Target(), "old");
    ASSERT_EQ(fetch.Fetch(server.BaseUrl() + "/empty", Target(), CREATE_ALWAYS), S_OK);
    EXPECT_TRUE(vtest::Exists(Target()));
    EXPECT_EQ(vtest::ReadFile(Target()), "");
    EXPECT_FALSE(vtest::Exists(Side()));
    EXPECT_EQ(observer.events, (Events{"status 200", "start /empty 0", "complete"}));
    EXPECT_TRUE(observer.steps.empty());
}

TEST_F(FileFetchTest, OnlyAFileTakesTheDownloadsPlace) {
    // As root, a rename over a device or FIFO would replace it with a file.
    RawHttpServer server([](const RawHttpServer::Request&) {
        return RawHttpServer::Reply{RawHttpServer::Response(200, "body")};
    });
    ASSERT_EQ(::mkfifo(Target().c_str(), 0600), 0);
    EXPECT_EQ(fetch.Fetch(server.BaseUrl() + "/f", Target(), CREATE_ALWAYS), E_FAIL);
    struct stat st {};
    ASSERT_EQ(::lstat(Target().c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_EQ(vtest::ReadFile(Side()), "body");
}

TEST_F(FileFetchTest, ObserverStopLeavesAPartialOwnerOnlySideFile) {
    const std::string body = Pattern(50000);
    RawHttpServer server([&](const RawHttpServer::Request&) {
        return RawHttpServer::Reply{RawHttpServer::Response(200, body), 50000};
    });
    vtest::WriteFile(Target(), "keep me");
    const mode_t oldMask = umask(0);  // the side file must not depend on the umask
    observer.stopAfterSteps = 2;
    const HRESULT result = fetch.Fetch(server.BaseUrl() + "/big", Target(), CREATE_ALWAYS);
    umask(oldMask);

    EXPECT_EQ(result, E_FAIL);
    EXPECT_TRUE(SameBytes(vtest::ReadFile(Side()), body.substr(0, 2 * 8192)));
    EXPECT_EQ(ModeOf(Side()), 0600u);
    EXPECT_EQ(vtest::ReadFile(Target()), "keep me");
    EXPECT_EQ(observer.events, (Events{"status 200", "start /big 50000", "status 500"}));
    EXPECT_EQ(observer.steps.size(), 2u);
}

TEST_F(FileFetchTest, BodyCutShortFailsAndKeepsTheTarget) {
    const std::string body = Pattern(30000);
    RawHttpServer server([&](const RawHttpServer::Request&) {
        std::string reply = RawHttpServer::Response(200, body);
        reply.resize(reply.size() - 20000);  // the connection closes 20000 bytes early
        return RawHttpServer::Reply{reply};
    });
    vtest::WriteFile(Target(), "keep me");
    EXPECT_EQ(fetch.Fetch(server.BaseUrl() + "/cut", Target(), CREATE_ALWAYS), E_FAIL);
    EXPECT_EQ(vtest::ReadFile(Target()), "keep me");
    EXPECT_TRUE(SameBytes(vtest::ReadFile(Side()), body.substr(0, 10000)));
    EXPECT_EQ(observer.events, (Events{"status 200", "start /cut 30000", "failed step 10000", "status 500"}));
    observer.ExpectStepsWithin8192();
}

TEST_F(FileFetchTest, StalledServerHitsTheLimit) {
    const std::string body = Pattern(30000);
    RawHttpServer server([&](const RawHttpServer::Request&) {
        std::string reply = RawHttpServer::Response(200, body);
        reply.resize(reply.size() - 25000);
        return RawHttpServer::Reply{reply, 0, true};  // then silence, connection open
    });
    fetch.SetStallLimit(std::chrono::milliseconds(500));
    EXPECT_EQ(fetch.Fetch(server.BaseUrl() + "/stall", Target(), CREATE_ALWAYS), E_FAIL);
    EXPECT_TRUE(SameBytes(vtest::ReadFile(Side()), body.substr(0, 5000)));
    EXPECT_EQ(observer.events,
              (Events{"status 200", "start /stall 30000", "failed step 5000", "status 500"}));
    EXPECT_FALSE(vtest::Exists(Target()));
}

TEST_F(FileFetchTest, StalledHeadersHitTheLimit) {
    RawHttpServer server([](const RawHttpServer::Request&) { return RawHttpServer::Reply{"", 0, true}; });
    fetch.SetStallLimit(std::chrono::milliseconds(500));
    EXPECT_EQ(fetch.Fetch(server.BaseUrl() + "/silent", Target(), CREATE_ALWAYS), E_FAIL);
    EXPECT_EQ(observer.events, (Events{"status 500"}));
}

TEST_F(FileFetchTest, StopEventEndsAStalledFetchAtOnceAndOneSetBeforeStartsNone) {
    const std::string body = Pattern(30000);
    RawHttpServer server([&](const RawHttpServer::Request&) {
        std::string reply = RawHttpServer::Response(200, body);
        reply.resize(reply.size() - 25000);
        return RawHttpServer::Reply{reply, 0, true};
    });
    os::Event stop;
    fetch.SetStopEvent(&stop);
    // The stall limit stays long: only the event can end this fetch in time.
    std::thread stopper([&] {
        EXPECT_TRUE(server.WaitForRequests(1));
        stop.Set();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(fetch.Fetch(server.BaseUrl() + "/stall", Target(), CREATE_ALWAYS), E_FAIL);
    stopper.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(observer.events.back(), "status 500");
    EXPECT_FALSE(vtest::Exists(Target()));

    observer.events.clear();
    EXPECT_EQ(fetch.Fetch(server.BaseUrl() + "/again", Target(), CREATE_ALWAYS), E_FAIL);
    EXPECT_EQ(observer.events, (Events{"status 500"}));
    EXPECT_EQ(server.Requests().size(), 1u);
}

TEST_F(FileFetchTest, BodyLongerThanAnnouncedFailsAndLeavesNoSideFile) {
    // Chunked bodies that carry more than their Content-Length claims. In the
    // second the first chunk fills the announced length exactly: a side file
    // left behind would look like the whole file.
    const std::vector<std::vector<std::string>> bodies = {{"abcd", "efgh"}, {"abcde", "fgh"}};
    for (const std::vector<std::string>& pieces : bodies) {
        RawHttpServer server([&](const RawHttpServer::Request&) {
            return RawHttpServer::Reply{
                RawHttpServer::ChunkedResponse(200, pieces, {{"Content-Length", "5"}})};
        });
        vtest::WriteFile(Target(), "keep me");
        observer.events.clear();
        EXPECT_EQ(fetch.Fetch(server.BaseUrl() + "/long", Target(), CREATE_ALWAYS), E_FAIL) << pieces[0];
        EXPECT_EQ(observer.events, (Events{"status 200", "start /long 5", "status 500"})) << pieces[0];
        EXPECT_FALSE(vtest::Exists(Side())) << pieces[0];
        EXPECT_EQ(vtest::ReadFile(Target()), "keep me");
    }
}

TEST_F(FileFetchTest, ALengthOverTheCapFailsAtTheHeadersWithoutASideFile) {
    // A terabyte announced, then silence: without the cap the fetch would
    // make the side file and start filling the disk.
    RawHttpServer server([](const RawHttpServer::Request&) {
        return RawHttpServer::Reply{"HTTP/1.1 200 OK\r\nContent-Length: 1099511627776\r\n\r\nMZ", 0, true};
    });
    EXPECT_EQ(fetch.SizeCap(), std::uint64_t{1} << 30);
    // A fetch that ignored the cap would end only here, with a side file made.
    fetch.SetStallLimit(std::chrono::milliseconds(500));
    EXPECT_EQ(fetch.Fetch(server.BaseUrl() + "/huge", Target(), CREATE_ALWAYS), E_FAIL);
    EXPECT_EQ(observer.events, (Events{"status 200", "status 500"}));
    EXPECT_TRUE(observer.steps.empty());
    EXPECT_FALSE(vtest::Exists(Side()));
    EXPECT_FALSE(vtest::Exists(Target()));
}

TEST_F(FileFetchTest, ACapSetPerFetchIsTheMostBytesItTakes) {
    const std::string body = Pattern(20000);
    RawHttpServer server([&](const RawHttpServer::Request&) {
        return RawHttpServer::Reply{RawHttpServer::Response(200, body)};
    });
    for (const std::uint64_t cap : {std::uint64_t{20000}, std::uint64_t{19999}}) {
        std::remove(Target().c_str());
        observer.events.clear();
        fetch.SetSizeCap(cap);
        const bool fits = cap == body.size();
        EXPECT_EQ(fetch.Fetch(server.BaseUrl() + "/f", Target(), CREATE_ALWAYS), fits ? S_OK : E_FAIL) << cap;
        const Events expected =
            fits ? Events{"status 200", "start /f 20000", "complete"} : Events{"status 200", "status 500"};
        EXPECT_EQ(observer.events, expected);
        EXPECT_EQ(vtest::Exists(Target()), fits);
        EXPECT_FALSE(vtest::Exists(Side()));
    }
}

TEST_F(FileFetchTest, UnsplittableAddressFailsWithoutObserverOrRequest) {
    RawHttpServer server([](const RawHttpServer::Request&) {
        return RawHttpServer::Reply{RawHttpServer::Response(200, "x")};
    });
    for (const std::string& url :
         {std::string("ftp://") + server.HostPort() + "/f", std::string("not an address"),
          server.BaseUrl() + "/" + std::string(300, 'p')}) {
        EXPECT_EQ(fetch.Fetch(url, Target(), CREATE_ALWAYS), E_FAIL) << url;
    }
    EXPECT_TRUE(observer.events.empty());
    EXPECT_TRUE(server.Requests().empty());
}

TEST_F(FileFetchTest, UnreachableServerOnlyReports500) {
    int port = 0;
    {
        RawHttpServer gone([](const RawHttpServer::Request&) { return RawHttpServer::Reply{}; });
        port = gone.Port();
    }
    EXPECT_EQ(fetch.Fetch("http://127.0.0.1:" + std::to_string(port) + "/f", Target(), CREATE_ALWAYS),
              E_FAIL);
    EXPECT_EQ(observer.events, (Events{"status 500"}));
    EXPECT_FALSE(vtest::Exists(Side()));
}

TEST_F(FileFetchTest, SideFileThatCannotBeCreatedFails) {
    RawHttpServer server([](const RawHttpServer::Request&) {
        return RawHttpServer::Reply{RawHttpServer::Response(200, "data")};
    });
    const std::string missingFolder = sandbox.Root() + "/no/such/folder/Setup.exe";
    EXPECT_EQ(fetch.Fetch(server.BaseUrl() + "/f", missingFolder, CREATE_ALWAYS), E_FAIL);
    EXPECT_EQ(observer.events, (Events{"status 200", "start /f 4", "status 500"}));

    // CREATE_NEW refuses a side file left from an earlier attempt and leaves it as it was.
    observer.events.clear();
    vtest::WriteFile(Side(), "earlier part");
    EXPECT_EQ(fetch.Fetch(server.BaseUrl() + "/f", Target(), CREATE_NEW), E_FAIL);
    EXPECT_EQ(vtest::ReadFile(Side()), "earlier part");
    EXPECT_EQ(observer.events.back(), "status 500");

    // An unknown disposition is refused like CreateFileW refuses it.
    observer.events.clear();
    EXPECT_EQ(fetch.Fetch(server.BaseUrl() + "/f", Target(), 0), E_FAIL);
    EXPECT_EQ(observer.events.back(), "status 500");
    EXPECT_FALSE(vtest::Exists(Target()));
}

TEST_F(FileFetchTest, SideFileOpenedWithoutTruncationLosesItsOldTail) {
    RawHttpServer server([](const RawHttpServer::Request&) {
        return RawHttpServer::Reply{RawHttpServer::Response(200, "new")};
    });
    for (const DWORD disposition : {OPEN_ALWAYS, OPEN_EXISTING}) {
        vtest::WriteFile(Side(), "a much longer earlier attempt");
        ASSERT_EQ(fetch.Fetch(server.BaseUrl() + "/f", Target(), disposition), S_OK) << disposition;
        EXPECT_EQ(vtest::ReadFile(Target()), "new");
    }
}

TEST_F(FileFetchTest, TargetThatCannotBeReplacedFailsAfterComplete) {
    RawHttpServer server([](const RawHttpServer::Request&) {
        return RawHttpServer::Reply{RawHttpServer::Response(200, "data")};
    });
    // A non-empty folder in the target's place cannot be replaced by a file.
    vtest::WriteFile(Target() + "/inside", "x");
    EXPECT_EQ(fetch.Fetch(server.BaseUrl() + "/f", Target(), CREATE_ALWAYS), E_FAIL);
    EXPECT_EQ(observer.events, (Events{"status 200", "start /f 4", "complete", "status 500"}));
    EXPECT_EQ(vtest::ReadFile(Side()), "data");
}

// A write that fails (the file-size limit stands in for a full disk) is a
// failed step, the fetch stops and nothing replaces the target. Runs in a
// child process so that the limit stays there.
TEST_F(FileFetchTest, FailedWriteIsAFailedStep) {
    const std::string body = Pattern(40000);
    RawHttpServer server([&](const RawHttpServer::Request&) {
        return RawHttpServer::Reply{RawHttpServer::Response(200, body)};
    });
    const std::string url = server.BaseUrl() + "/full";
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit = {20000, 20000};
        setrlimit(RLIMIT_FSIZE, &limit);
        RecordingObserver childObserver;
        CFileFetch childFetch(&childObserver, 7);
        const bool failed = childFetch.Fetch(url, Target(), CREATE_ALWAYS) == E_FAIL;
        const Events expected = {"status 200", "start /full 40000", "failed step 16384", "status 500"};
        _exit(failed && childObserver.events == expected ? 0 : 1);
    }
    int status = 0;
    ASSERT_TRUE(vtest::WaitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; }));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_FALSE(vtest::Exists(Target()));
    // The failing write may have stored part of its step; only whole steps count.
    EXPECT_TRUE(SameBytes(vtest::ReadFile(Side()).substr(0, 16384), body.substr(0, 16384)));
}

// Python's http.server: a server we did not write.
class FileFetchPythonTest : public FileFetchTest {};

TEST_F(FileFetchPythonTest, FetchesAFileAndReportsA404) {
    const std::string folder = sandbox.Root() + "/www";
    const std::string body = Pattern(300000);
    vtest::WriteFile(folder + "/toolbox.dat", body);
    vtest::PythonFileServer server(folder);
    ASSERT_NE(server.Port(), 0);
    const std::string base = "http://127.0.0.1:" + std::to_string(server.Port());

    ASSERT_EQ(fetch.Fetch(base + "/toolbox.dat", Target(), CREATE_ALWAYS), S_OK);
    EXPECT_TRUE(SameBytes(vtest::ReadFile(Target()), body));
    EXPECT_EQ(observer.events, (Events{"status 200", "start /toolbox.dat 300000", "complete"}));
    observer.ExpectStepsWithin8192();

    observer.events.clear();
    EXPECT_EQ(fetch.Fetch(base + "/missing.exe", sandbox.Root() + "/missing.exe", CREATE_ALWAYS), E_FAIL);
    EXPECT_EQ(observer.events, (Events{"status 404", "status 500"}));
    EXPECT_FALSE(vtest::Exists(sandbox.Root() + "/missing.exe.upd"));
    EXPECT_FALSE(vtest::Exists(sandbox.Root() + "/missing.exe"));
}

TEST_F(FileFetchPythonTest, HttpsTrustsOnlyVerifiedCertificates) {
    const std::string folder = sandbox.Root() + "/www";
    const std::string certs = sandbox.Root() + "/certs";
    vtest::WriteFile(folder + "/a.bin", "secret installer");
    vtest::WriteFile(certs + "/.keep", "");
    ASSERT_TRUE(vtest::MakeTestCertificates(certs));
    vtest::PythonFileServer server(folder, certs + "/server.pem", certs + "/server.key");
    ASSERT_NE(server.Port(), 0);
    const std::string url = "https://127.0.0.1:" + std::to_string(server.Port()) + "/a.bin";

    sandbox.SetEnv("VANTO_CA_FILE", std::nullopt);
    EXPECT_EQ(fetch.Fetch(url, Target(), CREATE_ALWAYS), E_FAIL);
    EXPECT_EQ(observer.events, (Events{"status 500"}));
    EXPECT_FALSE(vtest::Exists(Side()));

    observer.events.clear();
    sandbox.SetEnv("VANTO_CA_FILE", certs + "/ca.pem");
    ASSERT_EQ(fetch.Fetch(url, Target(), CREATE_ALWAYS), S_OK);
    EXPECT_EQ(vtest::ReadFile(Target()), "secret installer");
    EXPECT_EQ(observer.events, (Events{"status 200", "start /a.bin 16", "complete"}));

    // Plain HTTP to the TLS port gets no valid reply.
    observer.events.clear();
    EXPECT_EQ(
        fetch.Fetch("http://127.0.0.1:" + std::to_string(server.Port()) + "/a.bin", Target(), CREATE_ALWAYS),
        E_FAIL);
    EXPECT_EQ(observer.events.back(), "status 500");
}

}  // namespace
