#include "engine/segment_envelope.h"

#include <cmath>
#include <limits>

#include "engine/dsp_math.h"

namespace caldrith {

namespace {
constexpr double kInf = std::numeric_limits<double>::infinity();
}

SegmentEnvelope::SegmentEnvelope(int segments) {
  if (segments == 4) {
    mSingle = false;
    mSegments = 4;
    const float curv[4] = {4.0f, -4.0f, 4.0f, -4.0f};
    const float tgt[4] = {0.5f, 1.0f, 0.5f, 0.0f};
    for (int k = 0; k < 4; ++k) {
      mCurvature[k] = curv[k];
      mTarget[k] = tgt[k];
    }
    mBreak[0] = 0.25f;
    mBreak[1] = 0.5f;
    mBreak[2] = 0.75f;
  } else {
    mSingle = true;
    mSegments = 1;
    mCurvature[0] = 0.0f;
    mTarget[0] = 1.0f;
  }
}

void SegmentEnvelope::SetCurvature(int k, float c) {
  if (k >= 0 && k < mSegments && c == c) mCurvature[k] = c;
}

void SegmentEnvelope::SetBreak(int k, float x) {
  if (k >= 0 && k < mSegments - 1 && x == x) mBreak[k] = x;
}

bool SegmentEnvelope::SegmentCurved(int k) const {
  return k >= 0 && k < mSegments && !(std::fabs(mCurvature[k]) < kCurvatureThreshold);
}

void SegmentEnvelope::SetRunningState(double value, int segment) {
  mValue = value;
  mSegment = (segment >= 0 && segment < mSegments) ? segment : 0;
}

void SegmentEnvelope::ComputeSegment(int k, double a, float stepsFloat, bool curvedLaw) {
  const double t = mTarget[k];
  mInstant[k] = 0;
  if (!curvedLaw) {
    if (!(stepsFloat > 0.0f)) {
      mInstant[k] = 1;
      mMul[k] = 1.0;
      mInc[k] = mRising[k] ? kInf : -kInf;
      return;
    }
    mInc[k] = (t - a) / static_cast<double>(stepsFloat);
    mMul[k] = 1.0;
    return;
  }
  // A segment without a whole step (or a negative one, from breaks out of order) ends at
  // once. Counts beyond the int range cannot occur for any sweep this instrument sets
  // up, but are bounded all the same.
  if (!(stepsFloat >= 1.0f)) {
    mInstant[k] = 1;
    mMul[k] = 1.0;
    mInc[k] = mRising[k] ? kInf : -kInf;
    return;
  }
  const int n = stepsFloat >= 2147483520.0f ? 2147483520 : static_cast<int>(stepsFloat);
  const double m = static_cast<double>(std::exp(mCurvature[k] / static_cast<float>(n)));
  mMul[k] = m;
  if (m == 1.0) {
    mInc[k] = (t - a) / static_cast<double>(n);
    return;
  }
  const double r = IntPow(m, n);
  mInc[k] = (a * r - t) * (m - 1.0) / (1.0 - r);
}

void SegmentEnvelope::Retime(float stepsPerCycle) {
  if (stepsPerCycle > 0.0f) mStepsPerCycle = stepsPerCycle;
  const float spc = mStepsPerCycle;
  if (mSingle) {
    mTarget[0] = 1.0f;
    mRising[0] = 1;
    const bool curved = SegmentCurved(0);
    ComputeSegment(0, mStart, spc, curved);
    mCurvedStepping = curved;
    return;
  }
  const float tgt[4] = {0.5f, 1.0f, 0.5f, 0.0f};
  bool anyCurved = false;
  for (int k = 0; k < mSegments; ++k) {
    mTarget[k] = tgt[k];
    const double a = k == 0 ? mStart : static_cast<double>(mTarget[k - 1]);
    mRising[k] = a <= static_cast<double>(mTarget[k]) ? 1 : 0;
    const float n = (SegmentEnd(k) - SegmentStart(k)) * spc;
    const bool curved = SegmentCurved(k);
    anyCurved = anyCurved || curved;
    ComputeSegment(k, a, n, curved);
  }
  mCurvedStepping = anyCurved;
}

void SegmentEnvelope::SetPosition(float x) {
  int k = mSegments - 1;
  for (int j = 0; j < mSegments - 1; ++j) {
    if (mBreak[j] > x) {
      k = j;
      break;
    }
  }
  const float s = (x - SegmentStart(k)) * mStepsPerCycle;
  const double a = k == 0 ? mStart : static_cast<double>(mTarget[k - 1]);
  mSegment = k;
  if (mInstant[k]) {
    // A segment without steps has no inside; it ends on the next step.
    mValue = a;
    return;
  }
  if (SegmentCurved(k)) {
    const double m = mMul[k];
    const double fs = std::floor(static_cast<double>(s));
    const int whole = fs >= 2147483647.0
                          ? 2147483647
                          : (fs <= -2147483647.0 ? -2147483647 : static_cast<int>(fs));
    if (m == 1.0) {
      mValue = static_cast<double>(whole) * mInc[k] + a;
    } else {
      const double p = IntPow(m, whole);
      mValue = p * a + (p - 1.0) * mInc[k] / (m - 1.0);
    }
  } else {
    mValue = static_cast<double>(s) * mInc[k] + a;
  }
}

PulseGate::PulseGate() : SegmentEnvelope(1) {
  mSingle = false;
  mSegments = kSegs;
  const float tgt[kSegs] = {0.5f, 1.0f, 0.5f, 0.0f, 0.0f};
  const float curv[kSegs] = {4.0f, -4.0f, 4.0f, -4.0f, 4.0f};
  for (int k = 0; k < kSegs; ++k) {
    mTarget[k] = tgt[k];
    mCurvature[k] = curv[k];
  }
  mBreak[0] = 0.25f;
  mBreak[1] = 0.5f;
  mBreak[2] = 0.75f;
  mBreak[3] = 1.0f;
  mCurvedStepping = true;
}

void PulseGate::Retime(float samplesPerPulse) {
  if (samplesPerPulse > 0.0f) mStepsPerCycle = samplesPerPulse;
  const float S = mStepsPerCycle;
  const float b = HoldFraction();
  const float tgt[kSegs] = {0.5f, 1.0f, 0.5f, 0.0f, 0.0f};
  for (int k = 0; k < kSegs; ++k) {
    mTarget[k] = tgt[k];
    const double a = k == 0 ? mStart : static_cast<double>(mTarget[k - 1]);
    mRising[k] = a <= static_cast<double>(mTarget[k]) ? 1 : 0;
    mHoldCount[k] = 0;
    if (a != static_cast<double>(mTarget[k])) {
      const float n = (1.0f - b) * S * (SegmentEnd(k) - SegmentStart(k));
      ComputeSegment(k, a, n, true);
    } else {
      mMul[k] = 1.0;
      mInc[k] = 0.0;
      mInstant[k] = 0;
      mHoldCount[k] = RoundHalfAway(static_cast<double>(b * S));
    }
  }
  mCurvedStepping = true;
}

}  // namespace caldrith
