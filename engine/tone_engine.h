#pragma once
// The tone stack: 16 tone slots on two channels with their sweeps, volume envelopes,
// frequency windows, loudness weights, phases and declick glides, the pulse gate and the
// master ramp. Knows nothing of the plug-in around it.
//
// Per-tone state is kept as structure-of-arrays (one lane per tone) so the renderer can
// work on four tones at once; the envelopes' running value and segment are copied into
// the lanes for a block and back afterwards, everything else lives in the lanes.
#include <cstdint>

#include "engine/segment_envelope.h"
#include "engine/wave_shaper.h"

namespace caldrith {

constexpr int kMaxTones = 16;
constexpr int kChannels = 2;
// Frames rendered per pass of the vector renderer; blocks of any size are split into these.
constexpr int kRenderChunk = 256;
// Re-phasing resolves a curved sweep's position on a grid of this many steps.
constexpr int kRephaseSteps = 300;

struct alignas(64) ToneLanes {
  // Running envelope state, mirrored during a block: value, coefficients of the running
  // segment, rising flag as an all-ones mask.
  double swVal[kMaxTones], swMul[kMaxTones], swInc[kMaxTones], swTgt[kMaxTones];
  int64_t swRise[kMaxTones];
  double veVal[kMaxTones], veMul[kMaxTones], veInc[kMaxTones], veTgt[kMaxTones];
  int64_t veRise[kMaxTones];
  int32_t swSeg[kMaxTones], veSeg[kMaxTones];

  // Frequency windows in radians per sample.
  double low[kChannels][kMaxTones], range[kChannels][kMaxTones];
  double high[kChannels][kMaxTones];
  double weight[kMaxTones];
  double phase[kChannels][kMaxTones];
  double curFreq[kChannels][kMaxTones];
  double curVol[kMaxTones];

  // Glides: active as all-ones mask, start value, last output, progress.
  int64_t fAct[kChannels][kMaxTones], vAct[kChannels][kMaxTones];
  double fStart[kChannels][kMaxTones], fLast[kChannels][kMaxTones], fProg[kChannels][kMaxTones];
  double vStart[kChannels][kMaxTones], vLast[kChannels][kMaxTones], vProg[kChannels][kMaxTones];
};

struct ToneEngine {
  ToneEngine();

  // ---- set-up between blocks ----
  // Windows for n tones between lo and hi Hz with spread s (0..1) at sample rate sr.
  void ComputeWindows(float lo, float hi, float spread, int n, double sampleRate);
  // Loudness weights from the low, middle and high weights for n tones.
  void ComputeLoudness(float low, float middle, float high, int n);
  // Spreads the n sweeps and volume envelopes evenly over the cycle. count < 1 aligns the
  // cycle to the host position (sweepLength samples per doubled cycle); count >= 1 keeps
  // tone 0's sweep and places the others relative to it.
  void Rephase(int count, int32_t hostPosition, float sweepLength);
  // Starts (or restarts from their last output) the frequency and/or volume glides of the
  // first n tones on both channels.
  void StartGlides(int n, bool frequency, bool volume);
  // Per-voice clear of tones [from, to): glides off, volume glide starting from silence.
  void ClearVoices(int from, int to);
  void SetGlideIncrement(double inc) { glideInc = inc; }
  void SelectWave(int w) { wave.Select(w); }
  // Copies the gate's value of every frame rendered from now on to tap[*used], advancing
  // *used, while it fits in capacity; null stops it. For an offline host that lays other
  // sound under the tones, pulsed in step with them.
  void TapGate(double* tap, int capacity, int* used) {
    gateTap = tap;
    gateTapCapacity = capacity;
    gateTapUsed = used;
  }

  // ---- rendering ----
  // Silence path, master ramp toward target, the sample loop and the end-of-block sync.
  // out0/out1 must hold nFrames doubles.
  void Render(double* out0, double* out1, int nFrames, double target);

  // The sample loop alone (master ramp step d per frame), vector implementation chosen at
  // run time. Exposed so tests can compare the implementations.
  void RenderFrames(double* out0, double* out1, int nFrames, double d);
  void EndOfBlockSync();

  // Envelope state into the lanes and back.
  void LoadLanes(int n);
  void StoreLanes(int n);
  // Lane i of the sweep (or volume) mirror after its envelope finished a segment.
  void AdvanceSweepLane(int i);
  void AdvanceVolLane(int i);

  SegmentEnvelope sweep[kMaxTones];
  SegmentEnvelope vol[kMaxTones];
  PulseGate gate;
  WaveShaper wave;
  ToneLanes lanes;

  int tones = 0;        // N sounding tones
  float mix = 0.0f;     // depth of the pulse gate, 0..1
  double master = 0.0;  // current master amplitude
  double glideInc = 0.0;

  double* gateTap = nullptr;
  int gateTapCapacity = 0;
  int* gateTapUsed = nullptr;
  double* gateCursor = nullptr;  // where this block's gate values go, or null

  // Scratch of the vector renderer, here so that rendering allocates nothing.
  alignas(64) double chunkGate[kRenderChunk];
  alignas(64) double chunkMaster[kRenderChunk];
  alignas(64) double chunkAcc[kChannels][kRenderChunk];
};

// Implementations of the sample loop. All give identical samples; the dispatcher picks
// the widest the processor supports.
namespace kernel_base {
void RenderFrames(ToneEngine& e, double* out0, double* out1, int nFrames, double d);
}
namespace kernel_avx2 {
void RenderFrames(ToneEngine& e, double* out0, double* out1, int nFrames, double d);
}
namespace kernel_avx512 {
void RenderFrames(ToneEngine& e, double* out0, double* out1, int nFrames, double d);
}
bool CpuHasAvx2();
bool CpuHasAvx512();

}  // namespace caldrith
