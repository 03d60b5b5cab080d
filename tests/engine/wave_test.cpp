// The polynomial sine and the seven wave shapes at phases where their value is known.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "engine/wave_shaper.h"

using namespace caldrith;

namespace {

TEST(FastSine, ReducesByTheNearestMultipleOfPi) {
  EXPECT_EQ(0.0, FastSine(0.0));
  // The polynomial's value at the peak, and its odd symmetry around pi.
  const double peak = FastSine(kHalfPi);
  EXPECT_NEAR(1.0, peak, 1e-3);
  EXPECT_EQ(-peak, FastSine(kHalfPi + kPi));
  for (int i = 0; i <= 2000; ++i) {
    const double x = 4.0 * kPi * i / 2000.0;
    ASSERT_NEAR(std::sin(x), FastSine(x), 1.5e-3) << x;
  }
}

TEST(FastSine, ComparisonThresholdsAgreeWithTheDivision) {
  const SineThresholds& th = SineReductionThresholds();
  const double bounds[] = {th.t1, th.t2, th.t3, th.limit};
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(k + 1, std::round(bounds[k] / kPi));
    EXPECT_EQ(k, std::round(std::nextafter(bounds[k], 0.0) / kPi));
  }
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> dist(0.0, th.limit);
  for (int i = 0; i < 200000; ++i) {
    const double x = dist(rng);
    const double n = (x >= th.t1 ? 1.0 : 0.0) + (x >= th.t2 ? 1.0 : 0.0) + (x >= th.t3 ? 1.0 : 0.0);
    ASSERT_EQ(std::round(x / kPi), n) << x;
  }
}

double At(int wave, double x) {
  WaveShaper w;
  w.Select(wave);
  return w(x);
}

TEST(WaveShaper, TriangleAndSawAtTheirCorners) {
  EXPECT_NEAR(0.0, At(kWaveTriangle, 0.0), 1e-15);
  EXPECT_NEAR(1.0, At(kWaveTriangle, kHalfPi), 1e-15);
  EXPECT_NEAR(0.0, At(kWaveTriangle, kPi), 1e-15);
  EXPECT_NEAR(-1.0, At(kWaveTriangle, 3.0 * kHalfPi), 1e-15);
  EXPECT_NEAR(0.0, At(kWaveSaw, 0.0), 1e-15);
  EXPECT_NEAR(1.0, At(kWaveSaw, kPi - 1e-12), 1e-9);
  EXPECT_NEAR(-1.0, At(kWaveSaw, kPi + 1e-12), 1e-9);
}

TEST(WaveShaper, GoldenShapesTurnAtTheGoldenPoint) {
  const double g = static_cast<double>(kGolden);
  // Golden sine: the cosine's crest at g * pi, its trough where the short half ends.
  EXPECT_NEAR(1.0, At(kWaveGoldenSine, g * kPi), 1e-3);
  EXPECT_NEAR(-1.0, At(kWaveGoldenSine, g * kPi + (1.0 - g) * kTwoPi), 1e-3);
  // Gold. sine half: one positive half-sine over the period, rising over g of it.
  const double start = kTwoPi - 1.294336264;
  EXPECT_NEAR(-1.0, At(kWaveGoldenSineHalf, start), 1e-9);
  EXPECT_NEAR(1.0, At(kWaveGoldenSineHalf, start + g * kTwoPi - kTwoPi), 2e-3);
  // Gold. triangle: -1 -> 1 over g of the period, back over the rest; zero at phase 0.
  EXPECT_NEAR(0.0, At(kWaveGoldenTriangle, 0.0), 1e-6);
  const double top = g * kTwoPi - 1.941504077;
  EXPECT_NEAR(1.0, At(kWaveGoldenTriangle, top), 1e-9);
  EXPECT_NEAR(-1.0, At(kWaveGoldenTriangle, top + (1.0 - g) * kTwoPi - 1e-12), 1e-9);
}

TEST(WaveShaper, GoldenSquareSwitchPointDoesNotDependOnThePreviousWave) {
  const double b = static_cast<double>(kGolden) * kTwoPi;
  EXPECT_EQ(3.8830083370775546, b);
  for (int previous = 0; previous < kWaveCount; ++previous) {
    WaveShaper w;
    w.Select(previous);
    w.Select(kWaveGoldenSquare);
    EXPECT_EQ(1.0, w(std::nextafter(b, 0.0))) << previous;
    EXPECT_EQ(-1.0, w(b)) << previous;
  }
}

TEST(WaveShaper, EveryWaveStaysInRangeOverThePeriod) {
  for (int wave = 0; wave < kWaveCount; ++wave) {
    WaveShaper w;
    w.Select(wave);
    for (int i = 0; i < 10000; ++i) {
      const double v = w(kTwoPi * i / 10000.0);
      ASSERT_LE(std::fabs(v), 1.0 + 2e-3) << wave << " at " << i;
    }
  }
  WaveShaper w;
  w.Select(99);
  EXPECT_EQ(kWaveGoldenSquare, w.Wave());
  w.Select(-3);
  EXPECT_EQ(kWaveSine, w.Wave());
}

}  // namespace
