// Pixel arithmetic checked exactly against models written from the documented formulas:
// each rounding step is "x / 255 to the nearest integer", computed here in floating point
// instead of the library's integer shortcuts.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <set>
#include <utility>
#include <vector>

#include "raster/pixel_ops.h"
#include "raster/raster.h"

using namespace raster;

namespace {

// v / 255 rounded to nearest; v / 255 never lies exactly half-way between two integers.
uint32_t R255(double v) {
  return uint32_t(std::floor(v / 255.0 + 0.5));
}

uint32_t Ch(uint32_t p, int i) {
  return (p >> (24 - 8 * i)) & 255u;  // 0 alpha, 1 red, 2 green, 3 blue
}

uint32_t FromChannels(const uint32_t c[4]) {
  return Argb(c[0], c[1], c[2], c[3]);
}

// The opacity on the 0..255 scale (checked on its own below).
uint32_t WeightOf(float w) {
  return detail::Scale255(w);
}

// d = s*w + d*(1 - a(s)*w), the weighted source rounded first.
uint32_t ModelOver(uint32_t d, uint32_t s, uint32_t w) {
  uint32_t sw[4], out[4];
  for (int i = 0; i < 4; ++i) sw[i] = R255(double(Ch(s, i)) * w);
  for (int i = 0; i < 4; ++i) out[i] = sw[i] + R255(double(Ch(d, i)) * (255 - sw[0]));
  return FromChannels(out);
}

// d = s*w + d*(1 - w), in one rounding.
uint32_t ModelCopy(uint32_t d, uint32_t s, uint32_t w) {
  uint32_t out[4];
  for (int i = 0; i < 4; ++i) out[i] = R255(double(Ch(s, i)) * w + double(Ch(d, i)) * (255 - w));
  return FromChannels(out);
}

// rgb = min(alpha, d + s*w); alpha as source-over.
uint32_t ModelAdd(uint32_t d, uint32_t s, uint32_t w) {
  uint32_t sw[4], out[4];
  for (int i = 0; i < 4; ++i) sw[i] = R255(double(Ch(s, i)) * w);
  out[0] = sw[0] + R255(double(Ch(d, 0)) * (255 - sw[0]));
  for (int i = 1; i < 4; ++i) out[i] = std::min(out[0], Ch(d, i) + sw[i]);
  return FromChannels(out);
}

// Premultiplied pixels covering the corners and the middle of the value range.
std::vector<uint32_t> SamplePixels() {
  std::vector<uint32_t> px;
  const uint32_t alphas[] = {0, 1, 2, 64, 127, 128, 200, 253, 254, 255};
  const uint32_t colours[] = {Argb(0, 0, 0, 0),     Argb(0, 255, 255, 255), Argb(0, 255, 0, 128),
                              Argb(0, 1, 127, 254), Argb(0, 77, 200, 13),   Argb(0, 128, 129, 3)};
  for (uint32_t a : alphas)
    for (uint32_t c : colours) px.push_back(Premultiply(c | a << 24));
  return px;
}

}  // namespace

TEST(PixelArithmetic, DivisionsAndScalesRoundToNearest) {
  for (uint32_t x = 0; x <= 255 * 255 + 255; ++x) ASSERT_EQ(detail::Div255(x), R255(x)) << x;
  // Opacity to 0..255: round to nearest, clamped, NaN is 0.
  EXPECT_EQ(detail::Scale255(0.5f), 128u);             // 127.5 rounds up
  EXPECT_EQ(detail::Scale255(126.49f / 255.f), 126u);  // just below a half
  EXPECT_EQ(detail::Scale255(1.f / 255.f), 1u);
  EXPECT_EQ(detail::Scale255(0.4f / 255.f), 0u);
  EXPECT_EQ(detail::Scale255(254.f / 255.f), 254u);
  EXPECT_EQ(detail::Scale255(1.5f), 255u);
  EXPECT_EQ(detail::Scale255(-0.1f), 0u);
  EXPECT_EQ(detail::Scale255(std::nanf("")), 0u);
}

