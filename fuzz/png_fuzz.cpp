// PNG decoding. Chunk checksums are recomputed before decoding so that mutations reach the
// chunk contents instead of dying at the CRC check; a decoded image is premultiplied.
#include <zlib.h>

#include <cstring>
#include <vector>

#include "fuzz_input.h"
#include "raster/raster.h"

namespace {

uint32_t BigEndian(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

void FixChunkCrcs(std::vector<uint8_t>& png) {
  size_t pos = 8;
  while (pos + 12 <= png.size()) {
    const uint32_t length = BigEndian(&png[pos]);
    if (length > png.size() - pos - 12) break;
    const uint8_t* typeAndData = &png[pos + 4];
    const uint32_t crc = static_cast<uint32_t>(crc32(0, typeAndData, length + 4));
    uint8_t* out = &png[pos + 8 + length];
    out[0] = static_cast<uint8_t>(crc >> 24);
    out[1] = static_cast<uint8_t>(crc >> 16);
    out[2] = static_cast<uint8_t>(crc >> 8);
    out[3] = static_cast<uint8_t>(crc);
    pos += 12 + length;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> png(data, data + size);
  FixChunkCrcs(png);
  raster::Bitmap bmp;
  const bool ok = raster::DecodePng(png.data(), png.size(), &bmp);
  if (!ok) {
    if (!bmp.Empty()) __builtin_trap();
    return 0;
  }
  if (bmp.Empty() || bmp.Width() > raster::Bitmap::kMaxSide ||
      bmp.Height() > raster::Bitmap::kMaxSide)
    __builtin_trap();
  for (int y = 0; y < bmp.Height(); ++y) {
    const uint32_t* row = bmp.Row(y);
    for (int x = 0; x < bmp.Width(); ++x) {
      const uint32_t a = raster::AlphaOf(row[x]);
      if (raster::RedOf(row[x]) > a || raster::GreenOf(row[x]) > a || raster::BlueOf(row[x]) > a)
        __builtin_trap();
    }
  }
  return 0;
}
