// TGA and bitmap files, colour counting and reduction on a 1024 x 768 24-bit photo-like picture.
#include <benchmark/benchmark.h>

#include "imaging/bmp_file.h"
#include "imaging/dib_surface.h"
#include "imaging/tga_file.h"

namespace {

// Smooth gradients with a little noise, so that runs are short as in scanned or rendered pictures.
const vn::TDIBSurface& Photo() {
  static vn::TDIBSurface s;
  if (s.Empty()) {
    s.SetSize(1024, 768, 24);
    uint32_t seed = 1;
    for (int y = 0; y < 768; ++y) {
      uint8_t* row = s.ScanLine(y);
      for (int x = 0; x < 1024 * 3; ++x) {
        seed = seed * 1664525u + 1013904223u;
        row[x] = static_cast<uint8_t>((x / 3 + y) / 8 + (seed >> 30));
      }
    }
  }
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
