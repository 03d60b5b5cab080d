#include "instrument/product_controls.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "editor/graphics.h"
#include "framework/plug_base.h"

namespace {

constexpr double kPi = 3.141592653589793;

int RoundHalfAway(double v) {
  return static_cast<int>(v >= 0.0 ? v + 0.5 : v - 0.5);
}

// Draws the value text centred in a band one text size high at the bottom of `rect`.
void DrawValueText(IGraphics* g, ITextStyle* style, const char* text, const IBox& rect,
                   int shiftUp) {
  if (!text[0] || style->size <= 0) return;
  ITextStyle& s = *style;
  s.align = kAlignCenter;
  IBox band(rect.L, rect.B - s.size - shiftUp, rect.R, rect.B - shiftUp);
  g->RenderText(&s, text, band);
}

}  // namespace

void FormatControlValue(IGraphics* g, const IControl* c, bool withUnit, char* out, int size) {
  if (!out || size <= 0) return;
  out[0] = 0;
  const PlugParam* p = c->Param();
  if (!p || !g) return;
  // The mirrored value, not the parameter object: the audio thread may be writing that.
  char value[128];
  p->FormatValue(g->ParamNormalized(c->ParamIdx()), true, value, sizeof(value));
  if (withUnit && p->LabelText()[0]) {
    std::snprintf(out, static_cast<size_t>(size), "%s%s", value, p->LabelText());
  } else {
    std::snprintf(out, static_cast<size_t>(size), "%s", value);
  }
}

// ---- IKnobRotVal ----

IKnobRotVal::IKnobRotVal(IPlugBase* plugin, int paramIdx, int x, int y, const IImage& bitmap,
                         const ITextStyle& style, int labelOffset, int sweep, double gearing,
                         int width, int direction, float hoverAlpha, bool showUnit, int steps)
    : WithHover<IKnobControl>(plugin, IBox(), paramIdx, direction, gearing),
      mStyle(style),
      mBitmap(bitmap),
      mCx(x),
      mCy(y),
      mLabelOffset(labelOffset),
      mSweep(sweep),
      mSteps(steps - 1),
      mHoverAlpha(hoverAlpha),
      mShowUnit(showUnit) {
  const int n = std::max(1, bitmap.N);
  const int halfW = width > 0 ? width / 2 : static_cast<int>(std::lround(bitmap.W / n / 2.0));
  const int halfH = static_cast<int>(std::lround(bitmap.H / 2.0));
  const int bottom =
      labelOffset < 0 ? y + halfH : y + halfH + labelOffset + std::max(0, style.size);
  SetRect(IBox(x - halfW, y - halfH, x + halfW, bottom));
}

double IKnobRotVal::Angle() const {
  return mSweep * kPi / 360.0 * (2.0 * mValue - 1.0);
}

bool IKnobRotVal::Paint(IGraphics* g) {
  mDrawBlend = IBlendSpec(kBlendNone, 1.0f);
  if (mHovered) mDrawBlend.weight = mHoverAlpha > 0.0f ? 1.0f - mHoverAlpha : -mHoverAlpha;
  FormatControlValue(g, this, mShowUnit, mText, sizeof(mText));
  DrawValueText(g, &mStyle, mText, mRect, mLabelOffset < 0 ? -mLabelOffset : 0);

  IImage rotating = mBitmap;
  if (mBitmap.linkedId < -1) {
    if (mHovered || mHoverAlpha > 0.0f) {
      const int l = static_cast<int>(std::lround(mCx - mBitmap.W / 2.0));
      const int r = static_cast<int>(std::lround(mCx + mBitmap.W / 2.0));
      const int b = mRect.B - mLabelOffset - std::max(0, mStyle.size);
      g->BlitImage(mBitmap, IBox(l, mRect.T, r, b), 0, 0, &mDrawBlend);
      if (mHovered) mDrawBlend.weight = 1.0f;
    }
    rotating = g->CachedImage(mBitmap.linkedId);
  }
  if (!rotating.Valid()) return false;
  // The image sinks by up to a pixel towards either end of the travel.
  const int shift = static_cast<int>(2.0 * std::fabs(mValue - 0.5));
  return g->BlitRotatedImage(rotating, mCx, mCy, Angle(), &mDrawBlend, -shift, -shift);
}

void IKnobRotVal::MouseUp(int x, int y, const IInputMods& mods) {
  (void)x;
  (void)y;
  (void)mods;
  if (mSteps > 0) mValue = std::floor(mSteps * mValue + 0.5) / mSteps;
  MarkDirty(true);
}

