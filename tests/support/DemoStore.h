#pragma once
// Runs the built demo store (build/<preset>/bin/demo-store, or the program
// named by VANTO_DEMO_STORE) for a test: started with --ephemeral and a data
// folder inside the sandbox, waited for (with a deadline) until it has written
// its ports.env, and stopped when the object goes away. The sandbox's
// environment then points the client at it (VANTO_STORE_HOST …,
// VANTO_CA_FILE, VANTO_DEMO_ADMIN). The admin helpers read what arrived and
// set faults.
//
//   class LoginTest : public vtest::SandboxTest {
//     protected:
//       vtest::DemoStore store{sandbox};
//   };
//   TEST_F(LoginTest, ...) { ASSERT_TRUE(store.Started()); ... store.Requests("store") ... }

#include <json/json.h>
#include <sys/types.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "support/Sandbox.h"

namespace vtest {

// A JSON text parsed; null when it does not parse.
Json::Value ParseJson(const std::string& text);

class DemoStore {
  public:
    // Starts the store. A start that fails is reported as a test failure and
    // leaves Started() false; the admin helpers then fail too.
    explicit DemoStore(Sandbox& sandbox,
                       std::chrono::milliseconds deadline = std::chrono::milliseconds(30000));
    // Starts a store on an existing data folder (for example to see what a
    // second start keeps).
    DemoStore(Sandbox& sandbox, const std::string& dataDir,
              std::chrono::milliseconds deadline = std::chrono::milliseconds(30000));
    // Starts a store with more arguments (for example "--large-file-size", "1M").
    DemoStore(Sandbox& sandbox, const std::string& dataDir, const std::vector<std::string>& extraArgs,
              std::chrono::milliseconds deadline = std::chrono::milliseconds(30000));
    ~DemoStore();
    DemoStore(const DemoStore&) = delete;
    DemoStore& operator=(const DemoStore&) = delete;

    bool Started() const { return m_started; }
    // Stops the store (SIGTERM, then SIGKILL after a deadline); returns its exit code, -1 if killed.
    int Stop();

    const std::string& DataDir() const { return m_dataDir; }
    // Everything the store printed so far (standard output and error).
    std::string Output() const;
    // The value of a ports.env line, e.g. Env("VANTO_STORE_HOST") == "127.0.0.1:40123".
    std::string Env(const std::string& name) const;
    // "127.0.0.1:PORT" of a service by its admin name: "store", "client",
    // "update", "toolbox", "stats", "feedback", "service", or "admin".
    std::string HostPort(const std::string& service) const;
    int Port(const std::string& service) const;
    // "https://127.0.0.1:PORT" for the store, "http://…" for the others.
    std::string BaseUrl(const std::string& service) const;
    std::string CaFile() const { return Env("VANTO_CA_FILE"); }

    // Admin calls. Each fails the test (and returns null or false) when the
    // admin interface does not answer with status 200.
    Json::Value AdminGet(const std::string& path) const;
    Json::Value AdminSend(const std::string& method, const std::string& path, const std::string& body) const;
    Json::Value Requests(const std::string& service = {}) const;
    Json::Value Reports() const;
    Json::Value Uploads() const;
    Json::Value SmsCodes() const;
    // The code last "sent" to this phone, empty when none.
    std::string LastSmsCode(const std::string& phone) const;
    // A fault: {"service":…, "path":…, "delay_ms":…, …} (see demo-store --help).
    bool SetFault(const Json::Value& fault) const;
    bool ClearFaults() const;
    bool Reset(bool sampleUsers = false) const;
    bool PutFile(const std::string& service, const std::string& path, const std::string& bytes) const;
    bool SetUser(const std::string& phone, const Json::Value& fields) const;
    // An account token for this phone's user, without the SMS round.
    std::string IssueToken(const std::string& phone) const;
    // Waits (deadline) until at least `count` requests reached the service.
    bool WaitForRequests(const std::string& service, unsigned count,
                         std::chrono::milliseconds deadline = std::chrono::milliseconds(20000)) const;

  private:
    void Launch(Sandbox& sandbox, std::chrono::milliseconds deadline,
                const std::vector<std::string>& extraArgs = {});

    std::string m_dataDir;
    std::string m_outputFile;
    pid_t m_pid = -1;
    bool m_started = false;
    std::map<std::string, std::string> m_env;
};

}  // namespace vtest
