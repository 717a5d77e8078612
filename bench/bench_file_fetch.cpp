// The plain file fetch against curl's own command-line tool: same server,
// same files, same run. A loopback server (its own process, sendfile) serves
// files of 256 MiB and 1 GiB from the page cache; each iteration downloads
// the file once with `curl -s -o` and once with CFileFetch, each in a child
// process, so that the child's peak resident memory and CPU time (wait4) are
// those of that one download. The order alternates between iterations, and
// the ratio is the median of the per-iteration ratios, which keeps the noise
// of a shared machine out of it as far as possible.
//
// Counters: fetch_MiBps, curl_MiBps (wall time from fork to exit), ratio
// (median of fetch throughput / curl throughput), fetch_cpu_s and curl_cpu_s
// (user + system time per download), fetch_peak_MiB and curl_peak_MiB, and
// sync_s: how long syncing a file of that size takes on its own (the fetch
// syncs its side file before the move, curl does not).
//
// Run: build/release/bench/bench_file_fetch   (never part of ctest)
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "library/FileFetch.h"

namespace {

std::string g_folder;
int g_port = 0;
pid_t g_server = -1;

std::string SourcePath(long mib) {
    return g_folder + "/src" + std::to_string(mib);
}

void MakeSource(long mib) {
    const int fd = open(SourcePath(mib).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<char> block(1 << 20);
    for (std::size_t i = 0; i < block.size(); ++i) {
        block[i] = static_cast<char>(i * 131 + i / 251);
    }
    for (long i = 0; i < mib; ++i) {
        block[0] = static_cast<char>(i);
        if (write(fd, block.data(), block.size()) != static_cast<ssize_t>(block.size())) {
            std::abort();
        }
    }
    close(fd);
}

// The server: one connection at a time, "GET /<MiB> ..." answered with the
// file of that size by sendfile, so that the server costs little CPU.
[[noreturn]] void Serve(int listenFd) {
    signal(SIGPIPE, SIG_IGN);
    for (;;) {
        const int fd = accept(listenFd, nullptr, nullptr);
        if (fd < 0) {
            continue;
        }
        std::string head;
        char buf[4096];
        while (head.find("\r\n\r\n") == std::string::npos) {
            const ssize_t n = recv(fd, buf, sizeof buf, 0);
            if (n <= 0) {
                break;
            }
            head.append(buf, static_cast<std::size_t>(n));
        }
        const long mib = std::atol(head.c_str() + head.find('/') + 1);
        const int file = open(SourcePath(mib).c_str(), O_RDONLY);
        struct stat st {};
        if (file >= 0 && fstat(file, &st) == 0) {
            const std::string reply = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(st.st_size) +
                                      "\r\nConnection: close\r\n\r\n";
            if (send(fd, reply.data(), reply.size(), 0) == static_cast<ssize_t>(reply.size())) {
                off_t offset = 0;
                while (offset < st.st_size && sendfile(fd, file, &offset, st.st_size - offset) > 0) {
                }
            }
            close(file);
        }
        close(fd);
    }
}

struct RunResult {
    double seconds = 0;
    double cpuSeconds = 0;
    double peakMiB = 0;
    bool ok = false;
};

template <typename Child>
RunResult RunChild(Child child) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        _exit(child());
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    RunResult r;
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
    r.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                   static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    r.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return r;
}

RunResult RunCurl(const std::string& url, const std::string& target) {
    return RunChild([&] {
        execlp("curl", "curl", "-s", "-o", target.c_str(), url.c_str(), static_cast<char*>(nullptr));
        return 127;
    });
}

RunResult RunFetch(const std::string& url, const std::string& target) {
    return RunChild([&] {
        CFileFetch fetch;
        return fetch.Fetch(url, target, CREATE_ALWAYS) == S_OK ? 0 : 1;
    });
}

// How long syncing a freshly written file of this size takes on its own.
double SyncSeconds(long mib) {
    const std::string path = g_folder + "/sync";
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<char> block(1 << 20, 'x');
    for (long i = 0; i < mib; ++i) {
        if (write(fd, block.data(), block.size()) < 0) {
            std::abort();
        }
    }
    const auto start = std::chrono::steady_clock::now();
    fdatasync(fd);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    close(fd);
    unlink(path.c_str());
    return seconds;
}

void BM_FetchVsCurl(benchmark::State& state) {
    const long mib = state.range(0);
    const std::string url = "http://127.0.0.1:" + std::to_string(g_port) + "/" + std::to_string(mib);
    const std::string curlTarget = g_folder + "/curl.out";
    const std::string fetchTarget = g_folder + "/fetch.out";
    double fetchSeconds = 0, curlSeconds = 0, fetchPeak = 0, curlPeak = 0, syncSeconds = 0;
    double fetchCpu = 0, curlCpu = 0;
    std::vector<double> ratios;
    bool curlFirst = true;
    for (auto _ : state) {
        RunResult curl, fetch;
        if (curlFirst) {
            curl = RunCurl(url, curlTarget);
            fetch = RunFetch(url, fetchTarget);
        } else {
            fetch = RunFetch(url, fetchTarget);
            curl = RunCurl(url, curlTarget);
        }
        curlFirst = !curlFirst;
        struct stat a {
        }, b{};
        if (!curl.ok || !fetch.ok || stat(curlTarget.c_str(), &a) != 0 ||
            stat(fetchTarget.c_str(), &b) != 0 || a.st_size != mib << 20 || b.st_size != mib << 20) {
            state.SkipWithError("a download failed");
            break;
        }
        unlink(curlTarget.c_str());
        unlink(fetchTarget.c_str());
        fetchSeconds += fetch.seconds;
        curlSeconds += curl.seconds;
        fetchCpu += fetch.cpuSeconds;
        curlCpu += curl.cpuSeconds;
        ratios.push_back(curl.seconds / fetch.seconds);
        fetchPeak = std::max(fetchPeak, fetch.peakMiB);
        curlPeak = std::max(curlPeak, curl.peakMiB);
        state.PauseTiming();
        syncSeconds += SyncSeconds(mib);
        state.ResumeTiming();
    }
    const double n = static_cast<double>(state.iterations());
    const double fetchRate = static_cast<double>(mib) * n / fetchSeconds;
    const double curlRate = static_cast<double>(mib) * n / curlSeconds;
    state.counters["fetch_MiBps"] = fetchRate;
    state.counters["curl_MiBps"] = curlRate;
    std::sort(ratios.begin(), ratios.end());
    state.counters["ratio"] = ratios.empty() ? 0.0
                              : ratios.size() % 2 == 1
                                  ? ratios[ratios.size() / 2]
                                  : (ratios[ratios.size() / 2 - 1] + ratios[ratios.size() / 2]) / 2;
    state.counters["fetch_cpu_s"] = fetchCpu / n;
    state.counters["curl_cpu_s"] = curlCpu / n;
    state.counters["fetch_peak_MiB"] = fetchPeak;
    state.counters["curl_peak_MiB"] = curlPeak;
    state.counters["sync_s"] = syncSeconds / n;
}
BENCHMARK(BM_FetchVsCurl)->Arg(256)->Arg(1024)->Iterations(6)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    // Arguments first: "--help" and a bad flag end the program here, before
    // any file or server exists.
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }

    std::string pattern = (std::filesystem::temp_directory_path() / "vanto-bench-fetch-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        return 1;
    }
    g_folder = pattern;
    MakeSource(256);
    MakeSource(1024);

    const int listenFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (listenFd < 0 || bind(listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(listenFd, 4) != 0 || getsockname(listenFd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        return 1;
    }
    g_port = ntohs(addr.sin_port);
    const pid_t parent = getpid();
    g_server = fork();
    if (g_server == 0) {
        // The server ends with the benchmark, however the benchmark ends; a
        // parent gone before the request took effect is seen by getppid.
        if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != parent) {
            _exit(1);
        }
        Serve(listenFd);
    }
    close(listenFd);

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    kill(g_server, SIGKILL);
    waitpid(g_server, nullptr, 0);
    std::error_code ec;
    std::filesystem::remove_all(g_folder, ec);
    return 0;
}
