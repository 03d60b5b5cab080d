#pragma once
// A plain one-tone-at-a-time renderer written straight from the engine's formulas. The
// vectorised renderer must reproduce it bit for bit.
#include <cmath>
#include <cstring>

#include "engine/tone_engine.h"

namespace caldrith_test {

using caldrith::ToneEngine;

inline double ReferenceGlide(ToneEngine& e, int64_t& act, double& start, double& last, double& prog,
                             double x) {
  if (!act) return x;
  prog += e.glideInc;
  x = (x - start) * prog + start;
  last = x;
  if (prog >= 1.0) act = 0;
  return x;
}

inline void ReferenceRender(ToneEngine& e, double* out0, double* out1, int nFrames, double target) {
  if (target == 0.0 && e.master < 1e-11) {
    for (int s = 0; s < nFrames; ++s) out0[s] = out1[s] = 0.0;
    return;
  }
  const double d = std::fabs(target - e.master) > 1e-11 ? (target - e.master) / nFrames : 0.0;
  auto& L = e.lanes;
  const int n = e.tones < 1 ? 1 : (e.tones > 16 ? 16 : e.tones);
  double* outs[2] = {out0, out1};
  for (int s = 0; s < nFrames; ++s) {
    e.master += d;
    const double g = e.gate.Step();
    for (int c = 0; c < 2; ++c) {
      double sum = 0.0;
      for (int i = 0; i < n; ++i) {
        double f = L.range[c][i] * e.sweep[i].Step() + L.low[c][i];
        f = ReferenceGlide(e, L.fAct[c][i], L.fStart[c][i], L.fLast[c][i], L.fProg[c][i], f);
        L.curFreq[c][i] = f;
        double v = L.weight[i] * e.vol[i].Step();
        v = (g - 1.0) * v * static_cast<double>(e.mix) + v;
        v = ReferenceGlide(e, L.vAct[c][i], L.vStart[c][i], L.vLast[c][i], L.vProg[c][i], v);
        L.curVol[i] = v;
        if (L.phase[c][i] >= caldrith::kTwoPi) L.phase[c][i] -= caldrith::kTwoPi;
        const double sample = e.wave(L.phase[c][i]);
        sum += sample * L.curVol[i];
        L.phase[c][i] += L.curFreq[c][i];
      }
      outs[c][s] = sum * e.master;
    }
  }
  e.EndOfBlockSync();
}

}  // namespace caldrith_test
