#include "stats/StatsReporter.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "config/Settings.h"
#include "diag/CrashCapture.h"
#include "platform/os/Registry.h"
#include "stats/ErrorFile.h"
#include "stats/ReportCipher.h"
#include "support/RawHttpServer.h"
#include "support/Sandbox.h"

namespace {

using vtest::RawHttpServer;

RawHttpServer::Handler Answer(std::string bytes) {
    return [bytes](const RawHttpServer::Request&) { return RawHttpServer::Reply{bytes}; };
}

std::string Hex(std::string_view bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

// Decrypts a report body with the openssl command-line tool, an
// implementation independent of the client's.
std::string DecryptWithOpenssl(const std::string& base64) {
    const vtest::ProcessResult result = vtest::RunProcess(
        {"openssl", "enc", "-d", "-aes-128-ecb", "-K", Hex(report_cipher::kReportKey), "-a", "-A"}, {},
        base64);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    return result.out;
}

class StatsReporterTest : public vtest::SandboxTest {
  protected:
    void Configure(CStatsReporter& reporter, const std::string& host) {
        reporter.SetHost(host);
        reporter.SetAppId(34);
        reporter.SetAppApiId(2002);
        reporter.SetOs("windows10");
        reporter.SetChannelCode("0");
        reporter.SetVersion("1.2.3");
        reporter.SetMachineCode("0123456789ABCDEF");
        reporter.SetOsBit(64);
    }
    CStatsReporter reporter;
};

TEST_F(StatsReporterTest, ActionReportIsTheStyledDocumentSortedByName) {
    Configure(reporter, "127.0.0.1:1");
    reporter.SetChannelCode("1007");
    EXPECT_EQ(reporter.BuildActionReport(3),
              "{\n"
              "   \"AdId\" : 0,\n"
              "   \"AppApiId\" : 2002,\n"
              "   \"AppId\" : 34,\n"
              "   \"ChannelCode\" : \"1007\",\n"
              "   \"MachineCode\" : \"0123456789ABCDEF\",\n"
              "   \"Os\" : \"windows10\",\n"
              "   \"OsBit\" : 64,\n"
              "   \"TypeId\" : 3,\n"
              "   \"Version\" : \"1.2.3\"\n"
              "}\n");
}

TEST_F(StatsReporterTest, AdIdIsTheLeadingNumberOfTheStoredValue) {
    Configure(reporter, "127.0.0.1:1");
    const auto adIdLine = [&] {
        const std::string report = reporter.BuildActionReport(1);
        const std::size_t start = report.find("\"AdId\"");
        return report.substr(start, report.find('\n', start) - start);
    };
    EXPECT_EQ(adIdLine(), "\"AdId\" : 0,");
    // No fallback to the installer name, and nothing is stored on the way.
    ASSERT_TRUE(
        os::RegSetString(HKEY_LOCAL_MACHINE, settings::kClientKey, settings::kInstallerName, "Setup_77.exe"));
    EXPECT_EQ(adIdLine(), "\"AdId\" : 0,");
    EXPECT_FALSE(os::RegValueExists(HKEY_CURRENT_USER, settings::kClientKey, settings::kAdId));
    ASSERT_TRUE(os::RegSetString(HKEY_CURRENT_USER, settings::kClientKey, settings::kAdId, "1234"));
    EXPECT_EQ(adIdLine(), "\"AdId\" : 1234,");
    ASSERT_TRUE(os::RegSetString(HKEY_CURRENT_USER, settings::kClientKey, settings::kAdId, "12ab"));
    EXPECT_EQ(adIdLine(), "\"AdId\" : 12,");
}

TEST_F(StatsReporterTest, SendActionPostsTheEncryptedReportAsAForm) {
    RawHttpServer server(Answer(RawHttpServer::Response(200, "1")));
    Configure(reporter, server.HostPort());
    ASSERT_TRUE(reporter.SendAction(CStatsReporter::kActionUninstall));
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    const RawHttpServer::Request& request = requests[0];
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.target, "/action.ashx");
    EXPECT_EQ(request.Header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(request.body, reporter.Body());
    EXPECT_EQ(request.body.find_first_of("\r\n"), std::string::npos);
    EXPECT_EQ(DecryptWithOpenssl(request.body), reporter.BuildActionReport(2));
}

TEST_F(StatsReporterTest, ActionReportAcceptedWhenReplyReadsAsAtLeastOne) {
    struct Case {
        std::string reply;
        bool accepted;
    };
    const Case cases[] = {
        {RawHttpServer::Response(200, "1"), true},
        {RawHttpServer::Response(200, "17"), true},
        {RawHttpServer::Response(200, "1ok"), true},
        {RawHttpServer::Response(500, "1"), true},  // only the text counts
        {RawHttpServer::Response(200, "0"), false},
        {RawHttpServer::Response(200, ""), false},
        {RawHttpServer::Response(200, "ok"), false},
        {RawHttpServer::Response(200, "-1"), false},
        {RawHttpServer::Response(200, "1", {}, false), false},  // no length: the reply is not read
        {RawHttpServer::ChunkedResponse(200, {"1"}), false},
        {"", false},  // closed without an answer
    };
    for (const Case& c : cases) {
        RawHttpServer server(Answer(c.reply));
        Configure(reporter, server.HostPort());
        EXPECT_EQ(reporter.SendAction(CStatsReporter::kActionUpdateCheck), c.accepted) << c.reply;
    }
}

TEST_F(StatsReporterTest, ActionReportRefusedWhenTheServiceIsAway) {
    std::string hostPort;
    {
        RawHttpServer gone(Answer(""));
        hostPort = gone.HostPort();
    }
    Configure(reporter, hostPort);
    EXPECT_FALSE(reporter.SendAction(CStatsReporter::kActionInstall));
    // The body was still built.
    EXPECT_EQ(DecryptWithOpenssl(reporter.Body()), reporter.BuildActionReport(1));
}

TEST_F(StatsReporterTest, ReportsFromTwoThreadsEachArriveWhole) {
    RawHttpServer server(Answer(RawHttpServer::Response(200, "1")));
    Configure(reporter, server.HostPort());
    bool first = false;
    bool second = false;
    std::thread a([&] { first = reporter.SendAction(3); });
    std::thread b([&] { second = reporter.SendAction(4); });
    a.join();
    b.join();
    EXPECT_TRUE(first);
    EXPECT_TRUE(second);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    std::vector<std::string> texts = {DecryptWithOpenssl(requests[0].body),
                                      DecryptWithOpenssl(requests[1].body)};
    std::sort(texts.begin(), texts.end());
    std::vector<std::string> expected = {reporter.BuildActionReport(3), reporter.BuildActionReport(4)};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(texts, expected);
}

TEST_F(StatsReporterTest, GettersDoNotWaitForAReportOnItsWay) {
    // The service takes the report and keeps the connection open, silent,
    // until the server stops.
    std::optional<RawHttpServer> server(std::in_place, [](const RawHttpServer::Request&) {
        return RawHttpServer::Reply{"", 0, true};
    });
    Configure(reporter, server->HostPort());
    auto report = std::async(std::launch::async, [&] { return reporter.SendAction(3); });
    ASSERT_TRUE(server->WaitForRequests(1));
    // What the UI thread does while the report waits for its answer.
    auto read = std::async(std::launch::async, [&] {
        reporter.SetVersion("1.2.4");
        return reporter.Version() + " " + std::to_string(reporter.AppId()) + " " + reporter.ChannelCode() +
               " " + std::to_string(reporter.Body().size());
    });
    EXPECT_EQ(read.wait_for(std::chrono::seconds(10)), std::future_status::ready)
        << "a getter waited for the network";
    server.reset();  // ends the exchange without an answer
    EXPECT_FALSE(report.get());
    EXPECT_EQ(read.get(), "1.2.4 34 0 " + std::to_string(reporter.Body().size()));
    EXPECT_FALSE(reporter.Body().empty());
}

TEST(ReportCipher, AesMatchesTheFips197KnownAnswer) {
    const std::string keyBytes("\x00\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c\x0d\x0e\x0f", 16);
    const std::string plain("\x00\x11\x22\x33\x44\x55\x66\x77\x88\x99\xaa\xbb\xcc\xdd\xee\xff", 16);
    const std::string cipher = report_cipher::AesEcbEncrypt(keyBytes, plain);
    ASSERT_EQ(cipher.size(), 32u);
    EXPECT_EQ(Hex(cipher.substr(0, 16)), "69c4e0d86a7b0430d8cdb78070b4c55a");
    // The second block is a whole block of padding: what an empty text gives.
    EXPECT_EQ(cipher.substr(16), report_cipher::AesEcbEncrypt(keyBytes, ""));
    EXPECT_EQ(report_cipher::AesEcbEncrypt("short key", plain), "");
}

TEST(ReportCipher, Base64IsStandardOnOneLine) {
    EXPECT_EQ(report_cipher::Base64Encode(""), "");
    EXPECT_EQ(report_cipher::Base64Encode("f"), "Zg==");
    EXPECT_EQ(report_cipher::Base64Encode("fo"), "Zm8=");
    EXPECT_EQ(report_cipher::Base64Encode("foo"), "Zm9v");
    EXPECT_EQ(report_cipher::Base64Encode("foobar"), "Zm9vYmFy");
    EXPECT_EQ(report_cipher::Base64Encode("\xfb\xff\xbf"), "+/+/");
    const std::string longText = report_cipher::Base64Encode(std::string(300, 'x'));
    EXPECT_EQ(longText.size(), 400u);
    EXPECT_EQ(longText.find('\n'), std::string::npos);
}

TEST(EncodeReportBody, SixteenByteJsonTextGivesFortyFourCharacters) {
    const std::string text = "{\"TypeId\" : 12}\n";
    ASSERT_EQ(text.size(), 16u);
    const std::string body = CStatsReporter::EncodeReportBody(text);
    EXPECT_EQ(body.size(), 44u);
    EXPECT_EQ(body.back(), '=');
    EXPECT_EQ(DecryptWithOpenssl(body), text);
    EXPECT_EQ(CStatsReporter::EncodeReportBody("").size(), 24u);
}

// The error-file upload.

class ErrorFileUploadTest : public StatsReporterTest {
  protected:
    std::string MakeCrashFile(const std::string& bytes) {
        const std::string path = sandbox.UserDataFolder() + "/Error.tmp";
        vtest::WriteFile(path, bytes);
        return path;
    }
};

TEST_F(ErrorFileUploadTest, UploadsTheFileToTheErrorPageWithTheIdentityInTheAddress) {
    RawHttpServer server(Answer(RawHttpServer::Response(200, "1", {{"Content-Type", "text/plain"}})));
    Configure(reporter, server.HostPort());
    const std::string path = MakeCrashFile(std::string(3000, '\x7f'));
    ASSERT_TRUE(reporter.UploadErrorFile(path));
    EXPECT_EQ(reporter.ErrorFilePath(), path);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].target, "/errorfile.ashx?aid=34&v=1.2.3&os=windows10");
    EXPECT_NE(
        requests[0].body.find("Content-Disposition: form-data; name=\"file\"; filename=\"" + path + "\"\r\n"),
        std::string::npos);
    EXPECT_NE(requests[0].body.find(std::string(3000, '\x7f') + "\r\n"), std::string::npos);
}

