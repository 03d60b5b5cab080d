#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "raster/text.h"

using namespace raster;

// fontconfig keeps a little memory from its initialisation until the process ends; that is
// its own bookkeeping, not a leak of ours.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}

namespace {

constexpr uint32_t kWhite = Argb(255, 255, 255, 255);

struct Ink {
  int l = 1 << 30, t = 1 << 30, r = -1, b = -1;
  double mass = 0;
  bool Any() const { return r >= 0; }
};

Ink InkOf(const Bitmap& bmp) {
  Ink k;
  for (int y = 0; y < bmp.Height(); ++y)
    for (int x = 0; x < bmp.Width(); ++x) {
      const uint32_t a = AlphaOf(bmp.At(x, y));
      if (!a) continue;
      k.l = std::min(k.l, x), k.t = std::min(k.t, y);
      k.r = std::max(k.r, x + 1), k.b = std::max(k.b, y + 1);
      k.mass += a / 255.0;
    }
  return k;
}

Font* Arial(int size, int style = 0, int orientation = 0) {
  return FontCache::Instance().Get("Arial", size, style, orientation, 0);
}

}  // namespace

TEST(TextTest, DrawsInkInsideTheExpectedBoxRepeatably) {
  Font* f = Arial(15);
  ASSERT_NE(f, nullptr);
  TextExtent ext;
  ASSERT_TRUE(MeasureText(f, "Pulse 10.00 Hz", &ext));
  EXPECT_EQ(ext.height, 15);
  EXPECT_GT(ext.ascent, 9);
  EXPECT_LT(ext.ascent, 15);
  EXPECT_GT(ext.width, 60);
  EXPECT_LT(ext.width, 130);

  Bitmap a(200, 40), b(200, 40);
  const Rect box(20, 10, 180, 28);
  ASSERT_TRUE(DrawText(a, f, "Pulse 10.00 Hz", box, kWhite, 1.f, TextAlign::kLeft));
  ASSERT_TRUE(DrawText(b, f, "Pulse 10.00 Hz", box, kWhite, 1.f, TextAlign::kLeft));
  const Ink k = InkOf(a);
  ASSERT_TRUE(k.Any());
  EXPECT_GE(k.l, 20);
  EXPECT_LE(k.l, 22);
  EXPECT_LE(k.r, 20 + ext.width + 1);
  EXPECT_GE(k.t, 10);
  EXPECT_LE(k.b, 10 + ext.height);
  EXPECT_EQ(std::memcmp(a.Pixels(), b.Pixels(), 200 * 40 * 4), 0);
}

TEST(TextTest, AlignmentColourAndOpacity) {
  Font* f = Arial(14);
  ASSERT_NE(f, nullptr);
  TextExtent ext;
  MeasureText(f, "Ready", &ext);
  const Rect box(10, 0, 110, 20);
  Bitmap left(120, 20), centre(120, 20), right(120, 20);
  DrawText(left, f, "Ready", box, kWhite, 1.f, TextAlign::kLeft);
  DrawText(centre, f, "Ready", box, kWhite, 1.f, TextAlign::kCentre);
  DrawText(right, f, "Ready", box, kWhite, 1.f, TextAlign::kRight);
  const Ink l = InkOf(left), c = InkOf(centre), r = InkOf(right);
  EXPECT_EQ(c.l - l.l, (100 - ext.width) / 2);
  EXPECT_EQ(r.l - l.l, 100 - ext.width);
  EXPECT_NEAR(l.mass, r.mass, 1e-9);

  // Centred and right-aligned text is the left-aligned picture moved by exactly
  // floor((W - width) / 2) and W - width, for spare room odd, even and negative.
  for (int spare : {7, 8, 1, 0, -1, -5}) {
    const Rect b(30, 0, 30 + ext.width + spare, 20);
    Bitmap l2(200, 20), c2(200, 20), r2(200, 20);
    DrawText(l2, f, "Ready", b, kWhite, 1.f, TextAlign::kLeft);
    DrawText(c2, f, "Ready", b, kWhite, 1.f, TextAlign::kCentre);
    DrawText(r2, f, "Ready", b, kWhite, 1.f, TextAlign::kRight);
    const int centreShift = spare >= 0 ? spare / 2 : -((1 - spare) / 2);
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < 200; ++x) {
        ASSERT_EQ(c2.At(x, y), l2.At(x - centreShift, y)) << spare << " " << x << "," << y;
        ASSERT_EQ(r2.At(x, y), l2.At(x - spare, y)) << spare << " " << x << "," << y;
      }
  }

  // Colour goes to the ink, opacity scales it.
  Bitmap red(120, 20), faint(120, 20);
  DrawText(red, f, "Ready", box, Argb(255, 255, 0, 0), 1.f, TextAlign::kLeft);
  DrawText(faint, f, "Ready", box, kWhite, 160 * 0.003921569f, TextAlign::kLeft);
  int maxAlpha = 0;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 120; ++x) {
      EXPECT_EQ(GreenOf(red.At(x, y)), 0u);
      maxAlpha = std::max<int>(maxAlpha, AlphaOf(faint.At(x, y)));
    }
  EXPECT_EQ(maxAlpha, 160);
}

