#include "stats/HttpClientT.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <future>
#include <string>
#include <vector>

#include "stats/HttpClientExceptionT.h"
#include "stats/HttpReplyHead.h"
#include "support/RawHttpServer.h"
#include "support/Sandbox.h"
#include "support/TrickleServer.h"

namespace {

using vtest::RawHttpServer;

RawHttpServer::Handler Answer(std::string bytes) {
    return [bytes](const RawHttpServer::Request&) { return RawHttpServer::Reply{bytes}; };
}

// Runs an upload to the end in steps of `step`, recording how far the body
// had come after each step.
std::unique_ptr<CHttpResponseT> RunUpload(CHttpClientT& client, const std::string& url, std::size_t step,
                                          std::vector<CHttpPostStatT>* steps = nullptr) {
    client.StartUpload(url);
    std::unique_ptr<CHttpResponseT> response;
    for (int guard = 0; guard < 100000 && !response; ++guard) {
        response = client.SendNextChunk(step);
        if (!response && steps != nullptr) {
            CHttpPostStatT stat;
            client.GetUploadProgress(stat);
            steps->push_back(stat);
        }
    }
    return response;
}

// Expects `call` to raise the client's error with `code`; returns its text.
template <typename Call>
std::string ExpectClientError(Call call, CHttpClientExceptionT::Code code) {
    try {
        call();
    } catch (const CHttpClientExceptionT& error) {
        EXPECT_EQ(error.ErrorCode(), code) << error.what();
        return error.what();
    }
    ADD_FAILURE() << "no error raised";
    return {};
}

class HttpClientTest : public vtest::SandboxTest {
  protected:
    std::string File(const std::string& name, const std::string& bytes) {
        const std::string path = sandbox.Root() + "/" + name;
        vtest::WriteFile(path, bytes);
        return path;
    }
};

TEST(HttpClientBoundary, EachClientHasItsOwnFortyThreeCharacterBoundary) {
    CHttpClientT first;
    CHttpClientT second;
    for (const CHttpClientT* client : {&first, &second}) {
        const std::string& boundary = client->Boundary();
        ASSERT_EQ(boundary.size(), 43u);
        EXPECT_EQ(boundary.substr(0, 10), "----QBRAX-");
        EXPECT_EQ(boundary.back(), '-');
        EXPECT_EQ(boundary.substr(10, 32).find_first_not_of("0123456789abcdef"), std::string::npos)
            << boundary;
        EXPECT_EQ(client->ContentTypeHeader(), "multipart/form-data; boundary=" + boundary);
    }
    EXPECT_NE(first.Boundary(), second.Boundary());
}

TEST_F(HttpClientTest, BodyAndContentLengthAreExact) {
    RawHttpServer server(Answer(RawHttpServer::Response(200, "ok", {{"Content-Type", "text/plain"}})));
    const std::string text = File("notes.txt", "hello, this is plain text\n");
    const std::string data = File("data.bin", std::string("\x00\x01\x02\xff\r\n", 6));
    CHttpClientT client;
    client.AddParam("comment", "a value");
    client.AddParam("file", text, true);
    client.AddParam("blob", data, true);
    const auto response = RunUpload(client, server.BaseUrl() + "/errorfile.ashx?aid=34&v=1.0&os=", 1024);
    ASSERT_TRUE(response);
    EXPECT_EQ(response->GetStatus(), 200u);

    const std::string b = client.Boundary();
    const std::string expected =
        "--" + b + "\r\n" +
        "Content-Disposition: form-data; name=\"comment\"\r\n"
        "\r\n"
        "a value\r\n"
        "--" +
        b + "\r\n" + "Content-Disposition: form-data; name=\"file\"; filename=\"" + text + "\"\r\n" +
        "Content-Type: text/plain\r\n"
        "\r\n"
        "hello, this is plain text\n\r\n"
        "--" +
        b + "\r\n" + "Content-Disposition: form-data; name=\"blob\"; filename=\"" + data + "\"\r\n" +
        "Content-Type: application/octet-stream\r\n"
        "\r\n" +
        std::string("\x00\x01\x02\xff\r\n", 6) + "\r\n" + "--" + b + "--\r\n";
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    const RawHttpServer::Request& request = requests[0];
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.target, "/errorfile.ashx?aid=34&v=1.0&os=");
    EXPECT_EQ(request.body, expected);
    EXPECT_EQ(request.Header("Content-Length"), std::to_string(expected.size()));
    EXPECT_EQ(request.Header("Content-Type"), client.ContentTypeHeader());
    EXPECT_EQ(request.Header("Cache-Control"), "no-cache");
    EXPECT_FALSE(request.HasHeader("Expect"));
    EXPECT_FALSE(request.HasHeader("Transfer-Encoding"));
}

