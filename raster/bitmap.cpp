#include "raster/raster.h"

#include <algorithm>
#include <cstring>

#include "raster/pixel_ops.h"

namespace raster {

using detail::Div255;

Rect Rect::Intersect(const Rect& o) const {
  if (Empty() || o.Empty()) return Rect();
  if (!(L < o.R && o.L < R && T < o.B && o.T < B)) return Rect();
  return Rect(std::max(L, o.L), std::max(T, o.T), std::min(R, o.R), std::min(B, o.B));
}

uint32_t Premultiply(uint32_t c) {
  const uint32_t a = c >> 24;
  if (a == 255) return c;
  return detail::Pack(a, Div255(((c >> 16) & 255) * a), Div255(((c >> 8) & 255) * a),
                      Div255((c & 255) * a));
}

uint32_t Unpremultiply(uint32_t p) {
  const uint32_t a = p >> 24;
  if (a == 255) return p;
  if (a == 0) return 0;
  auto un = [a](uint32_t v) { return std::min<uint32_t>(255, (v * 255 + a / 2) / a); };
  return detail::Pack(a, un((p >> 16) & 255), un((p >> 8) & 255), un(p & 255));
}

Bitmap::Bitmap(Bitmap&& o) noexcept {
  *this = std::move(o);
}

Bitmap& Bitmap::operator=(Bitmap&& o) noexcept {
  if (this != &o) {
    mOwned = std::move(o.mOwned);
    mPixels = o.mPixels;
    mW = o.mW;
    mH = o.mH;
    mStride = o.mStride;
    o.mOwned.clear();
    o.mPixels = nullptr;
    o.mW = o.mH = 0;
    o.mStride = 0;
  }
  return *this;
}

static bool ValidSize(int w, int h) {
  return w > 0 && h > 0 && w <= Bitmap::kMaxSide && h <= Bitmap::kMaxSide;
}

bool Bitmap::Create(int width, int height) {
  if (!ValidSize(width, height)) {
    Reset();
    return false;
  }
  std::vector<uint32_t> px(static_cast<size_t>(width) * static_cast<size_t>(height), 0u);
  mOwned.swap(px);
  mPixels = mOwned.data();
  mW = width;
  mH = height;
  mStride = width;
  return true;
}

bool Bitmap::Resize(int width, int height) {
  if (!ValidSize(width, height)) return false;
  if (width == mW && height == mH && OwnsPixels()) return true;
  std::vector<uint32_t> px(static_cast<size_t>(width) * static_cast<size_t>(height), 0u);
  const int cw = std::min(width, mW), ch = std::min(height, mH);
  for (int y = 0; y < ch; ++y)
    std::memcpy(&px[static_cast<size_t>(y) * width], Row(y), sizeof(uint32_t) * cw);
  mOwned.swap(px);
  mPixels = mOwned.data();
  mW = width;
  mH = height;
  mStride = width;
  return true;
}

bool Bitmap::Wrap(uint32_t* pixels, int width, int height, ptrdiff_t stridePixels) {
  if (!pixels || !ValidSize(width, height) ||
      (stridePixels >= 0 ? stridePixels : -stridePixels) < width) {
    return false;
  }
  mOwned.clear();
  mOwned.shrink_to_fit();
  mPixels = pixels;
  mW = width;
  mH = height;
  mStride = stridePixels;
  return true;
}

void Bitmap::Reset() {
  mOwned.clear();
  mOwned.shrink_to_fit();
  mPixels = nullptr;
  mW = mH = 0;
  mStride = 0;
}

void Bitmap::Clear(uint32_t value) {
  if (Empty()) return;
  for (int y = 0; y < mH; ++y) std::fill_n(Row(y), mW, value);
}

bool Bitmap::CopyFrom(const Bitmap& other) {
  if (&other == this) return !Empty();
  if (other.Empty()) {
    Reset();
    return false;
  }
  if (!Create(other.mW, other.mH)) return false;
  for (int y = 0; y < mH; ++y) std::memcpy(Row(y), other.Row(y), sizeof(uint32_t) * mW);
  return true;
}

uint32_t Bitmap::At(int x, int y) const {
  if (Empty() || x < 0 || y < 0 || x >= mW || y >= mH) return 0;
  return Row(y)[x];
}

void Bitmap::Set(int x, int y, uint32_t v) {
  if (Empty() || x < 0 || y < 0 || x >= mW || y >= mH) return;
  Row(y)[x] = v;
}

}  // namespace raster
