#pragma once
// Raster graphics: 32-bit bitmaps, blits with blend modes, rotated blits, fills, lines,
// circles and PNG input/output. Text lives in raster/text.h.
//
// Pixel format. A pixel is a uint32_t 0xAARRGGBB in native byte order (bytes B, G, R, A in
// memory on little-endian machines, the layout of a 32-bit device-independent bitmap).
// Pixels in a Bitmap are PREMULTIPLIED: each colour channel is <= alpha. PNG decoding
// premultiplies, PNG encoding divides back out. Premultiplied storage makes bilinear
// filtering and source-over exact without dark fringes at transparent edges.
//
// Colours handed to the drawing primitives (FillRect, lines, circles, text) are STRAIGHT
// (not premultiplied) 0xAARRGGBB values; the primitives take their opacity from a separate
// float and ignore the colour's alpha byte unless stated otherwise.
//
// Opacity / weight floats are clamped to [0, 1]; NaN counts as 0. They are converted once to
// an integer scale of 0..255 (round to nearest), and all per-pixel arithmetic is integer,
// so results are bit-identical on every machine and compiler.
//
// Every operation clips to the destination (and, for blits, to the source). Invalid input
// (empty bitmaps, zero or negative sizes, NaN or huge coordinates) draws nothing; the
// operation then answers false. Nothing allocates except Bitmap::Create/Resize, PNG
// decoding/encoding and the first use of a font.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace raster {

// Rectangle in pixels, R and B exclusive. Same member names as the editor's IBox.
struct Rect {
  int L = 0, T = 0, R = 0, B = 0;
  Rect() = default;
  Rect(int l, int t, int r, int b) : L(l), T(t), R(r), B(b) {}
  int W() const { return R - L; }
  int H() const { return B - T; }
  bool Empty() const { return R <= L || B <= T; }
  // Empty result when the two do not overlap.
  Rect Intersect(const Rect& o) const;
};

inline constexpr uint32_t Argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
  return (a & 255u) << 24 | (r & 255u) << 16 | (g & 255u) << 8 | (b & 255u);
}
inline constexpr uint32_t AlphaOf(uint32_t p) {
  return p >> 24;
}
inline constexpr uint32_t RedOf(uint32_t p) {
  return (p >> 16) & 255u;
}
inline constexpr uint32_t GreenOf(uint32_t p) {
  return (p >> 8) & 255u;
}
inline constexpr uint32_t BlueOf(uint32_t p) {
  return p & 255u;
}

// Straight colour -> premultiplied pixel, and back (exact round to nearest).
uint32_t Premultiply(uint32_t straightArgb);
uint32_t Unpremultiply(uint32_t premultipliedArgb);

// A 32-bit bitmap. Owns its pixels (Create/Resize) or wraps memory that someone else owns
// (Wrap; e.g. a device-independent section). Row y starts at Pixels() + y * StridePixels();
// the stride may be negative for bottom-up memory. Not copyable; movable.
class Bitmap {
 public:
  Bitmap() = default;
  Bitmap(int width, int height) { Create(width, height); }
  ~Bitmap() = default;
  Bitmap(const Bitmap&) = delete;
  Bitmap& operator=(const Bitmap&) = delete;
  Bitmap(Bitmap&& o) noexcept;
  Bitmap& operator=(Bitmap&& o) noexcept;

  // Owned pixels, all transparent black (0). Width/height <= 0 or larger than kMaxSide
  // make the bitmap empty and answer false.
  bool Create(int width, int height);
  // New size; keeps the overlapping top-left pixels, clears the rest. Wrapped bitmaps
  // become owned. Invalid sizes leave the bitmap unchanged and answer false.
  bool Resize(int width, int height);
  // Wrap external memory (not freed here). stridePixels must satisfy |stride| >= width.
  bool Wrap(uint32_t* pixels, int width, int height, ptrdiff_t stridePixels);
  // Drops the pixels (frees them when owned).
  void Reset();
  // Every pixel set to the given premultiplied value.
  void Clear(uint32_t premultipliedArgb = 0);
  // Deep copy (always owned).
  bool CopyFrom(const Bitmap& other);

  int Width() const { return mW; }
  int Height() const { return mH; }
  ptrdiff_t StridePixels() const { return mStride; }
  ptrdiff_t StrideBytes() const { return mStride * 4; }
  bool Empty() const { return mPixels == nullptr || mW <= 0 || mH <= 0; }
  bool OwnsPixels() const { return !mOwned.empty(); }
  Rect Bounds() const { return Rect(0, 0, mW, mH); }

  uint32_t* Pixels() { return mPixels; }
  const uint32_t* Pixels() const { return mPixels; }
  uint32_t* Row(int y) { return mPixels + y * mStride; }
  const uint32_t* Row(int y) const { return mPixels + y * mStride; }
  // Bounds-checked access; 0 outside.
  uint32_t At(int x, int y) const;
  void Set(int x, int y, uint32_t premultipliedArgb);

  static constexpr int kMaxSide = 16384;

 private:
  std::vector<uint32_t> mOwned;
  uint32_t* mPixels = nullptr;
  int mW = 0, mH = 0;
  ptrdiff_t mStride = 0;
};

