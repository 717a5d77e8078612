// Starting the demo store: its command line, ports.env, its certificates
// (made once, kept, replaced when unusable), HTTPS with and without its CA,
// and the starts it refuses.

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "DemoStoreCalls.h"

namespace vtest {
namespace {

std::string Program() {
    char self[4096];
    const ssize_t size = readlink("/proc/self/exe", self, sizeof self - 1);
    const std::string path(self, static_cast<std::size_t>(std::max<ssize_t>(size, 0)));
    return path.substr(0, path.rfind('/')) + "/../bin/demo-store";
}

mode_t Mode(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? (st.st_mode & 0777) : 0;
}

class DemoStoreStartTest : public SandboxTest {};

TEST_F(DemoStoreStartTest, PortsEnvNamesEveryServiceTheCaAndTheAdmin) {
    DemoStore store(sandbox);
    ASSERT_TRUE(store.Started());
    const std::string ports = ReadFile(store.DataDir() + "/ports.env");
    const std::vector<std::string> names = {
        "VANTO_STORE_HOST",        "VANTO_CLIENT_PAGE_HOST", "VANTO_UPDATE_HOST",
        "VANTO_TOOLBOX_HOST",      "VANTO_STATS_HOST",       "VANTO_FEEDBACK_PAGE_HOST",
        "VANTO_SERVICE_PAGE_HOST", "VANTO_CA_FILE",          "VANTO_DEMO_ADMIN"};
    std::string expected;
    std::set<int> distinct;
    for (const std::string& name : names) {
        const std::string value = store.Env(name);
        ASSERT_FALSE(value.empty()) << name;
        expected += name + "=" + value + "\n";
        if (name != "VANTO_CA_FILE") {
            ASSERT_EQ(value.rfind("127.0.0.1:", 0), 0u) << value;
            distinct.insert(std::stoi(value.substr(10)));
        }
        // The sandbox's environment points the client at the store.
        EXPECT_STREQ(std::getenv(name.c_str()), value.c_str());
    }
    EXPECT_EQ(ports, expected);
    EXPECT_EQ(distinct.size(), 8u);
    EXPECT_EQ(store.CaFile(), store.DataDir() + "/ca.pem");
    // The same lines were printed.
    EXPECT_EQ(store.Output().rfind(expected, 0), 0u) << store.Output();
    // The admin interface reports the same ports.
    const Json::Value info = store.AdminGet("/");
    EXPECT_EQ(info["ports"]["store"].asInt(), store.Port("store"));
    EXPECT_EQ(info["ports"]["service"].asInt(), store.Port("service"));
    EXPECT_EQ(info["data"].asString(), store.DataDir());

    EXPECT_EQ(store.Stop(), 0);
    EXPECT_FALSE(Exists(store.DataDir() + "/ports.env"));
}

TEST_F(DemoStoreStartTest, HttpsIsTrustedThroughTheStoresCaOnly) {
    DemoStore store(sandbox);
    ASSERT_TRUE(store.Started());
    const std::string port = std::to_string(store.Port("store"));
    for (const std::string host : {"127.0.0.1", "localhost"}) {
        const ProcessResult trusted = Curl({"--cacert", store.CaFile(), "-o", "/dev/null", "-w",
                                            "%{http_code}", "https://" + host + ":" + port + "/help/6.html"});
        EXPECT_EQ(trusted.exitCode, 0) << host << trusted.err;
        EXPECT_EQ(trusted.out, "200") << host;
    }
    // Without the CA the certificate is not trusted (CURLE_PEER_FAILED_VERIFICATION).
    EXPECT_EQ(Curl({"-o", "/dev/null", "https://127.0.0.1:" + port + "/help/6.html"}).exitCode, 60);
    // The other hosts speak plain HTTP.
    EXPECT_EQ(Curl({"-o", "/dev/null", "-w", "%{http_code}",
                    store.BaseUrl("service") + "/swordfish.html?product_id=2002"})
                  .out,
              "200");

    // openssl agrees: signed by the CA, for 127.0.0.1 and localhost, a server certificate.
    const ProcessResult verify = RunProcess({"openssl", "verify", "-CAfile", store.CaFile(), "-verify_ip",
                                             "127.0.0.1", "-verify_hostname", "localhost", "-purpose",
                                             "sslserver", store.DataDir() + "/server.pem"});
    EXPECT_EQ(verify.exitCode, 0) << verify.out << verify.err;
    // Private keys are for the owner only.
    EXPECT_EQ(Mode(store.DataDir() + "/ca-key.pem"), 0600u);
    EXPECT_EQ(Mode(store.DataDir() + "/server-key.pem"), 0600u);
}

TEST_F(DemoStoreStartTest, CertificatesAreKeptAndReplacedOnlyWhenUnusable) {
    const std::string dir = sandbox.Root() + "/data";
    std::string ca, server;
    {
        DemoStore first(sandbox, dir);
        ASSERT_TRUE(first.Started());
        ca = ReadFile(dir + "/ca.pem");
        server = ReadFile(dir + "/server.pem");
    }
    {
        DemoStore second(sandbox, dir);
        ASSERT_TRUE(second.Started());
        EXPECT_EQ(ReadFile(dir + "/ca.pem"), ca);
        EXPECT_EQ(ReadFile(dir + "/server.pem"), server);
    }
    // A lost server certificate is made again under the same CA.
    std::filesystem::remove(dir + "/server.pem");
    {
        DemoStore third(sandbox, dir);
        ASSERT_TRUE(third.Started());
        EXPECT_EQ(ReadFile(dir + "/ca.pem"), ca);
        EXPECT_NE(ReadFile(dir + "/server.pem"), server);
        EXPECT_EQ(
            Curl({"--cacert", third.CaFile(), "-o", "/dev/null", third.BaseUrl("store") + "/"}).exitCode, 0)
            << third.Output();
        server = ReadFile(dir + "/server.pem");
    }
    // A damaged CA is replaced, and with it the server certificate it signed.
    WriteFile(dir + "/ca.pem", "-----BEGIN CERTIFICATE-----\ngarbage\n-----END CERTIFICATE-----\n");
    {
        DemoStore fourth(sandbox, dir);
        ASSERT_TRUE(fourth.Started());
        EXPECT_NE(ReadFile(dir + "/ca.pem"), ca);
        EXPECT_NE(ReadFile(dir + "/server.pem"), server);
        EXPECT_EQ(
            Curl({"--cacert", fourth.CaFile(), "-o", "/dev/null", fourth.BaseUrl("store") + "/"}).exitCode,
            0);
    }
}

TEST_F(DemoStoreStartTest, HelpAndBadCommandLines) {
    const ProcessResult help = RunProcess({Program(), "--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const std::string word :
         {"--data",         "--port-base",     "--ephemeral", "ports.env",     "VANTO_CA_FILE",
          "/faults",        "/requests",       "/reports",    "/uploads",      "/sms",
          "/reset",         "truncate",        "no_length",   "chunked",       "stall",
          "delay_ms",       "status",          "sendsms",     "smsLogin",      "userinfo",
          "deleteDownLoad", "refreshWebLogin", "action.ashx", "errorfile.ashx"}) {
        EXPECT_NE(help.out.find(word), std::string::npos) << word;
    }
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{},
                                               {"--ephemeral"},
                                               {"--data"},
                                               {"--data", sandbox.Root() + "/d", "--port-base", "0"},
                                               {"--data", sandbox.Root() + "/d", "--port-base", "65530"},
                                               {"--data", sandbox.Root() + "/d", "--port-base", "http"},
                                               {"--data", sandbox.Root() + "/d", "--colour"}}) {
        std::vector<std::string> argv = {Program()};
        argv.insert(argv.end(), args.begin(), args.end());
        const ProcessResult result = RunProcess(argv);
        EXPECT_EQ(result.exitCode, 2) << testing::PrintToString(args);
        EXPECT_NE(result.err.find("demo-store:"), std::string::npos);
    }
    EXPECT_FALSE(Exists(sandbox.Root() + "/d"));
}

TEST_F(DemoStoreStartTest, ATakenPortFailsTheStartAndLeavesNothingListening) {
    // Hold a port, then ask for a port base that puts the admin service on it:
    // the admin port is bound first, so the failure names it even when a test
    // running beside this one happens to hold one of the following ports.
    const int holder = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(holder, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(holder, 1), 0);
    socklen_t length = sizeof address;
    getsockname(holder, reinterpret_cast<sockaddr*>(&address), &length);
    const int taken = ntohs(address.sin_port);
    const std::string dir = sandbox.Root() + "/data";
    const ProcessResult result = RunProcess({Program(), "--data", dir, "--port-base", std::to_string(taken)});
    close(holder);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find(std::to_string(taken)), std::string::npos) << result.err;
    EXPECT_FALSE(Exists(dir + "/ports.env"));
}

