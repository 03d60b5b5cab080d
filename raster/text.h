#pragma once
// Text: fonts from the platform's font system behind a small backend interface, a
// process-wide font cache, and measuring and drawing of 8-bit strings into bitmaps.
//
// Strings are 8-bit; each byte is one character, code point = byte value (Latin-1), the
// same widening the host boundary uses.
//
// The backend only turns a string into an 8-bit coverage mask; compositing, alignment and
// colour are done here, identically for every backend. On Linux the backend is FreeType with
// fontconfig ("Arial" resolves to Liberation Sans, "Verdana" to DejaVu Sans); a Windows
// backend implements the same interface with GDI.

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "raster/raster.h"

namespace raster {

enum class TextAlign : int { kLeft = 0, kCentre = 1, kRight = 2 };

enum FontStyleBits : int { kFontBold = 1, kFontItalic = 2 };

enum class FontQuality : int {
  kDefault = 0,  // anti-aliased
  kNonAntialiased = 1,
  kAntialiased = 2,
  kClearType = 3,  // grey anti-aliasing on backends without sub-pixel rendering
};

struct FontDesc {
  char face[32] = {0};  // zero-terminated face name, e.g. "Arial"
  // Positive: cell height in pixels (ascent + descent of the face's Windows metrics).
  // Negative: em height of -size pixels. Zero is refused.
  int size = 0;
  int orientation = 0;  // degrees, counter-clockwise (escapement)
  int style = 0;        // FontStyleBits
  int quality = 0;      // FontQuality

  // Copies at most 31 bytes of `faceName` (null -> "").
  void SetFace(const char* faceName);
};

struct TextExtent {
  int width = 0;   // advance of the whole string, pixels
  int height = 0;  // cell height (ascent + descent)
  int ascent = 0;  // cell top to baseline
};

// Anti-aliased ink of one string. `coverage` holds width * height bytes, row-major, 0..255.
// The mask's top-left pixel lies at (left, top) relative to the anchor, which is the top-left
// of the string's cell (for rotated text the cell turns about that anchor).
struct CoverageMask {
  std::vector<uint8_t> coverage;
  int width = 0, height = 0;
  int left = 0, top = 0;
};

class Font {
 public:
  virtual ~Font() = default;
  const FontDesc& Desc() const { return mDesc; }

  // Metrics of the first `len` bytes of `text` (unrotated).
  virtual bool Measure(const char* text, int len, TextExtent* out) = 0;
  // Rasterises the string into `mask` (its buffer is reused between calls).
  virtual bool Rasterize(const char* text, int len, CoverageMask* mask) = 0;

  // Serialises users of one font (its rasteriser keeps per-font scratch state).
  std::mutex& Lock() { return mLock; }

 protected:
  explicit Font(const FontDesc& desc) : mDesc(desc) {}
  FontDesc mDesc;

 private:
  std::mutex mLock;
};

class FontBackend {
 public:
  virtual ~FontBackend() = default;
  // Null when the face cannot be found or the size is unusable.
  virtual std::unique_ptr<Font> CreateFont(const FontDesc& desc) = 0;
};

// The backend of this platform (process lifetime, never null).
FontBackend& PlatformFontBackend();

// Process-wide cache keyed by (size, orientation, style, face); the first request for a key
// decides the quality. Fonts live until the process ends, so returned pointers stay valid.
// Lookup and insertion take the cache's own lock.
class FontCache {
 public:
  static FontCache& Instance();
  // Null when the font cannot be created (nothing is cached then).
  Font* Get(const FontDesc& desc);
  Font* Get(const char* face, int size, int style = 0, int orientation = 0, int quality = 0);
  size_t Count();

  // Tests and other platforms may swap the backend; fonts already cached are kept.
  void SetBackend(FontBackend* backend);

 private:
  FontCache() = default;
  struct Entry {
    FontDesc desc;
    std::unique_ptr<Font> font;
  };
  std::mutex mLock;
  std::vector<Entry> mEntries;
  FontBackend* mBackend = nullptr;
};

// Width and height of the string in the font; false for a null font or null text.
bool MeasureText(Font* font, const char* text, TextExtent* out);

// Draws `text` with its cell top at box.T; horizontally at box.L (left), centred in the box
// (box.L + floor((box.W - width) / 2)) or ending at box.R (right). No clipping to the box;
// clipped to the bitmap (and to `clip` when given). The ink is the straight colour's RGB at
// `opacity`. Null or empty text draws nothing and answers true; a null font answers false.
bool DrawText(Bitmap& dst, Font* font, const char* text, const Rect& box, uint32_t colour,
              float opacity, TextAlign align, const Rect* clip = nullptr);

}  // namespace raster
