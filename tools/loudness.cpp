#include "tools/loudness.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

namespace caldrith_render {

namespace {

constexpr double kPi = 3.14159265358979323846;
// The detector reads the larger of a long interpolator's points and the common meters' short
// one; the margin covers what rounding and the gain's own movement add.
constexpr double kMarginDb = 0.1;
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
  const double beta = 10.0, i0Beta = BesselI0(beta);
  double taps[kPhases][kTaps] = {};
  double worst = 1.0;
  for (int p = 1; p < kPhases; ++p) {
    double sum = 0.0, absSum = 0.0;
    for (int i = 0; i < kTaps; ++i) {
      double t = static_cast<double>(p) / kPhases + (kHalf - 1 - i);
      double r = t / kHalf;
      double window = std::fabs(r) < 1.0 ? BesselI0(beta * std::sqrt(1.0 - r * r)) / i0Beta : 0.0;
      taps[p][i] = std::sin(kPi * t) / (kPi * t) * window;
      sum += taps[p][i];
    }
    for (int i = 0; i < kTaps; ++i) {
      taps[p][i] /= sum;
      absSum += std::fabs(taps[p][i]);
    }
    worst = std::max(worst, absSum * 1.001);  // single precision's rounding
  }
  const int pairs[4][2] = {{2, 4}, {6, 6}, {1, 3}, {5, 7}};
  for (int k = 0; k < 4; ++k) {
    for (int i = 0; i < kTaps; ++i) {
      const float a = static_cast<float>(taps[pairs[k][0]][i]);
      const float b = static_cast<float>(taps[pairs[k][1]][i]);
      mTaps[k][i] = Quad{a, a, b, b};
    }
  }
  const int factor = rate < 96000 ? 4 : rate < 192000 ? 2 : 1;
  double meter[3][kTaps] = {};
  for (int j = 0; j < 49 && factor > 1; ++j) {
    const int p = j % factor;
    if (p == 0) continue;
    const double m = (j - 24.0) / factor;
    // The point p / factor after the centre frame takes the frame 24 / factor - j / factor
    // after it.
    meter[p - 1][kHalf - 1 + 24 / factor - j / factor] =
        std::sin(kPi * m) / (kPi * m) * 0.5 * (1.0 - std::cos(2.0 * kPi * j / 48.0));
  }
  int lo = kTaps, hi = -1;
  for (int p = 0; p < factor - 1; ++p) {
    double absSum = 0.0;
    for (int i = 0; i < kTaps; ++i) {
      absSum += std::fabs(meter[p][i]);
      if (meter[p][i] != 0.0) lo = std::min(lo, i), hi = std::max(hi, i);
    }
    worst = std::max(worst, absSum * 1.001);
  }
  mMeterStart = hi < 0 ? 0 : lo;
  mMeterSpan = hi < 0 ? 0 : (hi - lo + 4) / 4 * 4;
  const int meterPairs[2][2] = {{0, factor > 2 ? 1 : 0}, {2, 2}};
  for (int k = 0; k < 2; ++k) {
    for (int i = 0; i < mMeterSpan; ++i) {
      const float a = static_cast<float>(meter[meterPairs[k][0]][mMeterStart + i]);
      const float b = static_cast<float>(meter[meterPairs[k][1]][mMeterStart + i]);
      mMeterTaps[k][i] = Quad{a, a, b, b};
    }
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

// The largest magnitude of two phases for both channels: taps {a, a, b, b} against the
// history {left, right, left, right}; `n` a multiple of 4.
float TruePeakLimiter::PeakOf(const Quad* t0, const Quad* t1, const Quad* h, int n) {
  // Four partial sums per phase pair, in registers: the adds need not wait for each other.
  Quad a0 = {}, a1 = {}, a2 = {}, a3 = {}, b0 = {}, b1 = {}, b2 = {}, b3 = {};
  for (int i = 0; i < n; i += 4) {
    a0 += t0[i] * h[i];
    b0 += t1[i] * h[i];
    a1 += t0[i + 1] * h[i + 1];
    b1 += t1[i + 1] * h[i + 1];
    a2 += t0[i + 2] * h[i + 2];
    b2 += t1[i + 2] * h[i + 2];
    a3 += t0[i + 3] * h[i + 3];
    b3 += t1[i + 3] * h[i + 3];
  }
  const Quad sa = (a0 + a1) + (a2 + a3), sb = (b0 + b1) + (b2 + b3);
  float peak = 0.0f;
  for (int c = 0; c < 4; ++c) peak = std::max({peak, std::fabs(sa[c]), std::fabs(sb[c])});
  return peak;
}

double TruePeakLimiter::Interpolated(int pair) const {
  return PeakOf(mTaps[pair], mTaps[pair + 1], &mHistoryQuad[mHistoryPos + 1], kTaps);
}

double TruePeakLimiter::MeterPoints() const {
  if (mMeterSpan == 0) return 0.0;
  return PeakOf(mMeterTaps[0], mMeterTaps[1], &mHistoryQuad[mHistoryPos + 1 + mMeterStart],
                mMeterSpan);
}

// One frame through the whole detector.
void TruePeakLimiter::Step(double* frame) {
  for (int c = 0; c < 2; ++c) {
    if (!std::isfinite(frame[c])) frame[c] = 0.0;  // a broken source goes silent, never loud
  }
  const bool quiet = std::fabs(frame[0]) <= mQuietLevel && std::fabs(frame[1]) <= mQuietLevel;
  // Both runs only need to reach their window; capped, they never overflow on long renders.
  mQuietRun = quiet ? std::min(mQuietRun + 1, kTaps) : 0;
  mHistoryPos = (mHistoryPos + 1) & (kTaps - 1);
  for (int c = 0; c < 2; ++c) {
    mHistory[mHistoryPos][c] = mHistory[mHistoryPos + kTaps][c] = frame[c];
  }
  const float l = static_cast<float>(frame[0]), r = static_cast<float>(frame[1]);
  mHistoryQuad[mHistoryPos] = mHistoryQuad[mHistoryPos + kTaps] = Quad{l, r, l, r};

  // The wanted gain for the frame kHalf back, from it and the points after it.
  double wanted = 1.0;
  if (mQuietRun < kTaps) {
    const double* centre = mHistory[mHistoryPos + kHalf];
    double peak =
        std::max({std::fabs(centre[0]), std::fabs(centre[1]), MeterPoints(), Interpolated(0)});
    // A signal band-limited to half the rate peaks at most 1 / cos(pi / 8) above its 4x
    // points; only near the ceiling do the points in between need computing.
    if (peak * kFourTimesGap > mCeiling) peak = std::max(peak, Interpolated(2));
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
  mUnityRun = mReleased == 1.0 ? std::min(mUnityRun + 1, mLookAhead + 1) : 0;

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

// Frames that cannot need any gain while none is applied: only the delay and the history.
void TruePeakLimiter::Pass(double* frames, int count) {
  int pos = mHistoryPos, delayPos = mDelayPos;
  double* delay = mDelay.data();
  for (int i = 0; i < count; ++i) {
    const double l = frames[2 * i], r = frames[2 * i + 1];
    pos = (pos + 1) & (kTaps - 1);
    mHistory[pos][0] = mHistory[pos + kTaps][0] = l;
    mHistory[pos][1] = mHistory[pos + kTaps][1] = r;
    const Quad q = {static_cast<float>(l), static_cast<float>(r), static_cast<float>(l),
                    static_cast<float>(r)};
    mHistoryQuad[pos] = mHistoryQuad[pos + kTaps] = q;
    double* d = delay + 2 * delayPos;
    frames[2 * i] = d[0];
    frames[2 * i + 1] = d[1];
    d[0] = l;
    d[1] = r;
    delayPos = delayPos + 1 == mLatency ? 0 : delayPos + 1;
  }
  mHistoryPos = pos;
  mDelayPos = delayPos;
  mQuietRun = std::min(mQuietRun + count, kTaps);
  mStep += count;
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
      Pass(chunk, n);
    } else {
      for (int i = 0; i < n; ++i) Step(chunk + 2 * i);
    }
  }
}

}  // namespace caldrith_render