// ---- ISliderImg ----

ISliderImg::ISliderImg(IPlugBase* plugin, int paramIdx, const IBox& rect, const IImage& handle,
                       const ITextStyle& style, int length, bool horizontal, float hoverAlpha)
    : IHoverControl(plugin, rect, paramIdx),
      mStyle(style),
      mHandle(handle),
      mLength(length),
      mVertical(!horizontal),
      mHoverAlpha(hoverAlpha) {
  mCx = static_cast<float>(rect.L + rect.R) / 2.0f;
  if (horizontal) {
    mTravel = length - handle.W;
    mTrack = IBox(static_cast<int>(std::lround(mCx - length / 2)), rect.T,
                  static_cast<int>(std::lround(mCx + length / 2)), rect.T + handle.H);
  } else {
    mTravel = length - handle.H;
    mTrack = IBox(static_cast<int>(std::lround(mCx - handle.W / 2)), rect.T,
                  static_cast<int>(std::lround(mCx + handle.W / 2)), rect.T + length);
  }
}

void ISliderImg::ApplyMouse(int x, int y) {
  if (mTravel <= 0) return;
  if (mVertical) {
    mValue = 1.0 - static_cast<double>(y - mTrack.T - mHandle.H / 2) / mTravel;
  } else {
    mValue = static_cast<double>(x - mTrack.L - mHandle.W / 2) / mTravel;
  }
  MarkDirty(true);
}

void ISliderImg::MouseDown(int x, int y, const IInputMods& mods) {
  if (mods.R) {
    IControl::MouseDown(x, y, mods);
    return;
  }
  if (x < mTrack.L || x > mTrack.R || y < mTrack.T || y > mTrack.B) return;
  mHovered = false;
  mDragging = true;
  ApplyMouse(x, y);
}

void ISliderImg::MouseUp(int x, int y, const IInputMods& mods) {
  (void)x;
  (void)y;
  (void)mods;
  mDragging = false;
}

void ISliderImg::MouseDrag(int x, int y, int dx, int dy, const IInputMods& mods) {
  (void)dx;
  (void)dy;
  (void)mods;
  if (mDragging) ApplyMouse(x, y);
}

IBox ISliderImg::HandleBox(double p) const {
  if (mVertical) {
    const int top = static_cast<int>(std::lround(mTrack.T + mTravel * (1.0 - p)));
    return IBox(mTrack.L, top, mTrack.R, top + mHandle.H);
  }
  const int left = static_cast<int>(std::lround(mTrack.L + mTravel * p));
  return IBox(left, mTrack.T, left + mHandle.W, mRect.B);
}

bool ISliderImg::Paint(IGraphics* g) {
  FormatControlValue(g, this, true, mText, sizeof(mText));
  DrawValueText(g, &mStyle, mText, mRect, 0);
  const double p = mParamIdx >= 0 ? g->ParamNormalized(mParamIdx) : mValue;
  IBlendSpec blend = mBlend;
  if (g->TrackMouseOver() && !mHovered) blend = IBlendSpec(kBlendNone, 1.0f - mHoverAlpha);
  return g->BlitImage(mHandle, HandleBox(p), 0, 0, &blend);
}

// ---- ISlider ----

ISlider::ISlider(IPlugBase* plugin, int paramIdx, const IBox& rect, const IImage& handle,
                 const ITextStyle& style, const IRgba& fill, int length, int thickness,
                 bool horizontal, int startOffset, bool bipolar, float hoverAlpha)
    : ISliderImg(plugin, paramIdx, rect, handle, style, length, horizontal, hoverAlpha),
      mFill(fill),
      mTrack2(mTrack),
      mHandle2(handle),
      mThickness(thickness),
      mStartOffset(startOffset),
      mBipolar(bipolar) {}

