#include "tools/finish_stage.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace caldrith_render {

FinishStage::FinishStage(int rate, int maxFrames, double ceilingDb, bool measure)
    : mMaxFrames(std::max(1, maxFrames)), mBuf(static_cast<size_t>(mMaxFrames) * 2, 0.0) {
  if (!std::isnan(ceilingDb)) {
    mLimiter = std::make_unique<TruePeakLimiter>(rate, ceilingDb);
    mSkip = mOwed = mLimiter->Latency();
  }
  if (measure) mMeter = std::make_unique<LoudnessMeter>(rate, 2);
}

int FinishStage::Pass(int frames, const double** out) {
  if (mLimiter) mLimiter->Process(mBuf.data(), frames);
  const int drop = std::min(mSkip, frames);
  mSkip -= drop;
  *out = mBuf.data() + static_cast<size_t>(drop) * 2;
  const int ready = frames - drop;
  if (mMeter && ready > 0) mMeter->Add(*out, static_cast<size_t>(ready));
  return ready;
}

int FinishStage::Push(const double* in, int frames, const double** out) {
  frames = std::clamp(frames, 0, mMaxFrames);
  std::memcpy(mBuf.data(), in, sizeof(double) * 2 * static_cast<size_t>(frames));
  return Pass(frames, out);
}

int FinishStage::Flush(const double** out) {
  // Silence pushes the held frames out; what it brings in is never given.
  int frames = std::min(mOwed, mMaxFrames);
  if (frames <= 0) return 0;
  mOwed -= frames;
  std::fill(mBuf.begin(), mBuf.begin() + static_cast<std::ptrdiff_t>(frames) * 2, 0.0);
  // While the start is still being dropped (a render shorter than the delay), part of the
  // flush is dropped too, and the file keeps its length.
  return Pass(frames, out);
}

}  // namespace caldrith_render
