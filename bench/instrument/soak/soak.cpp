// caldrith-soak: a day of audio in accelerated time through the VST 3 processing call, with
// seeded random automation, preset changes every few seconds, transport changes, state
// restores and occasional new set-ups. Checks every sample for finiteness and the level bound,
// and that the cost of a block does not creep: every simulated hour the same probe (default
// settings, 16 tones, fixed blocks) is timed on the soaked instance, its state put back after.
//
//   caldrith-soak [--hours H] [--seed S] [--rate HZ] [--block N] [--bound X]
// Exit status 0 when every check held.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "instrument/caldrith.h"
#include "public.sdk/source/common/memorystream.h"
#include "vst3/host/host_support.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

struct Options {
  double hours = 24.0;
  uint32_t seed = 1;
  double rate = 48000.0;
  int block = 512;
  double bound = 1.0;
};

bool ParseOptions(int argc, char** argv, Options* o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (i + 1 >= argc) return false;
    const char* v = argv[++i];
    if (a == "--hours") {
      o->hours = std::atof(v);
    } else if (a == "--seed") {
      o->seed = static_cast<uint32_t>(std::strtoul(v, nullptr, 10));
    } else if (a == "--rate") {
      o->rate = std::atof(v);
    } else if (a == "--block") {
      o->block = std::atoi(v);
    } else if (a == "--bound") {
      o->bound = std::atof(v);
    } else {
      return false;
    }
  }
  return o->hours > 0.0 && o->rate >= 8000.0 && o->rate <= 384000.0 && o->block >= 1 &&
         o->block <= 8192 && o->bound > 0.0;
}

using Clock = std::chrono::steady_clock;

struct Soak {
  CLS_CALDRITH* plug = new CLS_CALDRITH();
  IComponent* component = nullptr;
  IAudioProcessor* processor = nullptr;
  caldrith_host::HostContext host{"caldrith-soak"};
  caldrith_host::ParamChanges changes{32};
  ProcessContext context{};
  std::vector<float> left, right;
  float* channels[2] = {};
  AudioBusBuffers bus{};
  ProcessData data{};
  int block;

  Soak(double rate, int blockSize) : block(blockSize) {
    plug->queryInterface(IComponent::iid, reinterpret_cast<void**>(&component));
    plug->queryInterface(IAudioProcessor::iid, reinterpret_cast<void**>(&processor));
    component->initialize(static_cast<IHostApplication*>(&host));
    component->activateBus(kAudio, kOutput, 0, true);
    Setup(rate);
    left.assign(static_cast<size_t>(block), 0.f);
    right.assign(static_cast<size_t>(block), 0.f);
    channels[0] = left.data();
    channels[1] = right.data();
    bus.numChannels = 2;
    bus.channelBuffers32 = channels;
    context.state = ProcessContext::kPlaying;
    context.tempo = 120.0;
    data.processMode = kRealtime;
    data.symbolicSampleSize = kSample32;
    data.numOutputs = 1;
    data.outputs = &bus;
    data.inputParameterChanges = &changes;
    data.processContext = &context;
  }
  ~Soak() {
    component->setActive(false);
    component->terminate();
    processor->release();
    component->release();
    plug->release();
  }
  void Setup(double rate) {
    ProcessSetup s{kRealtime, kSample32, block, rate};
    processor->setupProcessing(s);
    component->setActive(true);
    context.sampleRate = rate;
  }
  // One block of n frames; answers the peak, or -1 when a sample was not finite.
  double Process(int n) {
    data.numSamples = n;
    processor->process(data);
    changes.Clear();
    context.projectTimeSamples += n;
    double peak = 0.0;
    for (int s = 0; s < n; ++s) {
      const double l = left[static_cast<size_t>(s)], r = right[static_cast<size_t>(s)];
      if (!std::isfinite(l) || !std::isfinite(r)) return -1.0;
      peak = std::max(peak, std::max(std::fabs(l), std::fabs(r)));
    }
    return peak;
  }
  std::vector<uint8_t> GetState() {
    MemoryStream s;
    component->getState(&s);
    const auto* d = reinterpret_cast<const uint8_t*>(s.getData());
    return std::vector<uint8_t>(d, d + s.getSize());
  }
  void SetState(std::vector<uint8_t> bytes) {
    MemoryStream s(bytes.data(), static_cast<TSize>(bytes.size()));
    component->setState(&s);
  }
};

// Nanoseconds per block of the fixed probe: the least of five medians of 400 blocks, so that
// other work on the machine inflates it as little as possible. The soaked state is restored
// afterwards.
double Probe(Soak& soak, const std::vector<uint8_t>& probeState) {
  const std::vector<uint8_t> saved = soak.GetState();
  const ProcessContext context = soak.context;
  soak.SetState(probeState);
  soak.context.state = ProcessContext::kPlaying;
  double best = 1e300;
  for (int round = 0; round < 5; ++round) {
    std::vector<double> times;
    for (int i = 0; i < 400; ++i) {
      const auto t0 = Clock::now();
      soak.Process(soak.block);
      times.push_back(std::chrono::duration<double, std::nano>(Clock::now() - t0).count());
    }
    std::nth_element(times.begin(), times.begin() + times.size() / 2, times.end());
    best = std::min(best, times[times.size() / 2]);
  }
  soak.SetState(saved);
  soak.context = context;
  return best;
}

const double kRates[] = {8000.0, 11025.0, 22050.0, 44100.0, 48000.0, 96000.0, 192000.0, 384000.0};

}  // namespace

