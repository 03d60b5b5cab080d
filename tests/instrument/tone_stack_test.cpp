// Frequency windows, loudness weights and the pulse gate's depth.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/tone_engine.h"
#include "instrument_helpers.h"

using caldrith::kTwoPi;
using caldrith::ToneEngine;
using namespace caldrith_test;

namespace {

double Hz(double rad) {
  return rad * 48000.0 / kTwoPi;
}

TEST(Windows, SpreadTilesOrOverlapsTheBand) {
  ToneEngine e;
  e.ComputeWindows(100.0f, 900.0f, 1.0f, 4, 48000.0);
  for (int i = 0; i < 4; ++i) {
    EXPECT_NEAR(100.0 + 200.0 * i, Hz(e.lanes.low[0][i]), 1e-6);
    EXPECT_NEAR(300.0 + 200.0 * i, Hz(e.lanes.high[1][i]), 1e-6);
    EXPECT_EQ(e.lanes.high[0][i] - e.lanes.low[0][i], e.lanes.range[0][i]);
  }
  e.ComputeWindows(100.0f, 900.0f, 0.0f, 4, 48000.0);
  for (int i = 0; i < 4; ++i) {
    EXPECT_NEAR(100.0, Hz(e.lanes.low[0][i]), 1e-6);
    EXPECT_NEAR(900.0, Hz(e.lanes.high[0][i]), 1e-6);
  }
  // Low above high: every window runs downward.
  e.ComputeWindows(1500.0f, 10.0f, 0.25f, 7, 48000.0);
  for (int i = 0; i < 7; ++i) EXPECT_LT(e.lanes.range[0][i], 0.0) << i;
  // The formula's own order of operations, in single precision up to the conversion.
  const float h = (10.0f - 1500.0f) / 7.0f;
  EXPECT_EQ(static_cast<double>(3.0f * h * 0.25f + 1500.0f) * (kTwoPi / 48000.0),
            e.lanes.low[0][3]);
}

TEST(Loudness, EndsGetLowAndHighMiddleGetsMiddle) {
  ToneEngine e;
  e.ComputeLoudness(0.2f, 0.9f, 0.6f, 7);
  EXPECT_NEAR(0.2, e.lanes.weight[0], 1e-7);
  EXPECT_NEAR(0.3, e.lanes.weight[1], 1e-7);
  EXPECT_NEAR(0.4, e.lanes.weight[2], 1e-7);
  EXPECT_EQ(static_cast<double>(0.9f), e.lanes.weight[3]);
  EXPECT_NEAR(0.5 + 0.1 / 3, e.lanes.weight[4], 1e-7);
  EXPECT_NEAR(0.6, e.lanes.weight[6], 1e-7);
  EXPECT_EQ(0.5, e.lanes.weight[7]);  // never covered
  e.ComputeLoudness(0.1f, 0.8f, 0.3f, 4);
  EXPECT_EQ(static_cast<double>(0.8f), e.lanes.weight[1]);
  EXPECT_EQ(static_cast<double>(0.8f), e.lanes.weight[2]);
  EXPECT_NEAR(0.1, e.lanes.weight[0], 1e-7);
  EXPECT_NEAR(0.3, e.lanes.weight[3], 1e-7);
  e.ComputeLoudness(0.1f, 0.8f, 0.3f, 2);
  EXPECT_EQ(static_cast<double>(0.1f), e.lanes.weight[0]);
  EXPECT_EQ(static_cast<double>(0.3f), e.lanes.weight[1]);
}

TEST(Loudness, OneToneTakesMiddleUnlessSpreadIsZero) {
  auto p = MakeReady();
  SetParam(*p, kTones, 1);
  SetParam(*p, kMiddle, 80);
  EXPECT_EQ(static_cast<double>(80.0f * 0.01f), p->Engine().lanes.weight[0]);
  SetParam(*p, kSpread, 0);
  SetParam(*p, kMiddle, 30);
  EXPECT_EQ(static_cast<double>(80.0f * 0.01f), p->Engine().lanes.weight[0]);
  // The tone count alone does not redistribute.
  SetParam(*p, kSpread, 50);
  SetParam(*p, kTones, 3);
  EXPECT_EQ(static_cast<double>(80.0f * 0.01f), p->Engine().lanes.weight[0]);
}

TEST(GateDepth, NoMixIgnoresTheGateAndFullMixSilencesTheHold) {
  Block out[2];
  for (int type = 0; type < 2; ++type) {
    auto p = MakeReady();
    SetParam(*p, kIsochronicMix, 0);
    SetParam(*p, kIsochronicType, type);
    SetParam(*p, kPlayAnyway, 1);
    out[type] = Render(*p, 8192);
  }
  for (int s = 0; s < 8192; ++s) ASSERT_EQ(out[0].left[s], out[1].left[s]) << s;

  auto p = MakeReady();
  SetParam(*p, kIsochronicMix, 100);
  SetParam(*p, kIsochronic, 5.0);
  SetParam(*p, kPlayAnyway, 1);
  for (int i = 0; i < 60; ++i) Render(*p, 512);
  // A golden pulse at 5 Hz holds for 0.382 * 9600 samples: a long run of exact zeros.
  Block b = Render(*p, 9600);
  int run = 0, best = 0;
  for (double x : b.left) {
    run = x == 0.0 ? run + 1 : 0;
    best = run > best ? run : best;
  }
  EXPECT_GE(best, 3660);
  EXPECT_LE(best, 3700);
}

}  // namespace
