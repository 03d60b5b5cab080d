#include "editor/graphics.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "editor/controls.h"
#include "editor/user_settings.h"
#include "framework/plug_base.h"
#include "raster/raster.h"
#include "raster/text.h"

namespace {

// Decoded images by id, shared by every editor of the process and kept until unload.
struct BitmapCache {
  std::mutex lock;
  std::vector<std::pair<int, std::unique_ptr<raster::Bitmap>>> entries;
  // Where each design-size bitmap came from, so that it can be redrawn at another scale:
  // columns [x, x + w) of resource `id` (all of it unless split), in `frames` vertical frames.
  struct Origin {
    const raster::Bitmap* bitmap;
    int id, x, w, frames;
  };
  std::vector<Origin> origins;
  // Images made for a scale: (design-size bitmap, scale in thousandths) -> bitmap.
  struct Scaled {
    const raster::Bitmap* base;
    int scaleKey;
    std::unique_ptr<raster::Bitmap> bitmap;
  };
  std::vector<Scaled> scaled;
};

// Destroyed when the module unloads, so a host that loads and unloads the module
// repeatedly does not accumulate decoded images.
BitmapCache& Cache() {
  static BitmapCache cache;
  return cache;
}

constexpr int kMinParamSlots = 64;

// The artwork drawn at k x sits at resource id + (k - 1) * kScaledSetIdStep, for k = 2, 3.
constexpr int kScaledSetIdStep = 1000;

int ScaleKey(double s) {
  return static_cast<int>(std::lround(s * 1000.0));
}

int RoundPx(double v) {
  return static_cast<int>(std::floor(v + 0.5));
}

// The zoom menu's entries; 0 follows the screen.
constexpr double kZoomChoices[] = {0.0, 1.0, 1.25, 1.5, 2.0, 2.5, 3.0};
constexpr const char* kZoomNames[] = {"Follow the screen", "100 %", "125 %", "150 %",
                                      "200 %",             "250 %", "300 %"};

raster::Rect ToRect(const IBox& b) {
  return raster::Rect(b.L, b.T, b.R, b.B);
}

float BlendWeight(const IBlendSpec* blend) {
  return blend ? blend->weight : 1.0f;
}

raster::BlendMode BlendModeOf(const IBlendSpec* blend) {
  if (!blend) return raster::BlendMode::kSourceOver;
  switch (blend->method) {
    case kBlendClobber:
      return raster::BlendMode::kCopy;
    case kBlendAdd:
      return raster::BlendMode::kAdd;
    case kBlendColorDodge:
      return raster::BlendMode::kDodge;
    default:
      return raster::BlendMode::kSourceOver;
  }
}

uint32_t Rgb(const IRgba& c) {
  return c.Packed();
}

}  // namespace

ITextStyle::ITextStyle(const char* faceName, int textSize, const IRgba& c, int textStyle,
                       int alignment, int orient, int textQuality)
    : size(textSize),
      color(c),
      style(textStyle),
      align(alignment),
      orientation(orient),
      quality(textQuality) {
  CopyText(face, faceName ? faceName : "", static_cast<int>(sizeof(face)));
}

IGraphics::IGraphics(IPlugBase* plugin, int width, int height, int fps)
    : mPopupText("Arial", 15, IRgba(200, 255, 255, 255)),
      mPlugin(plugin),
      mWidth(width),
      mHeight(height),
      mFPS(fps > 0 ? fps : 24),
      mPixelW(width),
      mPixelH(height) {
  mControls.reserve(4096 / sizeof(void*));
  mNumSlots = std::max(kMinParamSlots, plugin ? plugin->ParamCount() : 0);
  mSlots.reset(new ParamSlot[static_cast<size_t>(mNumSlots)]);
}

IGraphics::~IGraphics() {
  // Reverse list order, as the controls were stacked.
  while (!mControls.empty()) mControls.pop_back();
}

bool IGraphics::AskForFile(std::string* out, int, const char*, const char*) {
  if (out) out->clear();
  return false;
}

bool IGraphics::AskForColour(IRgba*, const char*) {
  return false;
}

// ---- bitmap cache ----

raster::Bitmap* IGraphics::CacheFind(int id) {
  BitmapCache& c = Cache();
  std::lock_guard<std::mutex> lock(c.lock);
  for (auto& e : c.entries) {
    if (e.first == id) return e.second.get();
  }
  return nullptr;
}

void IGraphics::CacheAdd(int id, raster::Bitmap* bitmap) {
  BitmapCache& c = Cache();
  std::lock_guard<std::mutex> lock(c.lock);
  c.entries.emplace_back(id, std::unique_ptr<raster::Bitmap>(bitmap));
}

// ---- set-up ----

int IGraphics::AddControl(IControl* control) {
  if (!control) return -1;
  control->Attach(this);
  mControls.emplace_back(control);
  return static_cast<int>(mControls.size()) - 1;
}

