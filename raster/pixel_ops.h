#pragma once
// Integer pixel arithmetic shared by the blitters and the primitives. Everything here works
// on premultiplied 0xAARRGGBB pixels and 0..255 scale factors.

#include <cmath>
#include <cstdint>

namespace raster {
namespace detail {

constexpr double kPi = 3.14159265358979323846;

// x / 255 rounded to nearest, exact for 0 <= x <= 255 * 255 + 255.
inline uint32_t Div255(uint32_t x) {
  x += 128;
  return (x + (x >> 8)) >> 8;
}

// Opacity in [0, 1] -> 0..255; NaN and negatives give 0.
inline uint32_t Scale255(float v) {
  if (!(v > 0.f)) return 0;
  if (v >= 1.f) return 255;
  return static_cast<uint32_t>(v * 255.f + 0.5f);
}

inline uint32_t Pack(uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
  return a << 24 | r << 16 | g << 8 | b;
}

// Source-over of a premultiplied source that already carries its weight.
inline uint32_t Over(uint32_t d, uint32_t s) {
  const uint32_t sa = s >> 24;
  if (sa == 255) return s;
  if (s == 0) return d;
  const uint32_t k = 255 - sa;
  const uint32_t a = sa + Div255((d >> 24) * k);
  const uint32_t r = ((s >> 16) & 255) + Div255(((d >> 16) & 255) * k);
  const uint32_t g = ((s >> 8) & 255) + Div255(((d >> 8) & 255) * k);
  const uint32_t b = (s & 255) + Div255((d & 255) * k);
  return Pack(a, r, g, b);
}

// Premultiplied pixel scaled by w (0..255) in all four channels.
inline uint32_t ScalePixel(uint32_t s, uint32_t w) {
  if (w == 255) return s;
  return Pack(Div255((s >> 24) * w), Div255(((s >> 16) & 255) * w), Div255(((s >> 8) & 255) * w),
              Div255((s & 255) * w));
}

// Straight colour (r, g, b) at alpha a (0..255) over d.
inline uint32_t OverColour(uint32_t d, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
  if (a == 0) return d;
  if (a == 255) return Pack(255, r, g, b);
  return Over(d, Pack(a, Div255(r * a), Div255(g * a), Div255(b * a)));
}

// Finite and within a range where int conversions and products cannot overflow.
inline bool Sane(double v) {
  return std::isfinite(v) && std::fabs(v) < 1e7;
}

}  // namespace detail
}  // namespace raster
