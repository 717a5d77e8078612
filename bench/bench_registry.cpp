// Throughput of single registry value operations on a hive in a temporary
// folder (each call opens the hive, runs one statement or one transaction,
// and closes it again).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "platform/os/Registry.h"

namespace {

class TempHives {
  public:
    TempHives() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vanto-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) {
            m_root = pattern;
        }
        setenv("XDG_CONFIG_HOME", (m_root + "/config").c_str(), 1);
        setenv("VANTO_MACHINE_DIR", (m_root + "/machine").c_str(), 1);
    }
    ~TempHives() {
        std::error_code ec;
        std::filesystem::remove_all(m_root, ec);
    }
    TempHives(const TempHives&) = delete;
    TempHives& operator=(const TempHives&) = delete;

  private:
    std::string m_root;
};

void BM_RegGetString(benchmark::State& state) {
    TempHives hives;
    os::RegSetString(HKEY_CURRENT_USER, "Software\\vanto", "Version", "1.0.0.1");
    for (auto _ : state) {
        benchmark::DoNotOptimize(os::RegGetString(HKEY_CURRENT_USER, "Software\\vanto", "Version"));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RegGetString);

void BM_RegGetMissing(benchmark::State& state) {
    TempHives hives;
    os::RegSetString(HKEY_CURRENT_USER, "Software\\vanto", "Version", "1.0.0.1");
    for (auto _ : state) {
        benchmark::DoNotOptimize(os::RegGetString(HKEY_CURRENT_USER, "Software\\vanto", "Missing"));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RegGetMissing);

void BM_RegSetDword(benchmark::State& state) {
    TempHives hives;
    DWORD day = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            os::RegSetDword(HKEY_CURRENT_USER, "Software\\vanto", "UpdateDay", ++day % 31));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RegSetDword);

}  // namespace

BENCHMARK_MAIN();
