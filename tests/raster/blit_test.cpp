#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "raster/raster.h"

using namespace raster;

namespace {

// Reference arithmetic in doubles, rounded once, for a single channel.
int Round(double v) {
  return int(std::floor(v + 0.5));
}

Bitmap Solid(int w, int h, uint32_t premul) {
  Bitmap b(w, h);
  b.Clear(premul);
  return b;
}

// A 4x3 image whose every pixel is distinct and opaque.
Bitmap Numbered(int w, int h) {
  Bitmap b(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b.Set(x, y, Argb(255, 10 * x + 1, 10 * y + 1, x * 16 + y));
  return b;
}

}  // namespace

TEST(BlitModes, SourceOverHonoursAlphaAndWeight) {
  // Opaque source at full weight replaces.
  Bitmap d = Solid(2, 2, Argb(255, 0, 0, 200));
  Bitmap s = Solid(2, 2, Argb(255, 200, 10, 0));
  ASSERT_TRUE(Blit(d, 0, 0, s, 0, 0, 2, 2, 1.f, BlendMode::kSourceOver));
  EXPECT_EQ(d.At(1, 1), Argb(255, 200, 10, 0));

  // Half weight: d = s*w + d*(1 - w).
  d.Clear(Argb(255, 0, 0, 200));
  ASSERT_TRUE(Blit(d, 0, 0, s, 0, 0, 2, 2, 0.5f, BlendMode::kSourceOver));
  // Weight 128: the source becomes (128, 100, 5, 0), then blue 200 * 127 / 255 = 99.6 -> 100.
  EXPECT_EQ(d.At(0, 0), Argb(255, 100, 5, 100));

  // Premultiplied 50% white over black at full weight gives mid grey.
  Bitmap half = Solid(1, 1, Premultiply(Argb(128, 255, 255, 255)));
  Bitmap black = Solid(1, 1, Argb(255, 0, 0, 0));
  Blit(black, 0, 0, half, 0, 0, 1, 1);
  EXPECT_EQ(black.At(0, 0), Argb(255, 128, 128, 128));

  // Transparent source pixels leave the destination alone; weight 0 does nothing.
  Bitmap clear = Solid(1, 1, 0);
  Bitmap dst = Solid(1, 1, Argb(255, 1, 2, 3));
  Blit(dst, 0, 0, clear, 0, 0, 1, 1);
  Blit(dst, 0, 0, s, 0, 0, 1, 1, 0.f);
  Blit(dst, 0, 0, s, 0, 0, 1, 1, std::nanf(""));
  EXPECT_EQ(dst.At(0, 0), Argb(255, 1, 2, 3));
}

TEST(BlitModes, CopyClobbersIncludingAlpha) {
  Bitmap d = Solid(1, 1, Argb(255, 50, 60, 70));
  Bitmap s = Solid(1, 1, Premultiply(Argb(100, 255, 0, 0)));
  Blit(d, 0, 0, s, 0, 0, 1, 1, 1.f, BlendMode::kCopy);
  EXPECT_EQ(d.At(0, 0), s.At(0, 0));
  // Fully transparent source clears.
  Bitmap z = Solid(1, 1, 0);
  Blit(d, 0, 0, z, 0, 0, 1, 1, 1.f, BlendMode::kCopy);
  EXPECT_EQ(d.At(0, 0), 0u);
  // Partial weight mixes every channel linearly.
  d.Clear(Argb(255, 0, 0, 0));
  Bitmap w = Solid(1, 1, Argb(255, 255, 255, 255));
  Blit(d, 0, 0, w, 0, 0, 1, 1, 0.25f, BlendMode::kCopy);
  EXPECT_EQ(d.At(0, 0), Argb(255, 64, 64, 64));
}

TEST(BlitModes, AddSaturatesAndScalesByAlpha) {
  Bitmap d = Solid(1, 1, Argb(255, 200, 100, 0));
  Bitmap s = Solid(1, 1, Argb(255, 100, 100, 100));
  Blit(d, 0, 0, s, 0, 0, 1, 1, 1.f, BlendMode::kAdd);
  EXPECT_EQ(d.At(0, 0), Argb(255, 255, 200, 100));
  // A half-transparent source adds half its colour.
  d.Clear(Argb(255, 10, 10, 10));
  Bitmap h = Solid(1, 1, Premultiply(Argb(128, 200, 100, 0)));
  Blit(d, 0, 0, h, 0, 0, 1, 1, 1.f, BlendMode::kAdd);
  EXPECT_EQ(d.At(0, 0),
            Argb(255, 10 + Round(200 * 128 / 255.0), 10 + Round(100 * 128 / 255.0), 10));
  // Onto a transparent destination the colour never exceeds alpha.
  Bitmap t = Solid(1, 1, 0);
  Blit(t, 0, 0, h, 0, 0, 1, 1, 1.f, BlendMode::kAdd);
  const uint32_t p = t.At(0, 0);
  EXPECT_LE(RedOf(p), AlphaOf(p));
  EXPECT_EQ(p, h.At(0, 0));
}

TEST(BlitModes, DodgeBrightensByInverseSource) {
  Bitmap d = Solid(1, 3, Argb(255, 64, 0, 200));
  Bitmap s = Solid(1, 3, Argb(255, 128, 255, 0));
  Blit(d, 0, 0, s, 0, 0, 1, 3, 1.f, BlendMode::kDodge);
  // 64 / (1 - 128/255) = 128.5 -> 129; black stays black; a black source changes nothing.
  EXPECT_EQ(d.At(0, 1), Argb(255, 129, 0, 200));
  // White source on a non-black channel saturates.
  Bitmap g = Solid(1, 1, Argb(255, 1, 1, 1));
  Bitmap w = Solid(1, 1, Argb(255, 255, 255, 255));
  Blit(g, 0, 0, w, 0, 0, 1, 1, 1.f, BlendMode::kDodge);
  EXPECT_EQ(g.At(0, 0), Argb(255, 255, 255, 255));
  // Half weight: halfway between destination and the dodged colour.
  Bitmap m = Solid(1, 1, Argb(255, 64, 64, 64));
  Blit(m, 0, 0, s, 0, 0, 1, 1, 0.5f, BlendMode::kDodge);
  // Weighted source (128, 64, 128, 0): red 64*127/255 -> 32 plus 128*129/255 -> 65; green
  // 32 + 128 (white dodges to 255); blue 32 + 128*64/255 -> 32.
  EXPECT_EQ(m.At(0, 0), Argb(255, 97, 160, 64));
  // On a transparent destination the source shows as it is.
  Bitmap t = Solid(1, 1, 0);
  Bitmap src = Solid(1, 1, Premultiply(Argb(200, 100, 50, 25)));
  Blit(t, 0, 0, src, 0, 0, 1, 1, 1.f, BlendMode::kDodge);
  EXPECT_EQ(t.At(0, 0), src.At(0, 0));
}

TEST(BlitClipping, ClipsToBothBitmapsAndShiftsTheOtherOrigin) {
  Bitmap s = Numbered(4, 3);
  Bitmap d(5, 5);
  // Destination off the left/top edge: the source origin moves by the clipped amount.
  ASSERT_TRUE(Blit(d, -1, -2, s, 0, 0, 4, 3, 1.f, BlendMode::kCopy));
  EXPECT_EQ(d.At(0, 0), s.At(1, 2));
  EXPECT_EQ(d.At(2, 0), s.At(3, 2));
  EXPECT_EQ(d.At(3, 0), 0u);
  EXPECT_EQ(d.At(0, 1), 0u);

  // Source rectangle partly off the source: the destination moves with it.
  d.Clear(0);
  ASSERT_TRUE(Blit(d, 1, 1, s, -1, 0, 10, 10, 1.f, BlendMode::kCopy));
  EXPECT_EQ(d.At(1, 1), 0u);
  EXPECT_EQ(d.At(2, 1), s.At(0, 0));
  EXPECT_EQ(d.At(4, 3), s.At(2, 2));

  // Off the bitmap entirely, empty sizes, empty bitmaps: nothing happens, false.
  d.Clear(0);
  EXPECT_FALSE(Blit(d, 5, 0, s, 0, 0, 4, 3));
  EXPECT_FALSE(Blit(d, 0, 0, s, 4, 0, 4, 3));
  EXPECT_FALSE(Blit(d, 0, 0, s, 0, 0, 0, 3));
  EXPECT_FALSE(Blit(d, 0, 0, s, 0, 0, -4, 3));
  EXPECT_FALSE(Blit(d, INT32_MIN, INT32_MAX, s, INT32_MAX, INT32_MIN, INT32_MAX, INT32_MAX));
  EXPECT_FALSE(Blit(d, 0, 0, s, INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX));
  Bitmap empty;
  EXPECT_FALSE(Blit(d, 0, 0, empty, 0, 0, 1, 1));
  EXPECT_FALSE(Blit(empty, 0, 0, s, 0, 0, 1, 1));
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 5; ++x) EXPECT_EQ(d.At(x, y), 0u);

