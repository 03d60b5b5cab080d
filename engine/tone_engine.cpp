#include "engine/tone_engine.h"

#include <cmath>
#include <cstring>

namespace caldrith {

ToneEngine::ToneEngine() {
  std::memset(&lanes, 0, sizeof(lanes));
  for (int i = 0; i < kMaxTones; ++i) {
    vol[i] = SegmentEnvelope(4);
    lanes.weight[i] = 0.5;
  }
  std::memset(chunkGate, 0, sizeof(chunkGate));
  std::memset(chunkMaster, 0, sizeof(chunkMaster));
  std::memset(chunkAcc, 0, sizeof(chunkAcc));
  LoadLanes(kMaxTones);
}

void ToneEngine::ComputeWindows(float lo, float hi, float spread, int n, double sampleRate) {
  if (n < 1) n = 1;
  if (n > kMaxTones) n = kMaxTones;
  if (!(sampleRate > 0.0)) return;
  const float h = (hi - lo) / static_cast<float>(n);
  const double toRad = kTwoPi / sampleRate;
  for (int i = 0; i < n; ++i) {
    const double l = static_cast<double>(static_cast<float>(i) * h * spread + lo) * toRad;
    const double u = static_cast<double>(hi - static_cast<float>(n - 1 - i) * h * spread) * toRad;
    for (int c = 0; c < kChannels; ++c) {
      lanes.low[c][i] = l;
      lanes.high[c][i] = u;
      lanes.range[c][i] = u - l;
    }
  }
}

void ToneEngine::ComputeLoudness(float low, float middle, float high, int n) {
  if (n < 1 || n > kMaxTones) return;
  if (n == 1) {
    lanes.weight[0] = middle;
    return;
  }
  if (n == 2) {
    lanes.weight[0] = low;
    lanes.weight[1] = high;
    return;
  }
  const float m = static_cast<float>(n - 1) * 0.5f;
  const float gf = std::floor(m);
  const double gd = gf;
  for (int i = 0; i < n; ++i) {
    const float fi = static_cast<float>(i);
    if (m - 0.5f <= fi && fi <= m + 0.5f) {
      lanes.weight[i] = middle;
    } else if (fi >= m) {
      const double k = static_cast<double>(i - n) + gd + 1.0;
      lanes.weight[i] = k * (static_cast<double>(high) - 0.5) / gd + 0.5;
    } else {
      lanes.weight[i] = (gd - static_cast<double>(i)) * (static_cast<double>(low) - 0.5) / gd + 0.5;
    }
  }
}

void ToneEngine::Rephase(int count, int32_t hostPosition, float sweepLength) {
  const int n = tones < 1 ? 1 : (tones > kMaxTones ? kMaxTones : tones);
  float a = 0.0f;
  if (count < 1) {
    if (sweepLength > 0.0f) {
      a = std::fmod(static_cast<float>(hostPosition), sweepLength) / sweepLength;
      // Hosts may report positions before the project start; keep the base in [0, 1).
      if (a < 0.0f) a += 1.0f;
      if (!(a >= 0.0f && a < 1.0f)) a = 0.0f;
    }
  } else {
    const SegmentEnvelope& s0 = sweep[0];
    if (!s0.CurvedStepping()) {
      a = static_cast<float>(s0.Value());
    } else {
      SegmentEnvelope probe(1);
      probe.SetCurvature(0, s0.Curvature(0));
      probe.Retime(static_cast<float>(kRephaseSteps));
      const double v0 = s0.Value();
      a = 1.0f;
      for (int i = 0; i < kRephaseSteps; ++i) {
        if (probe.Step() >= v0) {
          a = static_cast<float>(i) / static_cast<float>(kRephaseSteps);
          break;
        }
      }
    }
  }
  for (int i = 0; i < n; ++i) {
    float p = static_cast<float>(i) / static_cast<float>(n) + a;
    if (p >= 1.0f) p -= 1.0f;
    if (i >= count) sweep[i].SetPosition(p);
    vol[i].SetPosition(p);
  }
}

void ToneEngine::StartGlides(int n, bool frequency, bool volume) {
  if (n > kMaxTones) n = kMaxTones;
  for (int c = 0; c < kChannels; ++c) {
    for (int i = 0; i < n; ++i) {
      if (frequency) {
        if (lanes.fAct[c][i]) lanes.fStart[c][i] = lanes.fLast[c][i];
        lanes.fProg[c][i] = 0.0;
        lanes.fAct[c][i] = -1;
      }
      if (volume) {
        if (lanes.vAct[c][i]) lanes.vStart[c][i] = lanes.vLast[c][i];
        lanes.vProg[c][i] = 0.0;
        lanes.vAct[c][i] = -1;
      }
    }
  }
}

void ToneEngine::ClearVoices(int from, int to) {
  if (from < 0) from = 0;
  if (to > kMaxTones) to = kMaxTones;
  for (int c = 0; c < kChannels; ++c) {
    for (int i = from; i < to; ++i) {
      lanes.fAct[c][i] = 0;
      lanes.vAct[c][i] = 0;
      lanes.vStart[c][i] = 0.0;
    }
  }
}

namespace {

// The lane mirror of one envelope bank (the sweeps or the volume envelopes).
struct LaneMirror {
  double *val, *mul, *inc, *tgt;
  int64_t* rise;
  int32_t* seg;
};

LaneMirror SweepMirror(ToneLanes& L) {
  return {L.swVal, L.swMul, L.swInc, L.swTgt, L.swRise, L.swSeg};
}
LaneMirror VolMirror(ToneLanes& L) {
  return {L.veVal, L.veMul, L.veInc, L.veTgt, L.veRise, L.veSeg};
}

// Lane i runs segment k of the envelope from value v.
void MirrorSegment(const LaneMirror& m, const SegmentEnvelope& e, int i, int k, double v) {
  m.val[i] = v;
  m.seg[i] = k;
  m.mul[i] = e.Multiplier(k);
  m.inc[i] = e.Increment(k);
  m.tgt[i] = e.Target(k);
  m.rise[i] = e.Rising(k) ? -1 : 0;
}

// Lane i after its envelope finished the running segment.
void AdvanceLane(const LaneMirror& m, const SegmentEnvelope& e, int i) {
  int k = m.seg[i];
  double v = e.Target(k);
  if (++k >= e.Segments()) {
    k = 0;
    v = e.StartValue();
  }
  MirrorSegment(m, e, i, k, v);
}

}  // namespace

void ToneEngine::LoadLanes(int n) {
  if (n > kMaxTones) n = kMaxTones;
  const LaneMirror sw = SweepMirror(lanes), ve = VolMirror(lanes);
  for (int i = 0; i < n; ++i) {
    MirrorSegment(sw, sweep[i], i, sweep[i].Segment(), sweep[i].Value());
    MirrorSegment(ve, vol[i], i, vol[i].Segment(), vol[i].Value());
  }
}

void ToneEngine::StoreLanes(int n) {
  if (n > kMaxTones) n = kMaxTones;
  for (int i = 0; i < n; ++i) {
    sweep[i].SetRunningState(lanes.swVal[i], lanes.swSeg[i]);
    vol[i].SetRunningState(lanes.veVal[i], lanes.veSeg[i]);
  }
}

void ToneEngine::AdvanceSweepLane(int i) {
  AdvanceLane(SweepMirror(lanes), sweep[i], i);
}
void ToneEngine::AdvanceVolLane(int i) {
  AdvanceLane(VolMirror(lanes), vol[i], i);
}

bool CpuHasAvx2() {
#if defined(__x86_64__) || defined(__i386__)
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
#else
  return false;
#endif
}

bool CpuHasAvx512() {
#if defined(__x86_64__) || defined(__i386__)
  static const bool has = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq");
  return has;
#else
  return false;
#endif
}

void ToneEngine::RenderFrames(double* out0, double* out1, int nFrames, double d) {
  using Fn = void (*)(ToneEngine&, double*, double*, int, double);
  static const Fn narrow = CpuHasAvx2() ? &kernel_avx2::RenderFrames : &kernel_base::RenderFrames;
  static const Fn wide = CpuHasAvx512() ? &kernel_avx512::RenderFrames : narrow;
  // Eight-lane vectors only pay off when more than four tones sound.
  (tones > 4 ? wide : narrow)(*this, out0, out1, nFrames, d);
}

void ToneEngine::EndOfBlockSync() {
  const int n = tones > kMaxTones ? kMaxTones : tones;
  for (int c = 0; c < kChannels; ++c) {
    for (int i = 0; i < n; ++i) {
      if (!lanes.fAct[c][i]) lanes.fStart[c][i] = lanes.curFreq[c][i];
      if (!lanes.vAct[c][i]) lanes.vStart[c][i] = lanes.curVol[i];
    }
  }
}

void ToneEngine::Render(double* out0, double* out1, int nFrames, double target) {
  if (nFrames < 0) nFrames = 0;
  if (nFrames > 0 && (out0 == nullptr || out1 == nullptr)) return;
  gateCursor = nullptr;
  if (gateTap && gateTapUsed && *gateTapUsed >= 0 && nFrames <= gateTapCapacity - *gateTapUsed) {
    gateCursor = gateTap + *gateTapUsed;
    *gateTapUsed += nFrames;
  }
  if (target == 0.0 && master < 1e-11) {
    if (nFrames > 0) {
      std::memset(out0, 0, sizeof(double) * static_cast<size_t>(nFrames));
      std::memset(out1, 0, sizeof(double) * static_cast<size_t>(nFrames));
    }
    // Silent, the gate stands still.
    for (int s = 0; gateCursor && s < nFrames; ++s) gateCursor[s] = gate.Value();
    return;
  }
  if (nFrames > 0) {
    const double diff = target - master;
    const double d = std::fabs(diff) > 1e-11 ? diff / nFrames : 0.0;
    RenderFrames(out0, out1, nFrames, d);
  }
  gateCursor = nullptr;
  EndOfBlockSync();
}

}  // namespace caldrith
