#include "support/DemoStore.h"

#include <fcntl.h>
#include <httplib.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <sstream>

namespace vtest {
namespace {

const std::map<std::string, std::string> kServiceEnv = {
    {"store", "VANTO_STORE_HOST"},          {"client", "VANTO_CLIENT_PAGE_HOST"},
    {"update", "VANTO_UPDATE_HOST"},        {"toolbox", "VANTO_TOOLBOX_HOST"},
    {"stats", "VANTO_STATS_HOST"},          {"feedback", "VANTO_FEEDBACK_PAGE_HOST"},
    {"service", "VANTO_SERVICE_PAGE_HOST"}, {"admin", "VANTO_DEMO_ADMIN"},
};

std::string Compact(const Json::Value& value) {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    return Json::writeString(builder, value);
}

// The tests run from build/<preset>/tests, the programs sit in
// build/<preset>/bin; VANTO_DEMO_STORE names another program.
std::string DemoStoreProgram() {
    if (const char* program = std::getenv("VANTO_DEMO_STORE"); program != nullptr && *program != '\0') {
        return program;
    }
    char self[4096];
    const ssize_t size = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string dir = size > 0 ? std::string(self, static_cast<std::size_t>(size)) : std::string();
    dir = dir.substr(0, dir.rfind('/'));
    return dir + "/../bin/demo-store";
}

}  // namespace

Json::Value ParseJson(const std::string& text) {
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value value;
    std::string errors;
    if (!reader->parse(text.data(), text.data() + text.size(), &value, &errors)) {
        return Json::Value();
    }
    return value;
}

DemoStore::DemoStore(Sandbox& sandbox, std::chrono::milliseconds deadline)
    : m_dataDir(sandbox.Root() + "/demo-store") {
    Launch(sandbox, deadline);
}

DemoStore::DemoStore(Sandbox& sandbox, const std::string& dataDir, std::chrono::milliseconds deadline)
    : m_dataDir(dataDir) {
    Launch(sandbox, deadline);
}

DemoStore::DemoStore(Sandbox& sandbox, const std::string& dataDir, const std::vector<std::string>& extraArgs,
                     std::chrono::milliseconds deadline)
    : m_dataDir(dataDir) {
    Launch(sandbox, deadline, extraArgs);
}

DemoStore::~DemoStore() {
    Stop();
}

void DemoStore::Launch(Sandbox& sandbox, std::chrono::milliseconds deadline,
                       const std::vector<std::string>& extraArgs) {
    static int launches = 0;
    m_outputFile = sandbox.Root() + "/demo-store-" + std::to_string(++launches) + ".out";
    const std::string program = DemoStoreProgram();
    std::vector<std::string> args = {program, "--data", m_dataDir, "--ephemeral"};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    const int out = open(m_outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (out < 0) {
        ADD_FAILURE() << "cannot create " << m_outputFile;
        return;
    }
    const pid_t parent = getpid();
    m_pid = fork();
    if (m_pid == 0) {
        // Only async-signal-safe calls between fork and exec. A store whose
        // test process dies is told to stop instead of lingering.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) {
            _exit(126);
        }
        dup2(out, 1);
        dup2(out, 2);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(out);
    if (m_pid < 0) {
        ADD_FAILURE() << "cannot start " << program;
        return;
    }
    const std::string portsFile = m_dataDir + "/ports.env";
    bool exited = false;
    const bool ready = WaitFor(
        [&] {
            int status = 0;
            if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
                exited = true;
                m_pid = -1;
                return true;
            }
            // The store writes ports.env, then prints the same lines and its
            // ready line: wait for both, so the output is complete too.
            return Exists(portsFile) && Output().find("# demo store ready") != std::string::npos;
        },
        deadline);
    if (!ready || exited) {
        ADD_FAILURE() << "the demo store did not start" << (exited ? " (it exited)" : " in time")
                      << "; its output:\n"
                      << Output();
        Stop();
        return;
    }
    std::istringstream lines(ReadFile(portsFile));
    std::string line;
    while (std::getline(lines, line)) {
        const std::size_t equals = line.find('=');
        if (equals != std::string::npos) {
            m_env[line.substr(0, equals)] = line.substr(equals + 1);
            sandbox.SetEnv(line.substr(0, equals), line.substr(equals + 1));
        }
    }
    m_started =
        m_env.count("VANTO_STORE_HOST") && m_env.count("VANTO_DEMO_ADMIN") && m_env.count("VANTO_CA_FILE");
    if (!m_started) {
        ADD_FAILURE() << "incomplete " << portsFile;
    }
}

int DemoStore::Stop() {
    m_started = false;
    if (m_pid <= 0) {
        return -1;
    }
    kill(m_pid, SIGTERM);
    int status = 0;
    if (!WaitFor([&] { return waitpid(m_pid, &status, WNOHANG) == m_pid; })) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, &status, 0);
        m_pid = -1;
        return -1;
    }
    m_pid = -1;
    // The store is built with the tests' sanitizers; what they find in it
    // is a failure of the test that drove it there.
    const std::string output = Output();
    for (const char* finding :
         {"ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "WARNING: ThreadSanitizer", "runtime error:"}) {
        if (output.find(finding) != std::string::npos) {
            ADD_FAILURE() << "the demo store reported: " << finding << "\n" << output;
            break;
        }
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string DemoStore::Output() const {
    return ReadFile(m_outputFile);
}

std::string DemoStore::Env(const std::string& name) const {
    const auto it = m_env.find(name);
    return it == m_env.end() ? std::string() : it->second;
}

std::string DemoStore::HostPort(const std::string& service) const {
    const auto it = kServiceEnv.find(service);
    return it == kServiceEnv.end() ? std::string() : Env(it->second);
}

int DemoStore::Port(const std::string& service) const {
    const std::string hostPort = HostPort(service);
    const std::size_t colon = hostPort.rfind(':');
    return colon == std::string::npos ? 0 : std::stoi(hostPort.substr(colon + 1));
}

std::string DemoStore::BaseUrl(const std::string& service) const {
    return (service == "store" ? "https://" : "http://") + HostPort(service);
}

Json::Value DemoStore::AdminSend(const std::string& method, const std::string& path,
                                 const std::string& body) const {
    if (!m_started) {
        ADD_FAILURE() << "admin call " << method << " " << path << " on a demo store that is not running";
        return Json::Value();
    }
    httplib::Client client("127.0.0.1", Port("admin"));
    client.set_connection_timeout(10);
    client.set_read_timeout(30);
    const auto send = [&]() -> httplib::Result {
        if (method == "POST") {
            return client.Post(path, body, "application/json");
        }
        if (method == "PUT") {
            return client.Put(path, body, "application/octet-stream");
        }
        if (method == "DELETE") {
            return client.Delete(path);
        }
        return client.Get(path);
    };
    const httplib::Result result = send();
    if (!result || result->status != 200) {
        ADD_FAILURE() << "admin call " << method << " " << path << " failed: "
                      << (result ? std::to_string(result->status) + " " + result->body
                                 : httplib::to_string(result.error()));
        return Json::Value();
    }
    return ParseJson(result->body);
}

Json::Value DemoStore::AdminGet(const std::string& path) const {
    return AdminSend("GET", path, {});
}

Json::Value DemoStore::Requests(const std::string& service) const {
    return AdminGet(service.empty() ? "/requests" : "/requests?service=" + service);
}

Json::Value DemoStore::Reports() const {
    return AdminGet("/reports");
}

Json::Value DemoStore::Uploads() const {
    return AdminGet("/uploads");
}

Json::Value DemoStore::SmsCodes() const {
    return AdminGet("/sms");
}

std::string DemoStore::LastSmsCode(const std::string& phone) const {
    std::string code;
    for (const Json::Value& item : SmsCodes()) {
        if (item["phone"].asString() == phone) {
            code = item["code"].asString();
        }
    }
    return code;
}

bool DemoStore::SetFault(const Json::Value& fault) const {
    return AdminSend("POST", "/faults", Compact(fault))["ok"].asBool();
}

bool DemoStore::ClearFaults() const {
    return AdminSend("DELETE", "/faults", {})["ok"].asBool();
}

bool DemoStore::Reset(bool sampleUsers) const {
    return AdminSend("POST", "/reset", sampleUsers ? R"({"users":true})" : "{}")["ok"].asBool();
}

bool DemoStore::PutFile(const std::string& service, const std::string& path, const std::string& bytes) const {
    return AdminSend("PUT", "/files/" + service + path, bytes)["ok"].asBool();
}

bool DemoStore::SetUser(const std::string& phone, const Json::Value& fields) const {
    return AdminSend("PUT", "/users/" + phone, Compact(fields)).isObject();
}

std::string DemoStore::IssueToken(const std::string& phone) const {
    Json::Value body(Json::objectValue);
    body["phone"] = phone;
    return AdminSend("POST", "/tokens", Compact(body))["jwt"].asString();
}

bool DemoStore::WaitForRequests(const std::string& service, unsigned count,
                                std::chrono::milliseconds deadline) const {
    return WaitFor([&] { return Requests(service).size() >= count; }, deadline);
}

}  // namespace vtest
