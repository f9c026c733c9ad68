// Picture decoding and blending, per operation.
#include <benchmark/benchmark.h>

#include "archive/stream.h"
#include "bench/sample_picture.h"
#include "imaging/ruxa.h"
#include "imaging/ruxa_writer.h"

namespace {

vn::TDIBSurface& Photo() {
  static vn::TDIBSurface s;
  if (s.Empty()) vn::bench::MakeSamplePicture(s, 3);
  return s;
}

void Decode(benchmark::State& state, const vn::TRuxaEncodeOptions& options) {
  const std::string bytes = vn::EncodeRuxa(Photo(), options);
  for (auto _ : state) {
    vn::TMemoryStream stream(bytes);
    vn::TRuxaFrameList list(options.key);
    list.LoadFromStream(stream, false, true, false);
    benchmark::DoNotOptimize(list.GetFrame(0).Surface.ScanLine(0));
  }
  state.SetBytesProcessed(state.iterations() * 1024 * 768 * 3);
}

void BM_DecodeJpegPlane(benchmark::State& state) {
  Decode(state, {.jpeg_quality = 90});
}
void BM_DecodeZlibRowsShuffled(benchmark::State& state) {
  Decode(state, {.key = 7, .shuffle = true});
}
void BM_DecodeZlibBlocks(benchmark::State& state) {
  Decode(state, {.key = 7, .shuffle = true, .block_width = 32, .block_height = 32});
}

void BM_DrawTranslucent24(benchmark::State& state) {
  vn::TDIBSurface target;
  target.SetSize(1024, 768, 24);
  for (auto _ : state) target.DrawTranslucent(0, 0, 100, -1, Photo().BoundsRect(), Photo());
  state.SetBytesProcessed(state.iterations() * 1024 * 768 * 3);
}

BENCHMARK(BM_DecodeJpegPlane)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeZlibRowsShuffled)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeZlibBlocks)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawTranslucent24)->Unit(benchmark::kMillisecond);

}  // namespace
