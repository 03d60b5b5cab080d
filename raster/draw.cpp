#include <algorithm>
#include <cmath>
#include <cstdint>

#include "raster/pixel_ops.h"
#include "raster/raster.h"

namespace raster {

using namespace detail;

namespace {

constexpr double kTwoPi = 6.283185307179586476925286766559;

// Source-over painter for a straight colour at a fixed opacity; coverage scales the alpha.
struct Painter {
  Bitmap& dst;
  uint32_t r, g, b, a;
  Painter(Bitmap& d, uint32_t colour, uint32_t alpha)
      : dst(d), r((colour >> 16) & 255), g((colour >> 8) & 255), b(colour & 255), a(alpha) {}
  void Plot(int x, int y) {
    if (x < 0 || y < 0 || x >= dst.Width() || y >= dst.Height()) return;
    uint32_t* p = dst.Row(y) + x;
    *p = OverColour(*p, r, g, b, a);
  }
  void Plot(int64_t x, int64_t y) {
    if (x < 0 || y < 0 || x >= dst.Width() || y >= dst.Height()) return;
    Plot(int(x), int(y));
  }
  // Coverage 0..1.
  void PlotCov(int64_t x, int64_t y, double cov) {
    if (x < 0 || y < 0 || x >= dst.Width() || y >= dst.Height()) return;
    if (!(cov > 0.0)) return;
    const uint32_t c = cov >= 1.0 ? 255u : uint32_t(cov * 255.0 + 0.5);
    if (c == 0) return;
    uint32_t* p = dst.Row(int(y)) + int(x);
    *p = OverColour(*p, r, g, b, c == 255 ? a : Div255(a * c));
  }
};

int64_t FloorDiv(int64_t n, int64_t d) {
  int64_t q = n / d;
  if ((n % d != 0) && ((n < 0) != (d < 0))) --q;
  return q;
}

// Pixels of the segment, one per step along the major axis; the minor coordinate is the
// exact line rounded half up. Endpoints are put in increasing major order first so that a
// segment and its reverse cover the same pixels.
void BresenhamLine(Painter& p, int64_t x1, int64_t y1, int64_t x2, int64_t y2) {
  const int64_t adx = x2 > x1 ? x2 - x1 : x1 - x2;
  const int64_t ady = y2 > y1 ? y2 - y1 : y1 - y2;
  const bool steep = ady > adx;
  if (steep) {
    std::swap(x1, y1);
    std::swap(x2, y2);
  }
  if (x1 > x2) {
    std::swap(x1, x2);
    std::swap(y1, y2);
  }
  const int64_t dx = x2 - x1, dy = y2 - y1;
  const int64_t majorLimit = steep ? p.dst.Height() : p.dst.Width();
  const int64_t xs = std::max<int64_t>(x1, 0), xe = std::min<int64_t>(x2, majorLimit - 1);
  if (dx == 0) {
    if (steep)
      p.Plot(y1, x1);
    else
      p.Plot(x1, y1);
    return;
  }
  const bool exact = dx < (int64_t(1) << 30) && (dy < 0 ? -dy : dy) < (int64_t(1) << 30);
  for (int64_t x = xs; x <= xe; ++x) {
    const int64_t t = x - x1;
    int64_t y;
    if (exact) {
      y = y1 + FloorDiv(2 * t * dy + dx, 2 * dx);
    } else {
      y = y1 + int64_t(std::floor(double(t) * double(dy) / double(dx) + 0.5));
    }
    if (steep)
      p.Plot(y, x);
    else
      p.Plot(x, y);
  }
}

// Liang-Barsky clip of a segment to a box; false when nothing is left. An end moved onto
// an edge takes that edge's coordinate exactly, so far-away ends still reach the box.
bool ClipSegment(double& x1, double& y1, double& x2, double& y2, double xmin, double ymin,
                 double xmax, double ymax) {
  double t0 = 0.0, t1 = 1.0;
  int e0 = -1, e1 = -1;
  const double dx = x2 - x1, dy = y2 - y1;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {x1 - xmin, xmax - x1, y1 - ymin, ymax - y1};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0.0) {
      if (q[i] < 0.0) return false;
      continue;
    }
    const double t = q[i] / p[i];
    if (p[i] < 0.0) {
      if (t > t1) return false;
      if (t > t0) t0 = t, e0 = i;
    } else {
      if (t < t0) return false;
      if (t < t1) t1 = t, e1 = i;
    }
  }
  const double edge[4] = {xmin, xmax, ymin, ymax};
  double nx1 = x1 + t0 * dx, ny1 = y1 + t0 * dy;
  double nx2 = x1 + t1 * dx, ny2 = y1 + t1 * dy;
  if (e0 >= 0) (e0 < 2 ? nx1 : ny1) = edge[e0];
  if (e1 >= 0) (e1 < 2 ? nx2 : ny2) = edge[e1];
  x1 = nx1;
  y1 = ny1;
  x2 = nx2;
  y2 = ny2;
  return true;
}

