#include "support/Sandbox.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/os/FileIo.h"
#include "platform/os/Paths.h"

extern char** environ;

namespace vtest {
namespace {

std::string MakeDir(const std::string& path) {
    std::filesystem::create_directories(path);
    return path;
}

}  // namespace

Sandbox::Sandbox() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vanto-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    m_root = pattern;
    m_home = MakeDir(m_root + "/home");
    m_configHome = MakeDir(m_root + "/home/.config");
    m_machineDir = MakeDir(m_root + "/machine");
    m_programDir = MakeDir(m_root + "/program");
    m_runtimeDir = MakeDir(m_root + "/run");
    chmod(m_runtimeDir.c_str(), 0700);
    SetEnv("HOME", m_home);
    SetEnv("XDG_CONFIG_HOME", m_configHome);
    SetEnv("VANTO_MACHINE_DIR", m_machineDir);
    SetEnv("XDG_RUNTIME_DIR", m_runtimeDir);
    SetEnv("VANTO_RUNTIME_DIR", std::nullopt);
    os::OverrideProgramFolder(m_programDir);
}

Sandbox::~Sandbox() {
    os::OverrideProgramFolder({});
    for (const auto& [name, value] : m_savedEnv) {
        if (value) {
            setenv(name.c_str(), value->c_str(), 1);
        } else {
            unsetenv(name.c_str());
        }
    }
    std::error_code ec;
    // Tests may leave read-only folders behind; make them removable first.
    for (auto it = std::filesystem::recursive_directory_iterator(m_root, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        chmod(it->path().c_str(), 0700);
    }
    std::filesystem::remove_all(m_root, ec);
}

void Sandbox::InstallLanguageFiles(const std::string& builtFolder,
                                   std::initializer_list<const char*> names) const {
    const std::filesystem::path folder = std::filesystem::path(m_programDir) / "language";
    std::filesystem::create_directories(folder);
    for (const char* name : names)
        std::filesystem::copy_file(std::filesystem::path(builtFolder) / name, folder / name,
                                   std::filesystem::copy_options::overwrite_existing);
}

void Sandbox::SetEnv(const std::string& name, const std::optional<std::string>& value) {
    if (!m_savedEnv.contains(name)) {
        const char* old = std::getenv(name.c_str());
        m_savedEnv[name] = old ? std::optional<std::string>(old) : std::nullopt;
    }
    if (value) {
        setenv(name.c_str(), value->c_str(), 1);
    } else {
        unsetenv(name.c_str());
    }
}

int Sandbox::RunUnprivileged(const std::function<int()>& body) {
    const bool root = geteuid() == 0;
    if (root) {
        chmod(m_root.c_str(), 0755);
    }
    const int result = RunInChild([&] {
        if (root && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) {
            return 127;
        }
        return body() & 0x7F;
    });
    if (root) {
        chmod(m_root.c_str(), 0700);
    }
    return result;
}

int RunInChild(const std::function<int()>& body, std::chrono::milliseconds deadline) {
    const pid_t pid = fork();
    if (pid < 0) {
        return -1;
    }
    if (pid == 0) {
        _exit(body() & 0x7F);
    }
    const int code = WaitForChild(pid, deadline);
    return code < 127 ? code : -1;
}

int WaitForChild(pid_t pid, std::chrono::milliseconds deadline) {
    int status = 0;
    if (!WaitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; }, deadline)) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool Exists(const std::string& path) {
    return std::filesystem::exists(path);
}

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds deadline) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) {
            return done();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

bool ProcessResult::Signalled(int signal) const {
    return status != -1 && WIFSIGNALED(status) && WTERMSIG(status) == signal;
}

ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& workDir,
                         const std::string& input) {
    ProcessResult result;
    int inPipe[2], outPipe[2], errPipe[2];
    if (argv.empty() || pipe2(inPipe, O_CLOEXEC) != 0) {
        return result;
    }
    if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) {
        close(inPipe[0]);
        close(inPipe[1]);
        return result;
    }
    // Prepared before the fork: the child only duplicates descriptors and starts the program.
    std::vector<char*> args;
    for (const auto& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(inPipe[0], 0);
        dup2(outPipe[1], 1);
        dup2(errPipe[1], 2);
        if (!workDir.empty() && chdir(workDir.c_str()) != 0) {
            _exit(127);
        }
        execvp(args[0], args.data());
        _exit(127);
    }
    close(inPipe[0]);
    close(outPipe[1]);
    close(errPipe[1]);
    if (pid < 0) {
        for (const int fd : {inPipe[1], outPipe[0], errPipe[0]}) {
            close(fd);
        }
        return result;
    }
    if (!input.empty()) {
        // A child that ends without reading its input must not end this
        // process: SIGPIPE is held back on this thread and taken afterwards.
        sigset_t pipeSignal, previous;
        sigemptyset(&pipeSignal);
        sigaddset(&pipeSignal, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
        os::WriteAll(inPipe[1], input);
        const timespec noWait{};
        while (sigtimedwait(&pipeSignal, nullptr, &noWait) == SIGPIPE) {
        }
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    }
    close(inPipe[1]);
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open = 2;
    while (open > 0) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd >= 0 && (fds[i].revents & (POLLIN | POLLHUP | POLLERR))) {
                char buf[4096];
                const ssize_t n = read(fds[i].fd, buf, sizeof buf);
                if (n < 0 && errno == EINTR) {
                    continue;
                }
                if (n > 0) {
                    sinks[i]->append(buf, static_cast<std::size_t>(n));
                } else {
                    close(fds[i].fd);
                    fds[i].fd = -1;
                    --open;
                }
            }
        }
    }
    for (const pollfd& p : fds) {
        if (p.fd >= 0) {
            close(p.fd);
        }
    }
    while (waitpid(pid, &result.status, 0) < 0 && errno == EINTR) {
    }
    result.exitCode = WIFEXITED(result.status) ? WEXITSTATUS(result.status) : -1;
    return result;
}

}  // namespace vtest