IBox ISlider::BarBox() const {
  const double hw = mHandle2.W / 2, hh = mHandle2.H / 2;
  if (mVertical) {
    const double d = mTravel * (1.0 - mValue);
    if (!(mTravel + hh - mStartOffset > d)) return IBox();
    return IBox(static_cast<int>(std::lround(mCx - mThickness / 2.0)),
                static_cast<int>(mTrack2.T + d + hh),
                static_cast<int>(std::lround(mCx + mThickness / 2.0)),
                static_cast<int>(mTrack2.T + mTravel + mHandle2.H - mStartOffset));
  }
  const double cy = (mTrack2.T + mTrack2.B) / 2.0;
  const int t = static_cast<int>(std::lround(cy - mThickness / 2.0));
  const int b = static_cast<int>(std::lround(cy + mThickness / 2.0));
  if (mBipolar) {
    return IBox(static_cast<int>(mTrack2.L + hw + mTravel * std::min(mValue, 0.5)), t,
                static_cast<int>(mTrack2.L + hw + mTravel * std::max(mValue, 0.5)), b);
  }
  const double bar = mTravel * mValue;
  if (!(bar + hw > mStartOffset)) return IBox();
  return IBox(mTrack2.L + mStartOffset, t, static_cast<int>(mTrack2.L + bar + hw), b);
}

bool ISlider::Paint(IGraphics* g) {
  const IBox bar = BarBox();
  if (bar.W() > 0 && bar.H() > 0) g->FillBox(mFill, bar);
  return ISliderImg::Paint(g);
}

// ---- ISwitchLbl ----

ISwitchLbl::ISwitchLbl(IPlugBase* plugin, int paramIdx, int x, int y, const IImage& strip,
                       const ITextStyle& style, int labelGap, int boxWidth, bool horizontalStrip,
                       float hoverAlpha)
    : IHoverControl(plugin, IBox(), paramIdx),
      mStyle(style),
      mStrip(strip),
      mBoxWidth(boxWidth),
      mVerticalStrip(!horizontalStrip),
      mHoverAlpha(hoverAlpha) {
  const int n = std::max(1, strip.N);
  mFrameH =
      horizontalStrip ? strip.H : static_cast<int>(std::lround(strip.H / static_cast<double>(n)));
  mFrameW =
      horizontalStrip ? static_cast<int>(std::lround(strip.W / static_cast<double>(n))) : strip.W;
  SetRect(IBox(x, y, x + (boxWidth ? boxWidth : mFrameW),
               y + mFrameH + std::max(0, style.size) + labelGap));
}

void ISwitchLbl::MouseDown(int x, int y, const IInputMods& mods) {
  if (mods.R) {
    IControl::MouseDown(x, y, mods);
  } else {
    mValue += mStrip.N < 2 ? 1.0 : 1.0 / (mStrip.N - 1);
  }
  if (mValue > 1.001) mValue = 0.0;
  MarkDirty(true);
}

int ISwitchLbl::CurrentFrame() const {
  const int n = std::max(1, mStrip.N);
  return std::min(n, std::max(1, RoundHalfAway((n - 1) * mValue) + 1));
}

IBox ISwitchLbl::FrameBox() const {
  int x = mRect.L;
  if (mBoxWidth) x += static_cast<int>(std::lround((mBoxWidth - mFrameW) / 2.0));
  return IBox(x, mRect.T, x + mFrameW, mRect.T + mFrameH);
}

bool ISwitchLbl::Paint(IGraphics* g) {
  FormatControlValue(g, this, true, mText, sizeof(mText));
  DrawValueText(g, &mStyle, mText, mRect, 0);
  IBlendSpec blend = mBlend;
  if (mHovered) blend.weight = 1.0f - mHoverAlpha;
  return g->BlitImageFrame(mStrip, FrameBox(), CurrentFrame(), &blend, mVerticalStrip);
}

// ---- IButton ----

IButton::IButton(IPlugBase* plugin, int paramIdx, int x, int y, const IImage& image,
                 float hoverAlpha)
    : IHoverControl(plugin, IBox(x, y, x + image.W, y + image.H / std::max(1, image.N)), paramIdx),
      mImage(image),
      mHoverAlpha(hoverAlpha) {}

void IButton::MouseDown(int x, int y, const IInputMods& mods) {
  if (mods.R) {
    IControl::MouseDown(x, y, mods);
  } else {
    mValue = mValue <= 0.5 ? 1.0 : 0.0;
  }
  MarkDirty(true);
}

float IButton::OverlayWeight() const {
  if (mValue <= 0.5) return mHovered ? mHoverAlpha : 0.0f;
  return mHovered ? 1.0f - mHoverAlpha : 1.0f;
}

bool IButton::Paint(IGraphics* g) {
  const float w = OverlayWeight();
  if (w <= 0.0f) return true;
  IBlendSpec blend(mBlend.method, w);
  return g->BlitImage(mImage, mRect, 0, 0, &blend);
}