TEST_F(DemoStoreStartTest, DataItCannotReadOrWriteStopsTheStart) {
    // A users file that is not the store's is left alone, not overwritten.
    const std::string dir = sandbox.Root() + "/data";
    WriteFile(dir + "/users.json", "{ this is not json");
    const ProcessResult damaged = RunProcess({Program(), "--data", dir, "--ephemeral"});
    EXPECT_EQ(damaged.exitCode, 1);
    EXPECT_NE(damaged.err.find("users.json"), std::string::npos) << damaged.err;
    EXPECT_EQ(ReadFile(dir + "/users.json"), "{ this is not json");
    EXPECT_FALSE(Exists(dir + "/ports.env"));

    // A FIFO in the place of the users file neither holds the start nor is replaced.
    const std::string fifoDir = sandbox.Root() + "/fifo";
    std::filesystem::create_directories(fifoDir);
    ASSERT_EQ(mkfifo((fifoDir + "/users.json").c_str(), 0600), 0);
    const ProcessResult fifo =
        RunProcess({"timeout", "-s", "KILL", "20", Program(), "--data", fifoDir, "--ephemeral"});
    EXPECT_EQ(fifo.exitCode, 1) << fifo.err;
    EXPECT_NE(fifo.err.find("users.json"), std::string::npos) << fifo.err;
    struct stat st {};
    EXPECT_TRUE(stat((fifoDir + "/users.json").c_str(), &st) == 0 && S_ISFIFO(st.st_mode));

    // A folder the user may not write in.
    const std::string locked = sandbox.Root() + "/locked";
    std::filesystem::create_directories(locked);
    chmod(locked.c_str(), 0555);
    const int code = sandbox.RunUnprivileged([&] {
        const ProcessResult result = RunProcess({Program(), "--data", locked + "/data", "--ephemeral"});
        return result.err.find("demo-store:") != std::string::npos ? result.exitCode : 99;
    });
    EXPECT_EQ(code, 1);
}

TEST_F(DemoStoreStartTest, ASecondStoreOnTheSameDataIsRefused) {
    DemoStore store(sandbox);
    ASSERT_TRUE(store.Started());
    const ProcessResult second = RunProcess({Program(), "--data", store.DataDir(), "--ephemeral"});
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_NE(second.err.find("another demo store"), std::string::npos) << second.err;
    // The running store's ports.env is untouched.
    EXPECT_TRUE(Exists(store.DataDir() + "/ports.env"));
    EXPECT_EQ(Curl({"-o", "/dev/null", "-w", "%{http_code}", store.BaseUrl("client") + "/"}).out, "200");
}

}  // namespace
}  // namespace vtest
