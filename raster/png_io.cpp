#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>

#include "raster/pixel_ops.h"
#include "raster/raster.h"

namespace raster {

namespace {

constexpr uint64_t kMaxDecodePixels = uint64_t(1) << 24;

struct MemReader {
  const uint8_t* data;
  size_t size;
  size_t pos;
};

void ReadMem(png_structp png, png_bytep out, png_size_t n) {
  auto* r = static_cast<MemReader*>(png_get_io_ptr(png));
  if (n > r->size - r->pos) png_error(png, "truncated");
  std::memcpy(out, r->data + r->pos, n);
  r->pos += n;
}

void OnError(png_structp png, png_const_charp) {
  png_longjmp(png, 1);
}
void OnWarning(png_structp, png_const_charp) {}

// libpng state whose destruction must survive a longjmp out of the decoder.
struct ReadState {
  png_structp png = nullptr;
  png_infop info = nullptr;
  ~ReadState() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

// Kept apart from the setjmp frame: no objects with destructors live in it.
bool DecodeInto(ReadState& st, MemReader* reader, std::vector<uint8_t>* rgba,
                std::vector<png_bytep>* rows, png_uint_32* outW, png_uint_32* outH) {
  if (setjmp(png_jmpbuf(st.png))) return false;
  png_set_read_fn(st.png, reader, ReadMem);
  png_set_user_limits(st.png, Bitmap::kMaxSide, Bitmap::kMaxSide);
  png_read_info(st.png, st.info);
  png_uint_32 w = 0, h = 0;
  int depth = 0, colour = 0, interlace = 0;
  png_get_IHDR(st.png, st.info, &w, &h, &depth, &colour, &interlace, nullptr, nullptr);
  if (w == 0 || h == 0 || w > png_uint_32(Bitmap::kMaxSide) || h > png_uint_32(Bitmap::kMaxSide))
    return false;
  // A few bytes of header must not make us allocate gigabytes.
  if (uint64_t(w) * h > kMaxDecodePixels) return false;
  // Everything becomes 8-bit RGBA; colours are taken as stored (no gamma correction).
  if (colour == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(st.png);
  if (colour == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(st.png);
  if (png_get_valid(st.png, st.info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(st.png);
  if (depth == 16) png_set_scale_16(st.png);
  if (colour == PNG_COLOR_TYPE_GRAY || colour == PNG_COLOR_TYPE_GRAY_ALPHA)
    png_set_gray_to_rgb(st.png);
  png_set_add_alpha(st.png, 0xff, PNG_FILLER_AFTER);
  png_set_interlace_handling(st.png);
  png_read_update_info(st.png, st.info);
  if (png_get_rowbytes(st.png, st.info) != size_t(w) * 4) return false;
  rgba->resize(size_t(w) * h * 4);
  rows->resize(h);
  for (png_uint_32 y = 0; y < h; ++y) (*rows)[y] = rgba->data() + size_t(y) * w * 4;
  png_read_image(st.png, rows->data());
  png_read_end(st.png, nullptr);
  *outW = w;
  *outH = h;
  return true;
}

struct MemWriter {
  std::vector<uint8_t>* out;
};

void WriteMem(png_structp png, png_bytep data, png_size_t n) {
  auto* w = static_cast<MemWriter*>(png_get_io_ptr(png));
  w->out->insert(w->out->end(), data, data + n);
}
void FlushMem(png_structp) {}

struct WriteState {
  png_structp png = nullptr;
  png_infop info = nullptr;
  ~WriteState() { png_destroy_write_struct(&png, info ? &info : nullptr); }
};

bool EncodeFrom(WriteState& st, MemWriter* writer, int w, int h, bool opaque,
                std::vector<png_bytep>* rows) {
  if (setjmp(png_jmpbuf(st.png))) return false;
  png_set_write_fn(st.png, writer, WriteMem, FlushMem);
  png_set_IHDR(st.png, st.info, png_uint_32(w), png_uint_32(h), 8,
               opaque ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(st.png, st.info);
  png_write_image(st.png, rows->data());
  png_write_end(st.png, nullptr);
  return true;
}

}  // namespace

bool DecodePng(const void* data, size_t size, Bitmap* out) {
  if (!out) return false;
  out->Reset();
  if (!data || size < 8 || png_sig_cmp(static_cast<png_const_bytep>(data), 0, 8) != 0) return false;
  ReadState st;
  st.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning);
  if (!st.png) return false;
  st.info = png_create_info_struct(st.png);
  if (!st.info) return false;
  MemReader reader{static_cast<const uint8_t*>(data), size, 0};
  std::vector<uint8_t> rgba;
  std::vector<png_bytep> rows;
  png_uint_32 w = 0, h = 0;
  if (!DecodeInto(st, &reader, &rgba, &rows, &w, &h)) return false;
  if (!out->Create(int(w), int(h))) return false;
  const uint8_t* s = rgba.data();
  for (int y = 0; y < int(h); ++y) {
    uint32_t* d = out->Row(y);
    for (int x = 0; x < int(w); ++x, s += 4) d[x] = Premultiply(Argb(s[3], s[0], s[1], s[2]));
  }
  return true;
}

bool LoadPngFile(const char* path, Bitmap* out) {
  if (!out) return false;
  out->Reset();
  if (!path) return false;
  std::unique_ptr<FILE, int (*)(FILE*)> f(std::fopen(path, "rb"), std::fclose);
  if (!f) return false;
  std::vector<uint8_t> bytes;
  uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f.get())) > 0) {
    bytes.insert(bytes.end(), buf, buf + n);
    if (bytes.size() > (size_t(1) << 30)) return false;
  }
  return DecodePng(bytes.data(), bytes.size(), out);
}

bool EncodePng(const Bitmap& bmp, std::vector<uint8_t>* out) {
  if (!out || bmp.Empty()) return false;
  out->clear();
  const int w = bmp.Width(), h = bmp.Height();
  bool opaque = true;
  for (int y = 0; y < h && opaque; ++y) {
    const uint32_t* s = bmp.Row(y);
    for (int x = 0; x < w; ++x)
      if ((s[x] >> 24) != 255) {
        opaque = false;
        break;
      }
  }
  const int ch = opaque ? 3 : 4;
  std::vector<uint8_t> pix(size_t(w) * h * ch);
  std::vector<png_bytep> rows(h);
  for (int y = 0; y < h; ++y) {
    uint8_t* d = pix.data() + size_t(y) * w * ch;
    rows[y] = d;
    const uint32_t* s = bmp.Row(y);
    for (int x = 0; x < w; ++x, d += ch) {
      const uint32_t c = Unpremultiply(s[x]);
      d[0] = uint8_t(c >> 16);
      d[1] = uint8_t(c >> 8);
      d[2] = uint8_t(c);
      if (ch == 4) d[3] = uint8_t(c >> 24);
    }
  }
  WriteState st;
  st.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning);
  if (!st.png) return false;
  st.info = png_create_info_struct(st.png);
  if (!st.info) return false;
  MemWriter writer{out};
  if (!EncodeFrom(st, &writer, w, h, opaque, &rows)) {
    out->clear();
    return false;
  }
  return true;
}

bool SavePngFile(const Bitmap& bmp, const char* path) {
  if (!path) return false;
  std::vector<uint8_t> bytes;
  if (!EncodePng(bmp, &bytes)) return false;
  FILE* f = std::fopen(path, "wb");
  if (!f) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace raster
