// The tone stack's set-up between blocks and the numeric helpers, against values worked out
// by hand or by a different method: positions on and beside the break points, the curved
// law in closed form, loudness and window layouts, re-phasing from any host position.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <vector>

#include "engine/dsp_math.h"
#include "engine/segment_envelope.h"
#include "engine/tone_engine.h"

using caldrith::kMaxTones;
using caldrith::PulseGate;
using caldrith::SegmentEnvelope;
using caldrith::ToneEngine;

namespace {

double ToHz(double radPerSample, double sr) {
  return radPerSample * sr / (2.0 * M_PI);
}

// Straight four-segment envelope of 400 steps: 100 a segment, 0.5 / 100 a step.
SegmentEnvelope Straight4() {
  SegmentEnvelope e(4);
  for (int k = 0; k < 4; ++k) e.SetCurvature(k, 0.0f);
  e.Retime(400.0f);
  return e;
}

}  // namespace

TEST(NumericHelpers, PowersAndRoundingByHand) {
  EXPECT_EQ(1.0, caldrith::IntPow(3.7, 0));
  EXPECT_EQ(243.0, caldrith::IntPow(3.0, 5));
  EXPECT_EQ(-8.0, caldrith::IntPow(-2.0, 3));
  EXPECT_EQ(0.125, caldrith::IntPow(2.0, -3));
  EXPECT_EQ(1.0 / 81.0, caldrith::IntPow(3.0, -4));
  EXPECT_EQ(0.0, caldrith::IntPow(2.0, INT_MIN));  // 2^-2147483648 underflows to zero
  EXPECT_EQ(1.0, caldrith::IntPow(1.0, INT_MIN));
  // Half away from zero, both signs; clamped; NaN is zero.
  const struct {
    double x;
    int32_t round, key;
  } cases[] = {{2.5, 3, 3},     {-2.5, -3, -3},          {2.49, 2, 2},
               {-2.49, -2, -2}, {-17.5, -18, -18},       {0.5, 1, 1},
               {-0.5, -1, -1},  {3e9, INT_MAX, INT_MAX}, {-3e9, INT_MIN, INT_MIN}};
  for (const auto& c : cases) {
    EXPECT_EQ(c.round, caldrith::RoundHalfAway(c.x)) << c.x;
    EXPECT_EQ(c.key, caldrith::TruncRoundKey(c.x)) << c.x;
  }
  EXPECT_EQ(0, caldrith::RoundHalfAway(NAN));
  EXPECT_EQ(0, caldrith::TruncRoundKey(NAN));
}

TEST(SegmentPositions, OnABreakTheNextSegmentHasBegun) {
  // Exactly on a break the envelope is at the start of the following segment; the next
  // step moves it on by one step of that segment.
  const struct {
    float x;
    int segment;
    double value, next;
  } cases[] = {
      {0.0f, 0, 0.0, 0.005},    {0.25f, 1, 0.5, 0.505},   {0.5f, 2, 1.0, 0.995},
      {0.75f, 3, 0.5, 0.495},   {0.2475f, 0, 0.495, 0.5}, {0.2525f, 1, 0.505, 0.51},
      {0.9975f, 3, 0.005, 0.0},
  };
  for (const auto& c : cases) {
    SegmentEnvelope e = Straight4();
    e.SetPosition(c.x);
    EXPECT_EQ(c.segment, e.Segment()) << c.x;
    EXPECT_NEAR(c.value, e.Value(), 1e-7) << c.x;
    EXPECT_NEAR(c.next, e.Step(), 1e-7) << c.x;
  }
  // Moved breaks: on the first break of 0.1, 0.2, 0.9 the second segment starts.
  SegmentEnvelope m(4);
  m.SetBreak(0, 0.1f);
  m.SetBreak(1, 0.2f);
  m.SetBreak(2, 0.9f);
  m.Retime(1000.0f);
  m.SetPosition(0.1f);
  EXPECT_EQ(1, m.Segment());
  m.SetPosition(0.9f);
  EXPECT_EQ(3, m.Segment());
  m.SetPosition(0.8999f);
  EXPECT_EQ(2, m.Segment());
}

