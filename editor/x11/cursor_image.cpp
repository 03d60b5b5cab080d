#include "editor/x11/cursor_image.h"

#include <cstring>

#include "raster/raster.h"

namespace {

uint32_t Le16(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8;
}
uint32_t Le32(const unsigned char* p) {
  return Le16(p) | Le16(p + 2) << 16;
}

bool FromPng(const unsigned char* data, size_t size, int hotX, int hotY, CursorImage* out) {
  raster::Bitmap bmp;
  if (!raster::DecodePng(data, size, &bmp) || bmp.Empty()) return false;
  if (bmp.Width() > 256 || bmp.Height() > 256) return false;
  CursorImage img;
  img.width = bmp.Width();
  img.height = bmp.Height();
  img.hotX = hotX < img.width ? hotX : img.width - 1;
  img.hotY = hotY < img.height ? hotY : img.height - 1;
  img.argb.resize(static_cast<size_t>(img.width) * img.height);
  for (int y = 0; y < img.height; ++y)
    std::memcpy(&img.argb[static_cast<size_t>(y) * img.width], bmp.Row(y),
                static_cast<size_t>(img.width) * 4);
  *out = std::move(img);
  return true;
}

}  // namespace

bool DecodeCursorFile(const unsigned char* data, size_t size, CursorImage* out) {
  if (!data || !out || size < 6 + 16) return false;
  if (Le16(data) != 0 || Le16(data + 2) != 2 || Le16(data + 4) < 1) return false;
  const unsigned char* entry = data + 6;
  const int hotX = static_cast<int>(Le16(entry + 4)), hotY = static_cast<int>(Le16(entry + 6));
  const uint32_t bytes = Le32(entry + 8), offset = Le32(entry + 12);
  if (offset > size || bytes > size - offset || bytes < 40) return false;
  const unsigned char* img = data + offset;

  static const unsigned char kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (std::memcmp(img, kPngSignature, 8) == 0) return FromPng(img, bytes, hotX, hotY, out);

  const uint32_t header = Le32(img);
  if (header < 40 || header > bytes) return false;
  const int32_t w = static_cast<int32_t>(Le32(img + 4));
  const int32_t h2 = static_cast<int32_t>(Le32(img + 8));  // colour rows plus mask rows
  const uint32_t planes = Le16(img + 12), bpp = Le16(img + 14), compression = Le32(img + 16);
  if (w <= 0 || w > 256 || h2 <= 0 || h2 > 512 || (h2 & 1) || planes != 1 || compression != 0)
    return false;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32) return false;
  const int h = h2 / 2;
  uint32_t paletteSize = 0;
  if (bpp <= 8) {
    const uint32_t used = Le32(img + 32);
    paletteSize = used ? used : (1u << bpp);
    if (paletteSize > (1u << bpp)) return false;
  }
  const size_t colourStride = ((static_cast<size_t>(w) * bpp + 31) / 32) * 4;
  const size_t maskStride = ((static_cast<size_t>(w) + 31) / 32) * 4;
  const size_t need =
      header + static_cast<size_t>(paletteSize) * 4 + colourStride * h + maskStride * h;
  // 32-bit images may leave the mask out: their alpha says everything.
  const size_t needWithoutMask = need - maskStride * h;
  if (bytes < (bpp == 32 ? needWithoutMask : need)) return false;
  const bool haveMask = bytes >= need;
  const unsigned char* palette = img + header;
  const unsigned char* colour = palette + static_cast<size_t>(paletteSize) * 4;
  const unsigned char* mask = colour + colourStride * h;

  CursorImage result;
  result.width = w;
  result.height = h;
  result.hotX = hotX < w ? hotX : w - 1;
  result.hotY = hotY < h ? hotY : h - 1;
  result.argb.resize(static_cast<size_t>(w) * h);
  bool anyAlpha = false;
  if (bpp == 32) {
    for (size_t i = 0; i < colourStride * h; i += 4) anyAlpha |= colour[i + 3] != 0;
  }
  for (int y = 0; y < h; ++y) {
    // Rows are stored bottom-up.
    const unsigned char* row = colour + colourStride * (h - 1 - y);
    const unsigned char* mrow = mask + maskStride * (h - 1 - y);
    for (int x = 0; x < w; ++x) {
      uint32_t b = 0, g = 0, r = 0, a = 255;
      if (bpp == 32 || bpp == 24) {
        const unsigned char* p = row + static_cast<size_t>(x) * (bpp / 8);
        b = p[0];
        g = p[1];
        r = p[2];
        if (bpp == 32 && anyAlpha) a = p[3];
      } else {
        const int perByte = 8 / static_cast<int>(bpp);
        const unsigned byte = row[x / perByte];
        const int shift = (perByte - 1 - x % perByte) * static_cast<int>(bpp);
        const uint32_t index = (byte >> shift) & ((1u << bpp) - 1);
        if (index >= paletteSize) return false;
        b = palette[index * 4];
        g = palette[index * 4 + 1];
        r = palette[index * 4 + 2];
      }
      // Without an alpha channel the AND mask's set bits are the transparent pixels.
      if (!anyAlpha && haveMask && ((mrow[x / 8] >> (7 - x % 8)) & 1)) a = 0;
      result.argb[static_cast<size_t>(y) * w + x] = raster::Premultiply(raster::Argb(a, r, g, b));
    }
  }
  *out = std::move(result);
  return true;
}
