#include <png.h>

#include <climits>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "resources/embedded.h"

namespace {

struct ImageSpec {
  int id;
  const char* file;
  int width, height, frames;
  bool alpha;
};

// What the editor layout relies on: ids, sizes, vertical frame strips and alpha.
const ImageSpec kImages[] = {
    {100, "img/bg.png", 600, 475, 1, false},       {101, "img/but_play.png", 32, 41, 1, true},
    {102, "img/gph_show.png", 57, 32, 2, true},    {103, "img/knob.png", 184, 92, 1, true},
    {104, "img/knob2.png", 128, 64, 1, true},      {105, "img/knob3.png", 96, 48, 1, true},
    {106, "img/preset.png", 27, 27, 1, true},      {107, "img/slider.png", 16, 16, 1, true},
    {108, "img/slider_vert.png", 16, 16, 1, true}, {109, "img/waves.png", 54, 245, 7, true},
    {110, "img/but_ig.png", 35, 36, 1, true},
};

std::vector<unsigned char> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

uint32_t BigEndian32(const unsigned char* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

// Straight (non-premultiplied) RGBA, as libpng delivers it.
struct Rgba {
  int w = 0, h = 0;
  std::vector<uint8_t> px;
  uint8_t Alpha(int x, int y) const { return px[(size_t(y) * w + x) * 4 + 3]; }
};

bool Decode(const unsigned char* data, size_t size, Rgba* out) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, data, size)) return false;
  image.format = PNG_FORMAT_RGBA;
  out->w = int(image.width);
  out->h = int(image.height);
  out->px.assign(PNG_IMAGE_SIZE(image), 0);
  if (!png_image_finish_read(&image, nullptr, out->px.data(), 0, nullptr)) {
    png_image_free(&image);
    return false;
  }
  return true;
}

Rgba DecodeResource(int id) {
  const unsigned char* data = nullptr;
  size_t size = 0;
  Rgba img;
  EXPECT_TRUE(CaldrithFindResource(id, &data, &size)) << id;
  if (data) {
    EXPECT_TRUE(Decode(data, size, &img)) << id;
  }
  return img;
}

// Each image at 1x, and drawn at 2x (id + 1000) and 3x (id + 2000) for scaled screens: a set
// missing or of the wrong size would leave the editor enlarged and blurred there.
TEST(EmbeddedImages, HeadersMatchTheLayout) {
  static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  for (const int k : {1, 2, 3}) {
    for (const ImageSpec& image : kImages) {
      SCOPED_TRACE(image.file);
      SCOPED_TRACE(k);
      const unsigned char* data = nullptr;
      size_t size = 0;
      ASSERT_TRUE(CaldrithFindResource(image.id + (k - 1) * 1000, &data, &size));
      // The Windows loader refuses resources of 7 bytes or less; a real PNG is far larger.
      ASSERT_GT(size, 33u);
      EXPECT_EQ(0, std::memcmp(data, kSignature, 8));
      EXPECT_EQ(0, std::memcmp(data + 12, "IHDR", 4));
      EXPECT_EQ(uint32_t(k * image.width), BigEndian32(data + 16));
      EXPECT_EQ(uint32_t(k * image.height), BigEndian32(data + 20));
      EXPECT_EQ(8, data[24]) << "bit depth";
      EXPECT_EQ(image.alpha ? 6 : 2, data[25]) << "colour type";
      EXPECT_EQ(0, image.height % image.frames);
    }
    for (int cursor : {98, 99}) {
      const unsigned char* data = nullptr;
      size_t size = 0;
      EXPECT_TRUE(CaldrithFindCursor(cursor + (k - 1) * 1000, &data, &size)) << cursor << " " << k;
    }
  }
}

TEST(EmbeddedImages, AreTheCommittedFilesByteForByte) {
  // A stale generated table would ship old artwork without any other symptom.
  for (const ImageSpec& image : kImages) {
    SCOPED_TRACE(image.file);
    std::vector<unsigned char> file =
        ReadFile(std::string(CALDRITH_RESOURCE_DIR) + "/" + image.file);
    const unsigned char* data = nullptr;
    size_t size = 0;
    ASSERT_TRUE(CaldrithFindResource(image.id, &data, &size));
    ASSERT_EQ(file.size(), size);
    EXPECT_TRUE(std::equal(file.begin(), file.end(), data));
  }
}

