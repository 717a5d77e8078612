// The download records: reading one record among 10 000 users' sections and
// writing one there. Each operation reads (or rewrites and syncs) the whole
// record file, as the records keep no cache; these figures say what a
// request for a template and a completed download pay for that.
//
// Run: build/release/bench/bench_download_records   (never part of ctest)
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "library/DownloadRecords.h"

namespace {

constexpr int kUsers = 10000;
constexpr int kDocumentsPerUser = 3;

std::string UserId(int i) {
    return std::to_string(100000 + i);
}

std::string DocumentId(int user, int document) {
    return std::to_string(1000 + user * kDocumentsPerUser + document);
}

std::string SavedPath(int user, int document) {
    return "/home/user" + std::to_string(user) + "/文档/年度报告" + std::to_string(document) + ".pptx";
}

// The record file with kUsers sections of kDocumentsPerUser records each.
bool MakeRecords() {
    if (!EnsureTemplatesFolder()) {
        return false;
    }
    std::ofstream out(DownloadRecordFile(), std::ios::binary);
    for (int user = 0; user < kUsers; ++user) {
        out << "[" << UserId(user) << "]\r\n";
        for (int document = 0; document < kDocumentsPerUser; ++document) {
            out << DocumentId(user, document) << "=" << SavedPath(user, document) << "\r\n";
        }
    }
    return static_cast<bool>(out.flush());
}

// Arg: the user's place in the file (0 first, kUsers - 1 last).
void BM_ReadRecord(benchmark::State& state) {
    const int user = static_cast<int>(state.range(0));
    const std::string userId = UserId(user);
    const std::string documentId = DocumentId(user, kDocumentsPerUser - 1);
    if (ReadDownloadRecord(userId, documentId) != SavedPath(user, kDocumentsPerUser - 1)) {
        state.SkipWithError("the record does not read back");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(ReadDownloadRecord(userId, documentId));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReadRecord)->Arg(0)->Arg(kUsers / 2)->Arg(kUsers - 1)->Unit(benchmark::kMicrosecond);

// Replaces one record of the last user, alternating two paths so that every
// write changes the file (rewritten whole and synced).
void BM_WriteRecord(benchmark::State& state) {
    const std::string userId = UserId(kUsers - 1);
    const std::string documentId = DocumentId(kUsers - 1, 0);
    int round = 0;
    for (auto _ : state) {
        if (!WriteDownloadRecord(userId, documentId, SavedPath(round++ % 2, 0))) {
            state.SkipWithError("the record was not written");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_WriteRecord)->Unit(benchmark::kMillisecond);

// A scratch home on disk whose per-user data folder the records use, never
// the real one; empty when it cannot be made.
std::string ScratchHome() {
    std::string home = (std::filesystem::temp_directory_path() / "vanto-bench-records-XXXXXX").string();
    std::error_code ec;
    if (mkdtemp(home.data()) == nullptr || setenv("XDG_CONFIG_HOME", home.c_str(), 1) != 0 ||
        !std::filesystem::create_directories(home + "/vanto", ec)) {
        return {};
    }
    return home;
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    const std::string home = ScratchHome();
    const bool ready = !home.empty() && MakeRecords();
    if (ready) {
        benchmark::RunSpecifiedBenchmarks();
    }
    benchmark::Shutdown();
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
    return ready ? 0 : 1;
}