TEST_F(HttpClientTest, FileIsWrittenInStepsOfAtMostTheRequestedSize) {
    RawHttpServer server(Answer(RawHttpServer::Response(200, "1", {{"Content-Type", "text/plain"}})));
    std::string bytes;
    for (int i = 0; i < 3000; ++i) {
        bytes += static_cast<char>(i * 7);
    }
    const std::string path = File("Error.tmp", bytes);
    CHttpClientT client;
    client.AddParam("file", path, true);
    std::vector<CHttpPostStatT> steps;
    const auto response = RunUpload(client, server.BaseUrl() + "/errorfile.ashx", 1024, &steps);
    ASSERT_TRUE(response);

    const std::string b = client.Boundary();
    const std::string head = "--" + b + "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"" +
                             path + "\"\r\nContent-Type: application/octet-stream\r\n\r\n";
    const std::string closing = "\r\n--" + b + "--\r\n";
    ASSERT_EQ(steps.size(), 5u);
    std::vector<std::uint64_t> sizes;
    std::uint64_t before = 0;
    for (const CHttpPostStatT& stat : steps) {
        sizes.push_back(stat.postedBytes - before);
        before = stat.postedBytes;
        EXPECT_EQ(stat.totalBytes, head.size() + 3000 + closing.size());
        EXPECT_EQ(stat.totalCount, 1u);
        EXPECT_EQ(stat.currentName, "file");
        EXPECT_EQ(stat.currentFile, path);
        EXPECT_EQ(stat.currentFileTotalBytes, 3000u);
    }
    EXPECT_EQ(sizes, (std::vector<std::uint64_t>{head.size(), 1024, 1024, 952, closing.size()}));
    EXPECT_EQ(steps[0].currentFilePostedBytes, 0u);
    EXPECT_EQ(steps[1].currentFilePostedBytes, 1024u);
    EXPECT_EQ(steps[2].postedCount, 0u);
    EXPECT_EQ(steps[3].currentFilePostedBytes, 3000u);
    EXPECT_EQ(steps[3].postedCount, 1u);
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0].body, head + bytes + closing);
}

TEST_F(HttpClientTest, LargeStepsReadTheFileInBlocksAndStillStopAtItsEnd) {
    RawHttpServer server(Answer(RawHttpServer::Response(200, "1")));
    const std::string bytes(200000, 'z');
    CHttpClientT client;
    client.AddParam("file", File("big", bytes), true);
    std::vector<CHttpPostStatT> steps;
    ASSERT_TRUE(RunUpload(client, server.BaseUrl() + "/u", 150000, &steps));
    ASSERT_EQ(steps.size(), 4u);
    EXPECT_EQ(steps[1].currentFilePostedBytes, 150000u);
    EXPECT_EQ(steps[2].currentFilePostedBytes, 200000u);
    EXPECT_NE(server.Requests()[0].body.find(bytes + "\r\n--"), std::string::npos);
}

TEST_F(HttpClientTest, EmptyFileAndNoArgumentsGiveTheShortestBodies) {
    RawHttpServer server(Answer(RawHttpServer::Response(200, "1")));
    const std::string empty = File("empty", "");
    {
        CHttpClientT client;
        client.AddParam("file", empty, true);
        ASSERT_TRUE(RunUpload(client, server.BaseUrl() + "/u", 1024));
        const std::string b = client.Boundary();
        EXPECT_EQ(server.Requests().back().body,
                  "--" + b + "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"" + empty +
                      "\"\r\nContent-Type: application/octet-stream\r\n\r\n\r\n--" + b + "--\r\n");
    }
    {
        CHttpClientT client;
        ASSERT_TRUE(RunUpload(client, server.BaseUrl() + "/u", 1024));
        EXPECT_EQ(server.Requests().back().body, "\r\n--" + client.Boundary() + "--\r\n");
        EXPECT_EQ(server.Requests().back().Header("Content-Length"), "51");
    }
}

