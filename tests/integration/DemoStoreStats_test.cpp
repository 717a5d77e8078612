// The statistics host of the demo store: encrypted usage reports (decrypted,
// checked, kept, answered "1" or "0") and the crash-file upload (the
// client's exact multipart form, kept, answered "1" as text/plain).

#include <gtest/gtest.h>

#include <filesystem>

#include "DemoStoreCalls.h"

namespace vtest {
namespace {

// The report key as hexadecimal, for the openssl program.
constexpr char kKeyHex[] = "546d39244c7023343137234445 4c5441";

// An action report in the styled layout: members sorted, three-space indent.
std::string StyledReport(const std::string& typeId = "3", const std::string& extra = "") {
    return "{\n   \"AdId\" : 1234,\n   \"AppApiId\" : 2002,\n   \"AppId\" : 34,\n   \"ChannelCode\" : "
           "\"0\",\n" +
           extra +
           "   \"MachineCode\" : \"0123456789ABCDEF\",\n   \"Os\" : \"windows10\",\n   \"OsBit\" : 64,\n"
           "   \"TypeId\" : " +
           typeId + ",\n   \"Version\" : \"1.0.0\"\n}\n";
}

std::string Encrypt(const std::string& text, const std::string& keyHex = kKeyHex, bool oneLine = true) {
    std::string key = keyHex;
    key.erase(std::remove(key.begin(), key.end(), ' '), key.end());
    std::vector<std::string> args = {"openssl", "enc", "-aes-128-ecb", "-K", key, "-base64"};
    if (oneLine) {
        args.push_back("-A");
    }
    return RunProcess(args, {}, text).out;
}

class DemoStoreStatsTest : public SandboxTest {
  protected:
    DemoStore store{sandbox};

    ProcessResult PostReport(const std::string& body,
                             const std::string& type = "application/x-www-form-urlencoded") {
        return Curl(
            {"-H", "Content-Type: " + type, "--data-binary", body, store.BaseUrl("stats") + "/action.ashx"});
    }

