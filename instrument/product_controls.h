#pragma once
// The instrument's own controls: rotating knob, image sliders, labelled switch and button.
// All of them brighten or dim while the mouse is over them.
#include "editor/controls.h"

// Shared hover flag: MouseOver sets it once, MouseOut clears it; both mark the control dirty.
template <class Base>
class WithHover : public Base {
 public:
  using Base::Base;
  void MouseOver(int, int, const IInputMods&) override {
    if (mHovered) return;
    mHovered = true;
    this->MarkDirty(false);
  }
  void MouseOut() override {
    mHovered = false;
    this->MarkDirty(false);
  }
  bool Hovered() const { return mHovered; }

 protected:
  bool mHovered = false;
};

using IHoverControl = WithHover<IControl>;

// Writes the bound parameter's value text (plus its unit when asked) into `out`.
void FormatControlValue(IGraphics* g, const IControl* c, bool withUnit, char* out, int size);

class IKnobRotVal : public WithHover<IKnobControl> {
 public:
  IKnobRotVal(IPlugBase* plugin, int paramIdx, int x, int y, const IImage& bitmap,
              const ITextStyle& style, int labelOffset = 2, int sweep = 300, double gearing = 4.0,
              int width = 0, int direction = 0, float hoverAlpha = 0.1f, bool showUnit = true,
              int steps = 0);
  bool Paint(IGraphics* g) override;
  void MouseUp(int x, int y, const IInputMods& mods) override;

  // Rotation for the current value, radians, positive clockwise.
  double Angle() const;
  int CentreX() const { return mCx; }
  int CentreY() const { return mCy; }

 private:
  ITextStyle mStyle;
  IImage mBitmap;
  int mCx, mCy;
  int mLabelOffset;
  int mSweep;
  int mSteps;
  float mHoverAlpha;
  bool mShowUnit;
  IBlendSpec mDrawBlend;
  char mText[160] = {};
};

class ISliderImg : public IHoverControl {
 public:
  ISliderImg(IPlugBase* plugin, int paramIdx, const IBox& rect, const IImage& handle,
             const ITextStyle& style, int length, bool horizontal, float hoverAlpha = 0.2f);
  bool Paint(IGraphics* g) override;
  void MouseDown(int x, int y, const IInputMods& mods) override;
  void MouseUp(int x, int y, const IInputMods& mods) override;
  void MouseDrag(int x, int y, int dx, int dy, const IInputMods& mods) override;

  const IBox& Track() const { return mTrack; }
  int Travel() const { return mTravel; }
  bool Dragging() const { return mDragging; }
  // Where the handle is drawn for a normalized position p.
  IBox HandleBox(double p) const;

 protected:
  void ApplyMouse(int x, int y);

  ITextStyle mStyle;
  IBox mTrack;
  IImage mHandle;
  int mLength;
  int mTravel;
  bool mVertical;
  bool mDragging = false;
  float mHoverAlpha;
  float mCx;
  char mText[160] = {};
};

class ISlider : public ISliderImg {
 public:
  ISlider(IPlugBase* plugin, int paramIdx, const IBox& rect, const IImage& handle,
          const ITextStyle& style, const IRgba& fill, int length, int thickness, bool horizontal,
          int startOffset, bool bipolar, float hoverAlpha = 0.2f);
  bool Paint(IGraphics* g) override;
  // The fill bar for the current value; empty when none is drawn.
  IBox BarBox() const;

 private:
  IRgba mFill;
  IBox mTrack2;
  IImage mHandle2;
  int mThickness;
  int mStartOffset;
  bool mBipolar;
};

class ISwitchLbl : public IHoverControl {
 public:
  ISwitchLbl(IPlugBase* plugin, int paramIdx, int x, int y, const IImage& strip,
             const ITextStyle& style, int labelGap = 0, int boxWidth = 0,
             bool horizontalStrip = false, float hoverAlpha = 0.2f);
  bool Paint(IGraphics* g) override;
  void MouseDown(int x, int y, const IInputMods& mods) override;
  int CurrentFrame() const;
  IBox FrameBox() const;

 private:
  ITextStyle mStyle;
  IImage mStrip;
  int mBoxWidth;
  bool mVerticalStrip;
  float mHoverAlpha;
  int mFrameW, mFrameH;
  char mText[160] = {};
};

class IButton : public IHoverControl {
 public:
  IButton(IPlugBase* plugin, int paramIdx, int x, int y, const IImage& image,
          float hoverAlpha = 0.1f);
  bool Paint(IGraphics* g) override;
  void MouseDown(int x, int y, const IInputMods& mods) override;
  // Opacity of the overlay in the current state; 0 when nothing is drawn.
  float OverlayWeight() const;

 private:
  IImage mImage;
  float mHoverAlpha;
};
