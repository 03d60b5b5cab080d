// What the VST 3 processing call costs on top of the engine's own rendering.
#include <benchmark/benchmark.h>

#include <vector>

#include "instrument/caldrith.h"
#include "vst3/host/host_support.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

constexpr double kRate = 48000.0;

void SetRealTimeFactor(benchmark::State& state, int frames) {
  state.counters["x_realtime"] = benchmark::Counter(static_cast<double>(frames) / kRate,
                                                    benchmark::Counter::kIsIterationInvariantRate);
}

// The engine alone: RenderBlock on the instrument, as the base calls it.
void BM_EngineRenderBlock(benchmark::State& state) {
  const int frames = static_cast<int>(state.range(0));
  auto* plug = new CLS_CALDRITH();
  caldrith_host::HostContext host;
  plug->initialize(static_cast<IHostApplication*>(&host));
  ProcessSetup setup{kRealtime, kSample64, frames, kRate};
  plug->setupProcessing(setup);
  HostTimeline timeline;
  timeline.transportState = 1;
  plug->SetHostTimeline(timeline);
  std::vector<double> l(static_cast<size_t>(frames)), r(static_cast<size_t>(frames));
  double* outs[2] = {l.data(), r.data()};
  for (auto _ : state) {
    plug->RenderBlock(nullptr, outs, frames);
    benchmark::DoNotOptimize(l.data());
  }
  SetRealTimeFactor(state, frames);
  plug->terminate();
  plug->release();
}

// The same work through IAudioProcessor::process, with a playing host context.
void BM_Process(benchmark::State& state, int32 sampleSize) {
  const int frames = static_cast<int>(state.range(0));
  auto* plug = new CLS_CALDRITH();
  caldrith_host::HostContext host;
  plug->initialize(static_cast<IHostApplication*>(&host));
  SpeakerArrangement stereo = SpeakerArr::kStereo;
  plug->setBusArrangements(nullptr, 0, &stereo, 1);
  plug->activateBus(kAudio, kOutput, 0, true);
  ProcessSetup setup{kRealtime, sampleSize, frames, kRate};
  plug->setupProcessing(setup);
  plug->setActive(true);
  std::vector<float> lf(static_cast<size_t>(frames)), rf(static_cast<size_t>(frames));
  std::vector<double> ld(static_cast<size_t>(frames)), rd(static_cast<size_t>(frames));
  float* f[2] = {lf.data(), rf.data()};
  double* d[2] = {ld.data(), rd.data()};
  AudioBusBuffers out{};
  out.numChannels = 2;
  if (sampleSize == kSample64) {
    out.channelBuffers64 = d;
  } else {
    out.channelBuffers32 = f;
  }
  ProcessContext ctx{};
  ctx.state = ProcessContext::kPlaying;
  ctx.sampleRate = kRate;
  ctx.tempo = 120.0;
  caldrith_host::ParamChanges changes(4);
  caldrith_host::EventList events(4);
  ProcessData data{};
  data.numSamples = frames;
  data.numOutputs = 1;
  data.outputs = &out;
  data.processContext = &ctx;
  data.inputParameterChanges = &changes;
  data.inputEvents = &events;
  for (auto _ : state) {
    plug->process(data);
    ctx.projectTimeSamples += frames;
    benchmark::DoNotOptimize(lf.data());
    benchmark::DoNotOptimize(ld.data());
  }
  SetRealTimeFactor(state, frames);
  plug->setActive(false);
  plug->terminate();
  plug->release();
}

void BM_Process32(benchmark::State& state) {
  BM_Process(state, kSample32);
}
void BM_Process64(benchmark::State& state) {
  BM_Process(state, kSample64);
}

}  // namespace

BENCHMARK(BM_EngineRenderBlock)->Arg(512)->Arg(32);
BENCHMARK(BM_Process32)->Arg(512)->Arg(32);
BENCHMARK(BM_Process64)->Arg(512)->Arg(32);
BENCHMARK_MAIN();
