#pragma once
// The seven tone waves and the polynomial sine they are built on.
#include "engine/dsp_math.h"

namespace caldrith {

enum WaveIndex : int {
  kWaveSine = 0,
  kWaveTriangle,
  kWaveSaw,
  kWaveGoldenSine,
  kWaveGoldenSineHalf,
  kWaveGoldenTriangle,
  kWaveGoldenSquare,
  kWaveCount
};

// Polynomial sine: reduce by the nearest multiple of pi (halves away from zero), odd
// polynomial on the remainder, sign from the parity of the multiple.
inline double FastSine(double x) {
  const double n = std::round(x / kPi);
  const double y = x - n * kPi;
  const double c = y * y;
  const double r =
      y * (c * (c * 0.007352468196870117 + (-0.1652891139701474)) + 0.9996919862959676);
  // Parity of n without an integer conversion, so huge phases stay defined.
  const double half = n * 0.5;
  return half != std::floor(half) ? -r : r;
}

// Smallest doubles x with round(x / pi) >= 1, 2, 3: the sine's reduction for 0 <= x <
// kSineLimit is decided by comparisons instead of a division (the vector renderer).
struct SineThresholds {
  double t1, t2, t3, limit;
};
const SineThresholds& SineReductionThresholds();

struct WaveConstants {
  double b = 0.0, c1 = 0.0, c2 = 0.0, d = 0.0;
};

class WaveShaper {
 public:
  WaveShaper();
  // Sets the wave and its constants; out-of-range indices are clamped.
  void Select(int wave);
  int Wave() const { return mWave; }
  const WaveConstants& Constants() const { return mConst; }
  // The selected wave at phase x (x in [0, 2pi)).
  double operator()(double x) const { return mFn(x, mConst); }

  using WaveFn = double (*)(double, const WaveConstants&);
  static WaveFn Function(int wave);

 private:
  int mWave = 0;
  WaveFn mFn;
  WaveConstants mConst;
};

// Golden fraction widened to double, as every wave formula uses it.
constexpr double kGoldenD = static_cast<double>(kGolden);

// Any phase into [0, 2pi). The renderer subtracts one period per sample, which is enough
// while a tone's increment stays below a period; a tone above the sample rate, or a phase
// that went bad, is reduced here instead. Non-finite phases restart at 0.
inline double WrapPhase(double x) {
  if (x >= 0.0 && x < kTwoPi) return x;
  double r = std::fmod(x, kTwoPi);
  if (r < 0.0) r += kTwoPi;
  return r >= 0.0 && r < kTwoPi ? r : 0.0;
}

inline double WrapPeriod(double t) {
  return t > kTwoPi ? t - kTwoPi : t;
}

inline double WaveSine(double x, const WaveConstants&) {
  return FastSine(x);
}

inline double WaveTriangle(double x, const WaveConstants& k) {
  const double t = WrapPeriod(x + kHalfPi);
  const double y = t * k.c1;
  return t >= kPi ? 3.0 - y : y - 1.0;
}

inline double WaveSaw(double x, const WaveConstants&) {
  const double t = WrapPeriod(x + kPi);
  return t * (1.0 / kPi) - 1.0;
}

inline double WaveGoldenSine(double x, const WaveConstants& k) {
  double t = x - kGoldenD * kPi;
  if (t < 0.0) t += kTwoPi;
  const double w = t < k.b ? t * k.c1 : t * k.c2 + k.d;
  return FastSine(w + kHalfPi);
}

inline double WaveGoldenSineHalf(double x, const WaveConstants& k) {
  const double t = WrapPeriod(x + 1.294336264);
  const double w = t < k.b ? t * k.c1 : t * k.c2 + k.d;
  return 2.0 * FastSine(w) - 1.0;
}

inline double WaveGoldenTriangle(double x, const WaveConstants& k) {
  const double t = WrapPeriod(x + 1.941504077);
  return t < k.b ? t * k.c1 - 1.0 : k.c2 - t * k.d;
}

inline double WaveGoldenSquare(double x, const WaveConstants& k) {
  return x < k.b ? 1.0 : -1.0;
}

}  // namespace caldrith
