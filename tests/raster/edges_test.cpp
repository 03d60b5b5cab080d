// Raster edges: resizing wrapped memory, fills just short of opaque, arcs whose end angle is
// below their start, anti-aliased line ends at fractional coordinates.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <utility>

#include "raster/raster.h"

using namespace raster;

TEST(BitmapEdges, ResizingWrappedMemoryToItsOwnSizeTakesACopy) {
  uint32_t mem[4] = {1, 2, 3, 4};
  Bitmap b;
  ASSERT_TRUE(b.Wrap(mem, 2, 2, 2));
  ASSERT_TRUE(b.Resize(2, 2));
  EXPECT_TRUE(b.OwnsPixels());
  EXPECT_NE(mem, b.Pixels());
  b.Set(0, 0, 9);
  EXPECT_EQ(1u, mem[0]);  // the wrapped memory is no longer written
  EXPECT_EQ(4u, b.At(1, 1));
  // An owned bitmap resized to its own size keeps its pixels where they are.
  uint32_t* before = b.Pixels();
  ASSERT_TRUE(b.Resize(2, 2));
  EXPECT_EQ(before, b.Pixels());
}

TEST(FillEdges, OpacityJustBelowOneStillBlends) {
  Bitmap b(2, 1);
  b.Clear(Argb(255, 0, 100, 255));
  ASSERT_TRUE(FillRect(b, Rect(0, 0, 2, 1), Argb(255, 255, 0, 10), 254.f / 255.f));
  // 255 * 254 / 255 + 0 = 254; 0 + 100 / 255 -> 0; 10 * 254 / 255 -> 10 plus 255 / 255 = 1
  EXPECT_EQ(Argb(255, 254, 0, 11), b.At(1, 0));
  ASSERT_TRUE(FillRect(b, Rect(0, 0, 1, 1), Argb(255, 255, 0, 10), 1.f));
  EXPECT_EQ(Argb(255, 255, 0, 10), b.At(0, 0));
}

TEST(ArcEdges, AnEndAngleBelowTheStartWrapsClockwise) {
  // From 3/2 pi (left) clockwise to pi/2 (right) is the top half; the same arc written with
  // angles -pi/2 .. pi/2 must draw the same pixels.
  Bitmap a(21, 21), b(21, 21);
  ASSERT_TRUE(FillSector(a, 10.f, 10.f, 8.f, float(3 * M_PI / 2), float(M_PI / 2),
                         Argb(255, 255, 255, 255), 1.f, false));
  ASSERT_TRUE(FillSector(b, 10.f, 10.f, 8.f, float(-M_PI / 2), float(M_PI / 2),
                         Argb(255, 255, 255, 255), 1.f, false));
  int inked = 0;
  for (int y = 0; y < 21; ++y)
    for (int x = 0; x < 21; ++x) {
      inked += a.At(x, y) != 0;
      if (y > 10) {
        EXPECT_EQ(0u, a.At(x, y)) << x << "," << y;
      } else if (y < 10) {  // the row on the edge itself depends on the last bit of pi
        ASSERT_EQ(a.At(x, y), b.At(x, y)) << x << "," << y;
      }
    }
  EXPECT_GT(inked, 80);
  EXPECT_EQ(Argb(255, 255, 255, 255), a.At(10, 3));

  // From pi (down) clockwise to pi/2 (right) is three quarters of a turn: all but the
  // bottom-right quarter.
  Bitmap w(21, 21);
  ASSERT_TRUE(FillSector(w, 10.f, 10.f, 8.f, float(M_PI), float(M_PI / 2), Argb(255, 255, 255, 255),
                         1.f, false));
  EXPECT_EQ(0u, w.At(15, 15));
  EXPECT_NE(0u, w.At(5, 5));
  EXPECT_NE(0u, w.At(15, 5));
  EXPECT_NE(0u, w.At(5, 15));
}

TEST(LineEdges, AntialiasedEndsTakeTheShareOfTheirPixel) {
  // A horizontal line on a row centre from x = 2.25 to 6.625: each end pixel holds the part
  // of its cell the line covers: [2.25, 2.5) of [1.5, 2.5) is a quarter, [6.5, 6.625) of
  // [6.5, 7.5) an eighth; the pixels between are full.
  Bitmap b(10, 3);
  ASSERT_TRUE(DrawLineF(b, 2.25f, 1.f, 6.625f, 1.f, Argb(255, 255, 255, 255), 1.f, true));
  EXPECT_EQ(64u, AlphaOf(b.At(2, 1)));  // 0.25 of 255, rounded
  EXPECT_EQ(255u, AlphaOf(b.At(3, 1)));
  EXPECT_EQ(255u, AlphaOf(b.At(6, 1)));
  EXPECT_EQ(32u, AlphaOf(b.At(7, 1)));  // 0.125 of 255 = 31.9
  EXPECT_EQ(0u, AlphaOf(b.At(8, 1)));
  EXPECT_EQ(0u, AlphaOf(b.At(1, 1)));
  EXPECT_EQ(0u, AlphaOf(b.At(4, 0)));
}

TEST(BitmapEdges, CopyingABitmapOntoItselfKeepsItsPixels) {
  Bitmap b(3, 2);
  b.Set(2, 1, Argb(255, 1, 2, 3));
  EXPECT_TRUE(b.CopyFrom(b));
  EXPECT_EQ(Argb(255, 1, 2, 3), b.At(2, 1));
  EXPECT_EQ(3, b.Width());
  Bitmap copy;
  ASSERT_TRUE(copy.CopyFrom(b));
  EXPECT_EQ(Argb(255, 1, 2, 3), copy.At(2, 1));
  Bitmap empty;
  EXPECT_FALSE(copy.CopyFrom(empty));
  EXPECT_TRUE(copy.Empty());
}
