#pragma once
// Plain value types shared by the graphics host and every control.
#include <cstdint>

struct IBox {
  int32_t L = 0, T = 0, R = 0, B = 0;

  IBox() = default;
  IBox(int l, int t, int r, int b) : L(l), T(t), R(r), B(b) {}

  bool Empty() const { return L == 0 && T == 0 && R == 0 && B == 0; }
  int W() const { return R - L; }
  int H() const { return B - T; }
  bool operator==(const IBox& o) const { return L == o.L && T == o.T && R == o.R && B == o.B; }
  bool operator!=(const IBox& o) const { return !(*this == o); }

  bool Overlaps(const IBox& o) const {
    if (Empty() || o.Empty()) return false;
    return L < o.R && o.L < R && T < o.B && o.T < B;
  }
  IBox Intersect(const IBox& o) const {
    if (!Overlaps(o)) return IBox();
    return IBox(L > o.L ? L : o.L, T > o.T ? T : o.T, R < o.R ? R : o.R, B < o.B ? B : o.B);
  }
  IBox Union(const IBox& o) const {
    if (Empty()) return o;
    if (o.Empty()) return *this;
    return IBox(L < o.L ? L : o.L, T < o.T ? T : o.T, R > o.R ? R : o.R, B > o.B ? B : o.B);
  }
};

// A size in device pixels (the editor's design size times its scale).
struct IPixelSize {
  int32_t W = 0, H = 0;
  bool operator==(const IPixelSize& o) const { return W == o.W && H == o.H; }
  bool operator!=(const IPixelSize& o) const { return !(*this == o); }
};

struct IRgba {
  int32_t A = 255, R = 0, G = 0, B = 0;

  IRgba() = default;
  IRgba(int a, int r, int g, int b) : A(a), R(r), G(g), B(b) {}

  uint32_t Packed() const {
    return (static_cast<uint32_t>(A & 255) << 24) | (static_cast<uint32_t>(R & 255) << 16) |
           (static_cast<uint32_t>(G & 255) << 8) | static_cast<uint32_t>(B & 255);
  }
  float Alpha() const { return static_cast<float>(A) * 0.003921569f; }
};

enum ITextAlign : int32_t { kAlignNear = 0, kAlignCenter = 1, kAlignFar = 2 };

namespace raster {
class Bitmap;
class Font;
}  // namespace raster

struct ITextStyle {
  char face[32] = "Arial";
  int32_t size = 14;
  IRgba color;
  int32_t style = 0;  // bit 0 bold, bit 1 italic
  int32_t align = kAlignNear;
  int32_t orientation = 0;  // degrees
  int32_t quality = 0;
  raster::Font* font = nullptr;  // cache entry, filled on first use

  ITextStyle() = default;
  ITextStyle(const char* faceName, int textSize, const IRgba& c, int textStyle = 0,
             int alignment = kAlignNear, int orient = 0, int textQuality = 0);
};

struct IImage {
  raster::Bitmap* bitmap = nullptr;
  int32_t W = 0, H = 0, N = 1;
  int32_t linkedId = 0;

  bool Valid() const { return bitmap != nullptr && W > 0 && H > 0; }
};

enum IBlendMethod : int32_t {
  kBlendNone = 0,
  kBlendClobber = 1,
  kBlendAdd = 2,
  kBlendColorDodge = 3
};

struct IBlendSpec {
  int32_t method = kBlendNone;
  float weight = 1.0f;

  IBlendSpec() = default;
  IBlendSpec(int m, float w) : method(m), weight(w) {}
};

struct IInputMods {
  bool L = false, R = false, S = false, C = false, A = false;

  IInputMods() = default;
  IInputMods(bool l, bool r, bool s = false, bool c = false, bool a = false)
      : L(l), R(r), S(s), C(c), A(a) {}
};

// Key codes handed to controls.
enum IKeyCode : int32_t {
  kKeySpace = 0,
  kKeyUp = 1,
  kKeyDown = 2,
  kKeyLeft = 3,
  kKeyRight = 4,
  kKeyDigit0 = 6,
  kKeyLetterA = 16,
};