  // An extra clip rectangle narrows the drawing.
  Rect clip(1, 1, 2, 2);
  ASSERT_TRUE(Blit(d, 0, 0, s, 0, 0, 4, 3, 1.f, BlendMode::kCopy, &clip));
  EXPECT_EQ(d.At(1, 1), s.At(1, 1));
  EXPECT_EQ(d.At(0, 0), 0u);
  EXPECT_EQ(d.At(2, 1), 0u);
}

TEST(BlitClipping, OverlappingBlitWithinOneBitmapReadsTheOriginal) {
  for (int dir = 0; dir < 4; ++dir) {
    Bitmap b = Numbered(6, 6);
    Bitmap ref;
    ref.CopyFrom(b);
    const int dx = dir == 0 ? 1 : dir == 1 ? -1 : 0, dy = dir == 2 ? 1 : dir == 3 ? -1 : 0;
    Blit(b, 1 + dx, 1 + dy, b, 1, 1, 4, 4, 1.f, BlendMode::kCopy);
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 4; ++x)
        EXPECT_EQ(b.At(1 + dx + x, 1 + dy + y), ref.At(1 + x, 1 + y)) << dir;
  }
}

TEST(BlitRotatedTest, ZeroAngleMatchesPlainBlit) {
  Bitmap s = Numbered(5, 4);
  Bitmap a(12, 12), b(12, 12);
  a.Clear(Argb(255, 9, 9, 9));
  b.Clear(Argb(255, 9, 9, 9));
  ASSERT_TRUE(BlitRotated(a, s, 3, 2, 0.0, 0.7f, BlendMode::kSourceOver));
  ASSERT_TRUE(Blit(b, 3, 2, s, 0, 0, 5, 4, 0.7f, BlendMode::kSourceOver));
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 12; ++x) ASSERT_EQ(a.At(x, y), b.At(x, y)) << x << "," << y;
}

