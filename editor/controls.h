#pragma once
// The control base class and the general-purpose controls built on it.
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "editor/types.h"

class IGraphics;
class IPlugBase;
class PlugParam;

class IControl {
 public:
  IControl(IPlugBase* plugin, const IBox& rect, int paramIdx = -1);
  virtual ~IControl() {}
  IControl(const IControl&) = delete;
  IControl& operator=(const IControl&) = delete;

  virtual void MouseDown(int x, int y, const IInputMods& mods);
  virtual void MouseUp(int x, int y, const IInputMods& mods) {
    (void)x;
    (void)y;
    (void)mods;
  }
  virtual void FileDropped(int x, int y, const char* path) {
    (void)x;
    (void)y;
    (void)path;
  }
  virtual void MouseDrag(int x, int y, int dx, int dy, const IInputMods& mods) {
    (void)x;
    (void)y;
    (void)dx;
    (void)dy;
    (void)mods;
  }
  virtual void MouseDoubleClick(int x, int y, const IInputMods& mods);
  virtual void MouseWheel(int x, int y, const IInputMods& mods, int detents);
  virtual void KeyDown(int x, int y, int key) {
    (void)x;
    (void)y;
    (void)key;
  }
  virtual void MouseOver(int x, int y, const IInputMods& mods) {
    (void)x;
    (void)y;
    (void)mods;
  }
  virtual void MouseOut() {}
  virtual bool Paint(IGraphics* g) = 0;
  virtual void TakeHostValue(double v);
  virtual void TakeUserValue(double v);
  virtual void TakeChoice(const char* text, int index) {
    (void)text;
    (void)index;
  }
  virtual void SetHidden(bool h);
  virtual void Dim(bool g);
  virtual bool HitTest(int x, int y) const;
  virtual void MarkDirty(bool push);
  virtual void MarkClean();
  virtual bool NeedsRedraw() const { return mDirty; }
  virtual void Unused() {}

  // The graphics host that owns this control (set by AddControl).
  void Attach(IGraphics* g) { mGraphics = g; }
  IGraphics* Graphics() const { return mGraphics; }
  IPlugBase* Plugin() const { return mPlugin; }
  PlugParam* Param() const;

  double Value() const { return mValue; }
  void SetValue(double v) { mValue = v; }
  double ResetValue() const { return mResetValue; }
  int ParamIdx() const { return mParamIdx; }
  const IBox& Rect() const { return mRect; }
  const IBox& HitArea() const { return mHitArea; }
  void SetRect(const IBox& r) {
    mRect = r;
    mHitArea = r;
  }
  void SetHitArea(const IBox& r) { mHitArea = r; }
  bool IsHidden() const { return mHidden; }
  bool IsDimmed() const { return mDimmed; }
  bool IsDirty() const { return mDirty; }
  bool RepaintAgain() const { return mRepaintAgain; }
  void RequestRepaint() { mRepaintAgain = true; }
  void SetNoPrompt(bool on) { mNoPrompt = on; }
  bool DoubleAsSingle() const { return mDoubleAsSingle; }
  void SetDoubleAsSingle(bool on) { mDoubleAsSingle = on; }
  const IBlendSpec& Blend() const { return mBlend; }
  void SetBlend(const IBlendSpec& b) { mBlend = b; }
  IControl* Owner() const { return mOwner; }
  void SetOwner(IControl* c) { mOwner = c; }
  // A control that stands in for another when a popup picks a value (none here).
  virtual IControl* LinkedControl() const { return nullptr; }

 protected:
  // Opens the popup list or the text entry for the bound parameter.
  void PromptForValue();

  double mValue = 0.0;
  IControl* mOwner = nullptr;
  IPlugBase* mPlugin = nullptr;
  IGraphics* mGraphics = nullptr;
  IBox mRect;
  IBox mHitArea;
  int mParamIdx = -1;
  double mResetValue = -1.0;
  double mLowLimit = 0.0, mHighLimit = 1.0;
  bool mDirty = true;
  bool mHidden = false;
  bool mDimmed = false;
  bool mRepaintAgain = false;
  bool mNoPrompt = false;
  bool mDoubleAsSingle = false;
  IBlendSpec mBlend;
  const char* mTipText = nullptr;
};

// One frame of a bitmap strip, chosen by the value.
class IBitmapControl : public IControl {
 public:
  IBitmapControl(IPlugBase* plugin, int x, int y, int paramIdx, const IImage& image,
                 int blendMethod = kBlendNone);
  // Explicit rectangle (the background uses the whole image).
  IBitmapControl(IPlugBase* plugin, const IBox& rect, int paramIdx, const IImage& image,
                 const IBlendSpec& blend);
  bool Paint(IGraphics* g) override;
  // Frame (1-based) that the current value selects.
  int CurrentFrame() const;
  const IImage& Image() const { return mImage; }

