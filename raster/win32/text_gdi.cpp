// Text through GDI: the font is a GDI font, the string is drawn white on black into a
// 32-bit DIB section and the grey level becomes the coverage mask.
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "raster/text.h"

namespace raster {
namespace {

int GdiQuality(int quality) {
  switch (quality) {
    case static_cast<int>(FontQuality::kNonAntialiased):
      return NONANTIALIASED_QUALITY;
    // Coverage masks are grey: ClearType's coloured fringes have no place in them.
    case static_cast<int>(FontQuality::kAntialiased):
    case static_cast<int>(FontQuality::kClearType):
      return ANTIALIASED_QUALITY;
    default:
      return DEFAULT_QUALITY;
  }
}

std::wstring Widen(const char* text, int len) {
  std::wstring w;
  w.reserve(static_cast<size_t>(len));
  for (int i = 0; i < len; ++i)
    w.push_back(static_cast<wchar_t>(static_cast<unsigned char>(text[i])));
  return w;
}

class GdiFont : public Font {
 public:
  GdiFont(const FontDesc& desc, HFONT font, HDC dc) : Font(desc), mFont(font), mDC(dc) {
    mOld = SelectObject(mDC, mFont);
    TEXTMETRICW tm = {};
    GetTextMetricsW(mDC, &tm);
    mHeight = tm.tmHeight;
    mAscent = tm.tmAscent;
  }
  ~GdiFont() override {
    SelectObject(mDC, mOld);
    DeleteDC(mDC);
    DeleteObject(mFont);
  }

  bool Measure(const char* text, int len, TextExtent* out) override {
    if (!text || !out || len < 0) return false;
    out->height = mHeight;
    out->ascent = mAscent;
    out->width = 0;
    if (len == 0) return true;
    std::wstring w = Widen(text, len);
    SIZE sz = {};
    if (!GetTextExtentPoint32W(mDC, w.c_str(), len, &sz)) return false;
    out->width = sz.cx;
    return true;
  }

  bool Rasterize(const char* text, int len, CoverageMask* mask) override {
    if (!text || !mask || len < 0) return false;
    TextExtent ext;
    if (!Measure(text, len, &ext)) return false;
    mask->width = mask->height = mask->left = mask->top = 0;
    mask->coverage.clear();
    if (len == 0 || ext.width <= 0) return true;

    // The cell turns about its top-left corner, counter-clockwise on screen.
    const double a = mDesc.orientation * 3.14159265358979323846 / 180.0;
    const double c = std::cos(a), s = std::sin(a);
    const double xs[4] = {0.0, double(ext.width), 0.0, double(ext.width)};
    const double ys[4] = {0.0, 0.0, double(ext.height), double(ext.height)};
    double minX = 0, maxX = 0, minY = 0, maxY = 0;
    for (int i = 0; i < 4; ++i) {
      const double rx = xs[i] * c + ys[i] * s;
      const double ry = -xs[i] * s + ys[i] * c;
      minX = std::min(minX, rx);
      maxX = std::max(maxX, rx);
      minY = std::min(minY, ry);
      maxY = std::max(maxY, ry);
    }
    // A margin for overhangs (italics, anti-aliasing).
    const int pad = 2 + mHeight / 4;
    const int left = static_cast<int>(std::floor(minX)) - pad;
    const int top = static_cast<int>(std::floor(minY)) - pad;
    const int w = static_cast<int>(std::ceil(maxX)) + pad - left;
    const int h = static_cast<int>(std::ceil(maxY)) + pad - top;
    if (w <= 0 || h <= 0 || w > Bitmap::kMaxSide || h > Bitmap::kMaxSide) return false;

    BITMAPINFO bmi = {};
    bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bmi.bmiHeader.biWidth = w;
    bmi.bmiHeader.biHeight = -h;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    bmi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(mDC, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!dib || !bits) {
      if (dib) DeleteObject(dib);
      return false;
    }
    HGDIOBJ oldBmp = SelectObject(mDC, dib);
    std::memset(bits, 0, static_cast<size_t>(w) * static_cast<size_t>(h) * 4);
    SetBkMode(mDC, TRANSPARENT);
    SetTextColor(mDC, RGB(255, 255, 255));
    SetTextAlign(mDC, TA_LEFT | TA_TOP | TA_NOUPDATECP);
    std::wstring wtext = Widen(text, len);
    TextOutW(mDC, -left, -top, wtext.c_str(), len);
    GdiFlush();

    mask->width = w;
    mask->height = h;
    mask->left = left;
    mask->top = top;
    mask->coverage.resize(static_cast<size_t>(w) * static_cast<size_t>(h));
    const uint32_t* px = static_cast<const uint32_t*>(bits);
    for (size_t i = 0; i < mask->coverage.size(); ++i) {
      const uint32_t p = px[i];
      mask->coverage[i] = static_cast<uint8_t>(std::max(RedOf(p), std::max(GreenOf(p), BlueOf(p))));
    }
    SelectObject(mDC, oldBmp);
    DeleteObject(dib);
    return true;
  }

 private:
  HFONT mFont;
  HDC mDC;
  HGDIOBJ mOld = nullptr;
  int mHeight = 0;
  int mAscent = 0;
};

class GdiBackend : public FontBackend {
 public:
  std::unique_ptr<Font> CreateFont(const FontDesc& desc) override {
    if (desc.size == 0 || desc.face[0] == 0) return nullptr;
    std::wstring face = Widen(desc.face, static_cast<int>(strnlen(desc.face, sizeof(desc.face))));
    HFONT font = CreateFontW(desc.size, 0, desc.orientation * 10, desc.orientation * 10,
                             (desc.style & kFontBold) ? FW_BOLD : FW_NORMAL,
                             (desc.style & kFontItalic) ? TRUE : FALSE, FALSE, FALSE,
                             DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                             GdiQuality(desc.quality), DEFAULT_PITCH, face.c_str());
    if (!font) return nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    if (!dc) {
      DeleteObject(font);
      return nullptr;
    }
    return std::unique_ptr<Font>(new GdiFont(desc, font, dc));
  }
};

}  // namespace

FontBackend& PlatformFontBackend() {
  static GdiBackend backend;
  return backend;
}

}  // namespace raster
