// Private-profile throughput: reads parse the whole file each time (no cache,
// so a change by another process is seen at once); writes replace the file
// under the folder lock and sync it.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/os/Profile.h"

namespace {

class ScratchFile {
  public:
    explicit ScratchFile(int keys) {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "vanto-bench-profile-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        m_folder = pattern;
        m_file = m_folder + "/bench.ini";
        std::ofstream out(m_file, std::ios::binary);
        out << "; generated\r\n[Partner]\r\nId=1024\r\n[Keys]\r\n";
        for (int i = 0; i < keys; ++i) {
            out << "key" << i << " = value number " << i << "\r\n";
        }
    }
    ~ScratchFile() {
        std::error_code ec;
        std::filesystem::remove_all(m_folder, ec);
    }
    const std::string& Path() const { return m_file; }

  private:
    std::string m_folder;
    std::string m_file;
};

void BM_ReadLastKey(benchmark::State& state) {
    const int keys = static_cast<int>(state.range(0));
    const ScratchFile file(keys);
    const std::string key = "KEY" + std::to_string(keys - 1);
    for (auto _ : state) {
        benchmark::DoNotOptimize(os::ReadProfileString("keys", key, "", file.Path()));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReadLastKey)->Arg(10)->Arg(200)->Arg(2000);

void BM_ReadInt(benchmark::State& state) {
    const ScratchFile file(10);
    for (auto _ : state) {
        benchmark::DoNotOptimize(os::ReadProfileInt("Partner", "Id", 0, file.Path()));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReadInt);

void BM_WriteKey(benchmark::State& state) {
    const ScratchFile file(static_cast<int>(state.range(0)));
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(os::WriteProfileString("Keys", "key3", std::to_string(i++), file.Path()));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_WriteKey)->Arg(10)->Arg(200);

}  // namespace

BENCHMARK_MAIN();
