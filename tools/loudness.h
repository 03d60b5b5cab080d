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
  static constexpr int kHalf = 32;         // interpolator taps either side of a point
  static constexpr int kTaps = 2 * kHalf;  // per phase; a power of two
  static constexpr int kPhases = 8;        // oversampling

  void Step(double* frame);
  void Pass(double* frames, int count);
  double Interpolated(int pair) const;
  double MeterPoints() const;
  typedef float Quad __attribute__((vector_size(16)));
  static float PeakOf(const Quad* t0, const Quad* t1, const Quad* h, int n);

  int mLookAhead;
  int mLatency;
  double mCeiling;     // linear, with the margin taken off
  double mQuietLevel;  // a sample below it cannot make an interpolated point pass the ceiling
  double mRelease;
  // Two phases for both channels per vector: {a, a, b, b} against {left, right, left, right}.
  // The detector computes in single precision, as the meters do; the signal path stays double.
  Quad mTaps[4][kTaps];  // phases (2, 4), (6, 6): the 4x points; (1, 3), (5, 7)
  // The short interpolator of the common R128 meters (49 taps, Hann-windowed sinc; 4x below
  // 96 kHz, 2x below 192 kHz, none above), which reads broadband signals a little high.
  int mMeterStart = 0, mMeterSpan = 0;  // the window's frames they reach
  Quad mMeterTaps[2][kTaps] = {};       // phases (1, 2), (3, 3); at 2x (1, 1)

  // Input history, written twice so the last kTaps frames always lie in one piece.
  double mHistory[2 * kTaps][2] = {};
  Quad mHistoryQuad[2 * kTaps] = {};
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
