#include "editor/controls.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <utility>

#include "editor/graphics.h"
#include "framework/plug_base.h"

const char* const kProductSitePrefix = "https://www.quenlor.com/products/";

namespace {

int RoundHalfAway(double v) {
  return static_cast<int>(v >= 0.0 ? v + 0.5 : v - 0.5);
}

}  // namespace

// ---- IControl ----

IControl::IControl(IPlugBase* plugin, const IBox& rect, int paramIdx)
    : mPlugin(plugin), mRect(rect), mHitArea(rect), mParamIdx(paramIdx) {}

PlugParam* IControl::Param() const {
  return (mPlugin && mParamIdx >= 0) ? mPlugin->ParamAt(mParamIdx) : nullptr;
}

void IControl::MouseDown(int x, int y, const IInputMods& mods) {
  (void)x;
  (void)y;
  if (!mGraphics) return;
  if (mods.R) {
    if (mParamIdx < 0 || mNoPrompt) return;
    if (mGraphics->PopupPending()) {
      // The click only closes the open list.
      mGraphics->ClearOpenPopup();
      return;
    }
    PromptForValue();
  } else {
    mGraphics->ClearOpenPopup();
  }
}

void IControl::PromptForValue() {
  PlugParam* p = Param();
  if (!p || !mGraphics) return;
  if (p->Kind() == kTypeEnum && p->ValueTextCount() > 0) {
    auto* popup = new PromptPopup(mPlugin, mGraphics, mRect.L, mRect.T, 70, 1);
    popup->SetHidden(true);
    mGraphics->AddControl(popup);
    mGraphics->SetOpenPopup(popup);
    for (int i = 0; i < p->ValueTextCount(); ++i) popup->AddEntry(p->ValueTextAt(i));
    const IBox& pr = popup->Rect();
    const int ew = mGraphics->Width(), eh = mGraphics->Height();
    int left = mRect.L + static_cast<int>((mRect.W() - pr.W()) * 0.5);
    if (left <= 5) {
      left = 6;
    } else if (left + pr.W() > ew - 6) {
      left = ew - 6 - pr.W();
    }
    int top = mRect.T + static_cast<int>((mRect.H() - pr.H()) * 0.5);
    if (top <= 5) {
      top = 6;
    } else if (top + pr.H() > eh - 6) {
      top = eh - 6 - pr.H();
    }
    popup->MoveTo(left, top);
    popup->OpenFor(mParamIdx, this);
  } else {
    mGraphics->AskParamValue(this, p, true);
  }
}

void IControl::MouseDoubleClick(int x, int y, const IInputMods& mods) {
  (void)x;
  (void)y;
  (void)mods;
  if (mResetValue >= 0.0) {
    mValue = mResetValue;
    MarkDirty(true);
  }
}

void IControl::MouseWheel(int x, int y, const IInputMods& mods, int detents) {
  (void)x;
  (void)y;
  const PlugParam* p = Param();
  if (!p) return;
  double step = 0.01;
  if (p->Kind() != kTypeInt && p->Kind() != kTypeDouble && p->ValueTextCount() > 0) {
    step = 0.5 / p->ValueTextCount();
  }
  if (mods.S || mods.C) step /= 10.0;
  mValue += step * detents;
  MarkDirty(true);
}

void IControl::TakeHostValue(double v) {
  if (mResetValue < 0.0) {
    mResetValue = v;
  } else if (v == mValue) {
    return;
  }
  mValue = v;
  MarkDirty(false);
  mRepaintAgain = true;
}

void IControl::TakeUserValue(double v) {
  if (v != mValue) mValue = v;
  MarkDirty(true);
  mRepaintAgain = true;
}

void IControl::SetHidden(bool h) {
  mHidden = h;
  mRepaintAgain = true;
  MarkDirty(false);
}

void IControl::Dim(bool g) {
  mDimmed = g;
  mBlend.weight = g ? 0.25f : 1.0f;
  MarkDirty(false);
}

bool IControl::HitTest(int x, int y) const {
  return mHitArea.L <= x && x <= mHitArea.R && mHitArea.T <= y && y <= mHitArea.B;
}

