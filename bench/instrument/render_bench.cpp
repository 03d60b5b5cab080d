// RenderBlock of the whole instrument at 48 kHz in 512-frame blocks. "rt_factor" is the
// number of seconds of stereo audio rendered per second of one core.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "instrument/caldrith.h"

namespace {

constexpr double kRate = 48000.0;
constexpr int kBlock = 512;

std::unique_ptr<CLS_CALDRITH> MakeInstrument(int tones, int wave) {
  auto plug = std::make_unique<CLS_CALDRITH>();
  plug->SetSampleRate(kRate);
  for (int i = 0; i < kNumParams; ++i) plug->HandleParamChangeLocked(i);
  plug->ParamAt(kTones)->SetValue(tones);
  plug->HandleParamChangeLocked(kTones);
  plug->ParamAt(kWave)->SetValue(wave);
  plug->HandleParamChangeLocked(kWave);
  plug->ParamAt(kPlayAnyway)->SetValue(1);
  plug->HandleParamChangeLocked(kPlayAnyway);
  return plug;
}

void BM_RenderBlock(benchmark::State& state) {
  const int tones = static_cast<int>(state.range(0));
  const int wave = static_cast<int>(state.range(1));
  auto plug = MakeInstrument(tones, wave);
  std::vector<double> left(kBlock), right(kBlock);
  double* outs[2] = {left.data(), right.data()};
  // Past the start-up glides, as in steady playing.
  for (int i = 0; i < 100; ++i) plug->RenderBlock(nullptr, outs, kBlock);
  for (auto _ : state) {
    plug->RenderBlock(nullptr, outs, kBlock);
    benchmark::DoNotOptimize(left.data());
    benchmark::DoNotOptimize(right.data());
  }
  state.counters["rt_factor"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * kBlock / kRate, benchmark::Counter::kIsRate);
}

void Args(benchmark::internal::Benchmark* b) {
  for (int tones : {1, 7, 16}) b->Args({tones, 0});
  for (int wave = 1; wave < 7; ++wave) b->Args({16, wave});
}

BENCHMARK(BM_RenderBlock)->Apply(Args)->ArgNames({"tones", "wave"});

// Each implementation of the sample loop on its own, 16 sine tones (the instrument picks
// the widest one the processor has).
template <int kImpl>
void BM_SampleLoop(benchmark::State& state) {
  using Fn = void (*)(caldrith::ToneEngine&, double*, double*, int, double);
  const Fn fns[3] = {&caldrith::kernel_base::RenderFrames, &caldrith::kernel_avx2::RenderFrames,
                     &caldrith::kernel_avx512::RenderFrames};
  if ((kImpl == 1 && !caldrith::CpuHasAvx2()) || (kImpl == 2 && !caldrith::CpuHasAvx512())) {
    state.SkipWithError("not supported by this processor");
    return;
  }
  auto plug = MakeInstrument(16, 0);
  std::vector<double> left(kBlock), right(kBlock);
  double* outs[2] = {left.data(), right.data()};
  for (int i = 0; i < 100; ++i) plug->RenderBlock(nullptr, outs, kBlock);
  caldrith::ToneEngine engine = plug->Engine();
  for (auto _ : state) {
    fns[kImpl](engine, left.data(), right.data(), kBlock, 0.0);
    engine.EndOfBlockSync();
    benchmark::DoNotOptimize(left.data());
  }
  state.counters["rt_factor"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * kBlock / kRate, benchmark::Counter::kIsRate);
}
BENCHMARK_TEMPLATE(BM_SampleLoop, 0)->Name("BM_SampleLoop/sse2");
BENCHMARK_TEMPLATE(BM_SampleLoop, 1)->Name("BM_SampleLoop/avx2");
BENCHMARK_TEMPLATE(BM_SampleLoop, 2)->Name("BM_SampleLoop/avx512");

}  // namespace

BENCHMARK_MAIN();
