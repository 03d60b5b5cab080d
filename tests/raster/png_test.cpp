#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "raster/raster.h"

using namespace raster;

namespace {

Bitmap Gradient(int w, int h, bool withAlpha) {
  Bitmap b(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint32_t a = withAlpha ? uint32_t((x * 37 + y * 11) % 256) : 255u;
      b.Set(x, y, Premultiply(Argb(a, x * 9 % 256, y * 13 % 256, (x + y) * 5 % 256)));
    }
  return b;
}

void ExpectSame(const Bitmap& a, const Bitmap& b) {
  ASSERT_EQ(a.Width(), b.Width());
  ASSERT_EQ(a.Height(), b.Height());
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x) ASSERT_EQ(a.At(x, y), b.At(x, y)) << x << "," << y;
}

}  // namespace

TEST(PngTest, RoundTripsThroughMemoryAndFile) {
  for (bool alpha : {false, true}) {
    const Bitmap src = Gradient(37, 23, alpha);
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(EncodePng(src, &bytes));
    Bitmap back;
    ASSERT_TRUE(DecodePng(bytes.data(), bytes.size(), &back));
    ExpectSame(src, back);

    const std::string path = ::testing::TempDir() + "raster_round_trip.png";
    ASSERT_TRUE(SavePngFile(src, path.c_str()));
    Bitmap fromFile;
    ASSERT_TRUE(LoadPngFile(path.c_str(), &fromFile));
    ExpectSame(src, fromFile);
    std::remove(path.c_str());
  }
}

TEST(PngTest, OpaqueImagesAreStoredWithoutAlphaAndDecodeOpaque) {
  const Bitmap src = Gradient(8, 8, false);
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(EncodePng(src, &bytes));
  // Colour type in the header chunk (byte 25): 2 = RGB.
  ASSERT_GT(bytes.size(), 26u);
  EXPECT_EQ(bytes[25], 2);
  Bitmap back;
  ASSERT_TRUE(DecodePng(bytes.data(), bytes.size(), &back));
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) EXPECT_EQ(AlphaOf(back.At(x, y)), 255u);
}

TEST(PngTest, TruncatedOrCorruptDataFailsCleanly) {
  const Bitmap src = Gradient(30, 30, true);
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(EncodePng(src, &bytes));
  Bitmap out;
  // Every truncation fails and leaves the bitmap empty.
  for (size_t n = 0; n < bytes.size(); n += (n < 64 ? 1 : 17)) {
    out.Create(2, 2);
    EXPECT_FALSE(DecodePng(bytes.data(), n, &out)) << n;
    EXPECT_TRUE(out.Empty());
  }
  // Flipped bytes anywhere: either a CRC/zlib failure or (in ancillary data) a valid image;
  // never a crash.
  for (size_t i = 8; i < bytes.size(); i += 7) {
    std::vector<uint8_t> bad = bytes;
    bad[i] ^= 0x5a;
    if (DecodePng(bad.data(), bad.size(), &out)) {
      EXPECT_EQ(out.Width(), 30);
    } else {
      EXPECT_TRUE(out.Empty());
    }
  }
  // Not a PNG, null pointers, a header claiming a gigantic image.
  const char junk[] = "this is not a png at all";
  EXPECT_FALSE(DecodePng(junk, sizeof junk, &out));
  EXPECT_FALSE(DecodePng(nullptr, 100, &out));
  EXPECT_FALSE(DecodePng(bytes.data(), bytes.size(), nullptr));
  std::vector<uint8_t> huge = bytes;
  huge[16] = 0x00, huge[17] = 0x00, huge[18] = 0x3f, huge[19] = 0xff;  // width 16383
  huge[20] = 0x00, huge[21] = 0x00, huge[22] = 0x3f, huge[23] = 0xff;  // height 16383
  EXPECT_FALSE(DecodePng(huge.data(), huge.size(), &out));
  EXPECT_FALSE(LoadPngFile("/nonexistent/raster.png", &out));
  EXPECT_FALSE(LoadPngFile(nullptr, &out));
  Bitmap empty;
  EXPECT_FALSE(EncodePng(empty, &bytes));
  EXPECT_FALSE(SavePngFile(src, "/nonexistent/dir/x.png"));
}
