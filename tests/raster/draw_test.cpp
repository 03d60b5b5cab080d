#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <set>
#include <utility>

#include "raster/raster.h"

using namespace raster;

namespace {

constexpr uint32_t kWhite = Argb(255, 255, 255, 255);

std::set<std::pair<int, int>> Inked(const Bitmap& b) {
  std::set<std::pair<int, int>> s;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x)
      if (AlphaOf(b.At(x, y))) s.insert({x, y});
  return s;
}

double Mass(const Bitmap& b) {
  double m = 0;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) m += AlphaOf(b.At(x, y)) / 255.0;
  return m;
}

// Alpha of (x, y) equals that of its mirror images about the pixel (c, c).
void ExpectEightfoldSymmetry(const Bitmap& b, int c) {
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) {
      const int dx = x - c, dy = y - c;
      const uint32_t a = AlphaOf(b.At(x, y));
      ASSERT_EQ(a, AlphaOf(b.At(c - dx, c + dy))) << x << "," << y;
      ASSERT_EQ(a, AlphaOf(b.At(c + dx, c - dy))) << x << "," << y;
      ASSERT_EQ(a, AlphaOf(b.At(c + dy, c + dx))) << x << "," << y;
    }
}

}  // namespace

TEST(FillRectTest, OpacityAndClipping) {
  Bitmap b(4, 4);
  b.Clear(Argb(255, 0, 0, 0));
  ASSERT_TRUE(FillRect(b, Rect(-5, 1, 2, 3), Argb(0, 200, 100, 50), 1.f));  // colour alpha ignored
  EXPECT_EQ(b.At(0, 1), Argb(255, 200, 100, 50));
  EXPECT_EQ(b.At(1, 2), Argb(255, 200, 100, 50));
  EXPECT_EQ(b.At(2, 1), Argb(255, 0, 0, 0));
  EXPECT_EQ(b.At(0, 0), Argb(255, 0, 0, 0));
  ASSERT_TRUE(FillRect(b, Rect(2, 0, 4, 1), Argb(255, 255, 255, 255), 0.5f));
  EXPECT_EQ(b.At(3, 0), Argb(255, 128, 128, 128));
  EXPECT_FALSE(FillRect(b, Rect(4, 0, 9, 9), kWhite, 1.f));
  EXPECT_FALSE(FillRect(b, Rect(2, 2, 1, 3), kWhite, 1.f));
  EXPECT_FALSE(FillRect(b, Rect(INT32_MIN, INT32_MIN, INT32_MIN + 1, INT32_MAX), kWhite, 1.f));
  EXPECT_TRUE(FillRect(b, Rect(0, 0, 4, 4), kWhite, std::nanf("")));
  EXPECT_EQ(b.At(0, 3), Argb(255, 0, 0, 0));
}

TEST(LineTest, HardLinesCoverEndPointsOnePixelPerStep) {
  const int ends[][4] = {{1, 1, 9, 1}, {2, 8, 2, 0}, {0, 0, 9, 9}, {1, 7, 9, 2}, {8, 1, 3, 9}};
  for (const auto& e : ends) {
    Bitmap a(10, 10), b(10, 10);
    ASSERT_TRUE(DrawLine(a, e[0], e[1], e[2], e[3], kWhite, 1.f, false));
    DrawLine(b, e[2], e[3], e[0], e[1], kWhite, 1.f, false);
    const auto px = Inked(a);
    EXPECT_EQ(px, Inked(b)) << "reverse differs";
    EXPECT_TRUE(px.count({e[0], e[1]}));
    EXPECT_TRUE(px.count({e[2], e[3]}));
    const int steps = std::max(std::abs(e[2] - e[0]), std::abs(e[3] - e[1]));
    EXPECT_EQ(int(px.size()), steps + 1);
    // Every pixel lies within half a pixel of the exact line (along the minor axis).
    const double dx = e[2] - e[0], dy = e[3] - e[1];
    for (const auto& p : px) {
      if (std::fabs(dx) >= std::fabs(dy)) {
        const double y = e[1] + dy * (p.first - e[0]) / dx;
        EXPECT_LE(std::fabs(p.second - y), 0.5);
      } else {
        const double x = e[0] + dx * (p.second - e[1]) / dy;
        EXPECT_LE(std::fabs(p.first - x), 0.5);
      }
    }
  }
  // A point is one pixel; opacity blends.
  Bitmap p(3, 3);
  p.Clear(Argb(255, 0, 0, 0));
  DrawLine(p, 1, 1, 1, 1, kWhite, 0.5f, false);
  EXPECT_EQ(p.At(1, 1), Argb(255, 128, 128, 128));
  EXPECT_EQ(Inked(p).size(), 9u);
}