TEST_F(ErrorFileUploadTest, AcceptedOnlyForStatus200TextTypeAndBodyOne) {
    struct Case {
        const char* name;
        std::string reply;
        bool accepted;
    };
    using Headers = std::vector<std::pair<std::string, std::string>>;
    const Headers html = {{"Content-Type", "TEXT/HTML; charset=gb2312"}};
    const Case cases[] = {
        {"text/html with charset", RawHttpServer::Response(200, "1", html), true},
        {"chunked", RawHttpServer::ChunkedResponse(200, {"1"}, html), true},
        {"one and a line break", RawHttpServer::Response(200, "1\r\n", html), false},
        {"one and a newline", RawHttpServer::Response(200, "1\n", html), false},
        {"status 201", RawHttpServer::Response(201, "1", html), false},
        {"status 500", RawHttpServer::Response(500, "1", html), false},
        {"not a text type", RawHttpServer::Response(200, "1", {{"Content-Type", "application/json"}}), false},
        {"no content type", RawHttpServer::Response(200, "1"), false},
        {"short type", RawHttpServer::Response(200, "1", {{"Content-Type", "text"}}), false},
        {"zero", RawHttpServer::Response(200, "0", html), false},
        {"seventeen", RawHttpServer::Response(200, "17", html), false},
        {"empty", RawHttpServer::Response(200, "", html), false},
        {"closed without answer", "", false},
    };
    const std::string path = MakeCrashFile("dump");
    for (const Case& c : cases) {
        RawHttpServer server(Answer(c.reply));
        Configure(reporter, server.HostPort());
        EXPECT_EQ(reporter.UploadErrorFile(path), c.accepted) << c.name;
    }
}