bool IGraphics::SetBackground(int resourceId, const char* name) {
  IImage img = FetchImage(resourceId, name, 1);
  if (!img.Valid()) return false;
  auto* bg = new IBitmapControl(mPlugin, IBox(0, 0, img.W, img.H), -1, img,
                                IBlendSpec(kBlendClobber, 1.0f));
  bg->Attach(this);
  mControls.emplace(mControls.begin(), bg);
  // Indices moved up by one.
  if (mCapturedControl >= 0) ++mCapturedControl;
  if (mHoverControl >= 0) ++mHoverControl;
  return true;
}

IImage IGraphics::FetchImage(int resourceId, const char* name, int frames) {
  IImage img;
  raster::Bitmap* bmp = nullptr;
  {
    // Decoding under the cache lock keeps two editors from decoding the same image twice.
    BitmapCache& c = Cache();
    std::lock_guard<std::mutex> lock(c.lock);
    for (auto& e : c.entries) {
      if (e.first == resourceId) {
        bmp = e.second.get();
        break;
      }
    }
    if (!bmp) {
      bmp = DecodeImageResource(resourceId, name);
      if (bmp && bmp->Empty()) {
        delete bmp;
        bmp = nullptr;
      }
      if (bmp) c.entries.emplace_back(resourceId, std::unique_ptr<raster::Bitmap>(bmp));
    }
  }
  if (!bmp) return img;
  img.bitmap = bmp;
  img.W = bmp->Width();
  img.H = bmp->Height();
  img.N = std::max(1, frames);
  img.linkedId = 0;
  {
    BitmapCache& c = Cache();
    std::lock_guard<std::mutex> lock(c.lock);
    bool known = false;
    for (const auto& o : c.origins) known = known || o.bitmap == bmp;
    if (!known) c.origins.push_back({bmp, resourceId, 0, bmp->Width(), img.N});
  }
  return img;
}

IImage IGraphics::CachedImage(int id) {
  IImage img;
  raster::Bitmap* bmp = CacheFind(id);
  if (!bmp) return img;
  img.bitmap = bmp;
  img.W = bmp->Width();
  img.H = bmp->Height();
  img.N = 1;
  return img;
}

IImage IGraphics::SplitImage(IImage* image, double fraction) {
  IImage left;
  if (!image || !image->Valid() || !(fraction > 0.0) || !(fraction < 1.0)) return left;
  const int leftW = static_cast<int>(image->W * fraction);
  const int rightW = static_cast<int>((1.0 - fraction) * image->W);
  if (leftW <= 0 || rightW <= 0) return left;
  auto* l = new raster::Bitmap(leftW, image->H);
  auto* r = new raster::Bitmap(rightW, image->H);
  raster::Blit(*l, 0, 0, *image->bitmap, 0, 0, leftW, image->H, 1.0f, raster::BlendMode::kCopy);
  raster::Blit(*r, 0, 0, *image->bitmap, leftW, 0, rightW, image->H, 1.0f,
               raster::BlendMode::kCopy);
  // The cache is shared by every editor in the process, so split ids must be unique across
  // editors, not just within one.
  static std::atomic<int> nextSplitId{-1};
  const int id = nextSplitId.fetch_sub(1) - 1;
  CacheAdd(id, l);
  // The right half lives in the cache too, under an id no lookup uses, so that it outlives
  // the controls that draw it.
  CacheAdd(0, r);
  {
    BitmapCache& c = Cache();
    std::lock_guard<std::mutex> lock(c.lock);
    for (size_t i = 0; i < c.origins.size(); ++i) {
      const BitmapCache::Origin o = c.origins[i];
      if (o.bitmap != image->bitmap) continue;
      c.origins.push_back({l, o.id, o.x, leftW, 1});
      c.origins.push_back({r, o.id, o.x + leftW, rightW, 1});
      break;
    }
  }
  left.bitmap = l;
  left.W = leftW;
  left.H = image->H;
  left.N = 1;
  image->bitmap = r;
  image->W = rightW;
  image->N = 1;
  image->linkedId = id;
  return left;
}

bool IGraphics::CreateDrawSurfaces() {
  mDrawBitmap.reset(new raster::Bitmap());
  mScratchBitmap.reset(new raster::Bitmap());
  mDrawBitmap->Create(std::max(1, mPixelW), std::max(1, mPixelH));
  mScratchBitmap->Create(std::max(1, mPixelW), std::max(1, mPixelH));
  TakePostedValues();
  return !mDrawBitmap->Empty();
}

// ---- scale ----

IPixelSize IGraphics::SetScaleFactor(double factor) {
  if (std::isfinite(factor) && factor > 0.0) {
    mScreenScale = std::min(kMaxScale, std::max(kMinScale, factor));
    mHostGaveScale = true;
  }
  return ApplyScale();
}

IPixelSize IGraphics::UsePlatformScale(void* parentWindow) {
  if (mHostGaveScale) return PixelSize();
  const double f = PlatformScaleFactor(parentWindow);
  if (std::isfinite(f) && f > 0.0) mScreenScale = std::min(kMaxScale, std::max(kMinScale, f));
  return ApplyScale();
}

