#include <gtest/gtest.h>
#include <png.h>

#include <csetjmp>

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

namespace {

// Writes a PNG of any colour type with libpng itself, rows given as raw bytes.
std::vector<uint8_t> WriteRaw(int w, int h, int depth, int colourType,
                              const std::vector<std::vector<uint8_t>>& rows,
                              const std::vector<png_color>& palette = {},
                              const std::vector<png_byte>& trns = {}) {
  std::vector<uint8_t> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return {};
  }
  png_set_write_fn(
      png, &out,
      [](png_structp p, png_bytep d, png_size_t n) {
        auto* v = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(p));
        v->insert(v->end(), d, d + n);
      },
      nullptr);
  png_set_IHDR(png, info, w, h, depth, colourType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (!palette.empty()) png_set_PLTE(png, info, palette.data(), int(palette.size()));
  if (!trns.empty()) png_set_tRNS(png, info, trns.data(), int(trns.size()), nullptr);
  png_write_info(png, info);
  for (const auto& r : rows) png_write_row(png, r.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

}  // namespace

TEST(PngTest, EveryColourTypeBecomesPremultipliedArgb) {
  Bitmap out;
  // 16-bit grey: scaled to 8 bits (v * 255 / 65535 rounded, not the high byte), opaque.
  // 0x01ff / 257 = 1.99 -> 2, 0x00ff -> 0.99 -> 1, 0xff00 -> 254.0 -> 254.
  auto grey16 = WriteRaw(5, 1, 16, PNG_COLOR_TYPE_GRAY,
                         {{0x80, 0x00, 0xff, 0xff, 0x01, 0xff, 0x00, 0xff, 0xff, 0x00}});
  ASSERT_TRUE(DecodePng(grey16.data(), grey16.size(), &out));
  EXPECT_EQ(out.At(0, 0), Argb(255, 128, 128, 128));
  EXPECT_EQ(out.At(1, 0), Argb(255, 255, 255, 255));
  EXPECT_EQ(out.At(2, 0), Argb(255, 2, 2, 2));
  EXPECT_EQ(out.At(3, 0), Argb(255, 1, 1, 1));
  EXPECT_EQ(out.At(4, 0), Argb(255, 254, 254, 254));

  // 1-bit grey.
  auto grey1 = WriteRaw(3, 1, 1, PNG_COLOR_TYPE_GRAY, {{0xa0}});
  ASSERT_TRUE(DecodePng(grey1.data(), grey1.size(), &out));
  EXPECT_EQ(out.At(0, 0), Argb(255, 255, 255, 255));
  EXPECT_EQ(out.At(1, 0), Argb(255, 0, 0, 0));
  EXPECT_EQ(out.At(2, 0), Argb(255, 255, 255, 255));

  // Palette with a transparency chunk: entry 1 is half transparent red.
  auto pal =
      WriteRaw(2, 1, 8, PNG_COLOR_TYPE_PALETTE, {{0, 1}}, {{0, 0, 255}, {255, 0, 0}}, {255, 128});
  ASSERT_TRUE(DecodePng(pal.data(), pal.size(), &out));
  EXPECT_EQ(out.At(0, 0), Argb(255, 0, 0, 255));
  EXPECT_EQ(out.At(1, 0), Premultiply(Argb(128, 255, 0, 0)));

  // Grey with alpha, 8-bit.
  auto ga = WriteRaw(1, 1, 8, PNG_COLOR_TYPE_GRAY_ALPHA, {{200, 64}});
  ASSERT_TRUE(DecodePng(ga.data(), ga.size(), &out));
  EXPECT_EQ(out.At(0, 0), Premultiply(Argb(64, 200, 200, 200)));

  // 16-bit RGBA; alpha 0xff00 scales to 254, so the colour is premultiplied by 254.
  auto rgba16 = WriteRaw(
      2, 1, 16, PNG_COLOR_TYPE_RGBA,
      {{0xff, 0xff, 0, 0, 0x80, 0x80, 0xff, 0xff, 0xff, 0xff, 0x01, 0xff, 0xff, 0x00, 0xff, 0x00}});
  ASSERT_TRUE(DecodePng(rgba16.data(), rgba16.size(), &out));
  EXPECT_EQ(out.At(0, 0), Argb(255, 255, 0, 128));
  // straight (255, 2, 254) at alpha 254: 254, round(2 * 254 / 255) = 2, round(254 * 254 / 255) =
  // 253
  EXPECT_EQ(out.At(1, 0), Argb(254, 254, 2, 253));
}

TEST(PngTest, OneTranslucentPixelKeepsTheAlphaChannel) {
  // Alpha 254 is not opaque: the file must keep an alpha channel and the pixel its value.
  for (uint32_t alpha : {254u, 1u, 0u}) {
    Bitmap src(3, 2);
    src.Clear(Argb(255, 10, 20, 30));
    src.Set(2, 1, Premultiply(Argb(alpha, 200, 100, 50)));
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(EncodePng(src, &bytes));
    ASSERT_GT(bytes.size(), 26u);
    EXPECT_EQ(bytes[25], 6) << alpha;  // colour type RGBA
    Bitmap back;
    ASSERT_TRUE(DecodePng(bytes.data(), bytes.size(), &back));
    ExpectSame(src, back);
  }
}
