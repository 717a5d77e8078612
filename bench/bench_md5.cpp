// MD5 throughput of the client's own MD5_CTX, one-shot over buffers of
// several sizes and the hex form used for the machine code and the logins.
#include <benchmark/benchmark.h>

#include <string>

#include "identity/MD5_CTX.h"

namespace {

void BM_MD5Update(benchmark::State& state) {
    const std::string data(static_cast<std::size_t>(state.range(0)), 'x');
    unsigned char digest[16];
    for (auto _ : state) {
        MD5_CTX context;
        context.MD5Update(data.data(), data.size());
        context.MD5Final(digest);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_MD5Update)->Arg(32)->Arg(1024)->Arg(64 * 1024)->Arg(1024 * 1024);

void BM_MD5HexOfHex(benchmark::State& state) {
    std::string text = "S0-SERIAL  S1 LEAD0797B9D45861";
    for (auto _ : state) {
        std::string once = MD5Hex(MD5Hex(text));
        benchmark::DoNotOptimize(once);
    }
}
BENCHMARK(BM_MD5HexOfHex);

}  // namespace

BENCHMARK_MAIN();