TEST(EmbeddedImages, PixelsSuitTheirUse) {
  // The background is blitted with clobbering: every pixel must be opaque.
  Rgba bg = DecodeResource(100);
  ASSERT_EQ(600 * 475 * 4u, bg.px.size());
  for (int y = 0; y < bg.h; ++y)
    for (int x = 0; x < bg.w; ++x) ASSERT_EQ(255, bg.Alpha(x, y)) << x << "," << y;

  // Text drawn at run time (version, status line, band label) needs a quiet ground: each
  // row of those rectangles is one colour, so no caption or line of the artwork reaches in.
  struct Area {
    int l, t, r, b;
  };
  for (Area a : {Area{50, 12, 95, 30}, Area{200, 58, 400, 76}, Area{204, 172, 268, 190}}) {
    for (int y = a.t; y < a.b; ++y) {
      const uint8_t* first = &bg.px[(size_t(y) * bg.w + a.l) * 4];
      for (int x = a.l; x < a.r; ++x) {
        const uint8_t* p = &bg.px[(size_t(y) * bg.w + x) * 4];
        for (int c = 0; c < 3; ++c)
          ASSERT_LE(std::abs(int(p[c]) - int(first[c])), 2) << "(" << x << "," << y << ")";
      }
    }
  }

  // Both knob halves turn about (or sit on) the half's centre: the corners must be empty
  // or they would sweep outside the knob, and the fixed half must cover its centre.
  for (int id : {103, 104, 105}) {
    SCOPED_TRACE(id);
    Rgba k = DecodeResource(id);
    ASSERT_GT(k.w, 0);
    const int half = k.w / 2;
    for (int ox : {0, half}) {
      EXPECT_EQ(0, k.Alpha(ox, 0));
      EXPECT_EQ(0, k.Alpha(ox + half - 1, 0));
      EXPECT_EQ(0, k.Alpha(ox, k.h - 1));
      EXPECT_EQ(0, k.Alpha(ox + half - 1, k.h - 1));
    }
    EXPECT_EQ(255, k.Alpha(half + half / 2, k.h / 2));
    // The turning half carries the pointer straight up from the centre at value 0.5.
    int pointer = 0;
    for (int y = 0; y < k.h / 2; ++y) pointer += k.Alpha(half / 2, y) > 128;
    EXPECT_GT(pointer, k.h / 10);
  }

  // Frame strips: every frame drawn, and no two frames alike (the state must show).
  for (int id : {102, 109}) {
    SCOPED_TRACE(id);
    Rgba s = DecodeResource(id);
    ASSERT_GT(s.w, 0);
    const int frames = id == 102 ? 2 : 7;
    const size_t frameBytes = size_t(s.w) * (s.h / frames) * 4;
    for (int f = 0; f < frames; ++f) {
      const uint8_t* a = s.px.data() + f * frameBytes;
      int visible = 0;
      for (size_t i = 3; i < frameBytes; i += 4) visible += a[i] > 0;
      EXPECT_GT(visible, 50) << "frame " << f;
      for (int g = 0; g < f; ++g)
        EXPECT_NE(0, std::memcmp(a, s.px.data() + g * frameBytes, frameBytes)) << f << " " << g;
    }
  }
}

TEST(Lookup, RefusesUnknownIdsAndMissingOutputs) {
  const unsigned char* data = reinterpret_cast<const unsigned char*>("x");
  size_t size = 12345;
  for (int id : {0, 1, 98, 99, 111, -1, -2, INT_MIN, INT_MAX}) {
    EXPECT_FALSE(CaldrithFindResource(id, &data, &size)) << id;
  }
  for (int id : {0, 100, 110, -1, INT_MAX})
    EXPECT_FALSE(CaldrithFindCursor(id, &data, &size)) << id;
  EXPECT_FALSE(CaldrithFindResource(100, nullptr, &size));
  EXPECT_FALSE(CaldrithFindResource(100, &data, nullptr));
  EXPECT_FALSE(CaldrithFindCursor(98, nullptr, nullptr));
  // Refusals leave the caller's outputs alone.
  EXPECT_EQ(std::string("x"), std::string(reinterpret_cast<const char*>(data)));
  EXPECT_EQ(12345u, size);
}

// A 32-bit single-image .cur: directory, BITMAPINFOHEADER (double height), bottom-up BGRA,
// then the 1-bit AND mask.
struct Cursor {
  int w = 0, h = 0, hotX = -1, hotY = -1;
  const unsigned char* bgra = nullptr;
  uint8_t Alpha(int x, int y) const { return bgra[(size_t(h - 1 - y) * w + x) * 4 + 3]; }
};

uint16_t Le16(const unsigned char* p) {
  return uint16_t(p[0] | (p[1] << 8));
}
uint32_t Le32(const unsigned char* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24);
}