void IControl::MarkDirty(bool push) {
  // NaN compares false everywhere; treat it as the low end rather than let it reach a host.
  if (!(mValue > mLowLimit)) {
    mValue = mLowLimit;
  } else if (mValue > mHighLimit) {
    mValue = mHighLimit;
  }
  mDirty = true;
  if (push && mParamIdx >= 0 && mPlugin) {
    PlugLock lock(mPlugin->Mutex());
    mPlugin->SetParamFromEditor(mParamIdx, mValue);
    const PlugParam* p = mPlugin->ParamAt(mParamIdx);
    if (p && mGraphics) mGraphics->MirrorParam(mParamIdx, p->NormalizedValue());
  }
}

void IControl::MarkClean() {
  mDirty = mRepaintAgain;
  mRepaintAgain = false;
}

// ---- IBitmapControl ----

IBitmapControl::IBitmapControl(IPlugBase* plugin, int x, int y, int paramIdx, const IImage& image,
                               int blendMethod)
    : IControl(plugin, IBox(x, y, x + image.W, y + image.H / std::max(1, image.N)), paramIdx),
      mImage(image) {
  mBlend.method = blendMethod;
}

IBitmapControl::IBitmapControl(IPlugBase* plugin, const IBox& rect, int paramIdx,
                               const IImage& image, const IBlendSpec& blend)
    : IControl(plugin, rect, paramIdx), mImage(image) {
  mBlend = blend;
}

int IBitmapControl::CurrentFrame() const {
  if (mImage.N < 2) return 1;
  int k = static_cast<int>((mImage.N - 1) * mValue + 0.5) + 1;
  return std::min(mImage.N, std::max(1, k));
}

bool IBitmapControl::Paint(IGraphics* g) {
  return g->BlitImageFrame(mImage, mRect, CurrentFrame(), &mBlend, mVertical);
}

// ---- IKnobControl ----

IKnobControl::IKnobControl(IPlugBase* plugin, const IBox& rect, int paramIdx, int direction,
                           double gearing)
    : IControl(plugin, rect, paramIdx), mDirection(direction), mGearing(gearing) {}

void IKnobControl::MouseDrag(int x, int y, int dx, int dy, const IInputMods& mods) {
  (void)x;
  (void)y;
  double gearing = mGearing;
  if (mods.S || mods.C) gearing *= 10.0;
  if (mDirection == 0) {
    mValue += static_cast<double>(dy) / static_cast<double>(mRect.T - mRect.B) / gearing;
  } else {
    mValue += static_cast<double>(dx) / static_cast<double>(mRect.R - mRect.L) / gearing;
  }
  MarkDirty(true);
}

// ---- ITextControl ----

ITextControl::ITextControl(IPlugBase* plugin, const IBox& rect, const ITextStyle& style,
                           const char* text)
    : IControl(plugin, rect), mStyle(style), mText(text ? text : "") {}

bool ITextControl::Paint(IGraphics* g) {
  if (mText.empty()) return true;
  return g->RenderText(&mStyle, mText.c_str(), mRect);
}

void ITextControl::TakeHostText(const char* text) {
  if (!text) text = "";
  if (mText != text) {
    MarkDirty(false);
    mText = text;
  }
}

// ---- IEditableTextControl ----

IEditableTextControl::IEditableTextControl(IPlugBase* plugin, const IBox& rect,
                                           const ITextStyle& style, const char* text,
                                           const IRgba& background, bool editable, bool secure)
    : ITextControl(plugin, rect, style, text),
      mBackground(background),
      mEditable(editable),
      mSecure(secure) {}

void IEditableTextControl::MouseDown(int x, int y, const IInputMods& mods) {
  (void)x;
  (void)y;
  (void)mods;
  if (mNoPrompt || !mGraphics) return;
  mGraphics->OpenTextEditor(this);
  mRepaintAgain = true;
}

