// HTTPS trust of the request layer: certificates are verified against the
// system authorities plus the CA named by VANTO_CA_FILE.

#include <httplib.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "NetTestSupport.h"
#include "net/CCurlRequest.h"
#include "net/CCurlRequestW.h"
#include "net/TlsTrust.h"
#include "platform/os/Text.h"

namespace {

using testing::ElementsAre;
using vtest::RunProcess;

// A throw-away CA and two server certificates it signed: one for the
// loopback address, one for another name only.
struct TestPki {
    std::string caPem, serverPem, serverKey, otherPem, otherKey, strangerCaPem;
};

bool Run(const std::vector<std::string>& argv, const std::string& dir) {
    const vtest::ProcessResult result = RunProcess(argv, dir);
    if (result.exitCode != 0) {
        ADD_FAILURE() << argv[0] << " " << argv[1] << ": " << result.err;
    }
    return result.exitCode == 0;
}

bool MakeCa(const std::string& dir, const std::string& name) {
    return Run({"openssl",
                "req",
                "-x509",
                "-newkey",
                "ec",
                "-pkeyopt",
                "ec_paramgen_curve:prime256v1",
                "-nodes",
                "-keyout",
                name + ".key",
                "-out",
                name + ".pem",
                "-days",
                "2",
                "-subj",
                "/CN=" + name,
                "-addext",
                "basicConstraints=critical,CA:TRUE",
                "-addext",
                "keyUsage=critical,keyCertSign,cRLSign"},
               dir);
}

bool MakeServerCert(const std::string& dir, const std::string& name, const std::string& altNames) {
    vtest::WriteFile(dir + "/" + name + ".ext", "subjectAltName=" + altNames + "\n");
    return Run({"openssl", "req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                "-keyout", name + ".key", "-out", name + ".csr", "-subj", "/CN=" + name},
               dir) &&
           Run({"openssl", "x509", "-req", "-in", name + ".csr", "-CA", "ca.pem", "-CAkey", "ca.key",
                "-CAcreateserial", "-out", name + ".pem", "-days", "2", "-extfile", name + ".ext"},
               dir);
}

// An HTTPS server on an ephemeral loopback port answering every GET and POST.
class TlsServer {
  public:
    TlsServer(const std::string& cert, const std::string& key) : m_server(cert.c_str(), key.c_str()) {
        const auto answer = [](const httplib::Request&, httplib::Response& res) {
            res.set_content(R"({"code":1,"msg":"好"})", "application/json");
        };
        m_server.Get("/.*", answer);
        m_server.Post("/.*", answer);
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        // The socket listens from bind on; connections wait for the accept loop.
    }
    ~TlsServer() {
        // stop() only reaches a loop that has started.
        if (m_port > 0) {
            vtest::WaitFor([this] { return m_server.is_running(); });
        }
        m_server.stop();
        m_thread.join();
    }
    bool Valid() const { return m_server.is_valid() && m_port > 0; }
    std::string Url(const std::string& host = "127.0.0.1") const {
        return "https://" + host + ":" + std::to_string(m_port) + "/api/user/userinfo.html";
    }

  private:
    httplib::SSLServer m_server;
    int m_port = 0;
    std::thread m_thread;
};

class TlsTest : public nettest::NetTest {
  protected:
    void SetUp() override {
        m_dir = sandbox.Root() + "/pki";
        ASSERT_EQ(RunProcess({"mkdir", "-p", m_dir + "/stranger"}).exitCode, 0);
        ASSERT_TRUE(MakeCa(m_dir, "ca"));
        ASSERT_TRUE(MakeServerCert(m_dir, "server", "IP:127.0.0.1,DNS:localhost"));
        ASSERT_TRUE(MakeServerCert(m_dir, "other", "DNS:other.invalid"));
        ASSERT_TRUE(MakeCa(m_dir + "/stranger", "ca"));
    }
    std::string Path(const std::string& name) const { return m_dir + "/" + name; }

    std::string m_dir;
};

constexpr const char* kReply = R"({"code":1,"msg":"好"})";

TEST_F(TlsTest, AServerSignedByAnUnknownAuthorityIsRefused) {
    TlsServer server(Path("server.pem"), Path("server.key"));
    ASSERT_TRUE(server.Valid());
    for (const std::optional<std::string>& caFile :
         {std::optional<std::string>(), std::optional<std::string>(Path("stranger/ca.pem"))}) {
        sandbox.SetEnv("VANTO_CA_FILE", caFile);
        CCurlRequest request(false);
        EXPECT_EQ(request.GetWithToken(server.Url()), "");
        EXPECT_EQ(request.PostWithToken(server.Url()), "");
        CCurlRequestW wide;
        EXPECT_EQ(wide.Get(os::Utf8ToUtf16(server.Url())), u"");
    }
    // 60: the peer's certificate could not be verified.
    EXPECT_THAT(debug.Texts(),
                ElementsAre("curl_easy_perform error = 60\n", "curl_easy_perform error = 60\n",
                            "curl_easy_perform error = 60\n", "curl_easy_perform error = 60\n"));
}

TEST_F(TlsTest, TheConfiguredAuthorityIsTrusted) {
    TlsServer server(Path("server.pem"), Path("server.key"));
    ASSERT_TRUE(server.Valid());
    sandbox.SetEnv("VANTO_CA_FILE", Path("ca.pem"));
    CCurlRequest request(false);
    EXPECT_EQ(request.GetWithToken(server.Url()), kReply);
    EXPECT_EQ(request.PostWithToken(server.Url()), kReply);
    EXPECT_EQ(request.GetWithToken(server.Url("localhost")), kReply);
    EXPECT_EQ(FetchUrlText(server.Url()), kReply);
    EXPECT_TRUE(debug.Texts().empty());
}

TEST_F(TlsTest, ACertificateForAnotherNameIsRefusedEvenFromTheTrustedAuthority) {
    TlsServer server(Path("other.pem"), Path("other.key"));
    ASSERT_TRUE(server.Valid());
    sandbox.SetEnv("VANTO_CA_FILE", Path("ca.pem"));
    CCurlRequest request(false);
    EXPECT_EQ(request.GetWithToken(server.Url()), "");
    EXPECT_EQ(FetchUrlText(server.Url()), "");
    EXPECT_THAT(debug.Texts(), ElementsAre("curl_easy_perform error = 60\n"));
}

TEST_F(TlsTest, AMissingOrUnreadableCaFileAddsNothing) {
    TlsServer server(Path("server.pem"), Path("server.key"));
    ASSERT_TRUE(server.Valid());
    vtest::WriteFile(Path("garbage.pem"), "-----BEGIN CERTIFICATE-----\nnot base64 at all\n");
    for (const std::string& caFile : {Path("absent.pem"), Path("garbage.pem"), m_dir}) {
        sandbox.SetEnv("VANTO_CA_FILE", caFile);
        CCurlRequest request(false);
        EXPECT_EQ(request.GetWithToken(server.Url()), "") << caFile;
    }
}

TEST_F(TlsTest, TheCaFileIsReadAtEachRequest) {
    TlsServer server(Path("server.pem"), Path("server.key"));
    ASSERT_TRUE(server.Valid());
    sandbox.SetEnv("VANTO_CA_FILE", Path("ca.pem"));
    EXPECT_EQ(ExtraCaFile(), Path("ca.pem"));
    EXPECT_EQ(FetchUrlText(server.Url()), kReply);
    sandbox.SetEnv("VANTO_CA_FILE", std::nullopt);
    EXPECT_EQ(ExtraCaFile(), "");
    EXPECT_EQ(FetchUrlText(server.Url()), "");
}

}  // namespace