TEST(LineTest, FloatEndPointsRoundAndAntialiasedLinesSpreadInk) {
  Bitmap a(10, 10), b(10, 10);
  DrawLineF(a, 1.4f, 2.6f, 7.5f, 2.4f, kWhite, 1.f, false);
  DrawLine(b, 1, 3, 8, 2, kWhite, 1.f, false);
  EXPECT_EQ(Inked(a), Inked(b));

  // A horizontal anti-aliased line on pixel centres is crisp; half-way between rows it
  // splits evenly.
  Bitmap c(10, 10);
  DrawLineF(c, 1.f, 4.f, 8.f, 4.f, kWhite, 1.f, true);
  EXPECT_EQ(AlphaOf(c.At(4, 4)), 255u);
  EXPECT_EQ(AlphaOf(c.At(4, 3)), 0u);
  EXPECT_EQ(AlphaOf(c.At(4, 5)), 0u);
  Bitmap h(10, 10);
  DrawLineF(h, 1.f, 4.5f, 8.f, 4.5f, kWhite, 1.f, true);
  EXPECT_EQ(AlphaOf(h.At(4, 4)), 128u);
  EXPECT_EQ(AlphaOf(h.At(4, 5)), 128u);

  // A diagonal anti-aliased line: ink near both ends, total ink about its length.
  Bitmap d(20, 20);
  DrawLineF(d, 2.3f, 3.1f, 15.8f, 11.7f, kWhite, 1.f, true);
  EXPECT_GT(AlphaOf(d.At(2, 3)) + AlphaOf(d.At(2, 4)), 0u);
  EXPECT_GT(AlphaOf(d.At(16, 11)) + AlphaOf(d.At(16, 12)), 0u);
  EXPECT_NEAR(Mass(d), 15.8 - 2.3 + 0.0, 1.5);  // one unit of ink per major-axis step
  EXPECT_EQ(AlphaOf(d.At(10, 1)), 0u);
}

TEST(LineTest, HugeAndInvalidCoordinatesAreSafeAndQuick) {
  Bitmap b(50, 50);
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_TRUE(DrawLine(b, INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, kWhite, 1.f, false));
  EXPECT_TRUE(DrawLine(b, INT32_MIN, 25, INT32_MAX, 25, kWhite, 1.f, true));
  EXPECT_TRUE(DrawLineF(b, -1e30f, 10.f, 1e30f, 10.f, kWhite, 1.f, false));
  EXPECT_TRUE(DrawLineF(b, -1e6f, 30.f, 1e6f, 30.f, kWhite, 1.f, true));
  EXPECT_TRUE(DrawLineF(b, -1e30f, -1e30f, 1e30f, 1e30f, kWhite, 1.f, true));
  EXPECT_FALSE(DrawLineF(b, NAN, 0.f, 5.f, 5.f, kWhite, 1.f, true));
  EXPECT_FALSE(DrawLineF(b, 0.f, INFINITY, 5.f, 5.f, kWhite, 1.f, false));
  EXPECT_FALSE(FillDisc(b, NAN, 5.f, 3.f, kWhite, 1.f, true));
  EXPECT_FALSE(DrawCircle(b, 5.f, 5.f, 1e30f, kWhite, 1.f, false));
  EXPECT_FALSE(FillDisc(b, 5.f, 5.f, -2.f, kWhite, 1.f, true));
  EXPECT_FALSE(DrawArc(b, 5.f, 5.f, 3.f, 0.f, NAN, kWhite, 1.f, true));
  const double ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
  EXPECT_LT(ms, 500.0);
  // The lines that crossed the bitmap did draw across it.
  EXPECT_EQ(AlphaOf(b.At(25, 25)), 255u);
  EXPECT_EQ(AlphaOf(b.At(0, 10)), 255u);
  EXPECT_EQ(AlphaOf(b.At(49, 10)), 255u);
  EXPECT_EQ(AlphaOf(b.At(0, 30)), 255u);
  EXPECT_EQ(AlphaOf(b.At(49, 30)), 255u);
  Bitmap e;
  EXPECT_FALSE(DrawLine(e, 0, 0, 1, 1, kWhite, 1.f, false));
}