bool IEditableTextControl::Paint(IGraphics* g) {
  if (mBackground.A != 0) g->FillBox(mBackground, mRect, &mBlend);
  if (mText.empty()) return true;
  if (!mSecure) return g->RenderText(&mStyle, mText.c_str(), mRect);
  mMasked.assign(std::min<size_t>(mText.size(), 254), '*');
  return g->RenderText(&mStyle, mMasked.c_str(), mRect);
}

// ---- PromptPopup ----

PromptPopup::PromptPopup(IPlugBase* plugin, IGraphics* g, int x, int y, int minWidth, int columns,
                         const ITextStyle* style, const IRgba* background, const IRgba* frame)
    : IControl(plugin, IBox(x, y, x + std::max(0, minWidth), y)),
      mAnchorX(x),
      mAnchorY(y),
      mColumnWidth(std::max(0, minWidth)),
      mColumns(std::max(1, columns)) {
  mNormal = style ? *style : (g ? g->PopupTextStyle() : ITextStyle());
  mNormal.font = nullptr;
  mSelectedStyle = mNormal;
  mSelectedStyle.color.A = std::min(255, mSelectedStyle.color.A + 55);
  mBackground = background ? *background : (g ? g->PopupBackground() : IRgba(245, 50, 50, 50));
  mFrame = frame ? *frame : (g ? g->PopupFrame() : IRgba(75, 200, 200, 200));
  mRowHeight = mNormal.size + 6;
  if (mRowHeight < 1) mRowHeight = 1;
  Layout();
}

const char* PromptPopup::Entry(int i) const {
  if (i < 0 || i >= Count()) return "";
  return mEntries[static_cast<size_t>(i)].data();
}

void PromptPopup::AddEntry(const char* text) {
  std::array<char, kEntrySize> e{};
  if (text) {
    std::strncpy(e.data(), text, kEntrySize - 1);
    e[kEntrySize - 1] = 0;
  }
  mEntries.push_back(e);
  const int len = static_cast<int>(std::strlen(e.data()));
  const int perChar = std::max(mNormal.size - 8, 5);
  mColumnWidth = std::max(mColumnWidth, len * perChar + 2 * mMargin + 20);
  if (mAutoGrow && Count() % 10 == 0 && Count() <= 40) mRows = std::min(9, mRows + 1);
  Layout();
}

int PromptPopup::RowsNeeded() const {
  return (Count() + mColumns - 1) / mColumns;
}

void PromptPopup::Layout() {
  const int count = Count();
  const int capacity = mColumns * mRows;
  int width, height;
  if (count > capacity) {
    if (count > 4 * mRows) {
      mThumb = static_cast<int>(1.5 * mRowHeight);
    } else {
      mThumb = static_cast<int>((1.5 * mRowHeight - mRowHeight * mRows) * (count - mRows) /
                                    (mRows * 3.0) +
                                mRowHeight * mRows);
    }
    height = mRows * mRowHeight;
    width = mColumnWidth * mColumns + mMargin + mScrollBarWidth + 2;
  } else {
    mThumb = 0;
    height = RowsNeeded() * mRowHeight;
    width = mColumnWidth * mColumns + mMargin;
  }
  SetRect(IBox(mAnchorX, mAnchorY, mAnchorX + width, mAnchorY + height));
  ClampScroll();
}

void PromptPopup::MoveTo(int left, int top) {
  mAnchorX = left;
  mAnchorY = top;
  Layout();
}

int PromptPopup::MaxScroll() const {
  return mThumb > 0 ? std::max(0, mRect.H() - mThumb - 2) : 0;
}

void PromptPopup::ClampScroll() {
  mScroll = std::min(MaxScroll(), std::max(0, mScroll));
}

int PromptPopup::FirstVisible() const {
  if (mThumb <= 0) return 0;
  const int range = mRect.H() - mThumb - 2;
  if (range <= 0) return 0;
  const double rows = std::round(static_cast<double>(RowsNeeded() - mRows) * mScroll / range);
  return mColumns * static_cast<int>(rows);
}

