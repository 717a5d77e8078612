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
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "ChildRun.h"
#include "SendfileServer.h"
#include "library/FileFetch.h"

namespace {

using bench::ChildResult;
using bench::RunChild;

std::string g_folder;
const bench::SendfileServer* g_server = nullptr;

ChildResult RunCurl(const std::string& url, const std::string& target) {
    return RunChild([&] {
        execlp("curl", "curl", "-s", "-o", target.c_str(), url.c_str(), static_cast<char*>(nullptr));
        return 127;
    });
}

ChildResult RunFetch(const std::string& url, const std::string& target) {
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
    const std::string url = g_server->Url(mib);
    const std::string curlTarget = g_folder + "/curl.out";
    const std::string fetchTarget = g_folder + "/fetch.out";
    double fetchSeconds = 0, curlSeconds = 0, fetchPeak = 0, curlPeak = 0, syncSeconds = 0;
    double fetchCpu = 0, curlCpu = 0;
    std::vector<double> ratios;
    bool curlFirst = true;
    for (auto _ : state) {
        ChildResult curl, fetch;
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
    if (!bench::MakeSourceFile(g_folder, 256) || !bench::MakeSourceFile(g_folder, 1024)) {
        return 1;
    }
    const bench::SendfileServer server(g_folder);
    if (server.Port() == 0) {
        return 1;
    }
    g_server = &server;

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    std::error_code ec;
    std::filesystem::remove_all(g_folder, ec);
    return 0;
}
