// The template download's transfer (CTemplateTransfer, then
// CommitTemplateFile, as the download dialog runs them) against curl's own
// command-line tool: same loopback server, same file, same run, like with
// like (curl's file is synced after it exits, since the worker syncs its
// own). Each side runs in a child process of its own (the transfer in this
// program started again), so that its peak resident memory and CPU time come
// from wait4 alike; the sides alternate which goes first. Not a Google
// Benchmark program and never part of ctest; see --help.
#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ChildRun.h"
#include "SendfileServer.h"
#include "library/TemplateTransfer.h"

namespace {

using Clock = std::chrono::steady_clock;

const char kHelp[] = R"(Usage: bench_template_download [--size 256M|1G] [--runs N] [--server demo|sendfile]
                               [--target disk|tmpfs]

Downloads one file from a loopback server with the client's template transfer
(into "<name>.tmp", synced, then renamed) and with `curl -s -o` followed by a
sync of curl's file, N times each, the sides alternating, each in a child
process of its own.

  --size SIZE      the file's size: 256M (default) or 1G (any size from 1M to
                   2G with M or G)
  --runs N         downloads per side and combination (default 5)
  --server NAME    demo: the demo store's large file (build/<preset>/bin/
                   demo-store); sendfile: a minimal server sending from the
                   page cache with sendfile. Default: both.
  --target NAME    disk: a folder on disk ($TMPDIR when it is on disk, else
                   beside this program in the build tree); tmpfs: /dev/shm.
                   Default: both.

Each combination ends with one line:
  download/curl median ratio: R (min A, max B over N runs); peak MiB: P vs curl Q
R is the median over the runs of curl's time divided by the transfer's time,
so R > 1 means the client's transfer was faster than curl, R < 1 slower. P and
Q are the largest peak resident memory of each side's process over the runs.
)";

struct Options {
    long mib = 256;
    int runs = 5;
    std::vector<std::string> servers{"demo", "sendfile"};
    std::vector<std::string> targets{"disk", "tmpfs"};
};

std::optional<long> ParseSize(const std::string& text) {
    if (text.size() < 2 || text.find_first_not_of("0123456789") != text.size() - 1 || text.size() > 6) {
        return std::nullopt;
    }
    const long number = std::stol(text.substr(0, text.size() - 1));
    const long mib = text.back() == 'G' ? number * 1024 : text.back() == 'M' ? number : 0;
    return mib >= 1 && mib <= 2048 ? std::optional<long>(mib) : std::nullopt;
}

// False with a message on a bad argument.
bool ParseOptions(int argc, char** argv, Options& options, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const std::string value = i + 1 < argc ? argv[i + 1] : "";
        if (arg == "--size" && ParseSize(value)) {
            options.mib = *ParseSize(value);
        } else if (arg == "--runs" && !value.empty() && value.size() < 4 &&
                   value.find_first_not_of("0123456789") == std::string::npos && std::stoi(value) > 0) {
            options.runs = std::stoi(value);
        } else if (arg == "--server" && (value == "demo" || value == "sendfile")) {
            options.servers = {value};
        } else if (arg == "--target" && (value == "disk" || value == "tmpfs")) {
            options.targets = {value};
        } else {
            error = "bad argument: " + arg + (value.empty() ? "" : " " + value);
            return false;
        }
        ++i;
    }
    return true;
}

std::string SelfPath() {
    std::error_code ec;
    return std::filesystem::read_symlink("/proc/self/exe", ec).string();
}

bool OnTmpfs(const std::string& folder) {
    struct statfs fs {};
    return statfs(folder.c_str(), &fs) == 0 && fs.f_type == TMPFS_MAGIC;
}

// A new folder inside `parent`, empty when it cannot be made.
std::string MakeFolder(const std::string& parent) {
    std::string pattern = parent + "/vanto-bench-download-XXXXXX";
    return mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
}

std::string DiskParent() {
    const char* tmp = std::getenv("TMPDIR");
    if (tmp != nullptr && *tmp != '\0' && !OnTmpfs(tmp)) {
        return tmp;
    }
    return std::filesystem::path(SelfPath()).parent_path().string();
}