TEST(SegmentPositions, CurvedSegmentsFollowTheExponentialLaw) {
  // From 0 to 1 over N steps with curvature c the value after n steps is
  // (e^(c n / N) - 1) / (e^c - 1). Placing and stepping agree closely; both agree with the
  // law to the single-precision multiplier's accuracy.
  for (float c : {3.0f, -3.0f, 9.0f}) {
    SegmentEnvelope placed(1), stepped(1);
    placed.SetCurvature(0, c);
    stepped.SetCurvature(0, c);
    placed.Retime(1000.0f);
    stepped.Retime(1000.0f);
    for (int n : {1, 250, 500, 999}) {
      placed.SetPosition(n / 1000.0f);
      SegmentEnvelope s = stepped;
      for (int i = 0; i < n; ++i) s.Step();
      const double law = std::expm1(c * n / 1000.0) / std::expm1(double(c));
      EXPECT_NEAR(s.Value(), placed.Value(), 1e-12) << c << " " << n;
      EXPECT_NEAR(law, placed.Value(), 2e-5) << c << " " << n;
    }
  }
}

TEST(PulseGateCounts, HoldRoundsHalfAwayAndLastsExactlyItsCount) {
  // Standard gate: the hold is half the pulse; 1001 samples give 500.5 -> 501.
  PulseGate g;
  g.SetGolden(false);
  g.Retime(1001.0f);
  EXPECT_EQ(501, g.HoldCount(4));
  g.Retime(999.0f);
  EXPECT_EQ(500, g.HoldCount(4));  // 499.5 -> 500
  g.SetGolden(true);
  g.Retime(1000.0f);
  EXPECT_EQ(382, g.HoldCount(4));
  // The hold segment keeps the value for HoldCount steps and leaves on the last one.
  PulseGate h;
  h.SetGolden(false);
  h.Retime(100.0f);
  ASSERT_EQ(50, h.HoldCount(4));
  int guard = 0;
  while (h.Segment() != 4 && guard++ < 1000) h.Step();
  ASSERT_EQ(4, h.Segment());
  int held = 0;
  while (h.Segment() == 4 && held < 1000) {
    EXPECT_EQ(0.0, h.Step());
    ++held;
  }
  EXPECT_EQ(50, held);
  EXPECT_EQ(0, h.Segment());
}

TEST(ToneSetUp, LoudnessRampsFromTheEndsToTheMiddle) {
  ToneEngine e;
  // Weights 0.25 low, 0.75 middle, 0.875 high (exact in binary).
  struct Case {
    int n;
    std::vector<double> want;
  } cases[] = {
      {1, {0.75}},
      {2, {0.25, 0.875}},
      {3, {0.25, 0.75, 0.875}},
      {4, {0.25, 0.75, 0.75, 0.875}},
      {5, {0.25, 0.375, 0.75, 0.6875, 0.875}},
      {6, {0.25, 0.375, 0.75, 0.75, 0.6875, 0.875}},
      {7, {0.25, 1.0 / 3.0, 5.0 / 12.0, 0.75, 0.625, 0.75, 0.875}},
  };
  for (const Case& c : cases) {
    e.ComputeLoudness(0.25f, 0.75f, 0.875f, c.n);
    for (int i = 0; i < c.n; ++i)
      EXPECT_NEAR(c.want[size_t(i)], e.lanes.weight[i], 1e-15) << c.n << " tones, tone " << i;
  }
}

TEST(ToneSetUp, LoudnessForToneCountsOutsideOneToSixteenChangesNothing) {
  ToneEngine e;
  for (int i = 0; i < kMaxTones; ++i) e.lanes.weight[i] = 0.5 + i;
  for (int n : {0, -1, kMaxTones + 1, 1000}) e.ComputeLoudness(0.25f, 0.75f, 0.875f, n);
  for (int i = 0; i < kMaxTones; ++i) EXPECT_EQ(0.5 + i, e.lanes.weight[i]) << "tone " << i;
  e.ComputeLoudness(0.25f, 0.75f, 0.875f, kMaxTones);  // the top count itself is taken
  EXPECT_EQ(0.25, e.lanes.weight[0]);
  EXPECT_EQ(0.875, e.lanes.weight[kMaxTones - 1]);
}