TEST(PixelArithmetic, PremultiplyAndBackRoundEveryValueToNearest) {
  for (uint32_t a = 0; a < 256; ++a)
    for (uint32_t c = 0; c < 256; ++c) {
      const uint32_t want = a == 255 ? c : R255(double(c) * a);
      ASSERT_EQ(Premultiply(Argb(a, c, 0, 255)), Argb(a, want, 0, a == 255 ? 255 : R255(255.0 * a)))
          << a << " " << c;
    }
  for (uint32_t a = 1; a < 255; ++a)
    for (uint32_t v = 0; v <= a; ++v) {
      // Half-way cases round up.
      const uint32_t want = std::min<uint32_t>(255, uint32_t(std::floor(v * 255.0 / a + 0.5)));
      ASSERT_EQ(Unpremultiply(Argb(a, v, v, 0)), Argb(a, want, want, 0)) << a << " " << v;
    }
  EXPECT_EQ(Unpremultiply(Argb(0, 0, 0, 0)), 0u);
  EXPECT_EQ(Unpremultiply(Argb(255, 1, 2, 3)), Argb(255, 1, 2, 3));
}

TEST(BlitExact, EveryModeMatchesItsFormulaOverAGridOfPixelsAndWeights) {
  const std::vector<uint32_t> px = SamplePixels();
  const float weights[] = {1.f, 254.f / 255.f, 0.7f, 0.5f, 0.25f, 1.f / 255.f};
  // One row of sources against one row of destinations per weight and mode.
  const int n = int(px.size());
  Bitmap src(n, 1);
  for (int i = 0; i < n; ++i) src.Set(i, 0, px[size_t(i)]);
  for (float weight : weights) {
    const uint32_t w = WeightOf(weight);
    for (BlendMode mode : {BlendMode::kSourceOver, BlendMode::kCopy, BlendMode::kAdd}) {
      for (int shift = 0; shift < n; ++shift) {
        Bitmap dst(n, 1);
        for (int i = 0; i < n; ++i) dst.Set(i, 0, px[size_t((i + shift) % n)]);
        ASSERT_TRUE(Blit(dst, 0, 0, src, 0, 0, n, 1, weight, mode));
        for (int i = 0; i < n; ++i) {
          const uint32_t d = px[size_t((i + shift) % n)], s = px[size_t(i)];
          const uint32_t want = mode == BlendMode::kSourceOver ? ModelOver(d, s, w)
                                : mode == BlendMode::kCopy     ? ModelCopy(d, s, w)
                                                               : ModelAdd(d, s, w);
          ASSERT_EQ(dst.At(i, 0), want)
              << "mode " << int(mode) << " weight " << w << " d " << std::hex << d << " s " << s;
        }
      }
    }
  }
}

TEST(BlitExact, DodgeOnTranslucentDestinationsByHand) {
  // Worked through the compositing formula co = cs'(1 - ab) + cb'(1 - as') + as' ab B(Cb, Cs),
  // each term rounded to the nearest 1/255, by hand:
  //   d = (a 128, r 64, g 32, b 0) premultiplied: straight (128, 64, 0)
  //   s = (a 255, r 128, g 191, b 60) opaque at full weight; t = 128, a = 255
  //   r: B(128, 128) = 32703/127 -> 255: round(128*127/255)=64 + 0 + round(128*255/255)=128
  //      = 192
  //   g: B(64, 191) = 16352/64 -> 255: round(191*127/255)=95 + 0 + 128 = 223
  //   b: B(0, 60) = 0: round(60*127/255)=30 + 0 + 0 = 30
  Bitmap d(1, 1), s(1, 1);
  d.Set(0, 0, Argb(128, 64, 32, 0));
  s.Set(0, 0, Argb(255, 128, 191, 60));
  ASSERT_TRUE(Blit(d, 0, 0, s, 0, 0, 1, 1, 1.f, BlendMode::kDodge));
  EXPECT_EQ(d.At(0, 0), Argb(255, 192, 223, 30));

  //   d = (a 200, r 100, g 150, b 10): straight (128, 191, 13)
  //   s = (a 100, r 50, g 0, b 100) premultiplied: straight (128, 0, 255); as' = 100
  //   t = round(100*200/255) = 78; a = 100 + round(200*155/255) = 100 + 122 = 222
  //   r: B(128, 128) = 255: round(50*55/255)=11 + round(100*155/255)=61 + round(78*255/255)=78
  //      = 150
  //   g: B(191, 0) = 191: 0 + round(150*155/255)=91 + round(78*191/255)=58 = 149
  //   b: B(13, 255) = 255: round(100*55/255)=22 + round(10*155/255)=6 + 78 = 106
  d.Set(0, 0, Argb(200, 100, 150, 10));
  s.Set(0, 0, Argb(100, 50, 0, 100));
  ASSERT_TRUE(Blit(d, 0, 0, s, 0, 0, 1, 1, 1.f, BlendMode::kDodge));
  EXPECT_EQ(d.At(0, 0), Argb(222, 150, 149, 106));
}