void IGraphics::PlatformScaleChanged(double factor) {
  if (mHostGaveScale || !std::isfinite(factor) || !(factor > 0.0)) return;
  mScreenScale = std::min(kMaxScale, std::max(kMinScale, factor));
  const IPixelSize before = PixelSize();
  const IPixelSize now = ApplyScale();
  if (now != before && mPlugin) mPlugin->ResizeEditor(now.W, now.H);
}

IPixelSize IGraphics::SetUserZoom(double zoom) {
  if (!std::isfinite(zoom) || zoom < 0.0) return PixelSize();
  mUserZoom = zoom == 0.0 ? 0.0 : std::min(kMaxScale, std::max(kMinScale, zoom));
  const IPixelSize before = PixelSize();
  const IPixelSize now = ApplyScale();
  if (now != before && mPlugin) mPlugin->ResizeEditor(now.W, now.H);
  return now;
}

void IGraphics::UseSettingsFile(const std::string& path) {
  mSettingsFile = path;
  if (path.empty()) return;
  mUserZoom = ReadZoomSetting(path.c_str());
  ApplyScale();
}

IPixelSize IGraphics::ApplyScale() {
  const double s = mUserZoom > 0.0 ? mUserZoom : mScreenScale;
  if (s == mScale && mPixelW == RoundPx(mWidth * s)) return PixelSize();
  mScale = s;
  mPixelW = RoundPx(mWidth * s);
  mPixelH = RoundPx(mHeight * s);
  mScaledImages.clear();
  // Anything under the mouse is measured anew in the new units.
  mLastX = mLastY = -1;
  if (mDrawBitmap) {
    CreateDrawSurfaces();
    ScaleChanged();
    for (auto& c : mControls) c->MarkDirty(false);
  }
  return PixelSize();
}

IBox IGraphics::ToPixels(const IBox& b) const {
  if (mScale == 1.0 || b.Empty()) return b;
  return IBox(RoundPx(b.L * mScale), RoundPx(b.T * mScale), RoundPx(b.R * mScale),
              RoundPx(b.B * mScale));
}

IBox IGraphics::FromPixels(const IBox& b) const {
  if (mScale == 1.0 || b.Empty()) return b;
  return IBox(static_cast<int>(std::floor(b.L / mScale)), static_cast<int>(std::floor(b.T / mScale)),
              static_cast<int>(std::ceil(b.R / mScale)), static_cast<int>(std::ceil(b.B / mScale)));
}

int IGraphics::PixelToUnit(int v) const {
  if (mScale == 1.0) return v;
  return static_cast<int>(std::floor(v / mScale));
}

// A point in design units (integers are pixel centres) -> the centre of the same spot in
// device pixels.
float IGraphics::PointToPixel(float v) const {
  if (mScale == 1.0) return v;
  return static_cast<float>((v + 0.5) * mScale - 0.5);
}

float IGraphics::LengthToPixels(float v) const {
  if (mScale == 1.0) return v;
  return static_cast<float>(v * mScale);
}

// Parallel one-pixel strokes that make a design-unit line as wide as the scale.
int IGraphics::Strokes() const {
  return std::max(1, RoundPx(mScale));
}

const raster::Bitmap* IGraphics::Resolve(const IImage& image) {
  if (mScale == 1.0) return image.bitmap;
  for (const auto& e : mScaledImages) {
    if (e.first == image.bitmap) return e.second;
  }
  const int key = ScaleKey(mScale);
  BitmapCache& c = Cache();
  const raster::Bitmap* made = nullptr;
  {
    // Made once per image and scale, under the cache lock, for every editor of the process.
    std::lock_guard<std::mutex> lock(c.lock);
    for (const auto& e : c.scaled) {
      if (e.base == image.bitmap && e.scaleKey == key) made = e.bitmap.get();
    }
    if (!made) {
      const raster::Bitmap& base = *image.bitmap;
      BitmapCache::Origin origin{&base, 0, 0, base.Width(), 1};
      for (const auto& o : c.origins) {
        if (o.bitmap == &base) origin = o;
      }
      // The nearest set drawn at or above this scale, checked against the design size (a
      // set that does not match is not used); the design-size image itself as a last resort.
      const raster::Bitmap* source = &base;
      int k = 1, x = 0;
      for (int set = mScale <= 2.0 ? 2 : 3; set <= 3 && origin.id > 0 && source == &base; ++set) {
        const int id = origin.id + (set - 1) * kScaledSetIdStep;
        raster::Bitmap* hi = nullptr;
        raster::Bitmap* full = nullptr;
        for (auto& e : c.entries) {
          if (e.first == id) hi = e.second.get();
          if (e.first == origin.id) full = e.second.get();
        }
        if (!hi) {
          hi = DecodeImageResource(id, nullptr);
          if (hi) c.entries.emplace_back(id, std::unique_ptr<raster::Bitmap>(hi));
        }
        if (hi && full && hi->Width() == full->Width() * set &&
            hi->Height() == full->Height() * set) {
          source = hi;
          k = set;
          x = origin.x * set;
        }
      }
      const int w = RoundPx(base.Width() * mScale), h = RoundPx(base.Height() * mScale);
      auto* out = new raster::Bitmap(std::max(1, w), std::max(1, h));
      // Frames are resampled one by one so that none bleeds into its neighbour.
      const int frames = base.Height() % origin.frames == 0 ? origin.frames : 1;
      const int fh = base.Height() / frames;
      for (int f = 0; f < frames; ++f) {
        const int top = RoundPx(f * fh * mScale), bottom = RoundPx((f + 1) * fh * mScale);
        raster::Resample(*out, raster::Rect(0, top, out->Width(), std::min(bottom, out->Height())),
                         *source, raster::Rect(x, f * fh * k, x + base.Width() * k, (f + 1) * fh * k));
      }
      c.scaled.push_back({&base, key, std::unique_ptr<raster::Bitmap>(out)});
      made = out;
    }
  }
  mScaledImages.emplace_back(image.bitmap, made);
  return made;
}

