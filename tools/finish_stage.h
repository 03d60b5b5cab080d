#pragma once
// The last stage before the file or the speakers: the true-peak limiter when a ceiling is set,
// with its delay taken back so that what is written lines up with the session sample for
// sample, and the loudness meter of what is written. Allocates nothing after construction.
#include <memory>
#include <vector>

#include "tools/loudness.h"

namespace caldrith_render {

class FinishStage {
 public:
  // Stereo. A ceiling of NaN: no limiter. `measure`: meter what passes.
  FinishStage(int rate, int maxFrames, double ceilingDb, bool measure);

  // Takes `frames` (at most maxFrames) interleaved frames; answers how many are ready in
  // *out (fewer than taken while the limiter's delay fills at the start).
  int Push(const double* in, int frames, const double** out);
  // After the last Push, the frames the delay still holds, up to maxFrames a call; 0 at the end.
  int Flush(const double** out);

  const LoudnessMeter* Meter() const { return mMeter.get(); }
  const TruePeakLimiter* Limiter() const { return mLimiter.get(); }

 private:
  int Pass(int frames, const double** out);

  int mMaxFrames;
  std::unique_ptr<TruePeakLimiter> mLimiter;
  std::unique_ptr<LoudnessMeter> mMeter;
  std::vector<double> mBuf;
  int mSkip = 0;  // delayed frames still to drop at the start
  int mOwed = 0;  // frames still held in the delay
};

}  // namespace caldrith_render