TEST(CircleTest, DiscsAreSymmetricWithTheRightArea) {
  for (float r : {0.5f, 1.f, 2.5f, 4.f, 7.3f}) {
    Bitmap aa(21, 21), hard(21, 21);
    ASSERT_TRUE(FillDisc(aa, 10.f, 10.f, r, kWhite, 1.f, true));
    ASSERT_TRUE(FillDisc(hard, 10.f, 10.f, r, kWhite, 1.f, false));
    ExpectEightfoldSymmetry(aa, 10);
    ExpectEightfoldSymmetry(hard, 10);
    const double area = M_PI * (r + 0.0) * r;
    EXPECT_NEAR(Mass(aa), area, 0.12 * area + 1.0) << r;
    EXPECT_EQ(AlphaOf(aa.At(10, 10)), 255u);
  }
  // Pixels whose centres are within r + 0.5: radius 1 gives a full 3 x 3 block.
  Bitmap one(5, 5);
  FillDisc(one, 2.f, 2.f, 1.f, kWhite, 1.f, false);
  EXPECT_EQ(Inked(one).size(), 9u);
  // Opacity scales the ink.
  Bitmap half(21, 21);
  FillDisc(half, 10.f, 10.f, 4.f, kWhite, 0.5f, true);
  EXPECT_EQ(AlphaOf(half.At(10, 10)), 128u);
}

TEST(CircleTest, OutlinesAreSymmetricRingsPaintedOnce) {
  Bitmap hard(23, 23);
  hard.Clear(Argb(255, 0, 0, 0));
  ASSERT_TRUE(DrawCircle(hard, 11.f, 11.f, 8.f, kWhite, 0.5f, false));
  ExpectEightfoldSymmetry(hard, 11);
  // Half opacity everywhere: a pixel painted twice would be brighter.
  for (int y = 0; y < 23; ++y)
    for (int x = 0; x < 23; ++x) {
      const uint32_t r = RedOf(hard.At(x, y));
      ASSERT_TRUE(r == 0 || r == 128) << x << "," << y;
    }
  EXPECT_EQ(RedOf(hard.At(19, 11)), 128u);
  EXPECT_EQ(RedOf(hard.At(11, 3)), 128u);
  EXPECT_EQ(RedOf(hard.At(11, 11)), 0u);

  Bitmap aa(23, 23);
  DrawCircle(aa, 11.f, 11.f, 8.f, kWhite, 1.f, true);
  ExpectEightfoldSymmetry(aa, 11);
  EXPECT_EQ(AlphaOf(aa.At(19, 11)), 255u);
  EXPECT_EQ(AlphaOf(aa.At(11, 11)), 0u);
  EXPECT_NEAR(Mass(aa), 2 * M_PI * 8, 5.0);
}

TEST(CircleTest, ArcsAndSectorsKeepTheirAngles) {
  // Angles from straight up, clockwise: 0..pi/2 is the top-right quarter.
  Bitmap s(21, 21), full(21, 21);
  ASSERT_TRUE(FillSector(s, 10.f, 10.f, 8.f, 0.f, float(M_PI / 2), kWhite, 1.f, true));
  FillDisc(full, 10.f, 10.f, 8.f, kWhite, 1.f, true);
  for (const auto& p : Inked(s)) {
    EXPECT_GE(p.first, 10);
    EXPECT_LE(p.second, 10);
  }
  EXPECT_NEAR(Mass(s), Mass(full) / 4, 10.0);
  EXPECT_EQ(AlphaOf(s.At(15, 5)), 255u);

  // The left-top quarter as the rounded box corners use it (-pi/2 .. 0).
  Bitmap arc(21, 21);
  DrawArc(arc, 10.f, 10.f, 8.f, float(-M_PI / 2), 0.f, kWhite, 1.f, false);
  for (const auto& p : Inked(arc)) {
    EXPECT_LE(p.first, 10);
    EXPECT_LE(p.second, 10);
  }
  EXPECT_TRUE(Inked(arc).count({2, 10}));
  EXPECT_TRUE(Inked(arc).count({10, 2}));

  // Three quarters of a turn from straight up: everything but the top-left quarter.
  Bitmap wide(21, 21);
  FillSector(wide, 10.f, 10.f, 8.f, 0.f, float(3 * M_PI / 2), kWhite, 1.f, false);
  EXPECT_EQ(AlphaOf(wide.At(5, 5)), 0u);
  EXPECT_EQ(AlphaOf(wide.At(15, 15)), 255u);
  EXPECT_EQ(AlphaOf(wide.At(5, 15)), 255u);
  EXPECT_EQ(AlphaOf(wide.At(15, 5)), 255u);

  // A full turn or more is the whole circle; a zero span draws nothing.
  Bitmap turn(21, 21), none(21, 21);
  DrawArc(turn, 10.f, 10.f, 8.f, 1.f, float(1 + 2 * M_PI), kWhite, 1.f, true);
  Bitmap ring(21, 21);
  DrawCircle(ring, 10.f, 10.f, 8.f, kWhite, 1.f, true);
  EXPECT_EQ(Inked(turn), Inked(ring));
  EXPECT_TRUE(FillSector(none, 10.f, 10.f, 8.f, 1.f, 1.f, kWhite, 1.f, true));
  EXPECT_TRUE(Inked(none).empty());
}