TEST_F(HttpClientTest, MimeTypeComesFromTheFirstBytes) {
    RawHttpServer server(Answer(RawHttpServer::Response(200, "1")));
    const std::string png =
        std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x10\0\0\0\x10\x08\x06\0\0\0", 29) +
        std::string(100, '\0');
    // Text for its first 256 bytes; what follows is not looked at.
    const std::string textThenBinary = std::string(300, 'a') + std::string(4000, '\0');
    struct Case {
        std::string bytes;
        const char* type;
    };
    const Case cases[] = {
        {"plain words of text\n", "text/plain"},
        {png, "image/png"},
        {textThenBinary, "text/plain"},
        {std::string("\x01\xfe\x00\x93\x11\x00\xee", 7), "application/octet-stream"},
    };
    for (const Case& c : cases) {
        CHttpClientT client;
        client.AddParam("file", File("sniffed", c.bytes), true);
        ASSERT_TRUE(RunUpload(client, server.BaseUrl() + "/u", 1024));
        EXPECT_NE(server.Requests().back().body.find(std::string("\r\nContent-Type: ") + c.type + "\r\n\r\n"),
                  std::string::npos)
            << c.type;
    }
}

TEST_F(HttpClientTest, StepsOutOfOrderRaiseErrors) {
    RawHttpServer server(Answer(RawHttpServer::Response(200, "1")));
    CHttpClientT client;
    CHttpPostStatT stat;
    ExpectClientError([&] { client.SendNextChunk(1024); }, CHttpClientExceptionT::kOutOfOrder);
    ExpectClientError([&] { client.GetUploadProgress(stat); }, CHttpClientExceptionT::kOutOfOrder);

    client.AddParam("file", File("f", "abc"), true);
    client.StartUpload(server.BaseUrl() + "/u");
    EXPECT_TRUE(client.IsUploading());
    EXPECT_EQ(
        ExpectClientError([&] { client.AddParam("more", "x"); }, CHttpClientExceptionT::kPostContextActive),
        "CHttpClientT::AddParam: It is not allowed to call this method if the POST context is active.");
    ExpectClientError([&] { client.StartUpload(server.BaseUrl() + "/u"); },
                      CHttpClientExceptionT::kOutOfOrder);
    ExpectClientError([&] { client.SendNextChunk(0); }, CHttpClientExceptionT::kInvalidArgument);

    // After an abort the client takes arguments again and uploads anew.
    client.AbortUpload();
    EXPECT_FALSE(client.IsUploading());
    client.AddParam("note", "second");
    const auto response = RunUpload(client, server.BaseUrl() + "/u", 1024);
    ASSERT_TRUE(response);
    EXPECT_FALSE(client.IsUploading());
    EXPECT_NE(server.Requests().back().body.find("name=\"note\"\r\n\r\nsecond\r\n"), std::string::npos);
    // The reply ended the upload: arguments may be added again.
    client.AddParam("third", "x");
}

TEST_F(HttpClientTest, FilesThatCannotBeReadFailTheUpload) {
    RawHttpServer server(Answer(RawHttpServer::Response(200, "1")));
    {
        CHttpClientT client;
        client.AddParam("file", sandbox.Root() + "/missing", true);
        CHttpClientExceptionT::Code code = CHttpClientExceptionT::kFileOpen;
        try {
            client.StartUpload(server.BaseUrl() + "/u");
            ADD_FAILURE() << "a missing file was uploaded";
        } catch (const CHttpClientExceptionT& error) {
            EXPECT_EQ(error.ErrorCode(), code);
            EXPECT_EQ(error.OsError(), ENOENT);
        }
        EXPECT_FALSE(client.IsUploading());
    }
    {
        CHttpClientT client;
        client.AddParam("file", sandbox.Root(), true);
        ExpectClientError([&] { client.StartUpload(server.BaseUrl() + "/u"); },
                          CHttpClientExceptionT::kFileOpen);
    }
    {
        // A file that shrinks after its length was announced.
        const std::string path = File("shrinks", std::string(5000, 's'));
        CHttpClientT client;
        client.AddParam("file", path, true);
        client.StartUpload(server.BaseUrl() + "/u");
        EXPECT_EQ(client.SendNextChunk(1024), nullptr);
        ASSERT_EQ(::truncate(path.c_str(), 1500), 0);
        EXPECT_EQ(client.SendNextChunk(1024), nullptr);
        ExpectClientError([&] { client.SendNextChunk(1024); }, CHttpClientExceptionT::kFileRead);
        client.AbortUpload();
    }
    // The aborted request never became complete at the server.
    EXPECT_EQ(server.Requests().size(), 0u);
}