 protected:
  bool mVertical = true;
  IImage mImage;
};

// Drag behaviour shared by knobs: vertical or horizontal, geared over the control's size.
class IKnobControl : public IControl {
 public:
  IKnobControl(IPlugBase* plugin, const IBox& rect, int paramIdx, int direction = 0,
               double gearing = 4.0);
  void MouseDrag(int x, int y, int dx, int dy, const IInputMods& mods) override;

 protected:
  int mDirection = 0;  // 0 vertical, 1 horizontal
  double mGearing = 4.0;
};

class ITextControl : public IControl {
 public:
  ITextControl(IPlugBase* plugin, const IBox& rect, const ITextStyle& style, const char* text = "");
  bool Paint(IGraphics* g) override;
  virtual void TakeHostText(const char* text);
  const char* Text() const { return mText.c_str(); }
  ITextStyle& Style() { return mStyle; }

 protected:
  ITextStyle mStyle;
  std::string mText;
};

class IEditableTextControl : public ITextControl {
 public:
  IEditableTextControl(IPlugBase* plugin, const IBox& rect, const ITextStyle& style,
                       const char* text = "", const IRgba& background = IRgba(0, 0, 0, 0),
                       bool editable = true, bool secure = false);
  void MouseDown(int x, int y, const IInputMods& mods) override;
  bool Paint(IGraphics* g) override;
  bool Editable() const { return mEditable; }
  bool Secure() const { return mSecure; }

 private:
  IRgba mBackground;
  bool mEditable = true;
  bool mSecure = false;
  std::string mMasked;
};

// The list of choices a right-click opens on an enumerated parameter.
class PromptPopup : public IControl {
 public:
  static constexpr int kEntrySize = 32;

  PromptPopup(IPlugBase* plugin, IGraphics* g, int x, int y, int minWidth, int columns,
              const ITextStyle* style = nullptr, const IRgba* background = nullptr,
              const IRgba* frame = nullptr);
  void AddEntry(const char* text);
  void OpenFor(int paramIdx, IControl* owner);
  // A list of choices that belong to no parameter: `onPick` gets the picked entry's index
  // after the list has closed.
  void OpenWithChoice(int selected, std::function<void(int)> onPick);

  bool Paint(IGraphics* g) override;
  void MouseDown(int x, int y, const IInputMods& mods) override;
  void MouseUp(int x, int y, const IInputMods& mods) override;
  void MouseDrag(int x, int y, int dx, int dy, const IInputMods& mods) override;
  void MouseWheel(int x, int y, const IInputMods& mods, int detents) override;
  void MouseOver(int x, int y, const IInputMods& mods) override;
  void MouseOut() override;

  int Count() const { return static_cast<int>(mEntries.size()); }
  const char* Entry(int i) const;
  int RowsPerColumn() const { return mRows; }
  int RowHeight() const { return mRowHeight; }
  int ColumnWidth() const { return mColumnWidth; }
  int ThumbLength() const { return mThumb; }
  int ScrollPosition() const { return mScroll; }
  int FirstVisible() const;
  int Selected() const { return mSelected; }
  int Hovered() const { return mHover; }
  bool DraggingThumb() const { return mDraggingThumb; }
  int MaxScroll() const;
  // Moves the whole list; the anchor follows.
  void MoveTo(int left, int top);

 private:
  void Layout();
  bool InScrollBar(int x) const;
  bool OnThumb(int x, int y) const;
  int RowsNeeded() const;
  void ClampScroll();

  int mAnchorX, mAnchorY;
  int mColumnWidth;
  int mMargin = 4;
  int mHover = -2;
  int mScroll = 0;
  int mThumb = 0;
  int mScrollBarWidth = 9;
  bool mDraggingThumb = false;
  std::vector<std::array<char, kEntrySize>> mEntries;
  ITextStyle mNormal, mSelectedStyle;
  IRgba mBackground, mFrame;
  int mSelected = -1;
  int mRowHeight;
  int mRows = 5;
  int mColumns = 1;
  bool mAutoGrow = true;
  std::function<void(int)> mOnPick;
};

// Invisible area that opens the product page.
class IURLOpen : public IControl {
 public:
  IURLOpen(IPlugBase* plugin, const IBox& rect);
  void MouseDown(int x, int y, const IInputMods& mods) override;
  bool Paint(IGraphics* g) override {
    (void)g;
    return true;
  }
  // The address the click opens.
  std::string Url() const;
};

extern const char* const kProductSitePrefix;
