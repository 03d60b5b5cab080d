#pragma once
// Numeric helpers of the tone engine. The engine's output is compared bit for bit with
// an outside model, so these follow one fixed order of operations each.
#include <cmath>
#include <cstdint>

namespace caldrith {

constexpr double kPi = 3.141592653589793;
constexpr double kTwoPi = 6.283185307179586;
constexpr double kHalfPi = 1.5707963267948966;
// The golden fraction is held in single precision and widened where doubles need it.
constexpr float kGolden = 0.618f;

// x^n by repeated squaring (low bit first); a negative n gives the reciprocal.
inline double IntPow(double x, int n) {
  const bool negative = n < 0;
  uint32_t u = negative ? 0u - static_cast<uint32_t>(n) : static_cast<uint32_t>(n);
  double r = 1.0;
  while (u != 0) {
    if (u & 1u) r *= x;
    x *= x;
    u >>= 1;
  }
  return negative ? 1.0 / r : r;
}

// Round half away from zero to a 32-bit integer; the argument is clamped to the int range
// and NaN gives 0, so no caller can reach undefined conversions.
inline int32_t RoundHalfAway(double x) {
  if (!(x == x)) return 0;
  if (x >= 2147483647.0) return 2147483647;
  if (x <= -2147483648.0) return -2147483647 - 1;
  return static_cast<int32_t>(std::round(x));
}

// "Add one half and truncate": the quantisation used for applied parameter keys.
inline int32_t TruncRoundKey(double x) {
  if (!(x == x)) return 0;
  double y = x >= 0.0 ? x + 0.5 : x - 0.5;
  if (y >= 2147483647.0) return 2147483647;
  if (y <= -2147483648.0) return -2147483647 - 1;
  return static_cast<int32_t>(y);
}

}  // namespace caldrith