TEST(ToneSetUp, WindowsTileTheBandOrOverlapByTheSpread) {
  ToneEngine e;
  const double sr = 48000.0;
  // 4 tones over 100..1100 Hz: 250 Hz each; spread 1 tiles, spread 0.5 widens each window to
  // 625 Hz anchored at the ends; spread 0 gives every tone the whole band.
  struct Case {
    float spread;
    double lo[4], hi[4];
  } cases[] = {{1.0f, {100, 350, 600, 850}, {350, 600, 850, 1100}},
               {0.5f, {100, 225, 350, 475}, {725, 850, 975, 1100}},
               {0.0f, {100, 100, 100, 100}, {1100, 1100, 1100, 1100}}};
  for (const Case& c : cases) {
    e.ComputeWindows(100.0f, 1100.0f, c.spread, 4, sr);
    for (int i = 0; i < 4; ++i)
      for (int ch = 0; ch < caldrith::kChannels; ++ch) {
        EXPECT_NEAR(c.lo[i], ToHz(e.lanes.low[ch][i], sr), 1e-9) << c.spread << " " << i;
        EXPECT_NEAR(c.hi[i], ToHz(e.lanes.high[ch][i], sr), 1e-9) << c.spread << " " << i;
        EXPECT_NEAR(c.hi[i] - c.lo[i], ToHz(e.lanes.range[ch][i], sr), 1e-9);
      }
  }
  // Descending bands mirror the layout.
  e.ComputeWindows(1100.0f, 100.0f, 1.0f, 4, sr);
  EXPECT_NEAR(1100.0, ToHz(e.lanes.low[0][0], sr), 1e-9);
  EXPECT_NEAR(850.0, ToHz(e.lanes.high[0][0], sr), 1e-9);
  EXPECT_NEAR(350.0, ToHz(e.lanes.low[0][3], sr), 1e-9);
  EXPECT_NEAR(100.0, ToHz(e.lanes.high[0][3], sr), 1e-9);
}

TEST(ToneSetUp, RephasingFromTheHostPositionWrapsIntoTheCycle) {
  // Straight sweeps of 1000 samples; tones spread by 1/n from the host position's place in
  // the cycle, which is taken modulo the length also for positions before zero.
  const struct {
    int32_t position;
    double base;
  } cases[] = {{0, 0.0}, {250, 0.25}, {1250, 0.25}, {-100, 0.9}, {-1750, 0.25}, {999, 0.999}};
  for (const auto& c : cases) {
    ToneEngine e;
    e.tones = 4;
    for (int i = 0; i < 4; ++i) {
      e.sweep[i].SetCurvature(0, 0.0f);
      e.sweep[i].Retime(1000.0f);
    }
    e.Rephase(0, c.position, 1000.0f);
    for (int i = 0; i < 4; ++i) {
      double want = c.base + i * 0.25;
      if (want >= 1.0) want -= 1.0;
      EXPECT_NEAR(want, e.sweep[i].Value(), 1e-6) << c.position << " tone " << i;
    }
  }
}

TEST(ToneSetUp, RephasingKeepsToneZeroOfACurvedSweepAndPlacesTheOthers) {
  // Tone 0 sits at 0.6 of a curved sweep; the others follow at quarters of the cycle, at
  // most two steps of the re-phasing grid (1/300) early.
  const float c = 3.0f;
  ToneEngine e;
  e.tones = 4;
  for (int i = 0; i < 4; ++i) {
    e.sweep[i].SetCurvature(0, c);
    e.sweep[i].Retime(3000.0f);
  }
  e.sweep[0].SetPosition(0.6f);
  const double v0 = e.sweep[0].Value();
  e.Rephase(1, 0, 3000.0f);
  EXPECT_EQ(v0, e.sweep[0].Value());
  auto law = [c](double x) { return std::expm1(c * x) / std::expm1(double(c)); };
  for (int i = 1; i < 4; ++i) {
    double x = 0.6 + 0.25 * i;
    if (x >= 1.0) x -= 1.0;
    EXPECT_LE(e.sweep[i].Value(), law(x) + 1e-6) << i;
    EXPECT_GE(e.sweep[i].Value(), law(x - 2.0 / 300.0) - 1e-6) << i;
  }
}

