// FreeType + fontconfig font backend (Linux and other non-Windows builds).

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <strings.h>

#include "raster/pixel_ops.h"
#include "raster/text.h"

namespace raster {

namespace {

// One FreeType library per process. Fonts hold a reference so that it outlives every face,
// whatever order static objects are destroyed in.
struct FtLibrary {
  FT_Library lib = nullptr;
  std::mutex lock;  // face creation and destruction are not thread-safe on one library
  ~FtLibrary() {
    if (lib) FT_Done_FreeType(lib);
  }
};

std::shared_ptr<FtLibrary> Library() {
  static std::shared_ptr<FtLibrary> lib = [] {
    auto l = std::make_shared<FtLibrary>();
    if (FT_Init_FreeType(&l->lib) != 0) l->lib = nullptr;
    return l;
  }();
  return lib;
}

// Windows face names mapped to metric-compatible free faces, so that text takes the same
// room as on Windows.
const char* SubstituteFamily(const char* face) {
  struct Map {
    const char* from;
    const char* to;
  };
  static const Map kMap[] = {
      {"Arial", "Liberation Sans"},
      {"Helvetica", "Liberation Sans"},
      {"Times New Roman", "Liberation Serif"},
      {"Courier New", "Liberation Mono"},
      {"Verdana", "DejaVu Sans"},
      {"Tahoma", "DejaVu Sans"},
  };
  for (const Map& m : kMap)
    if (strcasecmp(face, m.from) == 0) return m.to;
  return face;
}

struct FontFile {
  std::string path;
  int index = 0;
  bool bold = false;    // the face itself is bold
  bool italic = false;  // the face itself is slanted
};

bool FindFontFile(const char* family, bool bold, bool italic, FontFile* out) {
  static std::mutex fcLock;
  std::lock_guard<std::mutex> g(fcLock);
  if (!FcInit()) return false;
  FcPattern* pat = FcPatternCreate();
  if (!pat) return false;
  FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
  FcPatternAddInteger(pat, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pat, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddBool(pat, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(nullptr, pat, FcMatchPattern);
  FcDefaultSubstitute(pat);
  FcResult res = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, pat, &res);
  FcPatternDestroy(pat);
  if (!match) return false;
  FcChar8* file = nullptr;
  bool ok = FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file;
  if (ok) {
    out->path = reinterpret_cast<const char*>(file);
    int idx = 0, weight = FC_WEIGHT_REGULAR, slant = FC_SLANT_ROMAN;
    if (FcPatternGetInteger(match, FC_INDEX, 0, &idx) == FcResultMatch) out->index = idx;
    if (FcPatternGetInteger(match, FC_WEIGHT, 0, &weight) == FcResultMatch)
      out->bold = weight >= FC_WEIGHT_DEMIBOLD;
    if (FcPatternGetInteger(match, FC_SLANT, 0, &slant) == FcResultMatch)
      out->italic = slant != FC_SLANT_ROMAN;
  }
  FcPatternDestroy(match);
  return ok;
}

class FtFont final : public Font {
 public:
  FtFont(const FontDesc& desc, std::shared_ptr<FtLibrary> lib) : Font(desc), mLib(std::move(lib)) {}

  ~FtFont() override {
    if (mFace) {
      std::lock_guard<std::mutex> g(mLib->lock);
      FT_Done_Face(mFace);
    }
  }

  bool Open(const FontFile& file) {
    {
      std::lock_guard<std::mutex> g(mLib->lock);
      if (FT_New_Face(mLib->lib, file.path.c_str(), file.index, &mFace) != 0) {
        mFace = nullptr;
        return false;
      }
    }
    if (!FT_IS_SCALABLE(mFace) || mFace->units_per_EM == 0) return false;
    FT_Select_Charmap(mFace, FT_ENCODING_UNICODE);
    mEmbolden = (mDesc.style & kFontBold) && !file.bold;
    mOblique = (mDesc.style & kFontItalic) && !file.italic;
    mMono = mDesc.quality == int(FontQuality::kNonAntialiased);

    // The cell (ascent + descent) of the Windows metrics is what a positive height asks for.
    double asc = mFace->ascender, desc = -double(mFace->descender);
    const TT_OS2* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(mFace, FT_SFNT_OS2));
    if (os2 && os2->version != 0xFFFFu && os2->usWinAscent + os2->usWinDescent > 0) {
      asc = os2->usWinAscent;
      desc = os2->usWinDescent;
    }
    if (asc + desc <= 0) return false;
    const double upem = mFace->units_per_EM;
    const double em = mDesc.size > 0 ? mDesc.size * upem / (asc + desc) : -double(mDesc.size);
    FT_Size_RequestRec req;
    req.type = FT_SIZE_REQUEST_TYPE_NOMINAL;
    req.width = 0;
    req.height = FT_Long(std::lround(em * 64.0));
    req.horiResolution = 0;
    req.vertResolution = 0;
    if (req.height <= 0 || FT_Request_Size(mFace, &req) != 0) return false;
    mAscent = int(std::lround(asc * em / upem));
    mHeight = mAscent + int(std::lround(desc * em / upem));

    const int turn = ((mDesc.orientation % 360) + 360) % 360;
    mRotated = turn != 0;
    if (mRotated) {
      const double th = turn * (detail::kPi / 180.0);
      mCos = std::cos(th);
      mSin = std::sin(th);
    }
    return true;
  }

  bool Measure(const char* text, int len, TextExtent* out) override {
    int64_t w = 0;
    for (int i = 0; i < len; ++i) {
      const Glyph* gl = Upright(static_cast<unsigned char>(text[i]));
      if (gl) w += gl->advance;
    }
    out->width = int(std::min<int64_t>(w, 1 << 30));
    out->height = mHeight;
    out->ascent = mAscent;
    return true;
  }

  bool Rasterize(const char* text, int len, CoverageMask* mask) override {
    return mRotated ? RasterizeRotated(text, len, mask) : RasterizeUpright(text, len, mask);
  }

 private:
  struct Glyph {
    bool loaded = false;
    bool ok = false;
    int left = 0, top = 0, w = 0, h = 0;  // bitmap box relative to the cell's top-left at pen x
    int advance = 0;                      // whole pixels
    std::vector<uint8_t> bits;            // w * h coverage
  };

  int32_t LoadFlags() const {
    return mMono ? (FT_LOAD_TARGET_MONO | FT_LOAD_MONOCHROME) : FT_LOAD_TARGET_NORMAL;
  }

  // Loads and renders one character into the glyph slot; false for faces without it.
  bool RenderSlot(unsigned char ch) {
    const FT_UInt idx = FT_Get_Char_Index(mFace, ch);
    if (FT_Load_Glyph(mFace, idx, LoadFlags()) != 0) return false;
    FT_GlyphSlot slot = mFace->glyph;
    if (mOblique) FT_GlyphSlot_Oblique(slot);
    if (mEmbolden) FT_GlyphSlot_Embolden(slot);
    if (FT_Render_Glyph(slot, mMono ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL) != 0)
      return false;
    return true;
  }

  // Copies the slot's bitmap as 8-bit coverage into width * rows bytes.
  static void CopyBitmap(const FT_Bitmap& bm, uint8_t* out) {
    const int w = int(bm.width), h = int(bm.rows);
    if (w <= 0 || h <= 0) return;
    std::memset(out, 0, size_t(w) * h);
    for (int y = 0; y < h; ++y) {
      const unsigned char* src = bm.buffer + ptrdiff_t(y) * bm.pitch;
      uint8_t* d = out + size_t(y) * w;
      if (bm.pixel_mode == FT_PIXEL_MODE_MONO) {
        for (int x = 0; x < w; ++x) d[x] = (src[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
      } else if (bm.pixel_mode == FT_PIXEL_MODE_GRAY) {
        const int levels = bm.num_grays > 1 ? bm.num_grays - 1 : 255;
        for (int x = 0; x < w; ++x)
          d[x] = levels == 255 ? src[x] : uint8_t((src[x] * 255 + levels / 2) / levels);
      }
    }
  }

  const Glyph* Upright(unsigned char ch) {
    Glyph& g = mGlyphs[ch];
    if (g.loaded) return g.ok ? &g : nullptr;
    g.loaded = true;
    if (!RenderSlot(ch)) return nullptr;
    FT_GlyphSlot slot = mFace->glyph;
    g.left = slot->bitmap_left;
    g.top = mAscent - slot->bitmap_top;
    g.w = int(slot->bitmap.width);
    g.h = int(slot->bitmap.rows);
    g.advance = int((slot->advance.x + 32) >> 6);
    g.bits.resize(size_t(g.w) * g.h);
    CopyBitmap(slot->bitmap, g.bits.data());
    g.ok = true;
    return &g;
  }

  static void Accumulate(CoverageMask* mask, int ox, int oy, const uint8_t* bits, int w, int h) {
    for (int y = 0; y < h; ++y) {
      uint8_t* d = mask->coverage.data() + size_t(oy + y) * mask->width + ox;
      const uint8_t* s = bits + size_t(y) * w;
      for (int x = 0; x < w; ++x) {
        const int v = d[x] + s[x];
        d[x] = uint8_t(v > 255 ? 255 : v);
      }
    }
  }

  static void StartMask(CoverageMask* mask, int l, int t, int r, int b) {
    mask->left = l;
    mask->top = t;
    mask->width = std::max(0, r - l);
    mask->height = std::max(0, b - t);
    mask->coverage.assign(size_t(mask->width) * mask->height, 0);
  }

  bool RasterizeUpright(const char* text, int len, CoverageMask* mask) {
    int l = 0, t = 0, r = 0, b = 0;
    bool any = false;
    int64_t pen = 0;
    for (int i = 0; i < len; ++i) {
      const Glyph* g = Upright(static_cast<unsigned char>(text[i]));
      if (!g) continue;
      if (g->w > 0 && g->h > 0 && pen < (1 << 20)) {
        const int x0 = int(pen) + g->left, y0 = g->top;
        if (!any) {
          l = x0, t = y0, r = x0 + g->w, b = y0 + g->h;
          any = true;
        } else {
          l = std::min(l, x0), t = std::min(t, y0);
          r = std::max(r, x0 + g->w), b = std::max(b, y0 + g->h);
        }
      }
      pen += g->advance;
    }
    StartMask(mask, l, t, r, b);
    if (!any) return true;
    pen = 0;
    for (int i = 0; i < len; ++i) {
      const Glyph* g = Upright(static_cast<unsigned char>(text[i]));
      if (!g) continue;
      if (g->w > 0 && g->h > 0 && pen < (1 << 20))
        Accumulate(mask, int(pen) + g->left - l, g->top - t, g->bits.data(), g->w, g->h);
      pen += g->advance;
    }
    return true;
  }

  // Turned text is rare; its glyphs are rendered each time through FreeType's transform.
  bool RasterizeRotated(const char* text, int len, CoverageMask* mask) {
    FT_Matrix m;
    m.xx = FT_Fixed(std::lround(mCos * 65536.0));
    m.xy = FT_Fixed(std::lround(-mSin * 65536.0));
    m.yx = FT_Fixed(std::lround(mSin * 65536.0));
    m.yy = FT_Fixed(std::lround(mCos * 65536.0));
    // Baseline origin on screen: the cell's top-left moved "down" the turned cell by ascent.
    const double bx = mAscent * mSin, by = mAscent * mCos;
    mPlaced.clear();
    mScratch.clear();
    int l = 0, t = 0, r = 0, b = 0;
    bool any = false;
    int64_t penX = 0, penY = 0;  // 26.6, screen orientation (y down)
    for (int i = 0; i < len; ++i) {
      FT_Vector delta{FT_Pos(penX), FT_Pos(-penY)};
      FT_Set_Transform(mFace, &m, &delta);
      const bool ok = RenderSlot(static_cast<unsigned char>(text[i]));
      if (!ok) continue;
      FT_GlyphSlot slot = mFace->glyph;
      const int w = int(slot->bitmap.width), h = int(slot->bitmap.rows);
      if (w > 0 && h > 0) {
        const int x0 = int(std::lround(bx)) + slot->bitmap_left;
        const int y0 = int(std::lround(by)) - slot->bitmap_top;
        const size_t at = mScratch.size();
        mScratch.resize(at + size_t(w) * h);
        CopyBitmap(slot->bitmap, mScratch.data() + at);
        mPlaced.push_back(PlacedGlyph{x0, y0, w, h, at});
        if (!any) {
          l = x0, t = y0, r = x0 + w, b = y0 + h;
          any = true;
        } else {
          l = std::min(l, x0), t = std::min(t, y0), r = std::max(r, x0 + w),
          b = std::max(b, y0 + h);
        }
      }
      penX += slot->advance.x;
      penY -= slot->advance.y;
      if (std::llabs(penX) > (int64_t(1) << 26) || std::llabs(penY) > (int64_t(1) << 26)) break;
    }
    FT_Set_Transform(mFace, nullptr, nullptr);
    StartMask(mask, l, t, r, b);
    for (const PlacedGlyph& p : mPlaced)
      Accumulate(mask, p.x - l, p.y - t, mScratch.data() + p.at, p.w, p.h);
    return true;
  }

  struct PlacedGlyph {
    int x, y, w, h;
    size_t at;
  };

  std::shared_ptr<FtLibrary> mLib;
  FT_Face mFace = nullptr;
  bool mEmbolden = false, mOblique = false, mMono = false, mRotated = false;
  double mCos = 1.0, mSin = 0.0;
  int mAscent = 0, mHeight = 0;
  Glyph mGlyphs[256];
  std::vector<PlacedGlyph> mPlaced;
  std::vector<uint8_t> mScratch;
};

class FreeTypeBackend final : public FontBackend {
 public:
  std::unique_ptr<Font> CreateFont(const FontDesc& desc) override {
    if (desc.size == 0 || desc.size > 2000 || desc.size < -2000 || desc.face[0] == 0)
      return nullptr;
    std::shared_ptr<FtLibrary> lib = Library();
    if (!lib->lib) return nullptr;
    char face[sizeof desc.face + 1] = {0};
    std::memcpy(face, desc.face, sizeof desc.face);
    FontFile file;
    if (!FindFontFile(SubstituteFamily(face), desc.style & kFontBold, desc.style & kFontItalic,
                      &file))
      return nullptr;
    auto font = std::make_unique<FtFont>(desc, lib);
    if (!font->Open(file)) return nullptr;
    return font;
  }
};

}  // namespace

FontBackend& PlatformFontBackend() {
  static FreeTypeBackend backend;
  return backend;
}

}  // namespace raster