inline double Frac(double v) {
  return v - std::floor(v);
}

// Wu's anti-aliased line; integer coordinates are pixel centres.
void WuLine(Painter& p, double x1, double y1, double x2, double y2) {
  const double W = p.dst.Width(), H = p.dst.Height();
  // Far-away parts are cut off first; the cut ends lie outside the bitmap.
  if (!ClipSegment(x1, y1, x2, y2, -3.0, -3.0, W + 2.0, H + 2.0)) return;
  const bool steep = std::fabs(y2 - y1) > std::fabs(x2 - x1);
  if (steep) {
    std::swap(x1, y1);
    std::swap(x2, y2);
  }
  if (x1 > x2) {
    std::swap(x1, x2);
    std::swap(y1, y2);
  }
  const double dx = x2 - x1, dy = y2 - y1;
  if (dx == 0.0) return;  // zero length
  const double grad = dy / dx;
  auto plot = [&](int64_t x, int64_t y, double c) {
    if (steep)
      p.PlotCov(y, x, c);
    else
      p.PlotCov(x, y, c);
  };
  const double xe1 = std::floor(x1 + 0.5), xe2 = std::floor(x2 + 0.5);
  const double ye1 = y1 + grad * (xe1 - x1);
  if (xe1 == xe2) {
    // Both ends in one pixel column: one pair weighted by the length inside it.
    const double ym = (y1 + y2) * 0.5, gap = dx;
    const double yf = std::floor(ym);
    plot(int64_t(xe1), int64_t(yf), (1.0 - Frac(ym)) * gap);
    plot(int64_t(xe1), int64_t(yf) + 1, Frac(ym) * gap);
    return;
  }
  {
    const double gap = 1.0 - Frac(x1 + 0.5);
    const double yf = std::floor(ye1);
    plot(int64_t(xe1), int64_t(yf), (1.0 - Frac(ye1)) * gap);
    plot(int64_t(xe1), int64_t(yf) + 1, Frac(ye1) * gap);
  }
  {
    const double ye2 = y2 + grad * (xe2 - x2);
    const double gap = Frac(x2 + 0.5);
    const double yf = std::floor(ye2);
    plot(int64_t(xe2), int64_t(yf), (1.0 - Frac(ye2)) * gap);
    plot(int64_t(xe2), int64_t(yf) + 1, Frac(ye2) * gap);
  }
  const double majorLimit = steep ? H : W;
  const int64_t xs = int64_t(std::max(xe1 + 1.0, 0.0));
  const int64_t xe = int64_t(std::min(xe2 - 1.0, majorLimit - 1.0));
  for (int64_t x = xs; x <= xe; ++x) {
    const double y = ye1 + grad * (double(x) - xe1);
    const double yf = std::floor(y);
    const double f = y - yf;
    plot(x, int64_t(yf), 1.0 - f);
    plot(x, int64_t(yf) + 1, f);
  }
}

// Direction of an angle measured from straight up, clockwise on screen (y down).
struct Dir {
  double x, y;
};
inline Dir AngleDir(double a) {
  return Dir{std::sin(a), -std::cos(a)};
}
// Positive when v lies clockwise (on screen) of u.
inline double Cross(const Dir& u, double vx, double vy) {
  return u.x * vy - u.y * vx;
}

// Which pixels of a circle an arc keeps.
struct AngleRange {
  bool full = true;
  bool wide = false;  // span above half a turn: test the complement instead
  Dir u1{0, 0}, u2{0, 0};
  bool Contains(double px, double py) const {
    if (full) return true;
    if (!wide) return Cross(u1, px, py) >= 0.0 && -Cross(u2, px, py) >= 0.0;
    return !(Cross(u2, px, py) > 0.0 && -Cross(u1, px, py) > 0.0);
  }
};

// False when the range is empty.
bool MakeRange(double a1, double a2, AngleRange* out) {
  double span = a2 - a1;
  if (std::fabs(span) >= kTwoPi) {
    out->full = true;
    return true;
  }
  if (span < 0.0) span += kTwoPi;
  if (span == 0.0) return false;
  out->full = false;
  out->wide = span > kPi;
  out->u1 = AngleDir(a1);
  out->u2 = AngleDir(a2);
  return true;
}

