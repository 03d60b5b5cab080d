#include "engine/wave_shaper.h"

#include <cmath>

namespace caldrith {

namespace {

// Smallest x with round(x / pi) >= n, i.e. x / pi (rounded) >= n - 0.5. The division is
// monotonic in x, so a short walk from an estimate finds the exact boundary.
double ReductionBoundary(int n) {
  const double q = static_cast<double>(n) - 0.5;
  double x = q * kPi;
  while (x / kPi >= q) x = std::nextafter(x, -1.0);
  while (x / kPi < q) x = std::nextafter(x, 1e300);
  return x;
}

}  // namespace

const SineThresholds& SineReductionThresholds() {
  static const SineThresholds t = {ReductionBoundary(1), ReductionBoundary(2), ReductionBoundary(3),
                                   ReductionBoundary(4)};
  return t;
}

WaveShaper::WaveShaper() : mFn(&WaveSine) {
  // Before any selection the square's switch point is already golden.
  mConst.b = kGoldenD * kTwoPi;
}

WaveShaper::WaveFn WaveShaper::Function(int wave) {
  switch (wave) {
    case kWaveTriangle:
      return &WaveTriangle;
    case kWaveSaw:
      return &WaveSaw;
    case kWaveGoldenSine:
      return &WaveGoldenSine;
    case kWaveGoldenSineHalf:
      return &WaveGoldenSineHalf;
    case kWaveGoldenTriangle:
      return &WaveGoldenTriangle;
    case kWaveGoldenSquare:
      return &WaveGoldenSquare;
    default:
      return &WaveSine;
  }
}

void WaveShaper::Select(int wave) {
  if (wave < 0) wave = 0;
  if (wave >= kWaveCount) wave = kWaveCount - 1;
  mWave = wave;
  mFn = Function(wave);
  const double g = kGoldenD;
  switch (wave) {
    case kWaveTriangle:
      mConst.c1 = 1.0 / (kPi / 2.0);
      break;
    case kWaveGoldenSine:
      mConst.b = (1.0 - g) * kTwoPi;
      mConst.c1 = 0.5 / (1.0 - g);
      mConst.c2 = 0.5 / g;
      mConst.d = (1.0 - 2.0 * (1.0 - g)) * kPi / g;
      break;
    case kWaveGoldenSineHalf:
      mConst.b = g * kTwoPi;
      mConst.c1 = 0.25 / g;
      mConst.c2 = 0.25 / (1.0 - g);
      mConst.d = (1.0 - 2.0 * g) * kPi / (1.0 - g) * 0.5;
      break;
    case kWaveGoldenTriangle:
      mConst.b = g * kTwoPi;
      mConst.c1 = 2.0 / (g * kTwoPi);
      mConst.c2 = (g + 1.0) / (1.0 - g);
      mConst.d = (1.0 / kPi) / (1.0 - g);
      break;
    case kWaveGoldenSquare:
      mConst.b = g * kTwoPi;
      break;
    default:
      break;
  }
}

}  // namespace caldrith
