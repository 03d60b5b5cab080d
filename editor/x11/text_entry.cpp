#include "editor/x11/text_entry.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "raster/text.h"

namespace {

constexpr int kMargin = 1;  // between the box's edge and the text, as the Windows box leaves
constexpr uint32_t kField = 0xFFFFFFFFu;
constexpr uint32_t kInk = 0xFF000000u;
constexpr uint32_t kHighlight = 0xFF0078D7u;
constexpr uint32_t kHighlightInk = 0xFFFFFFFFu;

}  // namespace

void TextEntry::Open(const IBox& box, const char* text, const Options& options) {
  mOpen = true;
  mBox = box;
  mOptions = options;
  mFont = nullptr;
  mText = text ? text : "";
  if (static_cast<int>(mText.size()) > kMaxLength) mText.resize(kMaxLength);
  mScroll = 0;
  mFocused = false;
  mBlinkOn = true;
  SelectAll();
}

void TextEntry::Close() {
  mOpen = false;
  mText.clear();
  mCaret = mAnchor = 0;
  mFocused = false;
  mScroll = 0;
}

void TextEntry::SelectAll() {
  mAnchor = 0;
  mCaret = static_cast<int>(mText.size());
}

void TextEntry::ReplaceSelection(const std::string& with) {
  const int s = SelectionStart(), e = SelectionEnd();
  mText.replace(static_cast<size_t>(s), static_cast<size_t>(e - s), with);
  mCaret = mAnchor = s + static_cast<int>(with.size());
}

bool TextEntry::Type(char c) {
  if (!mOpen || mOptions.readOnly || c == 0) return false;
  const int selected = SelectionEnd() - SelectionStart();
  if (static_cast<int>(mText.size()) - selected >= kMaxLength) return false;
  ReplaceSelection(std::string(1, c));
  return true;
}

bool TextEntry::Backspace() {
  if (!mOpen || mOptions.readOnly) return false;
  if (HasSelection()) {
    ReplaceSelection("");
    return true;
  }
  if (mCaret == 0) return false;
  mText.erase(static_cast<size_t>(mCaret - 1), 1);
  mAnchor = --mCaret;
  return true;
}

bool TextEntry::Delete() {
  if (!mOpen || mOptions.readOnly) return false;
  if (HasSelection()) {
    ReplaceSelection("");
    return true;
  }
  if (mCaret >= static_cast<int>(mText.size())) return false;
  mText.erase(static_cast<size_t>(mCaret), 1);
  return true;
}

bool TextEntry::MoveCaret(int delta, bool extend) {
  if (!mOpen) return false;
  // An unextended arrow collapses the selection towards its direction.
  if (!extend && HasSelection())
    return PutCaret(delta < 0 ? SelectionStart() : SelectionEnd(), false);
  return PutCaret(std::clamp(mCaret + delta, 0, static_cast<int>(mText.size())), extend);
}

bool TextEntry::Home(bool extend) {
  return PutCaret(0, extend);
}

bool TextEntry::End(bool extend) {
  return PutCaret(static_cast<int>(mText.size()), extend);
}

bool TextEntry::PutCaret(int position, bool extend) {
  if (!mOpen) return false;
  const int before = mCaret, anchorBefore = mAnchor;
  mCaret = position;
  if (!extend) mAnchor = mCaret;
  return mCaret != before || mAnchor != anchorBefore;
}

raster::Font* TextEntry::GetFont() {
  if (!mFont)
    mFont = raster::FontCache::Instance().Get(mOptions.face, mOptions.size, mOptions.style & 3);
  return mFont;
}

std::string TextEntry::Shown() const {
  return mOptions.password ? std::string(mText.size(), '*') : mText;
}

int TextEntry::TextWidth(int chars) {
  raster::Font* font = GetFont();
  if (!font || chars <= 0) return 0;
  const std::string shown = Shown().substr(0, static_cast<size_t>(chars));
  raster::TextExtent e;
  return raster::MeasureText(font, shown.c_str(), &e) ? e.width : 0;
}

int TextEntry::TextLeft() {
  const int inner = mBox.W() - 2 * kMargin;
  const int full = TextWidth(static_cast<int>(mText.size()));
  if (full <= inner) {
    mScroll = 0;
    if (mOptions.align == kAlignCenter) return mBox.L + (mBox.W() - full) / 2;
    if (mOptions.align == kAlignFar) return mBox.R - kMargin - full;
    return mBox.L + kMargin;
  }
  // Too long for the box: left-aligned and scrolled just enough to show the caret.
  const int caret = TextWidth(mCaret);
  if (caret - mScroll > inner - 1) mScroll = caret - (inner - 1);
  if (caret - mScroll < 0) mScroll = caret;
  mScroll = std::clamp(mScroll, 0, full - inner + 1);
  return mBox.L + kMargin - mScroll;
}

int TextEntry::CaretX() {
  return TextLeft() + TextWidth(mCaret);
}

bool TextEntry::PlaceCaretAt(int x, bool extend) {
  if (!mOpen) return false;
  const int left = TextLeft();
  const int n = static_cast<int>(mText.size());
  int best = 0, bestDistance = -1;
  for (int i = 0; i <= n; ++i) {
    const int d = std::abs(left + TextWidth(i) - x);
    if (bestDistance < 0 || d < bestDistance) {
      best = i;
      bestDistance = d;
    }
  }
  return PutCaret(best, extend);
}

void TextEntry::Paint(raster::Bitmap& dst, int originX, int originY) {
  if (!mOpen || dst.Empty()) return;
  const raster::Rect box(mBox.L - originX, mBox.T - originY, mBox.R - originX, mBox.B - originY);
  raster::FillRect(dst, box, kField, 1.0f);
  raster::Font* font = GetFont();
  const std::string shown = Shown();
  const int left = TextLeft() - originX;
  int top = box.T;
  raster::TextExtent cell;
  if (font && raster::MeasureText(font, " ", &cell) && cell.height < box.H())
    top += (box.H() - cell.height) / 2;
  const raster::Rect line(left, top, left + TextWidth(static_cast<int>(mText.size())), box.B);
  if (font)
    raster::DrawText(dst, font, shown.c_str(), line, kInk, 1.0f, raster::TextAlign::kLeft, &box);
  if (HasSelection()) {
    const raster::Rect sel(left + TextWidth(SelectionStart()), box.T + kMargin,
                           left + TextWidth(SelectionEnd()), box.B - kMargin);
    const raster::Rect shownSel = sel.Intersect(box);
    if (!shownSel.Empty()) {
      raster::FillRect(dst, shownSel, kHighlight, 1.0f);
      if (font)
        raster::DrawText(dst, font, shown.c_str(), line, kHighlightInk, 1.0f,
                         raster::TextAlign::kLeft, &shownSel);
    }
  }
  if (mFocused && mBlinkOn) {
    const int x = left + TextWidth(mCaret);
    const raster::Rect caret =
        raster::Rect(x, box.T + kMargin, x + 1, box.B - kMargin).Intersect(box);
    if (!caret.Empty()) raster::FillRect(dst, caret, kInk, 1.0f);
  }
}
