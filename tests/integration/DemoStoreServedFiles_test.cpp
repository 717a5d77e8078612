// Files the demo store sends from disk, seen by independent clients (curl,
// Python's zip reader) and by the client's file fetch: the store pages' large
// generated file, byte ranges, files that change while they are sent, and
// the throttle fault.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <thread>
#include <tuple>

#include "DemoStoreCalls.h"
#include "library/FileFetch.h"

namespace vtest {
namespace {

const std::string kLargeName = "9001_大文件演示素材包.zip";

Json::Value Fault(const std::string& service, const std::string& path) {
    Json::Value fault(Json::objectValue);
    fault["service"] = service;
    fault["path"] = path;
    return fault;
}

std::string Head(const std::string& reply) {
    return reply.substr(0, reply.find("\r\n\r\n"));
}
std::string Body(const std::string& reply) {
    const std::size_t end = reply.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : reply.substr(end + 4);
}
bool HasLine(const std::string& head, const std::string& line) {
    return ("\r\n" + head + "\r\n").find("\r\n" + line + "\r\n") != std::string::npos;
}

std::string Pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 13 + i / 251) & 0xFF);
    }
    return bytes;
}

// The peak resident memory of a process, in KiB.
long PeakMemoryKiB(int pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

// Counts what a file fetch has received, readable from another thread.
class ProgressWatch : public IDownLoadCallBack {
  public:
    void OnStatus(int code, DWORD) override { statuses.push_back(code); }
    void OnStart(const std::string&, std::uint64_t, DWORD) override {}
    int OnProgress(int failed, int, std::uint64_t count, std::uint64_t, DWORD) override {
        if (failed == 0) {
            received = count;
        } else {
            failedAt = count;
        }
        return 0;
    }
    void OnComplete(DWORD) override { completed = true; }

    std::atomic<std::uint64_t> received{0};
    std::atomic<std::int64_t> failedAt{-1};
    std::atomic<bool> completed{false};
    std::vector<int> statuses;  // read after the fetch
};

class DemoStoreServedFilesTest : public SandboxTest {
  protected:
    std::string LargeUrl() const { return store.BaseUrl("client") + "/files/" + kLargeName; }
    std::string LargeOnDisk() const { return store.DataDir() + "/files/client/files/" + kLargeName; }
    std::string Target(const std::string& name) const { return sandbox.Root() + "/" + name; }

    DemoStore store{sandbox, sandbox.Root() + "/demo-store", {"--large-file-size", "1M"}};
};

TEST_F(DemoStoreServedFilesTest, TheLargeFileIsOnTheStorePagesAndArrivesAsAWholeArchive) {
    ASSERT_TRUE(store.Started());
    const std::string home = Curl({store.BaseUrl("client") + "/"}).out;
    EXPECT_NE(home.find("data-url=\"/files/" + kLargeName + "\""), std::string::npos);
    EXPECT_EQ(Curl({store.BaseUrl("client") + "/ppt.html"}).out.find(kLargeName), std::string::npos);
    // Written when first asked for, not at the start.
    EXPECT_FALSE(Exists(LargeOnDisk()));

    const std::string file = Target("large.zip");
    const ProcessResult reply = Curl({"-f", "-D", "-", "-o", file, LargeUrl()});
    ASSERT_EQ(reply.exitCode, 0) << reply.err;
    EXPECT_TRUE(HasLine(reply.out, "Content-Length: 1048576")) << reply.out;
    EXPECT_TRUE(HasLine(reply.out, "Content-Type: application/zip")) << reply.out;
    EXPECT_TRUE(HasLine(reply.out, "Accept-Ranges: bytes")) << reply.out;
    const std::string bytes = ReadFile(file);
    EXPECT_EQ(bytes.size(), 1048576u);
    EXPECT_TRUE(bytes == ReadFile(LargeOnDisk()));

    // A valid archive whose text lines are numbered 1, 2, 3 … without a gap
    // or repeat, so no piece of the stream went missing or came twice.
    const ProcessResult check =
        RunProcess({"python3", "-c",
                    "import sys, zipfile\n"
                    "z = zipfile.ZipFile(sys.argv[1])\n"
                    "assert z.testzip() is None\n"
                    "[name] = z.namelist()\n"
                    "lines = z.read(name).split(b'\\n')\n"
                    "for i, line in enumerate(lines[:-1]):\n"
                    "    assert len(line) == 63 and int(line.split()[1]) == i + 1, (i, line)\n"
                    "print(len(lines) - 1)\n",
                    file});
    EXPECT_EQ(check.exitCode, 0) << check.err;
    EXPECT_EQ(check.out, "16381\n");

    // A download through a page joins the user's list like any template.
    const std::string jar = Target("cookies");
    Curl({"-c", jar,
          store.BaseUrl("client") + "/api/user/refreshWebLogin?X-token=" + store.IssueToken("13900139000")});
    EXPECT_EQ(ParseJsonText(
                  Curl({"-b", jar, "-d", "", store.BaseUrl("client") + "/client/api/recordDownload?id=9001"})
                      .out)["code"]
                  .asInt(),
              1);
}

TEST_F(DemoStoreServedFilesTest, TheLargeFileIsTheSameFromEveryStoreAndFollowsTheAskedSize) {
    ASSERT_TRUE(store.Started());
    const std::string first = Target("first.zip");
    ASSERT_EQ(Curl({"-f", "-o", first, LargeUrl()}).exitCode, 0);

    // Another store with the same size makes the very same bytes.
    const std::string otherDir = sandbox.Root() + "/other-store";
    {
        DemoStore other(sandbox, otherDir, {"--large-file-size", "1M"});
        ASSERT_TRUE(other.Started());
        const std::string second = Target("second.zip");
        ASSERT_EQ(Curl({"-f", "-o", second, other.BaseUrl("client") + "/files/" + kLargeName}).exitCode, 0);
        EXPECT_TRUE(ReadFile(first) == ReadFile(second));
    }
    // Started again with another size, it writes the file again.
    {
        DemoStore smaller(sandbox, otherDir, {"--large-file-size", "64K"});
        ASSERT_TRUE(smaller.Started());
        const ProcessResult check = Curl({"-f", "-o", Target("small.zip"), "-w", "%{size_download}",
                                          smaller.BaseUrl("client") + "/files/" + kLargeName});
        EXPECT_EQ(check.out, "65536");
        EXPECT_EQ(RunProcess({"python3", "-m", "zipfile", "-t", Target("small.zip")}).exitCode, 0);
    }
    // Sizes outside 4K to 2G, or not sizes, refuse the start.
    for (const std::string size : {"12", "4095", "3G", "2049M", "1.5M", "", "M", "-1K"}) {
        const ProcessResult refused = RunProcess({std::string(VANTO_BIN_DIR) + "/demo-store", "--data",
                                                  Target("refused"), "--large-file-size", size});
        EXPECT_EQ(refused.exitCode, 2) << size;
        EXPECT_NE(refused.err.find("large-file size"), std::string::npos) << refused.err;
    }
}

TEST_F(DemoStoreServedFilesTest, AFolderInThePlaceOfTheLargeFileIsAServerErrorNotACrash) {
    ASSERT_TRUE(store.Started());
    ASSERT_EQ(RunProcess({"mkdir", "-p", LargeOnDisk() + "/inside"}).exitCode, 0);
    EXPECT_EQ(Curl({"-o", "/dev/null", "-w", "%{http_code}", LargeUrl()}).out, "500");
    EXPECT_NE(store.Output().find("# something other than a file"), std::string::npos) << store.Output();
    // The store goes on serving.
    EXPECT_EQ(Curl({"-o", "/dev/null", "-w", "%{http_code}", store.BaseUrl("client") + "/"}).out, "200");
}

TEST(DemoStoreLargeFile, TheStoresMemoryDoesNotGrowWithTheFileItSends) {
    Sandbox sandbox;
    DemoStore store(sandbox, sandbox.Root() + "/demo-store", {"--large-file-size", "64M"});
    ASSERT_TRUE(store.Started());
    const int pid = store.AdminGet("/")["pid"].asInt();
    ASSERT_GT(pid, 0);
    const long before = PeakMemoryKiB(pid);
    ASSERT_GT(before, 0);

    // Written and then sent twice (once cut into a range): a store that held
    // the file in memory would grow by its size at least (64 MiB).
    const std::string url = store.BaseUrl("client") + "/files/" + kLargeName;
    const std::string file = sandbox.Root() + "/large.zip";
    ASSERT_EQ(Curl({"-f", "-o", file, url}).exitCode, 0);
    EXPECT_EQ(Curl({"-f", "-r", "1000-", "-o", "/dev/null", "-w", "%{size_download}", url}).out,
              std::to_string((64 << 20) - 1000));
    // The sanitizers' own bookkeeping of the sends takes up to about half
    // the file's size (ThreadSanitizer); the store's buffers take little.
    const long after = PeakMemoryKiB(pid);
    EXPECT_LT(after - before, 48 * 1024)
        << "peak memory " << before << " KiB before, " << after << " KiB after";
    EXPECT_EQ(RunProcess({"cmp", file, store.DataDir() + "/files/client/files/" + kLargeName}).exitCode, 0);
}

// Asks for `range` of `url` and checks the part against `bytes`.
void ExpectPart(const std::string& url, const std::string& bytes, const std::string& range, std::size_t first,
                std::size_t last) {
    SCOPED_TRACE(url + " " + range);
    const ProcessResult reply = Curl({"-i", "-r", range, url});
    ASSERT_EQ(reply.exitCode, 0) << reply.err;
    const std::string head = Head(reply.out);
    EXPECT_EQ(head.rfind("HTTP/1.1 206 Partial Content\r\n", 0), 0u) << head;
    EXPECT_TRUE(HasLine(head, "Content-Range: bytes " + std::to_string(first) + "-" + std::to_string(last) +
                                  "/" + std::to_string(bytes.size())))
        << head;
    EXPECT_TRUE(HasLine(head, "Content-Length: " + std::to_string(last - first + 1))) << head;
    EXPECT_TRUE(Body(reply.out) == bytes.substr(first, last - first + 1));
}

TEST_F(DemoStoreServedFilesTest, ARangeOfAFileFromDiskOrMemoryIsPartialContent) {
    ASSERT_TRUE(store.Started());
    // A file from disk (cut at its end) and a template made in memory.
    const std::string tool = ReadFile(store.DataDir() + "/files/toolbox/download/DemoToolSetup.exe");
    ASSERT_GT(tool.size(), 10u);
    ExpectPart(store.BaseUrl("toolbox") + "/download/DemoToolSetup.exe", tool, "5-100000", 5,
               tool.size() - 1);
    const std::string docxUrl = store.BaseUrl("client") + "/files/2002_会议纪要.docx";
    const std::string docx = Curl({docxUrl}).out;
    ASSERT_GT(docx.size(), 100u);
    ExpectPart(docxUrl, docx, "0-1", 0, 1);
    // Beyond the end: nothing to send, and the length it would need.
    const std::string beyond =
        Head(Curl({"-i", "-r", "100000-", store.BaseUrl("toolbox") + "/download/DemoToolSetup.exe"}).out);
    EXPECT_EQ(beyond.rfind("HTTP/1.1 416 ", 0), 0u) << beyond;
    EXPECT_TRUE(HasLine(beyond, "Content-Range: bytes */" + std::to_string(tool.size()))) << beyond;
}

TEST_F(DemoStoreServedFilesTest, ASingleByteRangeOfTheLargeFileIsAnsweredWithItsPart) {
    ASSERT_TRUE(store.Started());
    ASSERT_EQ(Curl({"-f", "-o", "/dev/null", LargeUrl()}).exitCode, 0);
    const std::string whole = ReadFile(LargeOnDisk());
    ASSERT_EQ(whole.size(), 1048576u);
    for (const auto& [range, first, last] : std::vector<std::tuple<std::string, std::size_t, std::size_t>>{
             {"1000-1999", 1000, 1999},
             {"1048000-", 1048000, 1048575},
             {"-100", 1048476, 1048575},
             {"0-9999999999999", 0, 1048575},  // cut at the end
             {"-5000000", 0, 1048575},
         }) {
        ExpectPart(LargeUrl(), whole, range, first, last);
    }

    // A range that starts beyond the end cannot be answered.
    const std::string beyond = Head(Curl({"-i", "-r", "1048576-", LargeUrl()}).out);
    EXPECT_EQ(beyond.rfind("HTTP/1.1 416 ", 0), 0u) << beyond;
    EXPECT_TRUE(HasLine(beyond, "Content-Range: bytes */1048576")) << beyond;
    // Several ranges or an If-Range (the store gives no
    // validators) get the whole body.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"-r", "0-1,5-6"}, {"-r", "0-1", "-H", "If-Range: \"x\""}}) {
        std::vector<std::string> full = {"-o", "/dev/null", "-w", "%{http_code} %{size_download}"};
        full.insert(full.end(), args.begin(), args.end());
        full.push_back(LargeUrl());
        EXPECT_EQ(Curl(full).out, "200 1048576") << args[1];
    }
    // A HEAD names the whole length; a POST's reply is never cut.
    const std::string tool = ReadFile(store.DataDir() + "/files/toolbox/download/DemoToolSetup.exe");
    const std::string head =
        Head(Curl({"-I", "-r", "0-1", store.BaseUrl("toolbox") + "/download/DemoToolSetup.exe"}).out);
    EXPECT_EQ(head.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << head;
    EXPECT_TRUE(HasLine(head, "Content-Length: " + std::to_string(tool.size()))) << head;
    EXPECT_EQ(Curl({"-o", "/dev/null", "-w", "%{http_code}", "-r", "0-1", "-d", "",
                    store.BaseUrl("client") + "/client/api/recordDownload?id=9001"})
                  .out,
              "200");
}

TEST_F(DemoStoreServedFilesTest, ThrottledBodiesNeverRunAheadOfTheirRate) {
    ASSERT_TRUE(store.Started());
    ASSERT_TRUE(store.PutFile("toolbox", "/download/Big.exe", Pattern(100000)));
    Json::Value fault = Fault("toolbox", "/download/Big.exe");
    fault["throttle"] = 2000;
    ASSERT_TRUE(store.SetFault(fault));
    EXPECT_EQ(store.AdminGet("/faults")[0]["throttle"].asInt(), 2000);

    // Whatever the machine's load, after t seconds at most 2000 × t bytes
    // plus one piece (a twentieth of a second's worth) have left.
    const ProcessResult reply =
        Curl({"-o", "/dev/null", "--max-time", "1", "-w", "%{size_download} %{time_total}",
              store.BaseUrl("toolbox") + "/download/Big.exe"});
    EXPECT_EQ(reply.exitCode, 28) << reply.err;  // CURLE_OPERATION_TIMEDOUT
    std::istringstream numbers(reply.out);
    double size = -1, seconds = -1;
    numbers >> size >> seconds;
    ASSERT_GE(size, 0) << reply.out;
    EXPECT_LE(size, 2000 * seconds + 100) << reply.out;

    // Throttled and cut: the cut still holds.
    fault["throttle"] = 1000000;
    fault["truncate"] = 5000;
    ASSERT_TRUE(store.SetFault(fault));
    const ProcessResult cut =
        Curl({"-o", "/dev/null", "-w", "%{size_download}", store.BaseUrl("toolbox") + "/download/Big.exe"});
    EXPECT_EQ(cut.exitCode, 18);  // CURLE_PARTIAL_FILE
    EXPECT_EQ(cut.out, "5000");
}

TEST_F(DemoStoreServedFilesTest, AThrottledFetchShowsProgressAndFinishesOnceTheFaultsAreCleared) {
    ASSERT_TRUE(store.Started());
    const std::string body = Pattern(50000);
    ASSERT_TRUE(store.PutFile("toolbox", "/download/Slow.exe", body));
    Json::Value fault = Fault("toolbox", "/download/Slow.exe");
    fault["throttle"] = 1;  // a byte a second
    ASSERT_TRUE(store.SetFault(fault));

    ProgressWatch watch;
    HRESULT result = -1;
    std::thread worker([&] {
        CFileFetch fetch(&watch, 1);
        result = fetch.Fetch(store.BaseUrl("toolbox") + "/download/Slow.exe", Target("Slow.exe"), 2);
    });
    // Bytes trickle in, far from all of them.
    EXPECT_TRUE(WaitFor([&] { return watch.received > 0; }));
    EXPECT_LT(watch.received.load(), 1000u);
    EXPECT_FALSE(watch.completed);
    // The file is replaced meanwhile: the reply under way keeps the bytes it began with.
    ASSERT_TRUE(store.PutFile("toolbox", "/download/Slow.exe", "replaced"));
    ASSERT_TRUE(store.ClearFaults());
    worker.join();
    EXPECT_EQ(result, S_OK);
    EXPECT_TRUE(watch.completed);
    EXPECT_TRUE(ReadFile(Target("Slow.exe")) == body);
}

TEST_F(DemoStoreServedFilesTest, AFileThatShrinksWhileItIsSentEndsTheReplyShort) {
    ASSERT_TRUE(store.Started());
    const std::string body = Pattern(300000);
    ASSERT_TRUE(store.PutFile("toolbox", "/download/Shrinks.exe", body));
    Json::Value fault = Fault("toolbox", "/download/Shrinks.exe");
    fault["throttle"] = 1;
    ASSERT_TRUE(store.SetFault(fault));
    WriteFile(Target("Shrinks.exe"), "installed before");

    ProgressWatch watch;
    HRESULT result = -1;
    std::thread worker([&] {
        CFileFetch fetch(&watch, 1);
        result = fetch.Fetch(store.BaseUrl("toolbox") + "/download/Shrinks.exe", Target("Shrinks.exe"), 2);
    });
    EXPECT_TRUE(WaitFor([&] { return watch.received > 0; }));
    // Cut in place (not replaced): the reply can no longer send what it announced.
    const int fd =
        open((store.DataDir() + "/files/toolbox/download/Shrinks.exe").c_str(), O_WRONLY | O_TRUNC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "short", 5), 5);
    close(fd);
    ASSERT_TRUE(store.ClearFaults());
    worker.join();
    EXPECT_EQ(result, E_FAIL);
    EXPECT_FALSE(watch.completed);
    EXPECT_GE(watch.failedAt.load(), 0);
    EXPECT_LT(watch.failedAt.load(), 300000);
    EXPECT_EQ(ReadFile(Target("Shrinks.exe")), "installed before");
}

TEST_F(DemoStoreServedFilesTest, ClearingTheFaultsDuringADelayAlsoReleasesTheStallAfterIt) {
    ASSERT_TRUE(store.Started());
    Json::Value fault = Fault("client", "/word.html");
    fault["delay_ms"] = 60000;
    fault["stall"] = true;
    ASSERT_TRUE(store.SetFault(fault));
    httplib::Result result{nullptr, httplib::Error::Unknown};
    std::thread client([&] { result = StoreGet(store, "client", "/word.html"); });
    ASSERT_TRUE(store.WaitForRequests("client", 1));
    ASSERT_TRUE(store.ClearFaults());
    client.join();
    ASSERT_TRUE(result) << httplib::to_string(result.error());
    EXPECT_EQ(result->status, 200);
    EXPECT_NE(result->body.find("Word"), std::string::npos);
}

}  // namespace
}  // namespace vtest
