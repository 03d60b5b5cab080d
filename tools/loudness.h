#pragma once
// The loudness stage of a render: an R128 meter (integrated loudness, true and sample peak) and
// the true-peak limiter in front of the written file.
#include <ebur128.h>

#include <cstddef>
#include <vector>

namespace caldrith_render {

class LoudnessMeter {
 public:
  // Throws std::runtime_error when libebur128 refuses the rate or channel count.
  LoudnessMeter(int rate, int channels);
  ~LoudnessMeter();
  LoudnessMeter(const LoudnessMeter&) = delete;
  LoudnessMeter& operator=(const LoudnessMeter&) = delete;

  void Add(const double* interleaved, size_t frames);
  double Integrated() const;  // LUFS; -inf for silence or less than one 400 ms block
  double TruePeakDb() const;  // dBTP, highest over the channels; -inf for silence
  double SamplePeakDb() const;

 private:
  ebur128_state* mState = nullptr;
  int mChannels;
};

// Keeps the true peak (4x oversampled, as R128 meters measure it) of interleaved stereo at or
// below a ceiling: look-ahead, stereo-linked, the gain ramping down over the look-ahead and
// back up over ~200 ms. The signal comes out Latency() frames late; below the ceiling it comes
// out unchanged, bit for bit. Allocates only in the constructor.
class TruePeakLimiter {
 public:
  // `rate` 8000..384000 Hz and a finite ceiling, else std::invalid_argument.
  TruePeakLimiter(int rate, double ceilingDb);

  int Latency() const { return mLatency; }
  void Process(double* interleaved, int frames);
  double MaxReductionDb() const;  // 0 when it never acted

 private:
  static constexpr int kHalf = 16;         // interpolator taps either side of a point
  static constexpr int kTaps = 2 * kHalf;  // per phase
  static constexpr int kPhases = 8;        // oversampling

  void Step(double* frame);
  void Pass(double* frame);
  double Interpolated(int first, int step) const;

  int mLookAhead;
  int mLatency;
  double mCeiling;     // linear, with the margin taken off
  double mQuietLevel;  // a sample below it cannot make an interpolated point pass the ceiling
  double mRelease;
  double mTaps[kPhases - 1][kTaps];

  // Input history, written twice so the last kTaps frames always lie in one piece.
  double mHistory[2 * kTaps][2] = {};
  int mHistoryPos = 0;
  int mQuietRun = 0;

  // Running minimum of the wanted gain over mHold + 1 steps (a monotonic queue).
  int mHold;
  std::vector<double> mMinValue;
  std::vector<long long> mMinIndex;
  int mMinHead = 0, mMinSize = 0;
  long long mStep = 0;

  // The released gain, averaged over mLookAhead steps.
  std::vector<double> mAverage;
  int mAveragePos = 0;
  double mAverageSum;
  double mReleased = 1.0;
  int mUnityRun;

  std::vector<double> mDelay;  // interleaved, mLatency frames
  int mDelayPos = 0;
  double mMinGain = 1.0;
};

}  // namespace caldrith_render