void IGraphics::SetEditorSize(int width, int height) {
  mWidth = width;
  mHeight = height;
  mPixelW = RoundPx(width * mScale);
  mPixelH = RoundPx(height * mScale);
  mCapturedControl = -1;
  mLastX = mLastY = -1;
  mHoverControl = -1;
  mOpenPopup = nullptr;
  while (!mControls.empty()) mControls.pop_back();
  if (mPlugin) mPlugin->ResizeEditor(width, height);
}

IControl* IGraphics::GetControl(int idx) const {
  if (idx < 0 || idx >= NControls()) return nullptr;
  return mControls[static_cast<size_t>(idx)].get();
}

int IGraphics::IndexOf(const IControl* control) const {
  for (int i = 0; i < NControls(); ++i) {
    if (mControls[static_cast<size_t>(i)].get() == control) return i;
  }
  return -1;
}

// ---- drawing ----

bool IGraphics::BlitImage(const IImage& image, const IBox& dest, int srcX, int srcY,
                          const IBlendSpec* blend) {
  if (!image.Valid() || !mDrawBitmap) return false;
  const raster::Bitmap* bmp = Resolve(image);
  if (!bmp) return false;
  const IBox pd = ToPixels(dest);
  IBox d = mClipToDirty ? pd.Intersect(ToPixels(mDirtyArea)) : pd;
  if (d.Empty() || d.W() <= 0 || d.H() <= 0) return true;
  const int sx = (mScale == 1.0 ? srcX : RoundPx(srcX * mScale)) + (d.L - pd.L);
  const int sy = (mScale == 1.0 ? srcY : RoundPx(srcY * mScale)) + (d.T - pd.T);
  raster::Blit(*mDrawBitmap, d.L, d.T, *bmp, sx, sy, d.W(), d.H(), BlendWeight(blend),
               BlendModeOf(blend));
  return true;
}

bool IGraphics::BlitImageFrame(const IImage& image, const IBox& dest, int frame,
                               const IBlendSpec* blend, bool vertical) {
  int sx = 0, sy = 0;
  if (image.N >= 2 && frame >= 2) {
    if (vertical) {
      sy = static_cast<int>(static_cast<double>(image.H) * (frame - 1) / image.N + 0.5);
    } else {
      sx = static_cast<int>(static_cast<double>(image.W) * (frame - 1) / image.N + 0.5);
    }
  }
  return BlitImage(image, dest, sx, sy, blend);
}

bool IGraphics::BlitRotatedImage(const IImage& image, int cx, int cy, double angle,
                                 const IBlendSpec* blend, int srcX, int srcY) {
  if (!image.Valid() || !mDrawBitmap || !std::isfinite(angle)) return false;
  const raster::Bitmap* bmp = Resolve(image);
  if (!bmp) return false;
  int left = cx - image.W / 2 - srcX;
  int top = cy - image.H / 2 - srcY;
  if (mScale != 1.0) {
    // Same centre as at 1x: the design-unit top-left plus half the design size, scaled.
    left = RoundPx((left + image.W / 2.0) * mScale - bmp->Width() / 2.0);
    top = RoundPx((top + image.H / 2.0) * mScale - bmp->Height() / 2.0);
  }
  raster::BlitRotated(*mDrawBitmap, *bmp, left, top, angle, BlendWeight(blend),
                      BlendModeOf(blend));
  return true;
}

bool IGraphics::RenderText(ITextStyle* style, const char* text, const IBox& box) {
  if (!text || !text[0]) return true;
  if (!style || !mDrawBitmap) return false;
  // Text is set anew at the scaled size, never enlarged.
  const int size = mScale == 1.0 ? style->size : RoundPx(style->size * mScale);
  if (!style->font || style->font->Desc().size != size) {
    style->font = raster::FontCache::Instance().Get(style->face, size, style->style & 3,
                                                    style->orientation, style->quality);
    if (!style->font) return false;
  }
  const float opacity = style->color.A < 255 ? style->color.Alpha() : 1.0f;
  raster::TextAlign align = raster::TextAlign::kLeft;
  if (style->align == kAlignCenter) align = raster::TextAlign::kCentre;
  if (style->align == kAlignFar) align = raster::TextAlign::kRight;
  return raster::DrawText(*mDrawBitmap, style->font, text, ToRect(ToPixels(box)),
                          Rgb(style->color), opacity, align);
}

