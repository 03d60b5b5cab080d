#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "raster/raster.h"

namespace raster {

namespace {

// Catmull-Rom cubic: sharp enough to keep the artwork's hairlines, little ringing next to
// its hard edges (a windowed sinc rings visibly around the panel outlines).
double Cubic(double x) {
  x = std::fabs(x);
  if (x < 1.0) return 1.5 * x * x * x - 2.5 * x * x + 1.0;
  if (x < 2.0) return -0.5 * x * x * x + 2.5 * x * x - 4.0 * x + 2.0;
  return 0.0;
}

struct Tap {
  int first = 0;
  std::vector<float> weights;
};

// Weights of every destination sample along one axis. When shrinking, the kernel widens by
// the ratio so each destination pixel averages all the source pixels it covers.
std::vector<Tap> Taps(int srcLen, int dstLen) {
  std::vector<Tap> taps(static_cast<size_t>(dstLen));
  const double ratio = static_cast<double>(srcLen) / dstLen;
  const double widen = std::max(1.0, ratio);
  const double support = 2.0 * widen;
  for (int i = 0; i < dstLen; ++i) {
    const double centre = (i + 0.5) * ratio - 0.5;
    const int lo = std::max(0, static_cast<int>(std::floor(centre - support)) + 1);
    const int hi = std::min(srcLen - 1, static_cast<int>(std::ceil(centre + support)) - 1);
    Tap& t = taps[static_cast<size_t>(i)];
    t.first = lo;
    double sum = 0.0;
    for (int j = lo; j <= hi; ++j) {
      const double w = Cubic((j - centre) / widen);
      t.weights.push_back(static_cast<float>(w));
      sum += w;
    }
    if (t.weights.empty()) {
      t.first = std::min(std::max(0, static_cast<int>(std::lround(centre))), srcLen - 1);
      t.weights.push_back(1.0f);
      sum = 1.0;
    }
    for (float& w : t.weights) w = static_cast<float>(w / sum);
  }
  return taps;
}

}  // namespace

bool Resample(Bitmap& dst, const Rect& dstRect, const Bitmap& src, const Rect& srcRect) {
  if (dst.Empty() || src.Empty() || dstRect.Empty() || srcRect.Empty()) return false;
  if (dstRect.L < 0 || dstRect.T < 0 || dstRect.R > dst.Width() || dstRect.B > dst.Height() ||
      srcRect.L < 0 || srcRect.T < 0 || srcRect.R > src.Width() || srcRect.B > src.Height())
    return false;
  const int sw = srcRect.W(), sh = srcRect.H(), dw = dstRect.W(), dh = dstRect.H();
  if (sw == dw && sh == dh) {
    return Blit(dst, dstRect.L, dstRect.T, src, srcRect.L, srcRect.T, sw, sh, 1.0f,
                BlendMode::kCopy);
  }
  const std::vector<Tap> tx = Taps(sw, dw);
  const std::vector<Tap> ty = Taps(sh, dh);
  // Horizontal pass into floats (premultiplied channels), then vertical.
  std::vector<float> mid(static_cast<size_t>(dw) * sh * 4);
  for (int y = 0; y < sh; ++y) {
    const uint32_t* row = src.Row(srcRect.T + y) + srcRect.L;
    float* out = &mid[static_cast<size_t>(y) * dw * 4];
    for (int x = 0; x < dw; ++x) {
      const Tap& t = tx[static_cast<size_t>(x)];
      float a = 0, r = 0, g = 0, b = 0;
      for (size_t k = 0; k < t.weights.size(); ++k) {
        const uint32_t p = row[t.first + static_cast<int>(k)];
        const float w = t.weights[k];
        a += w * static_cast<float>(p >> 24);
        r += w * static_cast<float>((p >> 16) & 255);
        g += w * static_cast<float>((p >> 8) & 255);
        b += w * static_cast<float>(p & 255);
      }
      out[4 * x] = a;
      out[4 * x + 1] = r;
      out[4 * x + 2] = g;
      out[4 * x + 3] = b;
    }
  }
  auto clamp255 = [](float v) -> uint32_t {
    if (!(v > 0.f)) return 0;
    if (v >= 255.f) return 255;
    return static_cast<uint32_t>(v + 0.5f);
  };
  for (int y = 0; y < dh; ++y) {
    const Tap& t = ty[static_cast<size_t>(y)];
    uint32_t* row = dst.Row(dstRect.T + y) + dstRect.L;
    for (int x = 0; x < dw; ++x) {
      float a = 0, r = 0, g = 0, b = 0;
      for (size_t k = 0; k < t.weights.size(); ++k) {
        const float* p = &mid[(static_cast<size_t>(t.first + static_cast<int>(k)) * dw + x) * 4];
        const float w = t.weights[k];
        a += w * p[0];
        r += w * p[1];
        g += w * p[2];
        b += w * p[3];
      }
      // The cubic's negative lobes can overshoot: keep colour <= alpha.
      const uint32_t A = clamp255(a);
      row[x] = A << 24 | std::min(A, clamp255(r)) << 16 | std::min(A, clamp255(g)) << 8 |
               std::min(A, clamp255(b));
    }
  }
  return true;
}

}  // namespace raster