TEST(ToneSetUp, AQuietTailStillFadesOutInsteadOfStopping) {
  // A master amplitude far below audibility but above the silence threshold ramps to zero
  // over the block instead of being cut.
  ToneEngine e;
  e.tones = 1;
  e.SelectWave(caldrith::kWaveSaw);
  e.ComputeWindows(1000.0f, 1000.0f, 1.0f, 1, 48000.0);
  e.ComputeLoudness(1.0f, 1.0f, 1.0f, 1);
  e.sweep[0].Retime(48000.0f);
  e.vol[0].Retime(48000.0f);
  e.vol[0].SetPosition(0.5f);  // full volume
  e.LoadLanes(1);
  e.master = 1e-4;
  std::vector<double> l(64, 1.0), r(64, 1.0);
  e.Render(l.data(), r.data(), 64, 0.0);
  double peak = 0.0;
  for (double v : l) peak = std::max(peak, std::fabs(v));
  EXPECT_GT(peak, 0.0);
  EXPECT_LT(peak, 1e-4);
  EXPECT_NEAR(0.0, e.master, 1e-15);
}

TEST(WaveShapes, GoldenSineTakesItsSecondHalfAtItsOwnPace) {
  // Measured from its crest at g pi, the golden sine falls to its trough over (1 - g) of the
  // period and rises back over the remaining g; half-way through each part it crosses zero,
  // a quarter into the rise it is at -cos(pi / 4).
  const double g = static_cast<double>(caldrith::kGolden), pi = caldrith::kPi;
  caldrith::WaveShaper w;
  w.Select(caldrith::kWaveGoldenSine);
  const double crest = g * pi, trough = crest + (1.0 - g) * 2.0 * pi;
  EXPECT_NEAR(1.0, w(crest), 1e-3);
  EXPECT_NEAR(0.0, w(crest + (1.0 - g) * pi), 1e-3);
  EXPECT_NEAR(-1.0, w(trough), 1e-3);
  EXPECT_NEAR(-std::sqrt(0.5), w(trough + 0.5 * g * pi), 1e-3);
  EXPECT_NEAR(0.0, w(trough + g * pi - 2.0 * pi), 1e-3);  // wrapped into [0, 2 pi)
  // The half-sine variant 2 sin(w) - 1: w runs 0 -> pi/2 over g of the period and on to pi
  // over the rest, so half-way up and half-way down it is 2 sin(pi/4) - 1 = sqrt(2) - 1.
  w.Select(caldrith::kWaveGoldenSineHalf);
  const double start = 2.0 * pi - 1.294336264;
  EXPECT_NEAR(std::sqrt(2.0) - 1.0, w(start + 0.5 * g * 2.0 * pi - 2.0 * pi), 2e-3);
  EXPECT_NEAR(std::sqrt(2.0) - 1.0, w(start + (g + 0.5 * (1.0 - g)) * 2.0 * pi - 2.0 * pi), 2e-3);
}

TEST(ShapeInput, NotANumberLeavesCurvaturesAndBreaksAsTheyWere) {
  SegmentEnvelope e(4);
  e.SetCurvature(1, 2.5f);
  e.SetCurvature(1, std::nanf(""));
  EXPECT_EQ(2.5f, e.Curvature(1));
  e.SetBreak(0, 0.3f);
  e.SetBreak(0, std::nanf(""));
  EXPECT_EQ(0.3f, e.Break(0));
  // Out of range indices change nothing and read as neutral.
  e.SetCurvature(4, 1.0f);
  e.SetBreak(3, 0.9f);
  EXPECT_EQ(0.0f, e.Curvature(4));
  EXPECT_EQ(1.0f, e.Break(3));
  e.Retime(400.0f);
  for (int i = 0; i < 800; ++i) ASSERT_TRUE(std::isfinite(e.Step()));
}

