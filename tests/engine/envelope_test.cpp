// Segment envelopes and the pulse gate: timing, curvature, positions, degenerate shapes.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/dsp_math.h"
#include "engine/segment_envelope.h"

using caldrith::PulseGate;
using caldrith::SegmentEnvelope;

namespace {

// Steps until the envelope wraps to its start, at most limit.
int CycleLength(SegmentEnvelope& e, int limit) {
  for (int i = 1; i <= limit; ++i) {
    const int before = e.Segment();
    const double v = e.Step();
    if (e.Segments() == 1 ? v == e.StartValue()
                          : (before == e.Segments() - 1 && e.Segment() == 0)) {
      return i;
    }
  }
  return -1;
}

TEST(SegmentEnvelope, StraightSweepWrapsEveryCycleIncludingNearZeroCurvature) {
  for (float curv : {0.0f, 0.00005f, -0.00009f}) {
    SegmentEnvelope e(1);
    e.SetCurvature(0, curv);
    // 1/512 is exact, so the straight sweep lands exactly on 1 after 512 steps.
    e.Retime(512.0f);
    EXPECT_FALSE(e.CurvedStepping()) << curv;
    double prev = -1.0;
    for (int i = 1; i < 512; ++i) {
      const double v = e.Step();
      ASSERT_GT(v, prev);
      ASSERT_LT(v, 1.0);
      prev = v;
    }
    EXPECT_EQ(0.0, e.Step());  // the 512th step reaches 1 and restarts the chain
    EXPECT_EQ(512, CycleLength(e, 1000));
    // Other counts accumulate rounding and may need one step more.
    e.Retime(480.0f);
    CycleLength(e, 1000);  // finish the cycle under way
    EXPECT_NEAR(480, CycleLength(e, 1000), 1);
  }
}

TEST(SegmentEnvelope, CurvedSweepEndsOnTargetAndBendsTheRightWay) {
  for (float curv : {3.0f, -3.0f, 15.0f, -15.0f}) {
    SegmentEnvelope e(1);
    e.SetCurvature(0, curv);
    e.Retime(1000.0f);
    EXPECT_TRUE(e.CurvedStepping());
    double half = 0.0;
    for (int i = 1; i <= 500; ++i) half = e.Step();
    // Positive curvature starts slowly, negative starts fast.
    if (curv > 0) {
      EXPECT_LT(half, 0.5);
    } else {
      EXPECT_GT(half, 0.5);
    }
    // The closed form lands on the target within a step of the nominal count.
    const int rest = CycleLength(e, 2000);
    EXPECT_GE(rest, 499) << curv;
    EXPECT_LE(rest, 501) << curv;
  }
}

TEST(SegmentEnvelope, FourSegmentsBreakWhereTheBreakPositionsSay) {
  SegmentEnvelope e(4);
  for (int k = 0; k < 4; ++k) e.SetCurvature(k, 0.0f);
  e.Retime(400.0f);
  int changes[4] = {0, 0, 0, 0};
  int seen = 0;
  for (int i = 1; i <= 400 && seen < 4; ++i) {
    const int before = e.Segment();
    e.Step();
    if (e.Segment() != before) changes[seen++] = i;
  }
  // Straight segments of 100 steps each (breaks 0.25, 0.5, 0.75); allow one step of
  // accumulated rounding per segment.
  EXPECT_NEAR(100, changes[0], 1);
  EXPECT_NEAR(200, changes[1], 2);
  EXPECT_NEAR(300, changes[2], 3);
  EXPECT_NEAR(400, changes[3], 4);
}

TEST(SegmentEnvelope, RetimeWithoutAPositiveCountKeepsTheCycle) {
  SegmentEnvelope e(1);
  e.Retime(256.0f);
  e.Retime(0.0f);
  EXPECT_EQ(256.0f, e.StepsPerCycle());
  e.Retime(-5.0f);
  EXPECT_EQ(256.0f, e.StepsPerCycle());
  e.Retime(std::nanf(""));
  EXPECT_EQ(256.0f, e.StepsPerCycle());
  EXPECT_EQ(256, CycleLength(e, 1000));
}

TEST(SegmentEnvelope, SetPositionMatchesSteppingThere) {
  for (float curv : {0.0f, 4.0f, -4.0f}) {
    SegmentEnvelope stepped(4), placed(4);
    for (int k = 0; k < 4; ++k) {
      stepped.SetCurvature(k, k & 1 ? -curv : curv);
      placed.SetCurvature(k, k & 1 ? -curv : curv);
    }
    stepped.Retime(1000.0f);
    placed.Retime(1000.0f);
    for (int i = 0; i < 100; ++i) stepped.Step();
    placed.SetPosition(0.1f);
    EXPECT_EQ(0, placed.Segment());
    EXPECT_NEAR(stepped.Value(), placed.Value(), 1e-12) << curv;
    // Further on, stepping may have spent a step more or less at each break.
    for (int i = 0; i < 500; ++i) stepped.Step();
    placed.SetPosition(0.6f);
    EXPECT_EQ(2, placed.Segment());
    EXPECT_EQ(stepped.Segment(), placed.Segment());
    EXPECT_NEAR(stepped.Value(), placed.Value(), 0.01) << curv;
  }
}

TEST(SegmentEnvelope, SetPositionUsesTheClosedFormOnCurvedSegments) {
  SegmentEnvelope e(1);
  e.SetCurvature(0, 3.0f);
  e.Retime(1000.0f);
  e.SetPosition(0.25f);
  // (e^(3 * 0.25) - 1) / (e^3 - 1), worked out by hand: 1.1170000166 / 19.0855369232.
  EXPECT_NEAR(0.0585259, e.Value(), 2e-6);
  // Stepping there gives the same value up to rounding.
  SegmentEnvelope s(1);
  s.SetCurvature(0, 3.0f);
  s.Retime(1000.0f);
  for (int i = 0; i < 250; ++i) s.Step();
  EXPECT_NEAR(s.Value(), e.Value(), 1e-13);
}

TEST(SegmentEnvelope, SegmentsWithoutStepsFinishAtOnce) {
  SegmentEnvelope e(4);
  e.SetBreak(0, 0.5f);
  e.SetBreak(1, 0.5f);
  e.SetBreak(2, 0.5f);
  e.Retime(100.0f);
  // 50 steps up, two empty segments of one step each, 50 steps down.
  const int len = CycleLength(e, 1000);
  EXPECT_GE(len, 100);
  EXPECT_LE(len, 104);
  for (int i = 0; i < 300; ++i) ASSERT_TRUE(std::isfinite(e.Step()));
  // An envelope that was never given a cycle does not produce NaN either.
  SegmentEnvelope fresh(4);
  fresh.Retime(0.0f);
  fresh.SetPosition(0.3f);
  for (int i = 0; i < 20; ++i) ASSERT_TRUE(std::isfinite(fresh.Step()));
}

TEST(SegmentEnvelope, OutOfOrderBreaksStayFinite) {
  SegmentEnvelope e(4);
  e.SetBreak(0, 0.9f);
  e.SetBreak(1, 0.2f);
  e.SetBreak(2, 0.1f);
  e.Retime(1000.0f);
  for (int i = 0; i < 5000; ++i) ASSERT_TRUE(std::isfinite(e.Step()));
  e.SetPosition(0.5f);
  EXPECT_TRUE(std::isfinite(e.Value()));
  // The longest cycles turn a backward break into a step count beyond the int range.
  e.Retime(3.6e9f);
  e.SetPosition(0.5f);
  for (int i = 0; i < 100; ++i) ASSERT_TRUE(std::isfinite(e.Step()));
}

// Runs the gate for several pulses and measures the pulse length and the longest run of
// zeros (the hold plus the step that ends the last ramp).
void MeasureGate(PulseGate& g, int pulses, int* pulseLen, int* zeroRun) {
  int run = 0, best = 0, wraps = 0, first = -1, last = -1;
  for (int i = 0; i < pulses * 5000 && wraps < pulses; ++i) {
    const int before = g.Segment();
    const double v = g.Step();
    ASSERT_GE(v, 0.0);
    ASSERT_LE(v, 1.0);
    run = v == 0.0 ? run + 1 : 0;
    if (run > best) best = run;
    if (before == 4 && g.Segment() == 0) {
      if (first < 0) first = i;
      last = i;
      ++wraps;
    }
  }
  *pulseLen = (last - first) / (pulses - 1);
  *zeroRun = best;
}

TEST(PulseGate, HoldTakesHalfOrGoldenShareOfThePulse) {
  {
    PulseGate g;
    g.SetGolden(false);
    g.Retime(1000.0f);
    EXPECT_EQ(500, g.HoldCount(4));
    int len = 0, zeros = 0;
    MeasureGate(g, 5, &len, &zeros);
    EXPECT_NEAR(1000, len, 4);
    EXPECT_EQ(501, zeros);
  }
  {
    PulseGate g;
    g.SetGolden(true);
    g.Retime(1000.0f);
    EXPECT_EQ(382, g.HoldCount(4));
    int len = 0, zeros = 0;
    MeasureGate(g, 5, &len, &zeros);
    // Ramps of int(0.618 * 1000 * 0.25) = 154 steps each.
    EXPECT_NEAR(4 * 154 + 382, len, 4);
    EXPECT_EQ(383, zeros);
  }
}

TEST(SegmentEnvelope, ASegmentEndsOnTheStepThatReachesItsTargetExactly) {
  // 512 steps a cycle, straight: the first segment rises from 0 to 0.5 in 128 steps of exactly
  // 2^-8, so its last step meets the target with no rounding at all.
  SegmentEnvelope e(4);
  for (int k = 0; k < 4; ++k) e.SetCurvature(k, 0.0f);
  e.Retime(512.0f);
  ASSERT_EQ(e.Increment(0), 0.5 / 128.0);
  for (int i = 1; i < 128; ++i) {
    e.Step();
    ASSERT_EQ(e.Segment(), 0) << "step " << i;
  }
  EXPECT_EQ(e.Step(), 0.5);  // step 128 lands on the target and moves on
  EXPECT_EQ(e.Segment(), 1);
}

TEST(PulseGate, BreaksOutsideTheShapeAreIgnored) {
  PulseGate plain, poked;
  plain.Retime(1000.0f);
  poked.Retime(1000.0f);
  // The gate has five segments, so breaks 0 to 3 exist and 4 does not.
  for (int k : {-1, 4, 5, 99}) poked.SetBreak(k, 0.1f);
  poked.Retime(0.0f);
  EXPECT_EQ(poked.StepsPerCycle(), 1000.0f);
  for (int k = 0; k < 4; ++k) EXPECT_EQ(poked.Break(k), plain.Break(k)) << k;
  for (int i = 0; i < 2500; ++i) ASSERT_EQ(poked.Step(), plain.Step()) << "step " << i;

  SegmentEnvelope four(4), same(4);
  four.Retime(400.0f);
  same.Retime(400.0f);
  for (int k : {-1, 3, 4}) four.SetBreak(k, 0.1f);
  four.Retime(0.0f);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(four.Step(), same.Step()) << "step " << i;
}

TEST(PulseGate, SwitchingTypeKeepsTheCycleLength) {
  PulseGate g;
  g.Retime(4410.0f);
  g.SetGolden(true);
  g.Retime(0.0f);
  EXPECT_EQ(4410.0f, g.StepsPerCycle());
  EXPECT_EQ(caldrith::RoundHalfAway(static_cast<double>(0.382f * 4410.0f)), g.HoldCount(4));
}

TEST(PulseGate, VeryShortPulsesNeverStall) {
  for (float s : {0.5f, 1.0f, 2.0f, 3.0f, 7.0f}) {
    PulseGate g;
    g.SetGolden(true);
    g.Retime(s);
    int wraps = 0;
    for (int i = 0; i < 200; ++i) {
      const int before = g.Segment();
      ASSERT_TRUE(std::isfinite(g.Step()));
      if (before != 0 && g.Segment() == 0) ++wraps;
    }
    EXPECT_GT(wraps, 5) << s;
  }
}

}  // namespace
