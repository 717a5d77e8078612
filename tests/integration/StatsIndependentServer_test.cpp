// The form post and the upload client against an independent HTTP server:
// Python's own HTTP server with a form parser of its own, started by the test.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <json/json.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "net/PostForm.h"
#include "stats/HttpClientT.h"
#include "support/Sandbox.h"

namespace {

// Runs StatsFormServer.py in the background for the test's lifetime.
class PythonFormServer {
  public:
    explicit PythonFormServer(std::string outDir) : m_outDir(std::move(outDir)) {
        ::mkdir(m_outDir.c_str(), 0700);
        const std::string script = VANTO_SOURCE_DIR "/tests/integration/StatsFormServer.py";
        m_pid = ::fork();
        if (m_pid == 0) {
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 1);
            ::dup2(null, 2);
            ::execlp("python3", "python3", script.c_str(), m_outDir.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        if (vtest::WaitFor([&] { return vtest::Exists(m_outDir + "/port"); })) {
            m_hostPort = "127.0.0.1:" + vtest::ReadFile(m_outDir + "/port");
        }
    }
    ~PythonFormServer() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    PythonFormServer(const PythonFormServer&) = delete;
    PythonFormServer& operator=(const PythonFormServer&) = delete;

    // Empty when the server did not come up.
    const std::string& HostPort() const { return m_hostPort; }

    // The record of the n-th POST, waiting (with a deadline) for it.
    Json::Value Record(int n) const {
        const std::string path = m_outDir + "/" + std::to_string(n) + ".json";
        Json::Value record;
        if (vtest::WaitFor([&] { return vtest::Exists(path); })) {
            Json::Reader().parse(vtest::ReadFile(path), record);
        }
        return record;
    }
    std::string Saved(int n, const std::string& what) const {
        return vtest::ReadFile(m_outDir + "/" + std::to_string(n) + "." + what);
    }

  private:
    std::string m_outDir;
    std::string m_hostPort;
    pid_t m_pid = -1;
};

class StatsIndependentServerTest : public vtest::SandboxTest {
  protected:
    void SetUp() override { ASSERT_FALSE(server.HostPort().empty()) << "python3 server did not start"; }
    PythonFormServer server{sandbox.Root() + "/python-server"};
};

TEST_F(StatsIndependentServerTest, FormPostBodyArrivesUnchanged) {
    const std::string body = "a=1&b=%20&c=\xe4\xbd\xa0";
    std::string reply;
    ASSERT_TRUE(
        PostForm("http://" + server.HostPort() + "/any/page?q=1", body.data(), body.size(), &reply, true));
    EXPECT_EQ(reply, "1");
    EXPECT_EQ(server.Record(0)["path"].asString(), "/any/page?q=1");
    EXPECT_EQ(server.Saved(0, "body"), body);
    // Python's form decoding reads the same pairs.
    const Json::Value form = server.Record(0)["form"];
    ASSERT_EQ(form.size(), 3u);
    EXPECT_EQ(form[1][0].asString(), "b");
    EXPECT_EQ(form[1][1].asString(), " ");
    EXPECT_EQ(form[2][1].asString(), "\xe4\xbd\xa0");
}

TEST_F(StatsIndependentServerTest, MultipartUploadIsParsedByAnIndependentFormParser) {
    // Bytes that look like the format's own markers must pass untouched.
    std::string bytes = "--\r\n--" + std::string(100, '-') + "\r\n\r\nContent-Disposition: x\r\n";
    for (int i = 0; i < 3000; ++i) {
        bytes += static_cast<char>(i * 13);
    }
    const std::string path = sandbox.Root() + "/crash dump.tmp";
    vtest::WriteFile(path, bytes);
    CHttpClientT client;
    client.AddParam("comment", "text value");
    client.AddParam("file", path, true);
    client.StartUpload("http://" + server.HostPort() + "/errorfile.ashx?aid=34&v=1&os=");
    std::unique_ptr<CHttpResponseT> response;
    while (!(response = client.SendNextChunk(1024))) {
    }
    EXPECT_EQ(response->GetStatus(), 200u);
    const Json::Value record = server.Record(0);
    ASSERT_EQ(record["parts"].size(), 2u);
    EXPECT_EQ(record["parts"][0]["name"].asString(), "comment");
    EXPECT_EQ(server.Saved(0, "comment"), "text value");
    EXPECT_EQ(record["parts"][1]["name"].asString(), "file");
    EXPECT_EQ(record["parts"][1]["filename"].asString(), path);
    EXPECT_EQ(record["parts"][1]["type"].asString(), "application/octet-stream");
    EXPECT_EQ(server.Saved(0, "file"), bytes);
}

}  // namespace