bool CircleArgsOk(const Bitmap& dst, float cx, float cy, float radius) {
  return !dst.Empty() && Sane(cx) && Sane(cy) && Sane(radius) && radius > 0.f;
}

// Rows/columns of the circle's box that lie on the bitmap.
struct Box {
  int x0, y0, x1, y1;  // inclusive
  bool empty;
};
Box CircleBox(const Bitmap& dst, double cx, double cy, double reach) {
  Box b;
  b.x0 = int(std::max(std::floor(cx - reach), 0.0));
  b.y0 = int(std::max(std::floor(cy - reach), 0.0));
  b.x1 = int(std::min(std::ceil(cx + reach), double(dst.Width() - 1)));
  b.y1 = int(std::min(std::ceil(cy + reach), double(dst.Height() - 1)));
  b.empty = b.x0 > b.x1 || b.y0 > b.y1;
  return b;
}

// Anti-aliased ring (outline) or disc; integer coordinates are pixel centres.
void AaCircle(Painter& p, double cx, double cy, double r, bool fill, const AngleRange& range) {
  const double reach = r + 1.0;
  const Box b = CircleBox(p.dst, cx, cy, reach);
  if (b.empty) return;
  const double outer2 = (r + 1.0) * (r + 1.0);
  const double inner = r - 1.0;
  const double inner2 = inner > 0.0 ? inner * inner : -1.0;
  for (int y = b.y0; y <= b.y1; ++y) {
    const double dy = y - cy;
    const double dy2 = dy * dy;
    if (dy2 >= outer2) continue;
    for (int x = b.x0; x <= b.x1; ++x) {
      const double dx = x - cx;
      const double d2 = dx * dx + dy2;
      if (d2 >= outer2) continue;
      if (!fill && d2 <= inner2) continue;
      if (!range.Contains(dx, dy)) continue;
      const double d = std::sqrt(d2);
      const double cov = fill ? r + 0.5 - d : 1.0 - std::fabs(d - r);
      if (cov > 0.0) p.PlotCov(x, y, std::min(cov, 1.0));
    }
  }
}

// Midpoint circle; each pixel of the outline is painted once.
void MidpointCircle(Painter& p, int64_t cx, int64_t cy, int64_t r, const AngleRange& range) {
  auto put = [&](int64_t dx, int64_t dy) {
    if (range.Contains(double(dx), double(dy))) p.Plot(cx + dx, cy + dy);
  };
  if (r == 0) {
    put(0, 0);
    return;
  }
  // Wholly off the bitmap: nothing to walk.
  if (cx + r < 0 || cy + r < 0 || cx - r >= p.dst.Width() || cy - r >= p.dst.Height()) return;
  int64_t x = r, y = 0, err = 1 - r;
  while (x >= y) {
    if (y == 0) {
      put(x, 0), put(-x, 0), put(0, x), put(0, -x);
    } else if (x == y) {
      put(x, y), put(-x, y), put(x, -y), put(-x, -y);
    } else {
      put(x, y), put(-x, y), put(x, -y), put(-x, -y);
      put(y, x), put(-y, x), put(y, -x), put(-y, -x);
    }
    ++y;
    if (err < 0) {
      err += 2 * y + 1;
    } else {
      --x;
      err += 2 * (y - x) + 1;
    }
  }
}

// Pixels whose centres lie within r + 0.5 of the centre pixel.
void HardDisc(Painter& p, int64_t cx, int64_t cy, int64_t r, const AngleRange& range) {
  const int64_t lim = r * r + r;
  const int64_t y0 = std::max<int64_t>(cy - r, 0),
                y1 = std::min<int64_t>(cy + r, p.dst.Height() - 1);
  const int64_t x0 = std::max<int64_t>(cx - r, 0),
                x1 = std::min<int64_t>(cx + r, p.dst.Width() - 1);
  for (int64_t y = y0; y <= y1; ++y) {
    const int64_t dy = y - cy;
    for (int64_t x = x0; x <= x1; ++x) {
      const int64_t dx = x - cx;
      if (dx * dx + dy * dy <= lim && range.Contains(double(dx), double(dy))) p.Plot(x, y);
    }
  }
}

