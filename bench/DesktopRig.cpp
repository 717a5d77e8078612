#include "DesktopRig.h"

#include <fcntl.h>
#include <httplib.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace bench {

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

bool PollUntil(const std::function<bool()>& done, std::chrono::milliseconds limit,
               std::chrono::milliseconds interval) {
    const auto end = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() >= end)
            return done();
        std::this_thread::sleep_for(interval);
    }
    return true;
}

std::string MakeTempFolder(const std::string& prefix) {
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (mkdtemp(pattern.data()) == nullptr)
        return {};
    return pattern;
}

void RemoveTree(const std::string& path) {
    std::error_code ec;
    if (!path.empty())
        std::filesystem::remove_all(path, ec);
}

Process::Process(const std::vector<std::string>& argv, const EnvMap& env, const std::string& workDir,
                 const std::string& outPath, bool pipes) {
    // Everything the child needs is made before the fork: it only moves
    // descriptors and starts the program.
    EnvMap all;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        const auto equals = entry.find('=');
        if (equals != std::string::npos)
            all[entry.substr(0, equals)] = entry.substr(equals + 1);
    }
    for (const auto& [name, value] : env)
        all[name] = value;
    std::vector<std::string> entries;
    for (const auto& [name, value] : all)
        entries.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (auto& e : entries)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    int toChild[2] = {-1, -1};
    int fromChild[2] = {-1, -1};
    if (pipes && (pipe2(toChild, O_CLOEXEC) != 0 || pipe2(fromChild, O_CLOEXEC) != 0))
        return;
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const int null = open("/dev/null", O_RDONLY | O_CLOEXEC);
    const pid_t parent = getpid();
    m_pid = fork();
    if (m_pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent || out < 0 || null < 0 || (!workDir.empty() && chdir(workDir.c_str()) != 0))
            _exit(127);
        dup2(pipes ? toChild[0] : null, 0);
        dup2(pipes ? fromChild[1] : out, 1);
        dup2(out, 2);
        execve(args[0], args.data(), envp.data());
        _exit(127);
    }
    for (const int fd : {out, null, toChild[0], fromChild[1]})
        if (fd >= 0)
            close(fd);
    m_in = toChild[1];
    m_out = fromChild[0];
}

Process::~Process() {
    if (m_pid > 0 && !m_reaped) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
    for (const int fd : {m_in, m_out})
        if (fd >= 0)
            close(fd);
}

bool Process::Running() {
    if (m_pid <= 0 || m_reaped)
        return false;
    if (waitpid(m_pid, &m_status, WNOHANG) == m_pid)
        m_reaped = true;
    return !m_reaped;
}

int Process::Stop(std::chrono::milliseconds grace) {
    if (Running()) {
        kill(m_pid, SIGTERM);
        if (!PollUntil([this] { return !Running(); }, grace)) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, &m_status, 0);
            m_reaped = true;
            return -1;
        }
    }
    return m_reaped && WIFEXITED(m_status) ? WEXITSTATUS(m_status) : -1;
}