// The demo store as its own process, on ephemeral ports, in `folder`.
class DemoStoreProcess {
  public:
    DemoStoreProcess(const std::string& folder, long mib) : m_folder(folder) {
        const char* program = std::getenv("VANTO_DEMO_STORE");
        const std::string store =
            program != nullptr && *program != '\0' ? program : VANTO_BIN_DIR "/demo-store";
        const std::string size = std::to_string(mib) + "M";
        const pid_t parent = getpid();
        m_pid = fork();
        if (m_pid == 0) {
            const int quiet = open("/dev/null", O_WRONLY);
            if (prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || getppid() != parent || quiet < 0 ||
                dup2(quiet, STDOUT_FILENO) < 0) {
                _exit(1);
            }
            execl(store.c_str(), store.c_str(), "--data", folder.c_str(), "--ephemeral", "--large-file-size",
                  size.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    ~DemoStoreProcess() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
    }

    // The large file's address, once the store wrote its ports (a deadline
    // of a minute); empty when it did not.
    std::string LargeFileUrl() const {
        const auto deadline = Clock::now() + std::chrono::minutes(1);
        while (m_pid > 0 && Clock::now() < deadline) {
            std::ifstream ports(m_folder + "/ports.env");
            for (std::string line; std::getline(ports, line);) {
                if (line.rfind("VANTO_CLIENT_PAGE_HOST=", 0) == 0) {
                    return "http://" + line.substr(line.find('=') + 1) + "/files/9001_大文件演示素材包.zip";
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return {};
    }

  private:
    std::string m_folder;
    pid_t m_pid = -1;
};

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// One transfer as the download worker runs it, in this process (the child).
int ChildTransfer(const std::string& url, const std::string& finalPath) {
    CTemplateTransfer transfer(url, finalPath + ".tmp");
    return transfer.Run() == CTemplateTransfer::Outcome::Complete &&
                   CommitTemplateFile(finalPath + ".tmp", finalPath)
               ? 0
               : 1;
}

bench::ChildResult RunTransfer(const std::string& self, const std::string& url, const std::string& target) {
    return bench::RunChild([&] {
        execl(self.c_str(), self.c_str(), "--child-transfer", url.c_str(), target.c_str(),
              static_cast<char*>(nullptr));
        return 127;
    });
}

// curl, then a sync of its file: the worker's own sync is part of its time.
bench::ChildResult RunCurl(const std::string& url, const std::string& target) {
    const auto start = Clock::now();
    bench::ChildResult result = bench::RunChild([&] {
        execlp("curl", "curl", "-s", "-o", target.c_str(), url.c_str(), static_cast<char*>(nullptr));
        return 127;
    });
    const int fd = open(target.c_str(), O_WRONLY | O_CLOEXEC);
    result.ok = result.ok && fd >= 0 && fdatasync(fd) == 0;
    if (fd >= 0) {
        close(fd);
    }
    result.seconds = SecondsSince(start);
    return result;
}

// A side's result, failed unless its file has the whole size. The file goes
// at once: the side that runs next then writes into memory as warm as this
// one did. (On this kind of virtual machine, memory the guest has not used
// lately costs several times more to fill: with both files kept, the second
// side of a 1 GiB run paid up to four times the first one's time, whichever
// program it was.)
bench::ChildResult Checked(bench::ChildResult result, const std::string& path, long mib) {
    struct stat st {};
    result.ok = result.ok && stat(path.c_str(), &st) == 0 && st.st_size == static_cast<off_t>(mib) << 20;
    std::remove(path.c_str());
    return result;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n == 0 ? 0.0 : n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The runs of one server and target; false when a download failed.
bool RunCombination(const Options& options, const std::string& url, const std::string& folder) {
    const std::string self = SelfPath();
    const std::string mine = folder + "/download.bin";
    const std::string theirs = folder + "/curl.bin";
    std::vector<double> ratios;
    double peak = 0;
    double curlPeak = 0;
    for (int run = 0; run < options.runs; ++run) {
        bench::ChildResult transfer;
        bench::ChildResult curl;
        if (run % 2 == 0) {
            curl = Checked(RunCurl(url, theirs), theirs, options.mib);
            transfer = Checked(RunTransfer(self, url, mine), mine, options.mib);
        } else {
            transfer = Checked(RunTransfer(self, url, mine), mine, options.mib);
            curl = Checked(RunCurl(url, theirs), theirs, options.mib);
        }
        if (!transfer.ok || !curl.ok) {
            std::printf("run %d: a download failed (transfer %s, curl %s)\n", run + 1,
                        transfer.ok ? "ok" : "failed", curl.ok ? "ok" : "failed");
            return false;
        }
        const double mib = static_cast<double>(options.mib);
        ratios.push_back(curl.seconds / transfer.seconds);
        peak = std::max(peak, transfer.peakMiB);
        curlPeak = std::max(curlPeak, curl.peakMiB);
        std::printf(
            "run %d%s: transfer %.2f s (%.0f MiB/s, cpu %.2f s, peak %.1f MiB), "
            "curl+sync %.2f s (%.0f MiB/s, cpu %.2f s, peak %.1f MiB), ratio %.3f\n",
            run + 1, run % 2 == 0 ? " (curl first)" : "", transfer.seconds, mib / transfer.seconds,
            transfer.cpuSeconds, transfer.peakMiB, curl.seconds, mib / curl.seconds, curl.cpuSeconds,
            curl.peakMiB, ratios.back());
    }
    std::printf(
        "download/curl median ratio: %.2f (min %.2f, max %.2f over %d runs); peak MiB: %.1f vs curl %.1f\n",
        Median(ratios), *std::min_element(ratios.begin(), ratios.end()),
        *std::max_element(ratios.begin(), ratios.end()), options.runs, peak, curlPeak);
    std::fflush(stdout);
    return true;
}

// The address of the server's file; the server lives as long as `holder`.
struct ServerHolder {
    std::optional<bench::SendfileServer> sendfile;
    std::optional<DemoStoreProcess> demo;
};

std::string StartServer(const std::string& name, const Options& options, const std::string& folder,
                        ServerHolder& holder) {
    std::fflush(stdout);
    if (name == "sendfile") {
        if (!bench::MakeSourceFile(folder, options.mib)) {
            return {};
        }
        holder.sendfile.emplace(folder);
        return holder.sendfile->Port() != 0 ? holder.sendfile->Url(options.mib) : std::string();
    }
    holder.demo.emplace(folder + "/store", options.mib);
    return holder.demo->LargeFileUrl();
}

// One untimed download, so that the server's file exists and both sides
// read it from the page cache.
bool WarmUp(const std::string& url) {
    return bench::RunChild([&] {
               execlp("curl", "curl", "-s", "-f", "-o", "/dev/null", url.c_str(),
                      static_cast<char*>(nullptr));
               return 127;
           })
        .ok;
}

// A loopback port nobody listens on.
int RefusedPort() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    const bool bound = fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
                       getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0;
    if (fd >= 0) {
        close(fd);
    }
    return bound ? ntohs(addr.sin_port) : 1;
}

int RunAll(const Options& options, const std::string& diskFolder, const std::string& memoryFolder) {
    const bench::ChildResult floor = bench::RunChild([] {
        execlp("true", "true", static_cast<char*>(nullptr));
        return 127;
    });
    // Each side's program without a download (the connection refused): the
    // part of its peak that any download in that process starts from.
    const std::string refused = "http://127.0.0.1:" + std::to_string(RefusedPort()) + "/f";
    const bench::ChildResult idle = RunTransfer(SelfPath(), refused, diskFolder + "/idle");
    const bench::ChildResult curlIdle = RunCurl(refused, diskFolder + "/idle");
    std::printf(
        "peak MiB of a child that only starts `true`: %.1f; without a download (connection refused): "
        "transfer %.1f, curl %.1f\n",
        floor.peakMiB, idle.peakMiB, curlIdle.peakMiB);
    bool ok = true;
    for (const std::string& server : options.servers) {
        ServerHolder holder;
        const std::string url = StartServer(server, options, diskFolder, holder);
        if (url.empty() || !WarmUp(url)) {
            std::printf("the %s server did not serve its file\n", server.c_str());
            return 1;
        }
        for (const std::string& target : options.targets) {
            const std::string& folder = target == "disk" ? diskFolder : memoryFolder;
            std::printf("\n%ld MiB from the %s server to %s (%s)\n", options.mib, server.c_str(),
                        target.c_str(), folder.c_str());
            ok = RunCombination(options, url, folder) && ok;
        }
    }
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--child-transfer") {
        return ChildTransfer(argv[2], argv[3]);
    }
    if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    Options options;
    std::string error;
    if (!ParseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "bench_template_download: %s\nTry --help.\n", error.c_str());
        return 2;
    }
    const std::string diskFolder = MakeFolder(DiskParent());
    const std::string memoryFolder = MakeFolder("/dev/shm");
    int result = 1;
    if (diskFolder.empty() || memoryFolder.empty() || OnTmpfs(diskFolder) || !OnTmpfs(memoryFolder)) {
        std::fprintf(stderr, "bench_template_download: no folder on disk and on tmpfs\n");
    } else {
        result = RunAll(options, diskFolder, memoryFolder);
    }
    std::error_code ec;
    std::filesystem::remove_all(diskFolder, ec);
    std::filesystem::remove_all(memoryFolder, ec);
    return result;
}
