#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "raster/pixel_ops.h"
#include "raster/raster.h"

namespace raster {

using namespace detail;

namespace {

// One functor per blend mode so that the inner loops inline the arithmetic.
struct OpOver {
  uint32_t w;
  uint32_t operator()(uint32_t d, uint32_t s) const { return Over(d, ScalePixel(s, w)); }
};

struct OpCopy {
  uint32_t w;
  uint32_t operator()(uint32_t d, uint32_t s) const {
    if (w == 255) return s;
    const uint32_t k = 255 - w;
    return Pack(Div255((s >> 24) * w + (d >> 24) * k),
                Div255(((s >> 16) & 255) * w + ((d >> 16) & 255) * k),
                Div255(((s >> 8) & 255) * w + ((d >> 8) & 255) * k),
                Div255((s & 255) * w + (d & 255) * k));
  }
};

struct OpAdd {
  uint32_t w;
  uint32_t operator()(uint32_t d, uint32_t s) const {
    s = ScalePixel(s, w);
    if (s == 0) return d;
    const uint32_t sa = s >> 24;
    const uint32_t a = sa + Div255((d >> 24) * (255 - sa));
    // Keep the premultiplied invariant (colour <= alpha) on a translucent destination.
    const uint32_t r = std::min(a, ((d >> 16) & 255) + ((s >> 16) & 255));
    const uint32_t g = std::min(a, ((d >> 8) & 255) + ((s >> 8) & 255));
    const uint32_t b = std::min(a, (d & 255) + (s & 255));
    return Pack(a, r, g, b);
  }
};

// Colour dodge of straight colours: the destination brightened by the source.
inline uint32_t DodgeChannel(uint32_t cb, uint32_t cs) {
  if (cb == 0) return 0;
  if (cs >= 255) return 255;
  const uint32_t den = 255 - cs;
  return std::min<uint32_t>(255, (cb * 255 + den / 2) / den);
}

inline uint32_t Straight(uint32_t c, uint32_t a) {
  return std::min<uint32_t>(255, (c * 255 + a / 2) / a);
}

// Separable blend with alpha compositing:
//   co = cs' (1 - ab) + cb' (1 - as') + as' ab B(Cb, Cs)
// so that a transparent destination takes the source and an opaque one is dodged.
struct OpDodge {
  uint32_t w;
  uint32_t operator()(uint32_t d, uint32_t s) const {
    const uint32_t sa0 = s >> 24;
    if (sa0 == 0 || w == 0) return d;
    const uint32_t sw = ScalePixel(s, w);
    const uint32_t sa = sw >> 24;
    if (sa == 0) return d;
    const uint32_t da = d >> 24;
    const uint32_t ka = 255 - sa, kb = 255 - da;
    const uint32_t t = Div255(sa * da);
    const uint32_t a = sa + Div255(da * ka);
    uint32_t out[3];
    for (int i = 0; i < 3; ++i) {
      const int sh = 16 - 8 * i;
      const uint32_t csp = (sw >> sh) & 255;
      const uint32_t cbp = (d >> sh) & 255;
      const uint32_t cs = Straight((s >> sh) & 255, sa0);
      const uint32_t cb = da ? Straight(cbp, da) : 0;
      const uint32_t c = Div255(csp * kb) + Div255(cbp * ka) + Div255(t * DodgeChannel(cb, cs));
      out[i] = std::min(a, c);
    }
    return Pack(a, out[0], out[1], out[2]);
  }
};

template <class Op>
void BlitRows(Bitmap& dst, int dx, int dy, const Bitmap& src, int sx, int sy, int w, int h, Op op) {
  // Same bitmap: walk so that no source pixel is overwritten before it is read.
  const bool same = dst.Pixels() == src.Pixels();
  const bool rowsUp = same && dy > sy;
  const bool colsBack = same && dy == sy && dx > sx;
  for (int j = 0; j < h; ++j) {
    const int row = rowsUp ? h - 1 - j : j;
    uint32_t* d = dst.Row(dy + row) + dx;
    const uint32_t* s = src.Row(sy + row) + sx;
    if (colsBack) {
      for (int i = w - 1; i >= 0; --i) d[i] = op(d[i], s[i]);
    } else {
      for (int i = 0; i < w; ++i) d[i] = op(d[i], s[i]);
    }
  }
}

// Destination clip: the bitmap, narrowed by an optional rectangle.
bool ClipArea(const Bitmap& dst, const Rect* clip, Rect* out) {
  Rect c = dst.Bounds();
  if (clip) c = c.Intersect(*clip);
  *out = c;
  return !c.Empty();
}

}  // namespace

bool Blit(Bitmap& dst, int dx, int dy, const Bitmap& src, int sx, int sy, int w, int h,
          float weight, BlendMode mode, const Rect* clip) {
  if (dst.Empty() || src.Empty() || w <= 0 || h <= 0) return false;
  Rect c;
  if (!ClipArea(dst, clip, &c)) return false;
  // 64-bit edges: callers may pass anything.
  int64_t x0 = dx, y0 = dy, x1 = int64_t(dx) + w, y1 = int64_t(dy) + h;
  int64_t s0 = sx, t0 = sy;
  // Clip the source rectangle to the source bitmap, moving the destination with it.
  if (s0 < 0) {
    x0 -= s0;
    s0 = 0;
  }
  if (t0 < 0) {
    y0 -= t0;
    t0 = 0;
  }
  x1 = std::min<int64_t>(x1, x0 + (src.Width() - s0));
  y1 = std::min<int64_t>(y1, y0 + (src.Height() - t0));
  // Then to the destination clip, moving the source with it.
  if (x0 < c.L) {
    s0 += c.L - x0;
    x0 = c.L;
  }
  if (y0 < c.T) {
    t0 += c.T - y0;
    y0 = c.T;
  }
  x1 = std::min<int64_t>(x1, c.R);
  y1 = std::min<int64_t>(y1, c.B);
  if (x1 <= x0 || y1 <= y0 || s0 >= src.Width() || t0 >= src.Height()) return false;
  const int ox = int(x0), oy = int(y0), ow = int(x1 - x0), oh = int(y1 - y0);
  const int ix = int(s0), iy = int(t0);
  const uint32_t wt = Scale255(weight);
  if (wt == 0) return true;
  switch (mode) {
    case BlendMode::kCopy:
      if (wt == 255) {
        // A plain copy (the background, the frame to the screen): whole rows at once.
        const bool rowsUp = dst.Pixels() == src.Pixels() && oy > iy;
        for (int j = 0; j < oh; ++j) {
          const int row = rowsUp ? oh - 1 - j : j;
          std::memmove(dst.Row(oy + row) + ox, src.Row(iy + row) + ix, size_t(ow) * 4);
        }
        break;
      }
      BlitRows(dst, ox, oy, src, ix, iy, ow, oh, OpCopy{wt});
      break;
    case BlendMode::kAdd:
      BlitRows(dst, ox, oy, src, ix, iy, ow, oh, OpAdd{wt});
      break;
    case BlendMode::kDodge:
      BlitRows(dst, ox, oy, src, ix, iy, ow, oh, OpDodge{wt});
      break;
    case BlendMode::kSourceOver:
    default:
      BlitRows(dst, ox, oy, src, ix, iy, ow, oh, OpOver{wt});
      break;
  }
  return true;
}

namespace {

// Bilinear sample at 16.16 fixed-point source coordinates; outside the source is
// transparent, which anti-aliases the rotated edges.
// The caller has checked that the 2 x 2 footprint touches the source.
inline uint32_t Sample(const Bitmap& src, int64_t u, int64_t v) {
  const int64_t xi = u >> 16, yi = v >> 16;
  const uint32_t fx = uint32_t((u >> 8) & 255), fy = uint32_t((v >> 8) & 255);
  const int w = src.Width(), h = src.Height();
  const int x = int(xi), y = int(yi);
  uint32_t p00 = 0, p10 = 0, p01 = 0, p11 = 0;
  if (x >= 0 && y >= 0 && x + 1 < w && y + 1 < h) {
    const uint32_t* r0 = src.Row(y) + x;
    const uint32_t* r1 = src.Row(y + 1) + x;
    p00 = r0[0];
    p10 = r0[1];
    p01 = r1[0];
    p11 = r1[1];
  } else {
    const bool x0in = x >= 0, x1in = x + 1 < w, y0in = y >= 0, y1in = y + 1 < h;
    if (y0in) {
      const uint32_t* r0 = src.Row(y);
      if (x0in) p00 = r0[x];
      if (x1in) p10 = r0[x + 1];
    }
    if (y1in) {
      const uint32_t* r1 = src.Row(y + 1);
      if (x0in) p01 = r1[x];
      if (x1in) p11 = r1[x + 1];
    }
  }
  if (fx == 0 && fy == 0) return p00;
  const uint32_t w00 = (256 - fx) * (256 - fy), w10 = fx * (256 - fy);
  const uint32_t w01 = (256 - fx) * fy, w11 = fx * fy;
  uint32_t out = 0;
  for (int sh = 0; sh < 32; sh += 8) {
    const uint32_t c = ((p00 >> sh) & 255) * w00 + ((p10 >> sh) & 255) * w10 +
                       ((p01 >> sh) & 255) * w01 + ((p11 >> sh) & 255) * w11;
    out |= ((c + 32768) >> 16) << sh;
  }
  return out;
}

// sin/cos with the quarter turns made exact, so 90 and 180 degree turns sample on whole
// pixels.
void ExactSinCos(double a, double* s, double* c) {
  *s = std::sin(a);
  *c = std::cos(a);
  const double eps = 1e-12;
  if (std::fabs(*s) < eps) *s = 0.0;
  if (std::fabs(*c) < eps) *c = 0.0;
  if (std::fabs(*s - 1.0) < eps) *s = 1.0;
  if (std::fabs(*s + 1.0) < eps) *s = -1.0;
  if (std::fabs(*c - 1.0) < eps) *c = 1.0;
  if (std::fabs(*c + 1.0) < eps) *c = -1.0;
}

template <class Op>
void RotateRows(Bitmap& dst, const Bitmap& src, const Rect& area, double cx, double cy, double sn,
                double cs, Op op) {
  const double hw = src.Width() * 0.5, hh = src.Height() * 0.5;
  const int64_t du = std::llround(cs * 65536.0), dv = std::llround(-sn * 65536.0);
  const int64_t wLimit = int64_t(src.Width()) << 16, hLimit = int64_t(src.Height()) << 16;
  for (int y = area.T; y < area.B; ++y) {
    const double py = y + 0.5 - cy;
    const double px = area.L + 0.5 - cx;
    // Inverse rotation of the pixel centre into the source, then to pixel-centre space.
    int64_t u = std::llround((px * cs + py * sn + hw - 0.5) * 65536.0);
    int64_t v = std::llround((py * cs - px * sn + hh - 0.5) * 65536.0);
    uint32_t* d = dst.Row(y);
    for (int x = area.L; x < area.R; ++x, u += du, v += dv) {
      // Entirely off the source: untouched (even in copy mode).
      if (u <= -65536 || v <= -65536 || u >= wLimit || v >= hLimit) continue;
      d[x] = op(d[x], Sample(src, u, v));
    }
  }
}

}  // namespace

bool BlitRotated(Bitmap& dst, const Bitmap& src, int dstLeft, int dstTop, double angle,
                 float weight, BlendMode mode, const Rect* clip) {
  if (dst.Empty() || src.Empty() || !std::isfinite(angle)) return false;
  if (dst.Pixels() == src.Pixels()) return false;
  if (std::fabs(double(dstLeft)) > 1e8 || std::fabs(double(dstTop)) > 1e8) return false;
  Rect c;
  if (!ClipArea(dst, clip, &c)) return false;
  const double a = std::fmod(angle, 2.0 * kPi);
  double sn, cs;
  ExactSinCos(a, &sn, &cs);
  const double hw = src.Width() * 0.5, hh = src.Height() * 0.5;
  const double cx = dstLeft + hw, cy = dstTop + hh;
  // Bounding box of the turned image, one pixel wider for the filter's reach.
  const double ex = std::fabs(cs) * hw + std::fabs(sn) * hh;
  const double ey = std::fabs(sn) * hw + std::fabs(cs) * hh;
  const double l = std::floor(cx - ex) - 1, t = std::floor(cy - ey) - 1;
  const double r = std::ceil(cx + ex) + 1, b = std::ceil(cy + ey) + 1;
  Rect area(int(std::max<double>(l, c.L)), int(std::max<double>(t, c.T)),
            int(std::min<double>(r, c.R)), int(std::min<double>(b, c.B)));
  if (area.Empty()) return false;
  const uint32_t wt = Scale255(weight);
  if (wt == 0) return true;
  switch (mode) {
    case BlendMode::kCopy:
      RotateRows(dst, src, area, cx, cy, sn, cs, OpCopy{wt});
      break;
    case BlendMode::kAdd:
      RotateRows(dst, src, area, cx, cy, sn, cs, OpAdd{wt});
      break;
    case BlendMode::kDodge:
      RotateRows(dst, src, area, cx, cy, sn, cs, OpDodge{wt});
      break;
    case BlendMode::kSourceOver:
    default:
      RotateRows(dst, src, area, cx, cy, sn, cs, OpOver{wt});
      break;
  }
  return true;
}

}  // namespace raster