void PromptPopup::OpenFor(int paramIdx, IControl* owner) {
  mOwner = owner;
  mSelected = -1;
  const PlugParam* p = (mPlugin && paramIdx >= 0) ? mPlugin->ParamAt(paramIdx) : nullptr;
  if (p) {
    const int k = RoundHalfAway(p->Value());
    if (k >= 0 && k < Count()) mSelected = k;
  }
  mScroll = 0;
  if (mThumb > 0 && mSelected >= 0) {
    const int extra = RowsNeeded() - mRows;
    const int range = MaxScroll();
    int firstRow = mSelected / mColumns - mRows / 2;
    firstRow = std::min(extra, std::max(0, firstRow));
    if (extra > 0) {
      mScroll = static_cast<int>(std::lround(static_cast<double>(firstRow) * range / extra));
    }
    ClampScroll();
  }
  SetHidden(false);
}

void PromptPopup::OpenWithChoice(int selected, std::function<void(int)> onPick) {
  mOwner = nullptr;
  mOnPick = std::move(onPick);
  mSelected = selected >= 0 && selected < Count() ? selected : -1;
  mScroll = 0;
  SetHidden(false);
}

bool PromptPopup::InScrollBar(int x) const {
  return mThumb > 0 && x >= mRect.R - mScrollBarWidth - 3;
}

bool PromptPopup::OnThumb(int x, int y) const {
  const int top = mRect.T + mScroll + 1;
  return InScrollBar(x) && y >= top && y < top + mThumb;
}

void PromptPopup::MouseOver(int x, int y, const IInputMods& mods) {
  (void)mods;
  int hover;
  if (InScrollBar(x)) {
    hover = OnThumb(x, y) ? -1 : -2;
  } else {
    const int row = static_cast<int>(std::floor(static_cast<double>(y - mRect.T) / mRowHeight));
    int col = 0;
    if (mColumns > 1) {
      col = static_cast<int>(std::floor(
          static_cast<double>(x - (mRect.L + static_cast<int>(std::lround(mMargin / 2.0)))) /
          mColumnWidth));
      col = std::min(mColumns - 1, std::max(0, col));
    }
    hover = row * mColumns + col;
    if (row < 0 || row >= mRows) hover = -2;
    if (mColumns > 1 && hover >= 0 && FirstVisible() + hover >= Count()) hover = -1;
  }
  if (hover != mHover) {
    mHover = hover;
    MarkDirty(false);
  }
}

void PromptPopup::MouseOut() {
  mHover = -2;
  MarkDirty(false);
}

void PromptPopup::MouseDown(int x, int y, const IInputMods& mods) {
  if (!mods.L) return;
  if (OnThumb(x, y)) {
    mDraggingThumb = true;
    return;
  }
  if (InScrollBar(x)) {
    mScroll = y - mRect.T - mThumb / 2;
    ClampScroll();
    MarkDirty(false);
    return;
  }
  MouseOver(x, y, mods);
  const int picked = FirstVisible() + mHover;
  if (mHover < 0 || picked < 0 || picked >= Count()) return;
  IControl* target = mOwner;
  if (target && target->LinkedControl()) target = target->LinkedControl();
  IGraphics* g = mGraphics;
  if (mOnPick) {
    const std::function<void(int)> onPick = std::move(mOnPick);
    if (g) {
      g->ReleaseCapture();
      g->SetHoverControl(-1);
      g->DismissPopup(true);  // destroys this list: only the copied callback may follow
    }
    onPick(picked);
    return;
  }
  if (target && target->ParamIdx() >= 0 && mPlugin) {
    const PlugParam* p = mPlugin->ParamAt(target->ParamIdx());
    if (p) {
      mPlugin->BeginParamEdit(target->ParamIdx());
      target->TakeUserValue(p->NormalizeValue(static_cast<double>(picked)));
      mPlugin->EndParamEdit(target->ParamIdx());
    }
  }
  if (g) {
    g->ReleaseCapture();
    g->SetHoverControl(-1);
    g->DismissPopup(true);  // destroys this list: nothing may follow
  }
}

void PromptPopup::MouseUp(int x, int y, const IInputMods& mods) {
  (void)x;
  (void)y;
  (void)mods;
  mDraggingThumb = false;
}