TEST(Glides, RestartsBeginAtTheLastOutputAndClearedVoicesAtSilence) {
  ToneEngine e;
  auto& L = e.lanes;
  for (int c = 0; c < caldrith::kChannels; ++c)
    for (int i = 0; i < 3; ++i) {
      L.fAct[c][i] = i == 0 ? -1 : 0;  // tone 0 is gliding, the others are not
      L.vAct[c][i] = i == 0 ? -1 : 0;
      L.fStart[c][i] = 0.1, L.fLast[c][i] = 0.3, L.fProg[c][i] = 0.7;
      L.vStart[c][i] = 0.2, L.vLast[c][i] = 0.6, L.vProg[c][i] = 0.4;
    }
  e.StartGlides(2, true, false);
  for (int c = 0; c < caldrith::kChannels; ++c) {
    EXPECT_EQ(0.3, L.fStart[c][0]);  // a running glide restarts from where it had got to
    EXPECT_EQ(0.1, L.fStart[c][1]);  // a settled tone from its own start value
    EXPECT_EQ(0.0, L.fProg[c][1]);
    EXPECT_EQ(-1, L.fAct[c][1]);
    EXPECT_EQ(0.7, L.fProg[c][2]);   // beyond n: untouched
    EXPECT_EQ(0.2, L.vStart[c][0]);  // volume glides were not asked for
    EXPECT_EQ(-1, L.vAct[c][0]);
  }
  e.StartGlides(1, false, true);
  EXPECT_EQ(0.6, L.vStart[0][0]);
  EXPECT_EQ(0.0, L.vProg[1][0]);
  e.ClearVoices(0, 2);
  for (int c = 0; c < caldrith::kChannels; ++c) {
    for (int i = 0; i < 2; ++i) {
      EXPECT_EQ(0, L.fAct[c][i]);
      EXPECT_EQ(0, L.vAct[c][i]);
      EXPECT_EQ(0.0, L.vStart[c][i]);  // fades back in from silence
    }
    EXPECT_EQ(0.2, L.vStart[c][2]);
  }
  e.ClearVoices(-5, 99);  // clamped to the tone slots
  EXPECT_EQ(0.0, L.vStart[1][15]);
}

TEST(ToneSetUp, WindowsKeepTheirLastGoodRate) {
  ToneEngine e;
  e.ComputeWindows(100.0f, 1100.0f, 1.0f, 4, 48000.0);
  const double low = e.lanes.low[0][1], high = e.lanes.high[1][3];
  for (double bad : {0.0, -48000.0, std::nan("")}) {
    e.ComputeWindows(200.0f, 900.0f, 1.0f, 4, bad);
    EXPECT_EQ(low, e.lanes.low[0][1]) << bad;
    EXPECT_EQ(high, e.lanes.high[1][3]) << bad;
  }
}

TEST(Glides, SettledTonesStartTheirNextGlideFromWhereTheyAre) {
  // After a block, a tone without a running glide has its glide start at its current
  // frequency and volume, so that a later glide begins without a jump.
  ToneEngine e;
  e.tones = 2;
  e.ComputeWindows(100.0f, 1100.0f, 1.0f, 2, 48000.0);
  e.ComputeLoudness(1.0f, 1.0f, 1.0f, 2);
  for (int i = 0; i < 2; ++i) {
    e.sweep[i].Retime(4800.0f);
    e.vol[i].Retime(4800.0f);
  }
  e.Rephase(0, 0, 4800.0f);
  e.LoadLanes(2);
  e.master = 0.5;
  std::vector<double> l(128), r(128);
  e.Render(l.data(), r.data(), 128, 0.5);
  for (int c = 0; c < caldrith::kChannels; ++c)
    for (int i = 0; i < 2; ++i) {
      ASSERT_EQ(0, e.lanes.fAct[c][i]);
      EXPECT_EQ(e.lanes.curFreq[c][i], e.lanes.fStart[c][i]) << c << " " << i;
      EXPECT_EQ(e.lanes.curVol[i], e.lanes.vStart[c][i]) << c << " " << i;
      EXPECT_GT(e.lanes.curFreq[c][i], 0.0);
    }
}
