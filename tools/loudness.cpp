#include "tools/loudness.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

namespace caldrith_render {

namespace {

constexpr double kPi = 3.14159265358979323846;
// Meters differ in their interpolators: on broadband signals held at the ceiling, short 4x
// filters (libebur128's among them) read up to ~0.4 dB above an ideal interpolator. The limiter
// aims this far under the ceiling so that none of them reads a peak above it.
constexpr double kMarginDb = 0.5;
constexpr double kLookAheadSeconds = 0.002;
constexpr double kReleaseSeconds = 0.2;
const double kFourTimesGap = 1.0 / std::cos(kPi / 8.0);

double ToDb(double linear) {
  return linear > 0.0 ? 20.0 * std::log10(linear) : -std::numeric_limits<double>::infinity();
}

double BesselI0(double x) {
  double sum = 1.0, term = 1.0;
  for (int k = 1; k < 50; ++k) {
    term *= (x / (2.0 * k)) * (x / (2.0 * k));
    sum += term;
    if (term < sum * 1e-17) break;
  }
  return sum;
}

}  // namespace

LoudnessMeter::LoudnessMeter(int rate, int channels) : mChannels(channels) {
  // The histogram keeps memory fixed however long the render.
  if (rate > 0 && channels > 0) {
    mState = ebur128_init(static_cast<unsigned>(channels), static_cast<unsigned long>(rate),
                          EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK | EBUR128_MODE_HISTOGRAM);
  }
  if (!mState) {
    throw std::runtime_error("loudness meter: cannot measure " + std::to_string(channels) +
                             " channels at " + std::to_string(rate) + " Hz");
  }
}

LoudnessMeter::~LoudnessMeter() {
  ebur128_destroy(&mState);
}

void LoudnessMeter::Add(const double* interleaved, size_t frames) {
  if (frames > 0) ebur128_add_frames_double(mState, interleaved, frames);
}

double LoudnessMeter::Integrated() const {
  double lufs = -std::numeric_limits<double>::infinity();
  if (ebur128_loudness_global(mState, &lufs) != EBUR128_SUCCESS || std::isnan(lufs)) {
    return -std::numeric_limits<double>::infinity();
  }
  return lufs;
}

double LoudnessMeter::TruePeakDb() const {
  double peak = 0.0;
  for (int c = 0; c < mChannels; ++c) {
    double v = 0.0;
    if (ebur128_true_peak(mState, static_cast<unsigned>(c), &v) == EBUR128_SUCCESS) {
      peak = std::max(peak, v);
    }
  }
  return std::max(ToDb(peak), SamplePeakDb());
}

double LoudnessMeter::SamplePeakDb() const {
  double peak = 0.0;
  for (int c = 0; c < mChannels; ++c) {
    double v = 0.0;
    if (ebur128_sample_peak(mState, static_cast<unsigned>(c), &v) == EBUR128_SUCCESS) {
      peak = std::max(peak, v);
    }
  }
  return ToDb(peak);
}

TruePeakLimiter::TruePeakLimiter(int rate, double ceilingDb) {
  if (!(rate >= 8000 && rate <= 384000) || !std::isfinite(ceilingDb)) {
    throw std::invalid_argument("limiter: rate outside 8000..384000 Hz or ceiling not a number");
  }
  mLookAhead = std::max(1, static_cast<int>(std::lround(kLookAheadSeconds * rate)));
  // The held minimum reaches the interpolator's span past either end of the average, so the
  // gain is flat around every peak and the peaks between samples scale with it.
  mHold = mLookAhead + kTaps;
  mLatency = kTaps + mLookAhead - 1;
  mCeiling = std::pow(10.0, (ceilingDb - kMarginDb) / 20.0);
  mRelease = 1.0 - std::exp(-1.0 / (kReleaseSeconds * rate));

  // Kaiser-windowed sinc at the input's Nyquist frequency: the points an eighth, a quarter, ...
  // of the way to the next frame. Meters read 4x; the 8x points bound what lies between theirs.
  const double beta = 8.0, i0Beta = BesselI0(beta);
  double worst = 1.0;
  for (int p = 1; p < kPhases; ++p) {
    double sum = 0.0, absSum = 0.0;
    for (int i = 0; i < kTaps; ++i) {
      double t = static_cast<double>(p) / kPhases + (kHalf - 1 - i);
      double r = t / kHalf;
      double window = std::fabs(r) < 1.0 ? BesselI0(beta * std::sqrt(1.0 - r * r)) / i0Beta : 0.0;
      mTaps[p - 1][i] = std::sin(kPi * t) / (kPi * t) * window;
      sum += mTaps[p - 1][i];
    }
    for (int i = 0; i < kTaps; ++i) {
      mTaps[p - 1][i] /= sum;
      absSum += std::fabs(mTaps[p - 1][i]);
    }
    worst = std::max(worst, absSum);
  }
  mQuietLevel = mCeiling / worst;

  mMinValue.assign(mHold + 2, 1.0);
  mMinIndex.assign(mHold + 2, 0);
  mAverage.assign(mLookAhead, 1.0);
  mAverageSum = mLookAhead;
  mUnityRun = mLookAhead;
  mDelay.assign(2 * mLatency, 0.0);
}

double TruePeakLimiter::MaxReductionDb() const {
  return -ToDb(mMinGain) + 0.0;
}

// The largest magnitude among the points `first`, first + step, ... (in eighths of a frame)
// between the centre frame and the next.
double TruePeakLimiter::Interpolated(int first, int step) const {
  typedef double Pair __attribute__((vector_size(16)));
  const double* h = &mHistory[mHistoryPos + 1][0];
  double peak = 0.0;
  for (int p = first; p < kPhases; p += 2 * step) {
    // Two phases at a time: independent sums keep the adder busy.
    const double* t0 = mTaps[p - 1];
    const double* t1 = mTaps[(p + step < kPhases ? p + step : p) - 1];
    Pair a = {0, 0}, b = {0, 0};
    for (int i = 0; i < kTaps; ++i) {
      Pair x = {h[2 * i], h[2 * i + 1]};
      a += t0[i] * x;
      b += t1[i] * x;
    }
    peak = std::max({peak, std::fabs(a[0]), std::fabs(a[1]), std::fabs(b[0]), std::fabs(b[1])});
  }
  return peak;
}

// One frame through the whole detector.
void TruePeakLimiter::Step(double* frame) {
  for (int c = 0; c < 2; ++c) {
    if (!std::isfinite(frame[c])) frame[c] = 0.0;  // a broken source goes silent, never loud
  }
  const bool quiet = std::fabs(frame[0]) <= mQuietLevel && std::fabs(frame[1]) <= mQuietLevel;
  mQuietRun = quiet ? mQuietRun + 1 : 0;
  mHistoryPos = (mHistoryPos + 1) % kTaps;
  for (int c = 0; c < 2; ++c) {
    mHistory[mHistoryPos][c] = mHistory[mHistoryPos + kTaps][c] = frame[c];
  }

  // The wanted gain for the frame kHalf back, from it and the points after it.
  double wanted = 1.0;
  if (mQuietRun < kTaps) {
    const double* centre = mHistory[mHistoryPos + kHalf];
    double peak = std::max({std::fabs(centre[0]), std::fabs(centre[1]), Interpolated(2, 2)});
    // A signal band-limited to half the rate peaks at most 1 / cos(pi / 8) above its 4x
    // points; only near the ceiling do the points in between need computing.
    if (peak * kFourTimesGap > mCeiling) peak = std::max(peak, Interpolated(1, 2));
    if (peak > mCeiling) wanted = mCeiling / peak;
  }

  ++mStep;
  const int cap = static_cast<int>(mMinValue.size());
  while (mMinSize > 0 && mMinValue[(mMinHead + mMinSize - 1) % cap] >= wanted) --mMinSize;
  mMinValue[(mMinHead + mMinSize) % cap] = wanted;
  mMinIndex[(mMinHead + mMinSize) % cap] = mStep;
  ++mMinSize;
  while (mMinIndex[mMinHead] < mStep - mHold) {
    mMinHead = (mMinHead + 1) % cap;
    --mMinSize;
  }
  const double held = mMinValue[mMinHead];

  double released = mReleased + (1.0 - mReleased) * mRelease;
  if (released > 1.0 - 1e-9) released = 1.0;
  mReleased = std::min(held, released);
  mUnityRun = mReleased == 1.0 ? mUnityRun + 1 : 0;

  mAverageSum += mReleased - mAverage[mAveragePos];
  mAverage[mAveragePos] = mReleased;
  mAveragePos = (mAveragePos + 1) % mLookAhead;
  if (mUnityRun >= mLookAhead) mAverageSum = mLookAhead;  // every entry is 1: no drift left
  const double gain = std::min(1.0, mAverageSum / mLookAhead);
  mMinGain = std::min(mMinGain, gain);

  double* delayed = &mDelay[2 * mDelayPos];
  for (int c = 0; c < 2; ++c) {
    double out = delayed[c] * gain;
    delayed[c] = frame[c];
    frame[c] = out;
  }
  mDelayPos = mDelayPos + 1 == mLatency ? 0 : mDelayPos + 1;
}

// A frame that cannot need any gain while none is applied: only the delay and the history.
void TruePeakLimiter::Pass(double* frame) {
  ++mQuietRun;
  ++mStep;
  mHistoryPos = (mHistoryPos + 1) % kTaps;
  double* delayed = &mDelay[2 * mDelayPos];
  for (int c = 0; c < 2; ++c) {
    mHistory[mHistoryPos][c] = mHistory[mHistoryPos + kTaps][c] = frame[c];
    std::swap(delayed[c], frame[c]);
  }
  mDelayPos = mDelayPos + 1 == mLatency ? 0 : mDelayPos + 1;
}

void TruePeakLimiter::Process(double* interleaved, int frames) {
  constexpr int kChunk = 64;
  for (int start = 0; start < frames; start += kChunk) {
    const int n = std::min(kChunk, frames - start);
    double* chunk = interleaved + 2 * start;
    // Idle (unity gain through the whole pipeline) and every frame of the chunk and of the
    // interpolator's reach before it well under the ceiling: nothing to compute.
    bool quiet = mUnityRun >= mLookAhead + 1 && mQuietRun >= kTaps;
    for (int i = 0; quiet && i < 2 * n; ++i) quiet = std::fabs(chunk[i]) <= mQuietLevel;
    if (quiet) {
      for (int i = 0; i < n; ++i) Pass(chunk + 2 * i);
    } else {
      for (int i = 0; i < n; ++i) Step(chunk + 2 * i);
    }
  }
}

}  // namespace caldrith_render