TEST_F(HttpClientTest, AddressesAndServersThatCannotTakeTheUpload) {
    std::string closed;
    {
        RawHttpServer gone(Answer(""));
        closed = gone.BaseUrl();
    }
    for (const std::string& url : {std::string("https://127.0.0.1:1/u"), std::string("not an address"),
                                   std::string("ftp://127.0.0.1/u")}) {
        CHttpClientT client;
        ExpectClientError([&] { client.StartUpload(url); }, CHttpClientExceptionT::kInvalidUrl);
    }
    CHttpClientT client;
    ExpectClientError([&] { client.StartUpload(closed + "/u"); }, CHttpClientExceptionT::kNetwork);

    // A server that takes the whole request and closes without a reply.
    RawHttpServer silent(Answer(""));
    CHttpClientT second;
    second.AddParam("k", "v");
    ExpectClientError([&] { RunUpload(second, silent.BaseUrl() + "/u", 1024); },
                      CHttpClientExceptionT::kNetwork);
    second.AbortUpload();
}

TEST_F(HttpClientTest, ReplyHeadersAndBodyAreReadOnDemand) {
    std::string body;
    for (int i = 0; i < 5000; ++i) {
        body += static_cast<char>('a' + i % 26);
    }
    RawHttpServer server([&](const RawHttpServer::Request&) {
        return RawHttpServer::Reply{
            RawHttpServer::Response(202, body,
                                    {{"Set-Cookie", "a=1"}, {"X-Note", "x"}, {"set-cookie", "b=2"}}),
            700};
    });
    CHttpClientT client;
    const auto response = RunUpload(client, server.BaseUrl() + "/u", 1024);
    ASSERT_TRUE(response);
    EXPECT_EQ(response->GetStatus(), 202u);
    EXPECT_EQ(response->GetHeader("SET-COOKIE", 0), "a=1");
    EXPECT_EQ(response->GetHeader("Set-Cookie", 1), "b=2");
    EXPECT_EQ(response->GetHeader("Set-Cookie", 2), std::nullopt);
    EXPECT_EQ(response->GetHeader("Missing"), std::nullopt);
    std::string read;
    char buffer[1000];
    std::size_t got = 0;
    while ((got = response->ReadContent(buffer, sizeof buffer)) > 0) {
        EXPECT_TRUE(got == sizeof buffer || read.size() + got == body.size()) << got;
        read.append(buffer, got);
    }
    EXPECT_EQ(read, body);
    EXPECT_EQ(response->ReadContent(buffer, sizeof buffer), 0u);
}

TEST_F(HttpClientTest, AFifoInPlaceOfAFileFailsAtOnce) {
    // Nobody writes to the FIFO: opening it for reading the ordinary way
    // would hold the uploading thread for ever.
    const std::string fifo = sandbox.Root() + "/crash.fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    RawHttpServer server(Answer(RawHttpServer::Response(200, "1")));
    CHttpClientT client;
    client.AddParam("file", fifo, true);
    auto start = std::async(std::launch::async, [&] {
        try {
            client.StartUpload(server.BaseUrl() + "/u");
        } catch (const CHttpClientExceptionT& error) {
            return error.ErrorCode();
        }
        return CHttpClientExceptionT::kPostContextActive;  // no error at all
    });
    if (start.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        ADD_FAILURE() << "StartUpload waits for a writer of the FIFO";
        // Lets the blocked open go on, so that the test can end.
        const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        start.wait();
        ::close(writer);
        return;
    }
    EXPECT_EQ(start.get(), CHttpClientExceptionT::kFileOpen);
    EXPECT_FALSE(client.IsUploading());
    EXPECT_EQ(server.Requests().size(), 0u);
}

TEST_F(HttpClientTest, LimitsStartAtTheirDocumentedValuesAndASilentServerEndsAStep) {
    {
        const CHttpClientT client;
        EXPECT_EQ(client.Limits().connect, std::chrono::seconds(30));
        EXPECT_EQ(client.Limits().stall, std::chrono::seconds(30));
        EXPECT_EQ(client.Limits().overall, std::chrono::minutes(10));
    }
    // Takes the request and never answers.
    RawHttpServer server([](const RawHttpServer::Request&) { return RawHttpServer::Reply{"", 0, true}; });
    CHttpClientT client;
    client.SetStallLimit(std::chrono::milliseconds(300));
    client.AddParam("k", "v");
    const auto start = std::chrono::steady_clock::now();
    ExpectClientError([&] { RunUpload(client, server.BaseUrl() + "/u", 1024); },
                      CHttpClientExceptionT::kTimeout);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(150));  // half the limit: timers may fire a little early
    EXPECT_LT(took, std::chrono::seconds(10));
    client.AbortUpload();
}