void PromptPopup::MouseDrag(int x, int y, int dx, int dy, const IInputMods& mods) {
  (void)x;
  (void)y;
  (void)dx;
  (void)mods;
  if (!mDraggingThumb) return;
  mScroll += dy;
  ClampScroll();
  MarkDirty(false);
}

void PromptPopup::MouseWheel(int x, int y, const IInputMods& mods, int detents) {
  (void)x;
  (void)y;
  (void)mods;
  if (mThumb <= 0) return;
  mScroll -= 3 * detents;
  ClampScroll();
  MarkDirty(false);
}

bool PromptPopup::Paint(IGraphics* g) {
  const IBox& r = mRect;
  const int first = FirstVisible();
  g->FillRoundBox(mBackground, r, 4.0f, 4);
  IRgba sep = mFrame;
  sep.A = static_cast<int>(sep.A * 0.6);
  for (int i = 1; i < mColumns; ++i) {
    const float x = static_cast<float>(r.L + i * mColumnWidth) + (mMargin * 0.5f - 0.5f);
    g->StrokeLine(sep, x, static_cast<float>(r.T + mMargin), x, static_cast<float>(r.B - mMargin));
  }
  auto cell = [&](int rel) {
    const int row = rel / mColumns, col = rel % mColumns;
    return IBox(r.L + mMargin + col * mColumnWidth, r.T + row * mRowHeight + 1,
                r.L + (col + 1) * mColumnWidth, r.T + (row + 1) * mRowHeight - 1);
  };
  const int visible = mRows * mColumns;
  const int selRel = mSelected - first;
  if (mSelected >= 0 && selRel >= 0 && selRel < visible) {
    g->StrokeRoundBox(mFrame, cell(selRel), 4.0f);
    g->FillRoundBox(mFrame, cell(selRel), 4.0f, 4);
  }
  if (mHover >= 0 && mHover < visible && first + mHover < Count() && mHover != selRel) {
    g->FillRoundBox(mFrame, cell(mHover), 4.0f, 4);
  }
  const int top = static_cast<int>(std::lround(0.75 * mMargin));
  for (int rel = 0; rel < visible && first + rel < Count(); ++rel) {
    const int row = rel / mColumns, col = rel % mColumns;
    const int x = r.L + col * mColumnWidth + 2 * mMargin;
    const int y = r.T + row * mRowHeight + top;
    IBox box(x, y, r.L + (col + 1) * mColumnWidth, y + mRowHeight);
    ITextStyle* st = (first + rel == mSelected) ? &mSelectedStyle : &mNormal;
    g->RenderText(st, Entry(first + rel), box);
  }
  if (mThumb > 0) {
    IRgba bar = mFrame;
    bar.A = std::max(0, bar.A - 20);
    g->StrokeRoundBox(bar, IBox(r.R - mScrollBarWidth - 3, r.T, r.R, r.B), 4.0f);
    IRgba thumb = mFrame;
    if (mHover == -1 && !mDraggingThumb) thumb.A = std::min(255, thumb.A + 20);
    g->FillRoundBox(
        thumb,
        IBox(r.R - mScrollBarWidth - 1, r.T + mScroll + 1, r.R - 2, r.T + mScroll + 1 + mThumb),
        3.0f, 4);
  }
  return true;
}

// ---- IURLOpen ----

IURLOpen::IURLOpen(IPlugBase* plugin, const IBox& rect) : IControl(plugin, rect) {}

std::string IURLOpen::Url() const {
  std::string url = kProductSitePrefix;
  if (mPlugin) url += mPlugin->GetEffectName();
  return url;
}

void IURLOpen::MouseDown(int x, int y, const IInputMods& mods) {
  (void)x;
  (void)y;
  (void)mods;
  if (!mGraphics) return;
  const std::string url = Url();
  mGraphics->OpenWebPage(url.c_str(), mPlugin ? mPlugin->GetEffectName() : "", nullptr,
                         "Cannot open url. Check your default browser.");
}