bool IGraphics::FillBox(const IRgba& colour, const IBox& box, const IBlendSpec* blend) {
  if (!mDrawBitmap) return false;
  raster::FillRect(*mDrawBitmap, ToRect(ToPixels(box)), Rgb(colour), BlendWeight(blend));
  return true;
}

bool IGraphics::StrokeLine(const IRgba& colour, float x1, float y1, float x2, float y2,
                           const IBlendSpec* blend, bool antialias) {
  (void)blend;
  if (!mDrawBitmap) return false;
  if (mScale == 1.0) {
    raster::DrawLineF(*mDrawBitmap, x1, y1, x2, y2, Rgb(colour), colour.Alpha(), antialias);
    return true;
  }
  // One design unit wide: parallel strokes side by side across the line.
  const float px1 = PointToPixel(x1), py1 = PointToPixel(y1);
  const float px2 = PointToPixel(x2), py2 = PointToPixel(y2);
  const float len = std::hypot(px2 - px1, py2 - py1);
  const float nx = len > 0.0f ? -(py2 - py1) / len : 0.0f;
  const float ny = len > 0.0f ? (px2 - px1) / len : 0.0f;
  const int n = Strokes();
  for (int i = 0; i < n; ++i) {
    const float o = static_cast<float>(i) - (n - 1) / 2.0f;
    raster::DrawLineF(*mDrawBitmap, px1 + o * nx, py1 + o * ny, px2 + o * nx, py2 + o * ny,
                      Rgb(colour), colour.Alpha(), antialias);
  }
  return true;
}

bool IGraphics::StrokeThickLine(const IRgba& colour, float x1, float y1, float x2, float y2,
                                float thickness, const IBlendSpec* blend, bool antialias) {
  if (!mDrawBitmap) return false;
  if (!std::isfinite(thickness)) return true;
  if (mScale != 1.0) {
    x1 = PointToPixel(x1);
    y1 = PointToPixel(y1);
    x2 = PointToPixel(x2);
    y2 = PointToPixel(y2);
    thickness = LengthToPixels(thickness);
  }
  const int n = static_cast<int>(std::floor(thickness));
  if (n <= 0) return true;
  const float len = 2.0f * std::hypot(x2 - x1, y2 - y1);
  if (!(len > 0.0f)) return true;
  const float w = BlendWeight(blend);
  for (int i = 0; i < n; ++i) {
    const float s = thickness - static_cast<float>(n) + static_cast<float>(i);
    const float ox = s * (y2 - y1) / len;
    const float oy = s * (x2 - x1) / len;
    raster::DrawLineF(*mDrawBitmap, x1 + ox, y1 - oy, x2 + ox, y2 - oy, Rgb(colour), w, antialias);
    raster::DrawLineF(*mDrawBitmap, x1 - ox, y1 + oy, x2 - ox, y2 + oy, Rgb(colour), w, antialias);
  }
  return true;
}

bool IGraphics::StrokeCircle(const IRgba& colour, float cx, float cy, float radius,
                             const IBlendSpec* blend, bool antialias) {
  (void)blend;
  if (!mDrawBitmap) return false;
  if (mScale == 1.0) {
    raster::DrawCircle(*mDrawBitmap, cx, cy, radius, Rgb(colour), colour.Alpha(), antialias);
    return true;
  }
  const int n = Strokes();
  for (int i = 0; i < n; ++i) {
    const float r = LengthToPixels(radius) + static_cast<float>(i) - (n - 1) / 2.0f;
    raster::DrawCircle(*mDrawBitmap, PointToPixel(cx), PointToPixel(cy), r, Rgb(colour),
                       colour.Alpha(), antialias);
  }
  return true;
}

bool IGraphics::FillDisc(const IRgba& colour, float cx, float cy, float radius,
                         const IBlendSpec* blend, bool antialias) {
  if (!mDrawBitmap) return false;
  if (mScale != 1.0) {
    // The disc covers radius + 0.5 design units; keep that edge where it was.
    radius = static_cast<float>((radius + 0.5) * mScale - 0.5);
    cx = PointToPixel(cx);
    cy = PointToPixel(cy);
  }
  raster::FillDisc(*mDrawBitmap, cx, cy, radius, Rgb(colour), BlendWeight(blend), antialias);
  return true;
}

bool IGraphics::StrokeRoundBox(const IRgba& colour, const IBox& box, float radius,
                               const IBlendSpec* blend, bool antialias) {
  (void)blend;
  if (!mDrawBitmap) return false;
  const IBox outer = ToPixels(box);
  const int n = mScale == 1.0 ? 1 : Strokes();
  for (int i = 0; i < n; ++i) {
    const IBox b(outer.L + i, outer.T + i, outer.R - i, outer.B - i);
    StrokeRoundOutline(colour, b, LengthToPixels(radius) - static_cast<float>(i), antialias);
  }
  return true;
}