enum class BlendMode : int {
  kSourceOver = 0,  // copy honouring per-pixel alpha
  kCopy = 1,        // plain copy, alpha ignored: destination takes the source pixel
  kAdd = 2,         // additive (saturating), honouring alpha
  kDodge = 3,       // colour dodge, honouring alpha
};

// Blits the source rectangle (sx, sy, w, h) to (dx, dy) of the destination with the
// weight (opacity) and mode. Clipped to both bitmaps, shifting the source origin by what
// is clipped off the destination and vice versa. Exact per mode:
//   kSourceOver: d = s*w + d*(1 - a(s)*w)          (all four channels)
//   kCopy:       d = s*w + d*(1 - w)               (weight 1: d = s bit for bit)
//   kAdd:        rgb = min(255, d + s*w); a as kSourceOver
//   kDodge:      rgb = lerp(d, dodge(d, straight(s)), a(s)*w); a as kSourceOver
// An optional clip rectangle (destination coordinates) limits the drawing further.
bool Blit(Bitmap& dst, int dx, int dy, const Bitmap& src, int sx, int sy, int w, int h,
          float weight = 1.f, BlendMode mode = BlendMode::kSourceOver, const Rect* clip = nullptr);

// Rotated, bilinear-filtered blit of the whole source. (dstLeft, dstTop) is where the
// unrotated source's top-left would land; the image turns about its own centre
// (dstLeft + W/2.0, dstTop + H/2.0) by `angle` radians, positive clockwise on screen. The
// whole rotated image is drawn (its bounding box may exceed W x H); outside the source is
// transparent, so edges come out anti-aliased, and destination pixels beyond the source's
// reach are left alone in every mode. Angle 0 reproduces Blit exactly, and so do half turns
// and, for square images, quarter turns (pixels land on pixels).
bool BlitRotated(Bitmap& dst, const Bitmap& src, int dstLeft, int dstTop, double angle,
                 float weight = 1.f, BlendMode mode = BlendMode::kSourceOver,
                 const Rect* clip = nullptr);

// Resamples the source rectangle into the destination rectangle (plain copy of the result,
// no blending) with a separable Catmull-Rom filter, widened when shrinking so every source
// pixel counts. Same sizes copy exactly. Both rectangles must lie inside their bitmaps.
// Allocates scratch memory: meant for preparing images, not for drawing a frame.
bool Resample(Bitmap& dst, const Rect& dstRect, const Bitmap& src, const Rect& srcRect);

// Source-over fill of the rectangle with the straight colour's RGB at the opacity.
bool FillRect(Bitmap& dst, const Rect& r, uint32_t colour, float opacity);

// Geometry of lines and circles: integer coordinates are pixel centres, i.e. pixel (x, y)
// covers [x - 0.5, x + 0.5) x [y - 0.5, y + 0.5). Float coordinates are rounded to the
// nearest pixel (floor(v + 0.5)) by the forms that are not anti-aliased.
//
// Lines, end points inclusive, source-over with the opacity. Without anti-aliasing one pixel
// per step of the major axis, the minor coordinate being the exact line rounded half up; a
// segment and its reverse cover the same pixels. Anti-aliased lines are Wu lines (ends at
// whole coordinates get half ink); a zero-length one is one pixel for integer end points and
// nothing for float end points. False for an empty bitmap or non-finite coordinates.
bool DrawLine(Bitmap& dst, int x1, int y1, int x2, int y2, uint32_t colour, float opacity,
              bool antialias);
bool DrawLineF(Bitmap& dst, float x1, float y1, float x2, float y2, uint32_t colour, float opacity,
               bool antialias);

// Circles. Anti-aliased: a disc covers each pixel by clamp(r + 0.5 - d, 0, 1) and an outline
// by clamp(1 - |d - r|, 0, 1), d being the distance of the pixel centre. Not anti-aliased:
// the centre and radius are rounded; outlines come from the midpoint algorithm (each pixel
// painted once), discs take the pixels whose centres lie within r + 0.5. Radius <= 0 draws
// nothing.
bool DrawCircle(Bitmap& dst, float cx, float cy, float radius, uint32_t colour, float opacity,
                bool antialias);
bool FillDisc(Bitmap& dst, float cx, float cy, float radius, uint32_t colour, float opacity,
              bool antialias);
// Arc / filled sector between two angles in radians, measured from straight up and
// increasing clockwise; drawn from a1 to a2 (clockwise). |a2 - a1| >= 2*pi is a full circle.
bool DrawArc(Bitmap& dst, float cx, float cy, float radius, float a1, float a2, uint32_t colour,
             float opacity, bool antialias);
bool FillSector(Bitmap& dst, float cx, float cy, float radius, float a1, float a2, uint32_t colour,
                float opacity, bool antialias);

// PNG. Any PNG (palette, grey, 16-bit, with or without alpha or tRNS) becomes 8-bit
// premultiplied ARGB; images without alpha come out opaque. Truncated or corrupt data
// answer false and leave `out` empty.
bool DecodePng(const void* data, size_t size, Bitmap* out);
bool LoadPngFile(const char* path, Bitmap* out);
// 8-bit RGBA PNG (straight alpha), or RGB when every pixel is opaque.
bool EncodePng(const Bitmap& bmp, std::vector<uint8_t>* out);
bool SavePngFile(const Bitmap& bmp, const char* path);

}  // namespace raster