TEST(BlitRotatedExact, HalfPixelSamplesAverageWithRoundingUp) {
  // A 2 x 1 image turned a quarter turn about its centre (3, 2.5): every covered destination
  // pixel samples half-way between two source columns and half-way off the single row, so it
  // takes a quarter of the sum of the two columns it straddles, rounded half up.
  Bitmap s(2, 1);
  s.Set(0, 0, Argb(255, 255, 2, 1));
  s.Set(1, 0, Argb(255, 1, 253, 0));
  Bitmap d(6, 6);
  ASSERT_TRUE(BlitRotated(d, s, 2, 2, M_PI / 2, 1.f, BlendMode::kCopy));
  // Row 2 straddles both columns (the first one lands on top); rows 1 and 3 reach one each.
  // alpha (255 + 255 + 2) / 4 = 128, red (255 + 1 + 2) / 4 = 64, green (2 + 253 + 2) / 4 = 64,
  // blue (1 + 0 + 2) / 4 = 0
  for (int x : {2, 3}) {
    EXPECT_EQ(d.At(x, 2), Argb(128, 64, 64, 0)) << x;
    // First column only: alpha (255 + 2) / 4 = 64, red 64, green (2 + 2) / 4 = 1.
    EXPECT_EQ(d.At(x, 1), Argb(64, 64, 1, 0)) << x;
    // Second column only: green (253 + 2) / 4 = 63.
    EXPECT_EQ(d.At(x, 3), Argb(64, 0, 63, 0)) << x;
    EXPECT_EQ(d.At(x, 0), 0u);
    EXPECT_EQ(d.At(x, 4), 0u);
  }
  EXPECT_EQ(d.At(1, 2), 0u);
  EXPECT_EQ(d.At(4, 1), 0u);
}

TEST(BlitRotatedExact, TurnedSquareMatchesAnIndependentBilinearModel) {
  // The inverse rotation and the bilinear filter in doubles; the library samples in 16.16
  // and 8-bit fractions, so a channel may differ by at most 2. Pixels the model leaves
  // untouched must stay untouched, and the faint outer fringe of the filter must be drawn
  // (at 0.54 rad a 5 x 5 square reaches one column beyond its corner with alpha 2).
  for (int n : {5, 9}) {
    Bitmap s(n, n);
    s.Clear(Argb(255, 255, 255, 255));
    for (double angle : {0.3, 0.54, 1.1, 2.5, -0.7}) {
      const int size = 40, left = 15, top = 14;
      Bitmap d(size, size);
      ASSERT_TRUE(BlitRotated(d, s, left, top, angle, 1.f, BlendMode::kCopy));
      const double cx = left + n / 2.0, cy = top + n / 2.0;
      const double sn = std::sin(angle), cs = std::cos(angle);
      for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
          const double px = x + 0.5 - cx, py = y + 0.5 - cy;
          const double u = px * cs + py * sn + n / 2.0 - 0.5;
          const double v = py * cs - px * sn + n / 2.0 - 0.5;
          const double fu = std::floor(u), fv = std::floor(v);
          double cov = 0.0;
          for (int j = 0; j < 2; ++j)
            for (int i = 0; i < 2; ++i) {
              const double sx = fu + i, sy = fv + j;
              if (sx < 0 || sy < 0 || sx >= n || sy >= n) continue;
              cov += (i ? u - fu : 1 - (u - fu)) * (j ? v - fv : 1 - (v - fv));
            }
          const double want = cov * 255.0;
          const int got = int(AlphaOf(d.At(x, y)));
          ASSERT_NEAR(got, want, 2.0) << n << " " << angle << " " << x << "," << y;
          if (want >= 1.5) {
            ASSERT_GT(got, 0) << n << " " << angle << " " << x << "," << y;
          } else if (want < 0.25) {
            ASSERT_LE(got, 1) << n << " " << angle << " " << x << "," << y;
          }
        }
    }
  }
}

