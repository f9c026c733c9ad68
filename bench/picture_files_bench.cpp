// TGA and bitmap files, colour counting and reduction on a 1024 x 768 24-bit photo-like picture.
#include <benchmark/benchmark.h>

#include "bench/sample_picture.h"
#include "imaging/bmp_file.h"
#include "imaging/dib_surface.h"
#include "imaging/tga_file.h"

namespace {

const vn::TDIBSurface& Photo() {
  static vn::TDIBSurface s;
  if (s.Empty()) vn::bench::MakeSamplePicture(s, 2);
  return s;
}

constexpr int64_t kBytes = 1024 * 768 * 3;

void BM_ReadTgaRle(benchmark::State& state) {
  const std::string file = vn::EncodeTga(Photo(), {.rle = true});
  vn::TDIBSurface s;
  for (auto _ : state) benchmark::DoNotOptimize(vn::ReadTga(file, s, false));
  state.SetBytesProcessed(state.iterations() * kBytes);
}

void BM_EncodeTgaRle(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(vn::EncodeTga(Photo(), {.rle = true}));
  state.SetBytesProcessed(state.iterations() * kBytes);
}

void BM_ReadBmp(benchmark::State& state) {
  const std::string file = vn::EncodeBmp(Photo(), false);
  vn::TDIBSurface s;
  for (auto _ : state) {
    vn::ReadBmp(file, s, false);
    benchmark::DoNotOptimize(s.ScanLine(0));
  }
  state.SetBytesProcessed(state.iterations() * kBytes);
}

void BM_CountColors24(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(Photo().CountColors());
  state.SetBytesProcessed(state.iterations() * kBytes);
}

void BM_ReduceColorsTo8Bits(benchmark::State& state) {
  vn::TDIBSurface s;
  for (auto _ : state) {
    s.AssignWithAlpha(Photo());
    s.ReduceColors(0, 8, state.range(0) != 0, 256);
  }
  state.SetBytesProcessed(state.iterations() * kBytes);
}

BENCHMARK(BM_ReadTgaRle)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeTgaRle)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadBmp)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CountColors24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReduceColorsTo8Bits)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