void IGraphics::StrokeRoundOutline(const IRgba& colour, const IBox& b, float radius,
                                   bool antialias) {
  const float r = radius;
  const float L = static_cast<float>(b.L), T = static_cast<float>(b.T);
  const float R = static_cast<float>(b.R), B = static_cast<float>(b.B);
  const uint32_t c = Rgb(colour);
  const float a = colour.Alpha();
  raster::Bitmap& d = *mDrawBitmap;
  raster::DrawLineF(d, L + r + 1, T, R - r - 2, T, c, a, antialias);
  raster::DrawLineF(d, R - 1, T + r + 1, R - 1, B - r - 2, c, a, antialias);
  raster::DrawLineF(d, L + r + 1, B - 1, R - r - 2, B - 1, c, a, antialias);
  raster::DrawLineF(d, L, T + r + 1, L, B - r - 2, c, a, antialias);
  const float pi = 3.14159265f;
  raster::DrawArc(d, L + r, T + r, r, -pi / 2, 0, c, a, antialias);
  raster::DrawArc(d, R - 1 - r, T + r, r, 0, pi / 2, c, a, antialias);
  raster::DrawArc(d, R - 1 - r, B - 1 - r, r, pi / 2, pi, c, a, antialias);
  raster::DrawArc(d, L + r, B - 1 - r, r, pi, 3 * pi / 2, c, a, antialias);
}

bool IGraphics::FillRoundBox(const IRgba& colour, const IBox& box, float radius, int corners,
                             const IBlendSpec* blend, bool antialias) {
  if (!mDrawBitmap) return false;
  const IBox b = ToPixels(box);
  radius = LengthToPixels(radius);
  raster::Bitmap& d = *mDrawBitmap;
  const uint32_t c = Rgb(colour);
  const float w = BlendWeight(blend);
  const int r = std::max(0, std::min(static_cast<int>(radius), std::min(b.W(), b.H()) / 2));
  const bool top = corners == 4 || corners == 2;
  const bool bottom = corners == 4 || corners == -2;
  const int t0 = top ? b.T + r : b.T;
  const int b0 = bottom ? b.B - r : b.B;
  // Centre band over the full width, then the strips between the rounded corners.
  raster::FillRect(d, raster::Rect(b.L, t0, b.R, b0), c, w);
  if (top) raster::FillRect(d, raster::Rect(b.L + r, b.T, b.R - r, t0), c, w);
  if (bottom) raster::FillRect(d, raster::Rect(b.L + r, b0, b.R - r, b.B), c, w);
  if (r <= 0) return true;
  const float pi = 3.14159265f;
  const float a = colour.Alpha();
  const float rf = static_cast<float>(r);
  const float L = static_cast<float>(b.L), T = static_cast<float>(b.T);
  const float R = static_cast<float>(b.R), B = static_cast<float>(b.B);
  if (top) {
    raster::FillSector(d, L + rf, T + rf, rf, -pi / 2, 0, c, a, antialias);
    raster::FillSector(d, R - rf, T + rf, rf, 0, pi / 2, c, a, antialias);
  }
  if (bottom) {
    raster::FillSector(d, R - rf, B - rf, rf, pi / 2, pi, c, a, antialias);
    raster::FillSector(d, L + rf, B - rf, rf, pi, 3 * pi / 2, c, a, antialias);
  }
  return true;
}

// ---- parameter binding ----
//
// PushParamToControls runs on the audio thread (processing call) as well as on the user-
// interface thread. It only posts the value into a per-parameter mailbox of atomics; the
// user-interface thread applies the latest posted value on its next tick or event. The
// control list itself is only ever touched by the user-interface thread.

void IGraphics::PushParamToControls(int paramIdx, double value, bool isNormalized) {
  if (paramIdx < 0 || paramIdx >= mNumSlots || !mPlugin) return;
  if (!isNormalized) {
    const PlugParam* p = mPlugin->ParamAt(paramIdx);
    if (!p) return;
    value = p->NormalizeValue(value);
  }
  if (std::isnan(value)) return;
  ParamSlot& s = mSlots[static_cast<size_t>(paramIdx)];
  s.mirror.store(value, std::memory_order_relaxed);
  s.posted.store(value, std::memory_order_relaxed);
  s.pending.store(true, std::memory_order_release);
}

void IGraphics::TakePostedValues() {
  for (int i = 0; i < mNumSlots; ++i) {
    ParamSlot& s = mSlots[static_cast<size_t>(i)];
    if (!s.pending.load(std::memory_order_acquire)) continue;
    s.pending.store(false, std::memory_order_relaxed);
    // A value posted after the flag was cleared is picked up now or on the next pass.
    const double v = s.posted.load(std::memory_order_acquire);
    for (auto& c : mControls) {
      if (c->ParamIdx() == i) c->TakeHostValue(v);
    }
  }
}

