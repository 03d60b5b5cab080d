// The noise bed and the limiter per stereo frame, at 48 kHz in blocks of 512 frames:
// ns_per_frame is what each adds to a render's time per frame.
#include <benchmark/benchmark.h>

#include <vector>

#include "tools/loudness.h"
#include "tools/noise.h"

namespace {

using caldrith_render::NoiseColor;
using caldrith_render::NoiseGenerator;
using caldrith_render::TruePeakLimiter;

constexpr int kBlock = 512;

void SetFrameCounters(benchmark::State& state) {
  const double frames = static_cast<double>(state.iterations()) * kBlock;
  state.SetItemsProcessed(static_cast<int64_t>(frames));
  state.counters["ns_per_frame"] =
      benchmark::Counter(frames, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_Noise(benchmark::State& state) {
  NoiseGenerator gen(48000, 1, false);
  gen.SetColor(static_cast<NoiseColor>(state.range(0)));
  std::vector<double> l(kBlock), r(kBlock);
  for (auto _ : state) {
    gen.Generate(l.data(), r.data(), kBlock);
    benchmark::DoNotOptimize(l.data());
    benchmark::DoNotOptimize(r.data());
  }
  SetFrameCounters(state);
}
BENCHMARK(BM_Noise)
    ->ArgName("colour")
    ->Arg(static_cast<int>(NoiseColor::kWhite))
    ->Arg(static_cast<int>(NoiseColor::kPink))
    ->Arg(static_cast<int>(NoiseColor::kBrown));

// Pink noise at `level` (RMS): 0.05 stays far below the -1 dBTP ceiling, 0.3 keeps the
// limiter working all the time.
void BM_Limiter(benchmark::State& state) {
  const double level = state.range(0) / 100.0;
  NoiseGenerator gen(48000, 2, false);
  gen.SetColor(NoiseColor::kPink);
  const int frames = 48000;
  std::vector<double> l(frames), r(frames), in(2 * frames), work(2 * kBlock);
  gen.Generate(l.data(), r.data(), frames);
  for (int i = 0; i < frames; ++i) in[2 * i] = level * l[i], in[2 * i + 1] = level * r[i];
  TruePeakLimiter limiter(48000, -1.0);
  int at = 0;
  for (auto _ : state) {
    std::copy(&in[2 * at], &in[2 * (at + kBlock)], work.begin());
    limiter.Process(work.data(), kBlock);
    benchmark::DoNotOptimize(work.data());
    at = at + 2 * kBlock > frames ? 0 : at + kBlock;
  }
  SetFrameCounters(state);
  state.counters["max_reduction_db"] = limiter.MaxReductionDb();
}
BENCHMARK(BM_Limiter)->ArgName("level_percent")->Arg(5)->Arg(30);

}  // namespace