bool ParseCursor(const unsigned char* d, size_t size, Cursor* c) {
  if (size < 22 + 40 || Le16(d) != 0 || Le16(d + 2) != 2 || Le16(d + 4) != 1) return false;
  c->w = d[6] ? d[6] : 256;
  c->h = d[7] ? d[7] : 256;
  c->hotX = Le16(d + 10);
  c->hotY = Le16(d + 12);
  const uint32_t bytes = Le32(d + 14), offset = Le32(d + 18);
  if (size_t(offset) + bytes != size) return false;
  const unsigned char* bih = d + offset;
  if (Le32(bih) != 40 || int(Le32(bih + 4)) != c->w || int(Le32(bih + 8)) != 2 * c->h ||
      Le16(bih + 14) != 32)
    return false;
  const size_t mask = size_t((c->w + 31) / 32) * 4 * c->h;
  if (40 + size_t(c->w) * c->h * 4 + mask != bytes) return false;
  c->bgra = bih + 40;
  return true;
}

TEST(Cursors, PointWhereTheirHotSpotIs) {
  for (int id : {98, 99}) {
    SCOPED_TRACE(id);
    const unsigned char* data = nullptr;
    size_t size = 0;
    ASSERT_TRUE(CaldrithFindCursor(id, &data, &size));
    Cursor c;
    ASSERT_TRUE(ParseCursor(data, size, &c));
    EXPECT_EQ(32, c.w);
    EXPECT_EQ(32, c.h);
    ASSERT_GE(c.hotX, 0);
    ASSERT_LT(c.hotX, c.w);
    ASSERT_LT(c.hotY, c.h);
    // 98 offers the upward sweep, 99 the downward one: the tip is at the top or bottom.
    if (id == 98) {
      EXPECT_LT(c.hotY, 4);
    } else {
      EXPECT_GT(c.hotY, 27);
    }
    // The hot spot must lie on the drawn arrow, not on empty pixels next to it.
    int nearby = 0;
    for (int dy = -1; dy <= 1; ++dy)
      for (int dx = -1; dx <= 1; ++dx) {
        int x = c.hotX + dx, y = c.hotY + dy;
        if (x >= 0 && y >= 0 && x < c.w && y < c.h) nearby = std::max<int>(nearby, c.Alpha(x, y));
      }
    EXPECT_GT(nearby, 128);
  }
}

TEST(ResourceScript, AgreesWithTheEmbeddedTables) {
  // The Windows module gets its resources from caldrith.rc, the Linux one from the
  // embedded tables: both must carry the same files under the same ids.
  std::ifstream rc(std::string(CALDRITH_RESOURCE_DIR) + "/caldrith.rc");
  ASSERT_TRUE(rc.good());
  std::map<int, std::string> pngs, cursors;
  std::string text;
  while (std::getline(rc, text)) {
    // Resource lines read: <id> PNG|CURSOR "<path>"
    std::istringstream in(text);
    int id = 0;
    std::string type, quoted;
    if (!(in >> id >> type >> quoted) || (type != "PNG" && type != "CURSOR")) continue;
    if (quoted.size() < 2 || quoted.front() != '"' || quoted.back() != '"') continue;
    (type == "PNG" ? pngs : cursors)[id] = quoted.substr(1, quoted.size() - 2);
  }
  // Every image and cursor at 1x, 2x and 3x.
  ASSERT_EQ(33u, pngs.size());
  ASSERT_EQ(6u, cursors.size());
  for (const ImageSpec& image : kImages) {
    EXPECT_EQ(image.file, pngs[image.id]) << image.id;
    for (int k : {2, 3}) {
      const std::string file = image.file;
      EXPECT_EQ("img/" + std::to_string(k) + "x/" + file.substr(4), pngs[image.id + (k - 1) * 1000])
          << image.id;
    }
  }
  for (auto& [id, path] : pngs) {
    SCOPED_TRACE(path);
    std::vector<unsigned char> file = ReadFile(std::string(CALDRITH_RESOURCE_DIR) + "/" + path);
    const unsigned char* data = nullptr;
    size_t size = 0;
    ASSERT_TRUE(CaldrithFindResource(id, &data, &size));
    ASSERT_EQ(file.size(), size);
    EXPECT_TRUE(std::equal(file.begin(), file.end(), data));
  }
  for (auto& [id, path] : cursors) {
    SCOPED_TRACE(path);
    ASSERT_TRUE(id % 1000 == 98 || id % 1000 == 99);
    std::vector<unsigned char> file = ReadFile(std::string(CALDRITH_RESOURCE_DIR) + "/" + path);
    const unsigned char* data = nullptr;
    size_t size = 0;
    ASSERT_TRUE(CaldrithFindCursor(id, &data, &size));
    ASSERT_EQ(file.size(), size);
    EXPECT_TRUE(std::equal(file.begin(), file.end(), data));
  }
}

}  // namespace
