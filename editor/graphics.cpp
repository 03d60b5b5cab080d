#include "editor/graphics.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "editor/controls.h"
#include "framework/plug_base.h"
#include "raster/raster.h"
#include "raster/text.h"

namespace {

// Decoded images by id, shared by every editor of the process and kept until unload.
struct BitmapCache {
  std::mutex lock;
  std::vector<std::pair<int, std::unique_ptr<raster::Bitmap>>> entries;
};

// Destroyed when the module unloads, so a host that loads and unloads the module
// repeatedly does not accumulate decoded images.
BitmapCache& Cache() {
  static BitmapCache cache;
  return cache;
}

constexpr int kMinParamSlots = 64;

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
      mFPS(fps > 0 ? fps : 24) {
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
  mDrawBitmap->Create(std::max(1, mWidth), std::max(1, mHeight));
  mScratchBitmap->Create(std::max(1, mWidth), std::max(1, mHeight));
  TakePostedValues();
  return !mDrawBitmap->Empty();
}

void IGraphics::SetEditorSize(int width, int height) {
  mWidth = width;
  mHeight = height;
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
  IBox d = mClipToDirty ? dest.Intersect(mDirtyArea) : dest;
  if (d.Empty() || d.W() <= 0 || d.H() <= 0) return true;
  const int sx = srcX + (d.L - dest.L);
  const int sy = srcY + (d.T - dest.T);
  raster::Blit(*mDrawBitmap, d.L, d.T, *image.bitmap, sx, sy, d.W(), d.H(), BlendWeight(blend),
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
  const int left = cx - image.W / 2 - srcX;
  const int top = cy - image.H / 2 - srcY;
  raster::BlitRotated(*mDrawBitmap, *image.bitmap, left, top, angle, BlendWeight(blend),
                      BlendModeOf(blend));
  return true;
}

bool IGraphics::RenderText(ITextStyle* style, const char* text, const IBox& box) {
  if (!text || !text[0]) return true;
  if (!style || !mDrawBitmap) return false;
  if (!style->font) {
    style->font = raster::FontCache::Instance().Get(style->face, style->size, style->style & 3,
                                                    style->orientation, style->quality);
    if (!style->font) return false;
  }
  const float opacity = style->color.A < 255 ? style->color.Alpha() : 1.0f;
  raster::TextAlign align = raster::TextAlign::kLeft;
  if (style->align == kAlignCenter) align = raster::TextAlign::kCentre;
  if (style->align == kAlignFar) align = raster::TextAlign::kRight;
  return raster::DrawText(*mDrawBitmap, style->font, text, ToRect(box), Rgb(style->color), opacity,
                          align);
}

bool IGraphics::FillBox(const IRgba& colour, const IBox& box, const IBlendSpec* blend) {
  if (!mDrawBitmap) return false;
  raster::FillRect(*mDrawBitmap, ToRect(box), Rgb(colour), BlendWeight(blend));
  return true;
}

bool IGraphics::StrokeLine(const IRgba& colour, float x1, float y1, float x2, float y2,
                           const IBlendSpec* blend, bool antialias) {
  (void)blend;
  if (!mDrawBitmap) return false;
  raster::DrawLineF(*mDrawBitmap, x1, y1, x2, y2, Rgb(colour), colour.Alpha(), antialias);
  return true;
}

bool IGraphics::StrokeThickLine(const IRgba& colour, float x1, float y1, float x2, float y2,
                                float thickness, const IBlendSpec* blend, bool antialias) {
  if (!mDrawBitmap) return false;
  if (!std::isfinite(thickness)) return true;
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
  raster::DrawCircle(*mDrawBitmap, cx, cy, radius, Rgb(colour), colour.Alpha(), antialias);
  return true;
}

bool IGraphics::FillDisc(const IRgba& colour, float cx, float cy, float radius,
                         const IBlendSpec* blend, bool antialias) {
  if (!mDrawBitmap) return false;
  raster::FillDisc(*mDrawBitmap, cx, cy, radius, Rgb(colour), BlendWeight(blend), antialias);
  return true;
}

bool IGraphics::StrokeRoundBox(const IRgba& colour, const IBox& b, float radius,
                               const IBlendSpec* blend, bool antialias) {
  (void)blend;
  if (!mDrawBitmap) return false;
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
  return true;
}

bool IGraphics::FillRoundBox(const IRgba& colour, const IBox& b, float radius, int corners,
                             const IBlendSpec* blend, bool antialias) {
  if (!mDrawBitmap) return false;
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
  TakePostedValues();
  mCapturedControl = -1;
  mLastX = mLastY = -1;
  int idx = ControlAtPoint(x, y);
  if (idx < 0) return;
  IControl* c = GetControl(idx);
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
  IControl* c = GetControl(mCapturedControl);
  if (!c) return;
  if (x == mLastX && y == mLastY) return;
  const int dx = x - mLastX, dy = y - mLastY;
  mLastX = x;
  mLastY = y;
  c->MouseDrag(x, y, dx, dy, mods);
}

bool IGraphics::MouseDoubleClick(int x, int y, const IInputMods& mods) {
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
  TakePostedValues();
  IControl* c = GetControl(ControlAtPoint(x, y));
  if (!c) return;
  const int p = c->ParamIdx();
  if (p >= 0 && mPlugin) mPlugin->BeginParamEditDeferred(p);
  c->MouseWheel(x, y, mods, detents);
  if (p >= 0 && mPlugin) mPlugin->DeferParamEditEnd(p);
}

bool IGraphics::MouseOver(int x, int y, const IInputMods& mods) {
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
  if (r) *r = area;
  return any;
}

void IGraphics::RedrawArea(const IBox& r) {
  if (mControls.empty()) return;
  mDirtyArea = r;
  if (mDrawBitmap) {
    for (auto& c : mControls) {
      if (!c->IsHidden() && c->Rect().Overlaps(r)) c->Paint(this);
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

IGraphics* PlugGraphics(const IPlugBase* plug) {
  return plug ? dynamic_cast<IGraphics*>(plug->GetGUI()) : nullptr;
}
