// CRC-32 throughput: ours (carry-less multiplication where available), the portable slicing path,
// and zlib's crc32, over buffers of the size verify reads.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <random>
#include <vector>

#include "archive/crc32.h"

namespace {

std::vector<unsigned char> Data(size_t n) {
  std::vector<unsigned char> d(n);
  std::mt19937 rng(1);
  for (auto& c : d) c = static_cast<unsigned char>(rng());
  return d;
}

void BM_Crc32Ours(benchmark::State& state) {
  const auto d = Data(static_cast<size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(vn::Crc32Update(0, d.data(), d.size()));
  state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}

void BM_Crc32Portable(benchmark::State& state) {
  const auto d = Data(static_cast<size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(vn::Crc32UpdatePortable(0, d.data(), d.size()));
  state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}

void BM_Crc32Zlib(benchmark::State& state) {
  const auto d = Data(static_cast<size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(crc32(0, d.data(), static_cast<uInt>(d.size())));
  state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}

BENCHMARK(BM_Crc32Ours)->Arg(4096)->Arg(1 << 20);
BENCHMARK(BM_Crc32Portable)->Arg(4096)->Arg(1 << 20);
BENCHMARK(BM_Crc32Zlib)->Arg(4096)->Arg(1 << 20);

}  // namespace