int main(int argc, char** argv) {
  Options opt;
  if (!ParseOptions(argc, argv, &opt)) {
    std::fprintf(stderr,
                 "usage: caldrith-soak [--hours H] [--seed S] [--rate 8000..384000] "
                 "[--block 1..8192] [--bound X]\n");
    return 2;
  }
  Soak soak(opt.rate, opt.block);
  std::mt19937 rng(opt.seed);
  auto uniform = [&](double a, double b) {
    return std::uniform_real_distribution<double>(a, b)(rng);
  };

  // The probe: defaults with 16 tones, so every vector lane is busy.
  soak.changes.Add(kTones, 1.0);
  soak.Process(opt.block);
  const std::vector<uint8_t> probeState = soak.GetState();

  double rate = opt.rate;
  const long long hourFrames = static_cast<long long>(3600.0 * opt.rate);
  const long long totalFrames = static_cast<long long>(opt.hours * hourFrames);
  long long done = 0, nextHour = hourFrames;
  long long nextPreset = 0, nextTransport = 0, nextState = 0, nextSetup = 0;
  double peak = 0.0, hourPeak = 0.0, hourCost = 0.0;
  long long hourBlocks = 0, blocks = 0, changesSent = 0, presetsSent = 0;
  bool finite = true;
  std::vector<double> probes = {Probe(soak, probeState)};
  std::printf("hour  blocks      peak     mean ns/block  probe ns/block\n");
  std::printf("%4d  %9d  %8s  %14s  %14.0f\n", 0, 0, "-", "-", probes.back());
  const auto wallStart = Clock::now();

  while (done < totalFrames) {
    // Automation: a few parameters a block, now and then.
    if (uniform(0, 1) < 0.05) {
      const int n = 1 + static_cast<int>(uniform(0, 3));
      for (int i = 0; i < n; ++i) {
        soak.changes.Add(static_cast<ParamID>(uniform(0, kNumParams)), uniform(0, 1));
        ++changesSent;
      }
    }
    // Every few seconds of audio another factory preset.
    if (done >= nextPreset) {
      soak.changes.Add(kPresetParamTag, uniform(0, 1));
      ++presetsSent;
      nextPreset = done + static_cast<long long>(uniform(2.0, 8.0) * rate);
    }
    if (done >= nextTransport) {
      soak.context.state = uniform(0, 1) < 0.8 ? ProcessContext::kPlaying : 0;
      if (uniform(0, 1) < 0.1)
        soak.context.projectTimeSamples = static_cast<int64>(uniform(0, 1e9));
      nextTransport = done + static_cast<long long>(uniform(5.0, 60.0) * rate);
    }
    if (done >= nextState) {
      std::vector<uint8_t> bytes(kNumParams * 8);
      for (int i = 0; i < kNumParams; ++i) {
        const PlugParam* p = soak.plug->ParamAt(i);
        const double v = uniform(p->Min(), p->Max());
        std::memcpy(bytes.data() + 8 * i, &v, 8);
      }
      soak.SetState(bytes);
      nextState = done + static_cast<long long>(uniform(60.0, 600.0) * rate);
    }
    if (done >= nextSetup) {
      // The host moves to another rate now and then and comes back.
      rate = uniform(0, 1) < 0.7 ? opt.rate : kRates[static_cast<int>(uniform(0, 8))];
      soak.Setup(rate);
      nextSetup = done + static_cast<long long>(uniform(600.0, 3600.0) * rate);
    }
    const int n = uniform(0, 1) < 0.9 ? opt.block : 1 + static_cast<int>(uniform(0, opt.block));
    const auto t0 = Clock::now();
    const double p = soak.Process(n);
    hourCost += std::chrono::duration<double, std::nano>(Clock::now() - t0).count();
    ++hourBlocks;
    ++blocks;
    if (p < 0.0) {
      finite = false;
      std::printf("non-finite sample in block %lld\n", blocks);
      break;
    }
    hourPeak = std::max(hourPeak, p);
    done += n;
    if (done >= nextHour || done >= totalFrames) {
      peak = std::max(peak, hourPeak);
      probes.push_back(Probe(soak, probeState));
      std::printf("%4lld  %9lld  %8.5f  %14.0f  %14.0f\n", nextHour / hourFrames, hourBlocks,
                  hourPeak, hourCost / static_cast<double>(hourBlocks), probes.back());
      std::fflush(stdout);
      hourPeak = 0.0;
      hourCost = 0.0;
      hourBlocks = 0;
      nextHour += hourFrames;
    }
  }
  const double wall = std::chrono::duration<double>(Clock::now() - wallStart).count();
  // Creep: the later half of the probes against the earlier half (medians, so one noisy
  // hour on a shared machine does not decide it).
  std::vector<double> early(probes.begin(), probes.begin() + (probes.size() + 1) / 2);
  std::vector<double> late(probes.begin() + probes.size() / 2, probes.end());
  std::sort(early.begin(), early.end());
  std::sort(late.begin(), late.end());
  const double creep = late[late.size() / 2] / early[early.size() / 2];
  const bool levelOk = peak <= opt.bound;
  const bool creepOk = creep <= 1.25;
  std::printf(
      "\n%.1f h of audio in %.0f s (%.0fx real time), %lld blocks, %lld parameter changes, "
      "%lld preset changes\n",
      static_cast<double>(done) / hourFrames, wall, static_cast<double>(done) / opt.rate / wall,
      blocks, changesSent, presetsSent);
  std::printf("finite: %s\npeak: %.5f (bound %.3f): %s\nprobe cost, late/early median: %.3f: %s\n",
              finite ? "yes" : "NO", peak, opt.bound, levelOk ? "ok" : "EXCEEDED", creep,
              creepOk ? "ok" : "CREEPS");
  return finite && levelOk && creepOk ? 0 : 1;
}