TEST(BlitRotatedTest, QuarterAndHalfTurnsMovePixelsExactly) {
  const int n = 4;
  Bitmap s = Numbered(n, n);
  Bitmap q(10, 10), h(10, 10), full(10, 10);
  // A background a copy of transparent pixels would change.
  const uint32_t bg = Argb(255, 10, 11, 12);
  for (Bitmap* b : {&q, &h, &full}) b->Clear(bg);
  ASSERT_TRUE(BlitRotated(q, s, 2, 3, M_PI / 2, 1.f, BlendMode::kCopy));
  ASSERT_TRUE(BlitRotated(h, s, 2, 3, M_PI, 1.f, BlendMode::kCopy));
  ASSERT_TRUE(BlitRotated(full, s, 2, 3, -2 * M_PI, 1.f, BlendMode::kCopy));
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      // Clockwise: the top-left corner goes to the top-right.
      EXPECT_EQ(q.At(2 + n - 1 - y, 3 + x), s.At(x, y));
      EXPECT_EQ(h.At(2 + n - 1 - x, 3 + n - 1 - y), s.At(x, y));
      EXPECT_EQ(full.At(2 + x, 3 + y), s.At(x, y));
    }
  // Nothing lands outside the image's own square, not even in copy mode: the pixels whose
  // centres sit exactly one pixel off the source's edge are left alone too.
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x)
      if (x < 2 || x >= 2 + n || y < 3 || y >= 3 + n) {
        EXPECT_EQ(q.At(x, y), bg) << x << "," << y;
        EXPECT_EQ(h.At(x, y), bg) << x << "," << y;
        EXPECT_EQ(full.At(x, y), bg) << x << "," << y;
      }
}

