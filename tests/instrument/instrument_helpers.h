#pragma once
// Shared set-up for tests of the whole instrument.
#include <memory>
#include <vector>

#include "instrument/caldrith.h"

namespace caldrith_test {

inline void SetParam(CLS_CALDRITH& p, int idx, double value) {
  p.ParamAt(idx)->SetValue(value);
  p.HandleParamChangeLocked(idx);
}

inline void SetTransport(CLS_CALDRITH& p, int state, int64_t position = 0) {
  HostTimeline t;
  t.transportState = state;
  t.samplePosition = position;
  t.tempo = 120.0;
  p.SetHostTimeline(t);
}

// Every parameter applied once (opens the ready gate), at the given sample rate.
inline std::unique_ptr<CLS_CALDRITH> MakeReady(double sampleRate = 48000.0) {
  auto p = std::make_unique<CLS_CALDRITH>();
  p->SetSampleRate(sampleRate);
  for (int i = 0; i < kNumParams; ++i) p->HandleParamChangeLocked(i);
  return p;
}

struct Block {
  std::vector<double> left, right;
};

// One block through the base's locked path, as the host binding drives it.
inline Block Render(CLS_CALDRITH& p, int frames) {
  Block b{std::vector<double>(frames, 7.0), std::vector<double>(frames, 7.0)};
  double* outs[2] = {b.left.data(), b.right.data()};
  PlugLock lock(p.Mutex());
  p.RenderBlock(nullptr, outs, frames);
  return b;
}

inline double Peak(const std::vector<double>& v) {
  double m = 0.0;
  for (double x : v) m = x > m ? x : (-x > m ? -x : m);
  return m;
}

}  // namespace caldrith_test