TEST_F(ErrorFileUploadTest, MissingFileIsRefusedWithoutARequest) {
    RawHttpServer server(Answer(RawHttpServer::Response(200, "1", {{"Content-Type", "text/plain"}})));
    Configure(reporter, server.HostPort());
    EXPECT_FALSE(reporter.UploadErrorFile(sandbox.UserDataFolder() + "/missing.tmp"));
    EXPECT_FALSE(reporter.UploadErrorFile(sandbox.UserDataFolder()));
    EXPECT_EQ(server.Requests().size(), 0u);
}

TEST_F(ErrorFileUploadTest, HandOverSendsOnlyFilesOfOneByteToTwoMebibytesAndDeletesAccepted) {
    RawHttpServer server(Answer(RawHttpServer::Response(200, "1", {{"Content-Type", "text/plain"}})));
    Configure(reporter, server.HostPort());
    const std::string path = sandbox.UserDataFolder() + "/Error.tmp";

    vtest::WriteFile(path, "");
    EXPECT_FALSE(HandOverErrorFile(reporter, path));
    EXPECT_TRUE(vtest::Exists(path));

    vtest::WriteFile(path, std::string(kMaxUploadableCrashFile + 1, 'x'));
    EXPECT_FALSE(HandOverErrorFile(reporter, path));
    EXPECT_TRUE(vtest::Exists(path));
    EXPECT_EQ(server.Requests().size(), 0u);

    vtest::WriteFile(path, std::string(kMaxUploadableCrashFile, 'x'));
    EXPECT_TRUE(HandOverErrorFile(reporter, path));
    EXPECT_FALSE(vtest::Exists(path));
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_GT(server.Requests()[0].body.size(), kMaxUploadableCrashFile);

    vtest::WriteFile(path, "x");
    EXPECT_TRUE(IsUploadableCrashFile(path));
    EXPECT_FALSE(IsUploadableCrashFile(sandbox.UserDataFolder()));
}

TEST_F(ErrorFileUploadTest, RefusedFileStaysOnDisk) {
    RawHttpServer server(Answer(RawHttpServer::Response(200, "0", {{"Content-Type", "text/plain"}})));
    Configure(reporter, server.HostPort());
    const std::string path = MakeCrashFile("dump");
    EXPECT_FALSE(HandOverErrorFile(reporter, path));
    EXPECT_EQ(vtest::ReadFile(path), "dump");
}

}  // namespace