bool Process::WriteLine(const std::string& line) {
    const std::string text = line + "\n";
    return m_in >= 0 && write(m_in, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

bool Process::ReadLine(std::string& line, std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    while (m_out >= 0) {
        if (const auto newline = m_buffer.find('\n'); newline != std::string::npos) {
            line = m_buffer.substr(0, newline);
            m_buffer.erase(0, newline + 1);
            return true;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
        pollfd fd{m_out, POLLIN, 0};
        if (left <= 0 || poll(&fd, 1, static_cast<int>(left)) <= 0)
            return false;
        char chunk[512];
        const ssize_t n = read(m_out, chunk, sizeof chunk);
        if (n <= 0)
            return false;
        m_buffer.append(chunk, static_cast<std::size_t>(n));
    }
    return false;
}

Xvfb::Xvfb(int width, int height) {
    const std::string displayFile = m_folder + "/display";
    // -displayfd needs a descriptor the server inherits: a file the bench
    // reads once the server has written its display number.
    const int fd = open(displayFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0)
        return;
    m_server = std::make_unique<Process>(
        std::vector<std::string>{"/usr/bin/Xvfb", "-displayfd", std::to_string(fd), "-screen", "0",
                                 std::to_string(width) + "x" + std::to_string(height) + "x24", "-nolisten",
                                 "tcp"},
        EnvMap{}, "", m_folder + "/xvfb.log");
    close(fd);
    std::string number;
    PollUntil(
        [&] {
            std::ifstream in(displayFile);
            return static_cast<bool>(std::getline(in, number)) || !m_server->Running();
        },
        std::chrono::seconds(20));
    if (!number.empty() && m_server->Running())
        m_display = ":" + number;
}

Xvfb::~Xvfb() {
    if (m_server)
        m_server->Stop();
    RemoveTree(m_folder);
}

DemoStore::DemoStore(const std::string& binDir) {
    m_server = std::make_unique<Process>(
        std::vector<std::string>{binDir + "/demo-store", "--data", m_folder + "/data", "--ephemeral"},
        EnvMap{}, "", m_folder + "/store.out");
    const std::string portsFile = m_folder + "/data/ports.env";
    auto ready = [&] {
        std::ifstream out(m_folder + "/store.out");
        std::stringstream text;
        text << out.rdbuf();
        return text.str().find("# demo store ready") != std::string::npos;
    };
    if (!PollUntil([&] { return ready() || !m_server->Running(); }, std::chrono::seconds(30)) ||
        !m_server->Running())
        return;
    std::ifstream ports(portsFile);
    for (std::string line; std::getline(ports, line);)
        if (const auto equals = line.find('='); equals != std::string::npos)
            m_env[line.substr(0, equals)] = line.substr(equals + 1);
}

DemoStore::~DemoStore() {
    if (m_server)
        m_server->Stop();
    RemoveTree(m_folder);
}

std::string DemoStore::Admin(const std::string& method, const std::string& path,
                             const std::string& body) const {
    const auto admin = m_env.find("VANTO_DEMO_ADMIN");
    if (admin == m_env.end())
        return {};
    httplib::Client client("http://" + admin->second);
    const auto reply = method == "POST" ? client.Post(path, body, "application/json") : client.Get(path);
    return reply && reply->status == 200 ? reply->body : std::string();
}

Installation::Installation(const std::string& binDir, const std::string& engine) {
    namespace fs = std::filesystem;
    fs::create_directories(root + "/program");
    fs::create_directories(machine);
    for (const char* file : {"vanto", "vanto-crashbox"})
        fs::copy_file(binDir + "/" + file, root + "/program/" + file);
    fs::copy_file(engine, root + "/program/node.so");
    fs::copy(binDir + "/language", root + "/program/language", fs::copy_options::recursive);
    Process step({program, "/makemachine"}, {{"VANTO_MACHINE_DIR", machine}}, root,
                 root + "/makemachine.out");
    PollUntil([&] { return !step.Running(); }, std::chrono::seconds(60));
}

Installation::~Installation() {
    RemoveTree(root);
}

Home::Home(const EnvMap& common) : env(common) {
    for (const char* dir : {"/home/.config", "/home/.cache", "/home/.local/share", "/run", "/work"})
        std::filesystem::create_directories(root + dir);
    chmod((root + "/run").c_str(), 0700);
    env["HOME"] = root + "/home";
    env["XDG_CONFIG_HOME"] = root + "/home/.config";
    env["XDG_CACHE_HOME"] = root + "/home/.cache";
    env["XDG_DATA_HOME"] = root + "/home/.local/share";
    env["XDG_RUNTIME_DIR"] = root + "/run";
    env["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=" + root + "/run/no-bus";
    env["VANTO_AUTOMATION_SOCKET"] = root + "/run/automation.sock";
}

Home::~Home() {
    if (!keep)
        RemoveTree(root);
}

}  // namespace bench