TEST_F(HttpClientTest, AReplyThatKeepsComingEndsAtTheOverallLimit) {
    // A reply byte every 20 ms: never silent for the stall limit, never done.
    vtest::TrickleServer server(std::chrono::milliseconds(20));
    CHttpClientT client;
    client.SetStallLimit(std::chrono::seconds(20));
    client.SetOverallLimit(std::chrono::milliseconds(800));
    client.AddParam("k", "v");
    const auto start = std::chrono::steady_clock::now();
    const auto response = RunUpload(client, server.BaseUrl() + "/u", 1024);
    ASSERT_TRUE(response);
    EXPECT_EQ(response->GetStatus(), 200u);
    std::string read(1000, '\0');
    ExpectClientError([&] { response->ReadContent(read.data(), read.size()); },
                      CHttpClientExceptionT::kTimeout);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_GT(server.Sent(), 0);
}

TEST_F(HttpClientTest, AFileArgumentReachedThroughALinkIsRefused) {
    RawHttpServer server(Answer(RawHttpServer::Response(200, "1")));
    const std::string target = File("other.txt", "not the file to send");
    const std::string link = sandbox.Root() + "/Error.tmp";
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    CHttpClientT client;
    client.AddParam("file", link, true);
    ExpectClientError([&] { client.StartUpload(server.BaseUrl() + "/u"); }, CHttpClientExceptionT::kFileOpen);
    EXPECT_FALSE(client.IsUploading());
    EXPECT_EQ(server.Requests().size(), 0u);
}

TEST_F(HttpClientTest, RepliesBeyondTheCapAreAFailure) {
    EXPECT_EQ(CHttpClientT().Limits().reply, 16u * 1024 * 1024);
    const std::string full(100000, 'r');
    for (const std::string& body : {full, full + "r"}) {
        RawHttpServer server(Answer(RawHttpServer::Response(200, body)));
        CHttpClientT client;
        client.SetReplyCap(full.size());
        client.AddParam("k", "v");
        const auto response = RunUpload(client, server.BaseUrl() + "/u", 1024);
        ASSERT_TRUE(response);
        std::string read(body.size(), '\0');
        if (body.size() == full.size()) {
            EXPECT_EQ(response->ReadContent(read.data(), read.size()), full.size());
            EXPECT_EQ(read, full);
        } else {
            ExpectClientError([&] { response->ReadContent(read.data(), read.size()); },
                              CHttpClientExceptionT::kReplyTooLarge);
        }
    }
}

TEST(HttpReplyHead, KeepsOnlyTheFinalReplyAndFoldsContinuations) {
    HttpReplyHead head;
    for (const char* line : {"HTTP/1.1 100 Continue\r\n", "X-Interim: yes\r\n", "\r\n"}) {
        head.AddLine(line);
    }
    EXPECT_FALSE(head.Complete());
    for (const char* line :
         {"HTTP/1.1 404 Not Found\r\n", "Content-Type:  text/html \r\n", "X-Long: one\r\n", "\t two\r\n",
          "no colon here\r\n", ": no name\r\n", "\r\n", "Trailer: late\r\n"}) {
        head.AddLine(line);
    }
    EXPECT_TRUE(head.Complete());
    EXPECT_EQ(head.Status(), 404);
    EXPECT_EQ(head.Header("content-type"), "text/html");
    EXPECT_EQ(head.Header("X-Long"), "one two");
    EXPECT_EQ(head.Header("X-Interim"), std::nullopt);
    EXPECT_EQ(head.Header("Trailer"), std::nullopt);
}

TEST(HttpReplyHead, MalformedStatusLinesGiveNoStatus) {
    for (const char* line : {"HTTP/1.1", "HTTP/1.1 2x0 OK", "HTTP/1.1 20", "HTTP/1.1 2000", "HTTP/2 200"}) {
        HttpReplyHead head;
        head.AddLine(line);
        head.AddLine("\r\n");
        const bool valid = std::string(line) == "HTTP/2 200";
        EXPECT_EQ(head.Status(), valid ? 200 : 0) << line;
        EXPECT_EQ(head.Complete(), valid) << line;
    }
}

}  // namespace