double IGraphics::ParamNormalized(int paramIdx) const {
  if (paramIdx < 0 || paramIdx >= mNumSlots) return 0.0;
  return mSlots[static_cast<size_t>(paramIdx)].mirror.load(std::memory_order_relaxed);
}

void IGraphics::MirrorParam(int paramIdx, double normalized) {
  if (paramIdx < 0 || paramIdx >= mNumSlots || std::isnan(normalized)) return;
  mSlots[static_cast<size_t>(paramIdx)].mirror.store(normalized, std::memory_order_relaxed);
}

void IGraphics::PushValueToControl(int controlIdx, double normalized) {
  IControl* c = GetControl(controlIdx);
  if (c) c->TakeHostValue(normalized);
}

void IGraphics::ApplyUserValueToControls(int paramIdx, double normalized) {
  for (auto& c : mControls) {
    if (c->ParamIdx() == paramIdx) c->TakeUserValue(normalized);
  }
}

void IGraphics::DirtyBackground() {
  if (!mControls.empty()) mControls.front()->MarkDirty(false);
}

// ---- events ----

void IGraphics::BindingBegin(const IControl* c) {
  if (c && c->ParamIdx() >= 0 && mPlugin) mPlugin->BeginParamEdit(c->ParamIdx());
}

void IGraphics::BindingEnd(const IControl* c) {
  if (c && c->ParamIdx() >= 0 && mPlugin) mPlugin->EndParamEdit(c->ParamIdx());
}

int IGraphics::ControlAtPoint(int x, int y) const {
  if (mCapturedControl >= 0) return mCapturedControl;
  for (int i = NControls() - 1; i >= 0; --i) {
    const IControl* c = mControls[static_cast<size_t>(i)].get();
    if (!c->IsHidden() && !c->IsDimmed() && c->HitTest(x, y)) return i;
  }
  return -1;
}

void IGraphics::MouseDown(int x, int y, const IInputMods& mods) {
  x = PixelToUnit(x);
  y = PixelToUnit(y);
  TakePostedValues();
  mCapturedControl = -1;
  mLastX = mLastY = -1;
  int idx = ControlAtPoint(x, y);
  if (idx < 0) return;
  IControl* c = GetControl(idx);
  if (idx == 0 && mods.R && !PopupPending() && c->ParamIdx() < 0) {
    // A right click on the background opens the zoom menu.
    OpenZoomMenu(x, y);
    return;
  }
  mCapturedControl = idx;
  mLastX = x;
  mLastY = y;
  mRightButtonCaptured = mods.R;
  if (mOpenPopup) {
    const int popupIdx = IndexOf(mOpenPopup);
    if (popupIdx >= 0 && popupIdx != idx && mOpenPopup->Owner() != c) {
      DismissPopup(false);
      // The list was removed, so indices above it moved down.
      if (popupIdx < idx) mCapturedControl = --idx;
    }
  }
  BindingBegin(c);
  c->MouseDown(x, y, mods);
}

void IGraphics::MouseUp(int x, int y, const IInputMods& mods) {
  x = PixelToUnit(x);
  y = PixelToUnit(y);
  const int idx = ControlAtPoint(x, y);
  mCapturedControl = -1;
  mLastX = mLastY = -1;
  mRightButtonCaptured = false;
  IControl* c = GetControl(idx);
  if (!c) return;
  c->MouseUp(x, y, mods);
  BindingEnd(c);
}

void IGraphics::MouseDrag(int x, int y, const IInputMods& mods) {
  x = PixelToUnit(x);
  y = PixelToUnit(y);
  IControl* c = GetControl(mCapturedControl);
  if (!c) return;
  if (x == mLastX && y == mLastY) return;
  const int dx = x - mLastX, dy = y - mLastY;
  mLastX = x;
  mLastY = y;
  c->MouseDrag(x, y, dx, dy, mods);
}

bool IGraphics::MouseDoubleClick(int x, int y, const IInputMods& mods) {
  x = PixelToUnit(x);
  y = PixelToUnit(y);
  TakePostedValues();
  mCapturedControl = -1;
  mLastX = mLastY = -1;
  const int idx = ControlAtPoint(x, y);
  IControl* c = GetControl(idx);
  if (!c) return false;
  BindingBegin(c);
  if (c->DoubleAsSingle()) {
    mCapturedControl = idx;
    mLastX = x;
    mLastY = y;
    c->MouseDown(x, y, mods);
    return true;
  }
  c->MouseDoubleClick(x, y, mods);
  return false;
}

void IGraphics::MouseWheel(int x, int y, const IInputMods& mods, int detents) {
  x = PixelToUnit(x);
  y = PixelToUnit(y);
  TakePostedValues();
  IControl* c = GetControl(ControlAtPoint(x, y));
  if (!c) return;
  const int p = c->ParamIdx();
  if (p >= 0 && mPlugin) mPlugin->BeginParamEditDeferred(p);
  c->MouseWheel(x, y, mods, detents);
  if (p >= 0 && mPlugin) mPlugin->DeferParamEditEnd(p);
}