bool Circle(Bitmap& dst, float cx, float cy, float radius, float a1, float a2, uint32_t colour,
            float opacity, bool antialias, bool fill, bool arc) {
  if (!CircleArgsOk(dst, cx, cy, radius)) return false;
  AngleRange range;
  if (arc) {
    if (!std::isfinite(a1) || !std::isfinite(a2)) return false;
    if (!MakeRange(a1, a2, &range)) return true;
  }
  const uint32_t a = Scale255(opacity);
  if (a == 0) return true;
  Painter p(dst, colour, a);
  if (antialias) {
    AaCircle(p, cx, cy, radius, fill, range);
  } else {
    const int64_t icx = int64_t(std::floor(double(cx) + 0.5));
    const int64_t icy = int64_t(std::floor(double(cy) + 0.5));
    const int64_t ir = int64_t(std::floor(double(radius) + 0.5));
    if (fill)
      HardDisc(p, icx, icy, ir, range);
    else
      MidpointCircle(p, icx, icy, ir, range);
  }
  return true;
}

}  // namespace

bool FillRect(Bitmap& dst, const Rect& r, uint32_t colour, float opacity) {
  if (dst.Empty()) return false;
  const Rect c = r.Intersect(dst.Bounds());
  if (c.Empty()) return false;
  const uint32_t a = Scale255(opacity);
  if (a == 0) return true;
  const uint32_t cr = (colour >> 16) & 255, cg = (colour >> 8) & 255, cb = colour & 255;
  if (a == 255) {
    const uint32_t v = Pack(255, cr, cg, cb);
    for (int y = c.T; y < c.B; ++y) std::fill(dst.Row(y) + c.L, dst.Row(y) + c.R, v);
    return true;
  }
  const uint32_t s = Pack(a, Div255(cr * a), Div255(cg * a), Div255(cb * a));
  for (int y = c.T; y < c.B; ++y) {
    uint32_t* d = dst.Row(y);
    for (int x = c.L; x < c.R; ++x) d[x] = Over(d[x], s);
  }
  return true;
}

bool DrawLine(Bitmap& dst, int x1, int y1, int x2, int y2, uint32_t colour, float opacity,
              bool antialias) {
  if (dst.Empty()) return false;
  const uint32_t a = Scale255(opacity);
  if (a == 0) return true;
  Painter p(dst, colour, a);
  if (antialias) {
    if (x1 == x2 && y1 == y2) {
      p.Plot(x1, y1);
      return true;
    }
    WuLine(p, x1, y1, x2, y2);
  } else {
    BresenhamLine(p, x1, y1, x2, y2);
  }
  return true;
}

bool DrawLineF(Bitmap& dst, float x1, float y1, float x2, float y2, uint32_t colour, float opacity,
               bool antialias) {
  if (dst.Empty()) return false;
  if (!std::isfinite(x1) || !std::isfinite(y1) || !std::isfinite(x2) || !std::isfinite(y2))
    return false;
  const uint32_t a = Scale255(opacity);
  if (a == 0) return true;
  Painter p(dst, colour, a);
  if (antialias) {
    WuLine(p, x1, y1, x2, y2);
    return true;
  }
  double e[4] = {x1, y1, x2, y2};
  // Huge end points are clipped first so that they round to usable integers.
  if (!(Sane(e[0]) && Sane(e[1]) && Sane(e[2]) && Sane(e[3]))) {
    const double W = dst.Width(), H = dst.Height();
    if (!ClipSegment(e[0], e[1], e[2], e[3], -2.0, -2.0, W + 1.0, H + 1.0)) return true;
  }
  BresenhamLine(p, int64_t(std::floor(e[0] + 0.5)), int64_t(std::floor(e[1] + 0.5)),
                int64_t(std::floor(e[2] + 0.5)), int64_t(std::floor(e[3] + 0.5)));
  return true;
}

bool DrawCircle(Bitmap& dst, float cx, float cy, float radius, uint32_t colour, float opacity,
                bool antialias) {
  return Circle(dst, cx, cy, radius, 0.f, 0.f, colour, opacity, antialias, false, false);
}

bool FillDisc(Bitmap& dst, float cx, float cy, float radius, uint32_t colour, float opacity,
              bool antialias) {
  return Circle(dst, cx, cy, radius, 0.f, 0.f, colour, opacity, antialias, true, false);
}

bool DrawArc(Bitmap& dst, float cx, float cy, float radius, float a1, float a2, uint32_t colour,
             float opacity, bool antialias) {
  return Circle(dst, cx, cy, radius, a1, a2, colour, opacity, antialias, false, true);
}

bool FillSector(Bitmap& dst, float cx, float cy, float radius, float a1, float a2, uint32_t colour,
                float opacity, bool antialias) {
  return Circle(dst, cx, cy, radius, a1, a2, colour, opacity, antialias, true, true);
}

}  // namespace raster
