#include "raster/text.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "raster/pixel_ops.h"

namespace raster {

using namespace detail;

namespace {
// Longer strings are cut; nothing in an editor comes close.
constexpr int kMaxTextLen = 4096;

int TextLength(const char* text) {
  int n = 0;
  while (n < kMaxTextLen && text[n]) ++n;
  return n;
}
}  // namespace

void FontDesc::SetFace(const char* faceName) {
  std::memset(face, 0, sizeof face);
  if (faceName) std::strncpy(face, faceName, sizeof face - 1);
}

FontCache& FontCache::Instance() {
  static FontCache cache;
  return cache;
}

void FontCache::SetBackend(FontBackend* backend) {
  std::lock_guard<std::mutex> g(mLock);
  mBackend = backend;
}

size_t FontCache::Count() {
  std::lock_guard<std::mutex> g(mLock);
  return mEntries.size();
}

Font* FontCache::Get(const FontDesc& desc) {
  std::lock_guard<std::mutex> g(mLock);
  for (const Entry& e : mEntries) {
    if (e.desc.size == desc.size && e.desc.orientation == desc.orientation &&
        e.desc.style == desc.style && std::strncmp(e.desc.face, desc.face, sizeof desc.face) == 0)
      return e.font.get();
  }
  FontBackend& backend = mBackend ? *mBackend : PlatformFontBackend();
  std::unique_ptr<Font> font = backend.CreateFont(desc);
  if (!font) return nullptr;
  Font* f = font.get();
  mEntries.push_back(Entry{desc, std::move(font)});
  return f;
}

Font* FontCache::Get(const char* face, int size, int style, int orientation, int quality) {
  FontDesc d;
  d.SetFace(face);
  d.size = size;
  d.style = style;
  d.orientation = orientation;
  d.quality = quality;
  return Get(d);
}

bool MeasureText(Font* font, const char* text, TextExtent* out) {
  if (!font || !text || !out) return false;
  std::lock_guard<std::mutex> g(font->Lock());
  return font->Measure(text, TextLength(text), out);
}

bool DrawText(Bitmap& dst, Font* font, const char* text, const Rect& box, uint32_t colour,
              float opacity, TextAlign align, const Rect* clip) {
  if (!font) return false;
  if (!text || !*text) return true;
  if (dst.Empty()) return false;
  Rect area = dst.Bounds();
  if (clip) area = area.Intersect(*clip);
  if (area.Empty()) return true;
  const uint32_t a = Scale255(opacity);
  if (a == 0) return true;
  const int len = TextLength(text);

  // One mask per drawing thread, reused: no allocation once it has grown.
  thread_local CoverageMask mask;
  TextExtent ext;
  {
    std::lock_guard<std::mutex> g(font->Lock());
    if (!font->Measure(text, len, &ext)) return false;
    if (!font->Rasterize(text, len, &mask)) return false;
  }
  // Offset along the baseline from the box's left edge.
  int64_t off = 0;
  if (align == TextAlign::kCentre) {
    const int64_t spare = int64_t(box.R) - box.L - ext.width;
    off = spare >= 0 ? spare / 2 : -((-spare + 1) / 2);
  } else if (align == TextAlign::kRight) {
    off = int64_t(box.R) - box.L - ext.width;
  }
  int64_t ax = int64_t(box.L) + off, ay = box.T;
  const int orient = font->Desc().orientation;
  if (orient % 360 != 0 && off != 0) {
    const double th = orient * (kPi / 180.0);
    ax = int64_t(box.L) + std::llround(double(off) * std::cos(th));
    ay = int64_t(box.T) - std::llround(double(off) * std::sin(th));
  }
  const int64_t mx = ax + mask.left, my = ay + mask.top;
  const int64_t x0 = std::max<int64_t>(mx, area.L), x1 = std::min<int64_t>(mx + mask.width, area.R);
  const int64_t y0 = std::max<int64_t>(my, area.T),
                y1 = std::min<int64_t>(my + mask.height, area.B);
  const uint32_t r = (colour >> 16) & 255, g = (colour >> 8) & 255, b = colour & 255;
  for (int64_t y = y0; y < y1; ++y) {
    const uint8_t* m = mask.coverage.data() + (y - my) * mask.width;
    uint32_t* d = dst.Row(int(y));
    for (int64_t x = x0; x < x1; ++x) {
      const uint32_t c = m[x - mx];
      if (c) d[x] = OverColour(d[x], r, g, b, c == 255 ? a : Div255(a * c));
    }
  }
  return true;
}

}  // namespace raster