bool IGraphics::MouseOver(int x, int y, const IInputMods& mods) {
  x = PixelToUnit(x);
  y = PixelToUnit(y);
  if (!mTrackMouseOver) return false;
  const int idx = ControlAtPoint(x, y);
  IControl* c = GetControl(idx);
  if (!c) return true;
  mLastX = x;
  mLastY = y;
  c->MouseOver(x, y, mods);
  if (c->ParamIdx() >= 0 && mPlugin) mPlugin->ShowParamStatus(c->ParamIdx());
  if (mHoverControl >= 0 && mHoverControl != idx) {
    IControl* old = GetControl(mHoverControl);
    if (old) old->MouseOut();
  }
  mHoverControl = idx;
  return true;
}

void IGraphics::MouseOut() {
  for (auto& c : mControls) c->MouseOut();
  mHoverControl = -1;
}

void IGraphics::KeyDown(int x, int y, int key) {
  x = PixelToUnit(x);
  y = PixelToUnit(y);
  IControl* c = GetControl(ControlAtPoint(x, y));
  if (c) c->KeyDown(x, y, key);
}

// ---- redraw ----

bool IGraphics::CollectDirtyArea(IBox* r) {
  if (mTickHook) mTickHook();
  TakePostedValues();
  IBox area;
  bool any = false;
  for (auto& c : mControls) {
    if (c->NeedsRedraw()) {
      area = area.Union(c->Rect());
      any = true;
    }
  }
  if (r) *r = ToPixels(area);
  return any;
}

void IGraphics::RedrawArea(const IBox& r) {
  if (mControls.empty()) return;
  mDirtyArea = FromPixels(r);
  if (mDrawBitmap) {
    for (auto& c : mControls) {
      if (!c->IsHidden() && c->Rect().Overlaps(mDirtyArea)) c->Paint(this);
    }
  }
  for (auto& c : mControls) c->MarkClean();
  PresentFrame(r);
}

// ---- prompts ----

void IGraphics::ApplyPromptText(IControl* control, PlugParam* param, const char* text) {
  if (!control) return;
  if (param) {
    if (!text) return;  // the prompt was dismissed without an answer
    double real = param->ParseUserText(text);
    // Out-of-range and infinite entries land on the nearer end; NaN keeps the value.
    if (std::isnan(real)) real = param->Value();
    real = std::min(param->Max(), std::max(param->Min(), real));
    if (control->ParamIdx() >= 0) {
      double n = param->NormalizeValue(real);
      if (std::isnan(n)) n = control->Value();
      BindingBegin(control);
      control->TakeUserValue(n);
      BindingEnd(control);
    }
    return;
  }
  auto* text_control = dynamic_cast<IEditableTextControl*>(control);
  if (text_control) text_control->TakeHostText(text ? text : "");
}

void IGraphics::ClearOpenPopup() {
  if (mOpenPopup) DismissPopup(true);
  mOpenPopup = nullptr;
  mPopupClosing = false;
}

void IGraphics::DismissPopup(bool clear) {
  if (!mOpenPopup) return;
  const int idx = IndexOf(mOpenPopup);
  if (idx >= 0) {
    if (mCapturedControl == idx)
      mCapturedControl = -1;
    else if (mCapturedControl > idx)
      --mCapturedControl;
    if (mHoverControl == idx)
      mHoverControl = -1;
    else if (mHoverControl > idx)
      --mHoverControl;
    mControls.erase(mControls.begin() + idx);
  }
  // Without `clear` the list still counts as open until the clicked control's button-down
  // clears it (that click then only closes); a flag stands in for the destroyed list so no
  // pointer to it survives.
  mOpenPopup = nullptr;
  mPopupClosing = !clear;
  DirtyBackground();
}

// ---- zoom menu ----

void IGraphics::OpenZoomMenu(int x, int y) {
  auto* popup = new PromptPopup(mPlugin, this, x, y, 70, 1);
  popup->SetHidden(true);
  AddControl(popup);
  SetOpenPopup(popup);
  const int n = static_cast<int>(sizeof(kZoomChoices) / sizeof(kZoomChoices[0]));
  int current = 0;
  for (int i = 0; i < n; ++i) {
    popup->AddEntry(kZoomNames[i]);
    if (kZoomChoices[i] == mUserZoom) current = i;
  }
  const IBox& pr = popup->Rect();
  popup->MoveTo(std::max(6, std::min(x, mWidth - 6 - pr.W())),
                std::max(6, std::min(y, mHeight - 6 - pr.H())));
  popup->OpenWithChoice(current, [this](int picked) {
    const int count = static_cast<int>(sizeof(kZoomChoices) / sizeof(kZoomChoices[0]));
    if (picked < 0 || picked >= count) return;
    const double zoom = kZoomChoices[picked];
    if (!mSettingsFile.empty()) WriteZoomSetting(mSettingsFile.c_str(), zoom);
    SetUserZoom(zoom);
  });
}

IGraphics* PlugGraphics(const IPlugBase* plug) {
  return plug ? dynamic_cast<IGraphics*>(plug->GetGUI()) : nullptr;
}