TEST(TextTest, FacesStylesAndCache) {
  Font* regular = Arial(15);
  EXPECT_EQ(Arial(15), regular);  // cached
  Font* bold = Arial(15, kFontBold);
  ASSERT_NE(bold, nullptr);
  EXPECT_NE(bold, regular);
  TextExtent r, b;
  MeasureText(regular, "Isochronic", &r);
  MeasureText(bold, "Isochronic", &b);
  EXPECT_GT(b.width, r.width);

  Font* verdana = FontCache::Instance().Get("Verdana", 13);
  ASSERT_NE(verdana, nullptr);
  TextExtent v;
  MeasureText(verdana, "v1.00 i", &v);
  EXPECT_GT(v.width, 20);

  // Without anti-aliasing the ink is all or nothing.
  Font* mono = FontCache::Instance().Get("Arial", 17, 0, 0, int(FontQuality::kNonAntialiased));
  ASSERT_NE(mono, nullptr);
  Bitmap bmp(120, 24);
  DrawText(bmp, mono, "Mono 42", Rect(0, 0, 120, 24), kWhite, 1.f, TextAlign::kLeft);
  EXPECT_GT(InkOf(bmp).mass, 20.0);
  for (int y = 0; y < 24; ++y)
    for (int x = 0; x < 120; ++x) {
      const uint32_t a = AlphaOf(bmp.At(x, y));
      ASSERT_TRUE(a == 0 || a == 255);
    }

  // Unusable sizes make no font and cache nothing.
  const size_t n = FontCache::Instance().Count();
  EXPECT_EQ(Arial(0), nullptr);
  EXPECT_EQ(Arial(100000), nullptr);
  EXPECT_EQ(FontCache::Instance().Count(), n);
}

TEST(TextTest, TurnedTextRunsUpwards) {
  Font* f = Arial(15, 0, 90);
  ASSERT_NE(f, nullptr);
  Bitmap bmp(60, 120);
  ASSERT_TRUE(DrawText(bmp, f, "Frequency", Rect(20, 110, 40, 120), kWhite, 1.f, TextAlign::kLeft));
  const Ink k = InkOf(bmp);
  ASSERT_TRUE(k.Any());
  EXPECT_GT(k.b - k.t, 2 * (k.r - k.l));
  EXPECT_LE(k.b, 112);
}

TEST(TextTest, NullAndEmptyInput) {
  Font* f = Arial(15);
  Bitmap bmp(20, 20);
  EXPECT_TRUE(DrawText(bmp, f, "", Rect(0, 0, 20, 20), kWhite, 1.f, TextAlign::kLeft));
  EXPECT_TRUE(DrawText(bmp, f, nullptr, Rect(0, 0, 20, 20), kWhite, 1.f, TextAlign::kLeft));
  EXPECT_FALSE(InkOf(bmp).Any());
  EXPECT_FALSE(DrawText(bmp, nullptr, "x", Rect(0, 0, 20, 20), kWhite, 1.f, TextAlign::kLeft));
  TextExtent e;
  EXPECT_FALSE(MeasureText(nullptr, "x", &e));
  // Far off the bitmap, odd bytes: no crash, nothing drawn.
  EXPECT_TRUE(DrawText(bmp, f, "\x01\xff\x80 x", Rect(INT32_MAX - 5, INT32_MIN, INT32_MAX, 0),
                       kWhite, 1.f, TextAlign::kRight));
  EXPECT_FALSE(InkOf(bmp).Any());
}

TEST(TextTest, ConcurrentDrawingMatchesSingleThreaded) {
  Font* f = Arial(14);
  ASSERT_NE(f, nullptr);
  const char* text = "Shared font 0123456789";
  Bitmap ref(220, 20);
  DrawText(ref, f, text, Rect(0, 0, 220, 20), kWhite, 1.f, TextAlign::kLeft);
  Bitmap a(220, 20), b(220, 20);
  auto work = [&](Bitmap* bmp) {
    for (int i = 0; i < 200; ++i) {
      bmp->Clear(0);
      DrawText(*bmp, f, text, Rect(0, 0, 220, 20), kWhite, 1.f, TextAlign::kLeft);
      FontCache::Instance().Get("Arial", 14);
    }
  };
  std::thread t1(work, &a), t2(work, &b);
  t1.join();
  t2.join();
  EXPECT_EQ(std::memcmp(a.Pixels(), ref.Pixels(), 220 * 20 * 4), 0);
  EXPECT_EQ(std::memcmp(b.Pixels(), ref.Pixels(), 220 * 20 * 4), 0);
}
