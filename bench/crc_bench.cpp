// CRC-32 throughput over buffers of the sizes verify and pack meet: the checksum the programs use
// (Crc32Update) beside each library that offers one, so that a change of library shows here.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <random>
#include <vector>

#include "archive/crc32.h"
#ifdef VN_BENCH_ISAL
#include <isa-l/crc.h>
#endif
#ifdef VN_BENCH_LIBDEFLATE
#include <libdeflate.h>
#endif

namespace {

std::vector<unsigned char> Data(size_t n) {
  std::vector<unsigned char> d(n);
  std::mt19937 rng(1);
  for (auto& c : d) c = static_cast<unsigned char>(rng());
  return d;
}

template <typename Crc>
void Run(benchmark::State& state, Crc crc) {
  const auto d = Data(static_cast<size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(crc(d.data(), d.size()));
  state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}

void BM_Crc32Used(benchmark::State& state) {
  state.SetLabel(vn::Crc32Library());
  Run(state, [](const unsigned char* p, size_t n) { return vn::Crc32Update(0, p, n); });
}
void BM_Crc32Zlib(benchmark::State& state) {
  Run(state, [](const unsigned char* p, size_t n) { return crc32(0, p, static_cast<uInt>(n)); });
}
BENCHMARK(BM_Crc32Used)->Arg(64)->Arg(4096)->Arg(1 << 20);
BENCHMARK(BM_Crc32Zlib)->Arg(64)->Arg(4096)->Arg(1 << 20);

#ifdef VN_BENCH_ISAL
void BM_Crc32IsaL(benchmark::State& state) {
  Run(state, [](const unsigned char* p, size_t n) { return crc32_gzip_refl(0, p, n); });
}
BENCHMARK(BM_Crc32IsaL)->Arg(64)->Arg(4096)->Arg(1 << 20);
#endif
#ifdef VN_BENCH_LIBDEFLATE
void BM_Crc32Libdeflate(benchmark::State& state) {
  Run(state, [](const unsigned char* p, size_t n) { return libdeflate_crc32(0, p, n); });
}
BENCHMARK(BM_Crc32Libdeflate)->Arg(64)->Arg(4096)->Arg(1 << 20);
#endif

}  // namespace