TEST(LineExact, MinorCoordinateRoundsHalfUpInBothDirections) {
  // (0,0)-(4,1): at x = 2 the exact line is at y = 0.5, which rounds up to 1.
  const std::set<std::pair<int, int>> gentle = {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 1}};
  // (0,1)-(4,0): at x = 2 the line is at 0.5 again: also row 1.
  const std::set<std::pair<int, int>> falling = {{0, 1}, {1, 1}, {2, 1}, {3, 0}, {4, 0}};
  // Steep: (1,0)-(2,4), x = 1.5 at y = 2 rounds to column 2.
  const std::set<std::pair<int, int>> steep = {{1, 0}, {1, 1}, {2, 2}, {2, 3}, {2, 4}};
  struct Case {
    int x1, y1, x2, y2;
    const std::set<std::pair<int, int>>* want;
  } cases[] = {{0, 0, 4, 1, &gentle},  {4, 1, 0, 0, &gentle}, {0, 1, 4, 0, &falling},
               {4, 0, 0, 1, &falling}, {1, 0, 2, 4, &steep},  {2, 4, 1, 0, &steep}};
  for (const Case& c : cases) {
    Bitmap b(6, 6);
    ASSERT_TRUE(DrawLine(b, c.x1, c.y1, c.x2, c.y2, Argb(255, 255, 255, 255), 1.f, false));
    std::set<std::pair<int, int>> got;
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < 6; ++x)
        if (b.At(x, y)) got.insert({x, y});
    EXPECT_EQ(got, *c.want) << c.x1 << "," << c.y1 << " to " << c.x2 << "," << c.y2;
  }
}

TEST(LineExact, PartialOpacityFollowsTheSourceOverFormula) {
  // Opacity 254/255 is not opaque: the destination still shows through by 1/255.
  for (float opacity : {254.f / 255.f, 0.5f, 3.f / 255.f}) {
    Bitmap b(3, 1);
    b.Clear(Argb(255, 40, 220, 255));
    ASSERT_TRUE(DrawLine(b, 0, 0, 2, 0, Argb(255, 200, 10, 0), opacity, false));
    const uint32_t a = WeightOf(opacity);
    const uint32_t src[3] = {200, 10, 0}, dst[3] = {40, 220, 255};
    uint32_t want[4] = {255, 0, 0, 0};
    for (int i = 0; i < 3; ++i)
      want[i + 1] = R255(double(src[i]) * a) + R255(double(dst[i]) * (255 - a));
    EXPECT_EQ(b.At(1, 0), FromChannels(want)) << opacity;
  }
}

TEST(CircleExact, OutlinesTakeTheNearestColumnOfEveryRow) {
  // The midpoint outline of radius r holds, in its first octant, (round(sqrt(r^2 - y^2)), y).
  for (int r = 1; r <= 12; ++r) {
    const int c = 13;
    Bitmap b(27, 27);
    ASSERT_TRUE(DrawCircle(b, float(c), float(c), float(r), Argb(255, 255, 255, 255), 1.f, false));
    std::set<std::pair<int, int>> want;
    for (int y = 0; y <= r; ++y) {
      const int x = int(std::floor(std::sqrt(double(r * r - y * y)) + 0.5));
      if (x < y) break;
      for (int sx : {-1, 1})
        for (int sy : {-1, 1}) {
          want.insert({c + sx * x, c + sy * y});
          want.insert({c + sx * y, c + sy * x});
        }
    }
    std::set<std::pair<int, int>> got;
    for (int y = 0; y < 27; ++y)
      for (int x = 0; x < 27; ++x)
        if (b.At(x, y)) got.insert({x, y});
    EXPECT_EQ(got, want) << "radius " << r;
  }
}

TEST(CircleExact, AntialiasedCoverageIsTheDistanceRamp) {
  // Disc: clamp(r + 0.5 - d, 0, 1); ring: clamp(1 - |d - r|, 0, 1), d from the pixel centre.
  for (float r : {2.f, 3.3f, 6.75f}) {
    const float cx = 10.25f, cy = 9.5f;
    Bitmap disc(21, 21), ring(21, 21);
    ASSERT_TRUE(FillDisc(disc, cx, cy, r, Argb(255, 255, 255, 255), 1.f, true));
    ASSERT_TRUE(DrawCircle(ring, cx, cy, r, Argb(255, 255, 255, 255), 1.f, true));
    for (int y = 0; y < 21; ++y)
      for (int x = 0; x < 21; ++x) {
        const double d = std::hypot(x - double(cx), y - double(cy));
        const double fc = std::min(1.0, std::max(0.0, r + 0.5 - d));
        const double rc = std::min(1.0, std::max(0.0, 1.0 - std::fabs(d - r)));
        EXPECT_EQ(AlphaOf(disc.At(x, y)), uint32_t(std::floor(fc * 255.0 + 0.5)))
            << r << " " << x << "," << y;
        EXPECT_EQ(AlphaOf(ring.At(x, y)), uint32_t(std::floor(rc * 255.0 + 0.5)))
            << r << " " << x << "," << y;
      }
  }
}
