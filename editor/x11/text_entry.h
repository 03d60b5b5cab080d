#pragma once
// The text-entry box of the X11 editor. X has no edit control of its own, so the editor
// keeps the text, caret and selection here and draws the box over its picture, looking like
// the Windows edit box: white field, black text, the text first selected, a blinking caret.
#include <string>

#include "editor/types.h"
#include "raster/raster.h"

namespace raster {
class Font;
}

class TextEntry {
 public:
  // The Windows box reads at most this many characters back.
  static constexpr int kMaxLength = 1000;

  struct Options {
    int align = kAlignNear;  // kAlignNear, kAlignCenter, kAlignFar
    bool readOnly = false;
    bool password = false;
    char face[32] = "Arial";
    int size = 14;  // cell height in pixels
    int style = 0;  // bit 0 bold, bit 1 italic
  };

  // Opens over `box` (editor pixels) holding `text` (cut at kMaxLength), all selected.
  void Open(const IBox& box, const char* text, const Options& options);
  void Close();
  bool IsOpen() const { return mOpen; }
  const IBox& Box() const { return mBox; }
  const std::string& Text() const { return mText; }
  int Caret() const { return mCaret; }
  int SelectionStart() const { return mCaret < mAnchor ? mCaret : mAnchor; }
  int SelectionEnd() const { return mCaret < mAnchor ? mAnchor : mCaret; }
  bool HasSelection() const { return mCaret != mAnchor; }

  // Editing; each answers whether the text, caret or selection changed. Read-only boxes
  // only move the caret.
  bool Type(char c);
  bool Backspace();
  bool Delete();
  bool MoveCaret(int delta, bool extend);
  bool Home(bool extend);
  bool End(bool extend);
  void SelectAll();
  // Caret to the character boundary nearest to editor x.
  bool PlaceCaretAt(int x, bool extend);

  // Caret shown while the box has the focus, in the on phase of the blink.
  void SetFocused(bool focused) { mFocused = focused; }
  bool Focused() const { return mFocused; }
  void SetBlinkOn(bool on) { mBlinkOn = on; }

  // Draws the box into `dst`, whose pixel (0, 0) is editor pixel (originX, originY).
  void Paint(raster::Bitmap& dst, int originX, int originY);
  // Editor x of the caret as drawn.
  int CaretX();

 private:
  raster::Font* GetFont();
  std::string Shown() const;
  int TextWidth(int chars);
  int TextLeft();
  void ReplaceSelection(const std::string& with);
  bool PutCaret(int position, bool extend);

  bool mOpen = false;
  IBox mBox;
  std::string mText;
  int mCaret = 0, mAnchor = 0;
  Options mOptions;
  raster::Font* mFont = nullptr;
  bool mFocused = false;
  bool mBlinkOn = true;
  int mScroll = 0;  // pixels the text is shifted left to keep the caret in the box
};