    // POSTs a multipart body the way the client does; -i keeps the reply's head.
    ProcessResult PostUpload(const std::string& boundary, const std::string& body,
                             const std::string& query = "?aid=34&v=1.0.0&os=windows10",
                             std::vector<std::string> extra = {}) {
        const std::string file = sandbox.Root() + "/upload-body";
        WriteFile(file, body);
        std::vector<std::string> args = {"-i", "-H",
                                         "Content-Type: multipart/form-data; boundary=" + boundary,
                                         "--data-binary", "@" + file};
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back(store.BaseUrl("stats") + "/errorfile.ashx" + query);
        return Curl(args);
    }
};

constexpr char kBoundary[] = "----QBRAX-0f1e2d3c4b5a69788796a5b4c3d2e1f0-";

std::string FilePart(const std::string& boundary, const std::string& path, const std::string& type,
                     const std::string& data, const std::string& name = "file") {
    return "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + name + "\"; filename=\"" + path +
           "\"\r\nContent-Type: " + type + "\r\n\r\n" + data + "\r\n";
}

std::string Closing(const std::string& boundary) {
    return "--" + boundary + "--\r\n";
}

std::string ReplyBody(const std::string& reply) {
    return reply.substr(reply.find("\r\n\r\n") + 4);
}

TEST_F(DemoStoreStatsTest, AWellFormedReportIsDecryptedKeptAndAnsweredOne) {
    ASSERT_TRUE(store.Started());
    const std::string body = Encrypt(StyledReport());
    ASSERT_FALSE(body.empty());
    ASSERT_EQ(body.find('\n'), std::string::npos);
    const ProcessResult reply = PostReport(body);
    EXPECT_EQ(reply.exitCode, 0);
    EXPECT_EQ(reply.out, "1");

    const Json::Value reports = store.Reports();
    ASSERT_EQ(reports.size(), 1u);
    const Json::Value& report = reports[0];
    EXPECT_TRUE(report["accepted"].asBool()) << report["reason"].asString();
    EXPECT_TRUE(report["styled"].asBool());
    EXPECT_EQ(report["text"].asString(), StyledReport());
    EXPECT_EQ(report["members"]["TypeId"].asInt(), 3);
    EXPECT_EQ(report["members"]["AdId"].asInt(), 1234);
    EXPECT_EQ(report["members"]["MachineCode"].asString(), "0123456789ABCDEF");
    EXPECT_EQ(report["body"].asString(), body);
    // Kept in the data folder as well.
    const std::string file = report["file"].asString();
    ASSERT_EQ(file.rfind(store.DataDir() + "/reports/", 0), 0u) << file;
    EXPECT_EQ(ParseJsonText(ReadFile(file))["text"].asString(), StyledReport());
}

TEST_F(DemoStoreStatsTest, ReportsThatAreNotExactlyTheClientsAreAnsweredZero) {
    ASSERT_TRUE(store.Started());
    std::string compact = StyledReport();
    compact.erase(std::remove(compact.begin(), compact.end(), '\n'), compact.end());
    std::string noOs = StyledReport();
    noOs.replace(noOs.find("   \"Os\""), std::string("   \"Os\" : \"windows10\",\n").size(), "");
    std::string shortMachine = StyledReport();
    shortMachine.replace(shortMachine.find("0123456789ABCDEF"), 16, "0123456789ABCDE");
    std::string negativeAdId = StyledReport();
    negativeAdId.replace(negativeAdId.find("1234"), 4, "-1");
    std::string textOsBit = StyledReport();
    textOsBit.replace(textOsBit.find("64"), 2, "\"64\"");
    const std::vector<std::pair<std::string, std::string>> bodies = {
        {"compact JSON", Encrypt(compact)},
        {"member missing", Encrypt(noOs)},
        {"member too many", Encrypt(StyledReport("3", "   \"Extra\" : 1,\n"))},
        {"unknown type", Encrypt(StyledReport("9"))},
        {"machine code of 15", Encrypt(shortMachine)},
        {"negative AdId", Encrypt(negativeAdId)},
        {"OsBit as text", Encrypt(textOsBit)},
        {"another key", Encrypt(StyledReport(), "00112233445566778899aabbccddeeff")},
        {"Base64 in lines", Encrypt(StyledReport(), kKeyHex, false)},
        {"not Base64", "%%%%"},
        {"empty", ""},
    };
    for (const auto& [what, body] : bodies) {
        EXPECT_EQ(PostReport(body).out, "0") << what;
    }
    // The right body with another content type.
    EXPECT_EQ(PostReport(Encrypt(StyledReport()), "application/json").out, "0");
    const Json::Value reports = store.Reports();
    ASSERT_EQ(reports.size(), bodies.size() + 1);
    for (const Json::Value& report : reports) {
        EXPECT_FALSE(report["accepted"].asBool());
        EXPECT_FALSE(report["reason"].asString().empty());
    }
    // The compact text did decrypt and parse; only its layout is wrong.
    EXPECT_EQ(reports[0]["text"].asString(), compact);
    EXPECT_FALSE(reports[0]["styled"].asBool());
}

TEST_F(DemoStoreStatsTest, TheClientsUploadIsKeptByteForByteAndAnsweredOneAsText) {
    ASSERT_TRUE(store.Started());
    // Bytes that could confuse a reader: NULs, line ends, dashes, half a boundary.
    std::string data = std::string("MDMP\0\0\x01\x02\r\n--", 12) + "----QBRAX-0f1e\r\n\r\n";
    for (int i = 0; i < 3000; ++i) {
        data += static_cast<char>(i * 7);
    }
    const std::string path = "/home/user/.config/vanto/Error.tmp";
    const ProcessResult reply = PostUpload(
        kBoundary, FilePart(kBoundary, path, "application/octet-stream", data) + Closing(kBoundary));
    EXPECT_EQ(reply.exitCode, 0);
    EXPECT_EQ(ReplyBody(reply.out), "1");
    EXPECT_NE(reply.out.find("Content-Type: text/plain"), std::string::npos) << reply.out;

    const Json::Value uploads = store.Uploads();
    ASSERT_EQ(uploads.size(), 1u);
    const Json::Value& upload = uploads[0];
    EXPECT_TRUE(upload["accepted"].asBool()) << upload["reason"].asString();
    EXPECT_EQ(upload["file_name"].asString(), path);
    EXPECT_EQ(upload["content_type"].asString(), "application/octet-stream");
    EXPECT_EQ(upload["size"].asUInt(), data.size());
    EXPECT_EQ(upload["query"]["aid"].asString(), "34");
    EXPECT_EQ(upload["query"]["v"].asString(), "1.0.0");
    EXPECT_EQ(upload["query"]["os"].asString(), "windows10");
    EXPECT_EQ(ReadFile(upload["stored"].asString()), data);
    // The request itself is recorded with its multipart type.
    const Json::Value requests = store.Requests("stats");
    ASSERT_EQ(requests.size(), 1u);
    bool typeSeen = false;
    for (const Json::Value& header : requests[0]["headers"]) {
        typeSeen =
            typeSeen || (header[0].asString() == "Content-Type" &&
                         header[1].asString() == std::string("multipart/form-data; boundary=") + kBoundary);
    }
    EXPECT_TRUE(typeSeen);
}

TEST_F(DemoStoreStatsTest, AnEmptyFileIsAccepted) {
    ASSERT_TRUE(store.Started());
    const ProcessResult reply =
        PostUpload(kBoundary, FilePart(kBoundary, "C:\\Error.tmp", "text/plain", "") + Closing(kBoundary));
    EXPECT_EQ(ReplyBody(reply.out), "1");
    const Json::Value upload = store.Uploads()[0];
    EXPECT_EQ(upload["size"].asUInt(), 0u);
    EXPECT_TRUE(Exists(upload["stored"].asString()));
    // The stored copy is named after the last part of the path, inside the uploads folder.
    EXPECT_EQ(std::filesystem::path(upload["stored"].asString()).parent_path(), store.DataDir() + "/uploads");
}

TEST_F(DemoStoreStatsTest, UploadsThatDepartFromTheClientsFormAreAnsweredZero) {
    ASSERT_TRUE(store.Started());
    const std::string part = FilePart(kBoundary, "/tmp/Error.tmp", "application/octet-stream", "data");
    std::string upper = kBoundary;
    std::transform(upper.begin() + 10, upper.end(), upper.begin() + 10, ::toupper);
    const std::string shortBoundary = "----QBRAX-0f1e2d3c-";
    const std::vector<std::pair<std::string, ProcessResult>> cases = {
        {"no closing line end", PostUpload(kBoundary, part + "--" + kBoundary + "--")},
        {"cut before the closing line", PostUpload(kBoundary, part)},
        {"two files", PostUpload(kBoundary, part + part + Closing(kBoundary))},
        {"another field name",
         PostUpload(kBoundary,
                    FilePart(kBoundary, "/tmp/e", "text/plain", "x", "upload") + Closing(kBoundary))},
        {"no parts", PostUpload(kBoundary, "\r\n" + Closing(kBoundary))},
        {"upper-case boundary",
         PostUpload(upper, FilePart(upper, "/tmp/e", "text/plain", "x") + Closing(upper))},
        {"short boundary", PostUpload(shortBoundary, FilePart(shortBoundary, "/tmp/e", "text/plain", "x") +
                                                         Closing(shortBoundary))},
        {"no query", PostUpload(kBoundary, part + Closing(kBoundary), "")},
        {"aid not a number", PostUpload(kBoundary, part + Closing(kBoundary), "?aid=x&v=1&os=w")},
        {"query out of order", PostUpload(kBoundary, part + Closing(kBoundary), "?v=1&aid=34&os=w")},
        {"no length", PostUpload(kBoundary, part + Closing(kBoundary), "?aid=34&v=1.0.0&os=windows10",
                                 {"-H", "Transfer-Encoding: chunked"})},
    };
    for (const auto& [what, reply] : cases) {
        EXPECT_EQ(ReplyBody(reply.out), "0") << what << "\n" << reply.out;
    }
    // curl's own form upload has another boundary.
    const std::string file = sandbox.Root() + "/Error.tmp";
    WriteFile(file, "crash");
    EXPECT_EQ(Curl({"-F", "file=@" + file, store.BaseUrl("stats") + "/errorfile.ashx?aid=34&v=1&os=w"}).out,
              "0");

    const Json::Value uploads = store.Uploads();
    ASSERT_EQ(uploads.size(), cases.size() + 1);
    for (const Json::Value& upload : uploads) {
        EXPECT_FALSE(upload["accepted"].asBool());
        EXPECT_FALSE(upload["reason"].asString().empty());
        EXPECT_FALSE(upload.isMember("stored"));
    }
    EXPECT_FALSE(Exists(store.DataDir() + "/uploads"));
}

}  // namespace
}  // namespace vtest
