#pragma once
// Segment generators: a chain of straight or exponential segments that restarts from its
// start value at the end. They drive the tone sweeps, the volume envelopes, the graphs and
// (as PulseGate, with a hold segment) the isochronic pulse.
#include <cstdint>

namespace caldrith {

constexpr float kCurvatureThreshold = 0.0001f;

class SegmentEnvelope {
 public:
  static constexpr int kMaxSegments = 5;

  // segments == 1 gives the single-segment sweep (0 -> 1); 4 gives the volume shape
  // 0 -> 0.5 -> 1 -> 0.5 -> 0 with breaks at 0.25, 0.5, 0.75 and curvatures 4, -4, 4, -4.
  explicit SegmentEnvelope(int segments = 1);

  // One step; returns the new value.
  double Step() {
    const int k = mSegment;
    mValue = mMul[k] * mValue + mInc[k];
    if (mRising[k] ? mValue >= mTarget[k] : mValue <= mTarget[k]) Advance();
    return mValue;
  }

  // Recomputes the coefficients for a cycle of stepsPerCycle steps; 0 or less (or NaN)
  // keeps the current count.
  void Retime(float stepsPerCycle);
  // Puts the envelope at fraction x of its cycle (0 <= x < 1).
  void SetPosition(float x);

  // Shape. Changes take effect at the next Retime.
  void SetCurvature(int k, float c);
  void SetBreak(int k, float x);
  float Curvature(int k) const { return (k >= 0 && k < mSegments) ? mCurvature[k] : 0.0f; }
  float Break(int k) const { return (k >= 0 && k < mSegments - 1) ? mBreak[k] : 1.0f; }

  double Value() const { return mValue; }
  double StartValue() const { return mStart; }
  int Segment() const { return mSegment; }
  int Segments() const { return mSegments; }
  float StepsPerCycle() const { return mStepsPerCycle; }
  bool CurvedStepping() const { return mCurvedStepping; }
  bool SegmentCurved(int k) const;
  double Multiplier(int k) const { return mMul[k]; }
  double Increment(int k) const { return mInc[k]; }
  float Target(int k) const { return mTarget[k]; }
  bool Rising(int k) const { return k >= 0 && k < mSegments && mRising[k] != 0; }
  // Running state as the vectorised renderer hands it back after a block.
  void SetRunningState(double value, int segment);

 protected:
  void Advance() {
    mValue = mTarget[mSegment];
    if (++mSegment >= mSegments) {
      mSegment = 0;
      mValue = mStart;
    }
  }
  // Coefficients of segment k from a to its target over the given step count.
  void ComputeSegment(int k, double a, float stepsFloat, bool curvedLaw);
  float SegmentStart(int k) const { return k == 0 ? 0.0f : mBreak[k - 1]; }
  float SegmentEnd(int k) const { return k < mSegments - 1 ? mBreak[k] : 1.0f; }

  double mValue = 0.0;
  double mStart = 0.0;
  double mInc[kMaxSegments] = {};
  double mMul[kMaxSegments] = {1.0, 1.0, 1.0, 1.0, 1.0};
  float mCurvature[kMaxSegments] = {};
  float mTarget[kMaxSegments] = {};
  float mBreak[kMaxSegments - 1] = {};
  float mStepsPerCycle = 0.0f;
  int mSegment = 0;
  int mSegments = 1;
  uint8_t mRising[kMaxSegments] = {1, 1, 1, 1, 1};
  // Segments whose step count is zero or negative: they finish on their next step.
  uint8_t mInstant[kMaxSegments] = {};
  bool mSingle = true;
  bool mCurvedStepping = false;
};

// The isochronic pulse: four curved ramps 0 -> 0.5 -> 1 -> 0.5 -> 0, then a hold at 0 that
// takes fraction b of the pulse (0.5 standard, 0.382 golden).
class PulseGate : public SegmentEnvelope {
 public:
  static constexpr int kSegs = 5;
  PulseGate();

  double Step() {
    int k = mSegment;
    if (k > 0 && mTarget[k] == mTarget[k - 1]) {
      // A hold count of 0 would never reach 1; such a hold ends at once.
      if (mHold-- <= 1) {
        Advance();
        mHold = mHoldCount[mSegment];
      }
      return mValue;
    }
    mValue = mMul[k] * mValue + mInc[k];
    if (mRising[k] ? mValue >= mTarget[k] : mValue <= mTarget[k]) {
      Advance();
      mHold = mHoldCount[mSegment];
    }
    return mValue;
  }

  // Cycle of samplesPerPulse samples; 0 or less (or NaN) keeps the current length.
  void Retime(float samplesPerPulse);
  void SetGolden(bool golden) { mGolden = golden; }
  bool Golden() const { return mGolden; }
  float HoldFraction() const { return mGolden ? 0.382f : 0.5f; }
  int HoldCount(int k) const { return mHoldCount[k]; }

 private:
  int mHoldCount[kSegs] = {};
  int mHold = 0;
  bool mGolden = false;
};

}  // namespace caldrith