TEST(BlitRotatedTest, SmallAngleKeepsMassAndCentre) {
  // An opaque 10x10 square turned by 0.2 rad around the middle of a 30x30 bitmap.
  Bitmap s = Solid(10, 10, Argb(255, 255, 255, 255));
  Bitmap d(30, 30);
  ASSERT_TRUE(BlitRotated(d, s, 10, 10, 0.2, 1.f, BlendMode::kSourceOver));
  double mass = 0, mx = 0, my = 0;
  int partial = 0;
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 30; ++x) {
      const uint32_t a = AlphaOf(d.At(x, y));
      mass += a / 255.0;
      mx += (x + 0.5) * a / 255.0;
      my += (y + 0.5) * a / 255.0;
      if (a > 0 && a < 255) ++partial;
    }
  EXPECT_NEAR(mass, 100.0, 2.0);
  EXPECT_NEAR(mx / mass, 15.0, 0.05);
  EXPECT_NEAR(my / mass, 15.0, 0.05);
  EXPECT_GT(partial, 10);  // filtered edges
  // Clockwise: the top edge now slopes down to the right, so the top-right corner pixel of
  // the original square is uncovered and the pixel just right of the top-left corner holds.
  EXPECT_EQ(AlphaOf(d.At(10, 9)), 0u);
  EXPECT_GT(AlphaOf(d.At(20, 11)), 0u);
  EXPECT_EQ(AlphaOf(d.At(8, 12)), 0u);
}

TEST(BlitRotatedTest, BadInputIsRefused) {
  Bitmap s = Solid(4, 4, Argb(255, 1, 1, 1));
  Bitmap d(8, 8);
  EXPECT_FALSE(BlitRotated(d, s, 0, 0, std::nan(""), 1.f));
  EXPECT_FALSE(BlitRotated(d, s, 0, 0, INFINITY, 1.f));
  EXPECT_FALSE(BlitRotated(d, s, INT32_MAX, INT32_MIN, 1.0, 1.f));
  EXPECT_FALSE(BlitRotated(d, d, 0, 0, 1.0, 1.f));
  Bitmap e;
  EXPECT_FALSE(BlitRotated(d, e, 0, 0, 1.0, 1.f));
  EXPECT_FALSE(BlitRotated(e, s, 0, 0, 1.0, 1.f));
  EXPECT_FALSE(BlitRotated(d, s, 100, 100, 1.0, 1.f));
  EXPECT_TRUE(BlitRotated(d, s, 0, 0, 1e12, 1.f));  // huge but finite angle
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x)
      if (x >= 6 || y >= 6) {
        EXPECT_EQ(d.At(x, y), 0u);
      }
}

TEST(BitmapTest, CreateResizeWrapAndPremultiply) {
  Bitmap b;
  EXPECT_FALSE(b.Create(0, 5));
  EXPECT_FALSE(b.Create(-1, 5));
  EXPECT_FALSE(b.Create(Bitmap::kMaxSide + 1, 1));
  EXPECT_TRUE(b.Empty());
  ASSERT_TRUE(b.Create(3, 2));
  b.Set(2, 1, 0x11223344);
  ASSERT_TRUE(b.Resize(4, 4));
  EXPECT_EQ(b.At(2, 1), 0x11223344u);
  EXPECT_EQ(b.At(3, 3), 0u);
  EXPECT_FALSE(b.Resize(0, 4));
  EXPECT_EQ(b.Width(), 4);
  EXPECT_EQ(b.At(-1, 0), 0u);
  b.Set(99, 0, 1);  // ignored

  // Bottom-up external memory: row 0 is the last one in memory.
  uint32_t mem[6] = {1, 2, 3, 4, 5, 6};
  Bitmap w;
  ASSERT_TRUE(w.Wrap(mem + 4, 2, 3, -2));
  EXPECT_EQ(w.At(0, 0), 5u);
  EXPECT_EQ(w.At(1, 2), 2u);
  EXPECT_FALSE(w.OwnsPixels());
  EXPECT_FALSE(w.Wrap(mem, 3, 2, 2));
  EXPECT_FALSE(w.Wrap(nullptr, 2, 2, 2));

  // Premultiplication round-trips every premultiplied value.
  for (uint32_t a = 0; a < 256; a += 5)
    for (uint32_t c = 0; c <= a; ++c) {
      const uint32_t p = Argb(a, c, c / 2, 0);
      ASSERT_EQ(Premultiply(Unpremultiply(p)), p) << a << " " << c;
    }
}
