#pragma once
// The editor's drawing and control host: owns the controls, the off-screen draw bitmap and
// the routing of mouse and keyboard events; binds controls to plug-in parameters both ways.
// Everything that needs a window system is a virtual operation implemented by a platform
// class (the Win32 window, or the headless one used by tools and tests).
#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "editor/types.h"
#include "framework/plug_editor.h"

class IPlugBase;
class PlugParam;
class IControl;
class ITextControl;
class PromptPopup;

class IGraphics : public IPlugEditor {
 public:
  IGraphics(IPlugBase* plugin, int width, int height, int fps = 0);
  IGraphics(const IGraphics&) = delete;
  IGraphics& operator=(const IGraphics&) = delete;

  // ---- platform operations (the slot order follows the window implementation) ----
  virtual void PresentFrame(const IBox& r) = 0;
  virtual void SetEditorSize(int width, int height);
  virtual bool HasWindow() const = 0;
  virtual void OpenTextEditor(ITextControl* control) = 0;
  virtual void AskParamValue(IControl* control, PlugParam* param, bool centred) = 0;
  virtual void HostFolder(std::string* out) = 0;
  virtual void ModuleFolder(std::string* out) = 0;
  // File and colour dialogs: no control of this product asks for them; platforms that
  // offer them override these, the rest answer "cancelled".
  virtual bool AskForFile(std::string* out, int action, const char* folder, const char* extensions);
  virtual bool AskForColour(IRgba* colour, const char* prompt);
  virtual bool OpenWebPage(const char* url, const char* title, const char* confirmText,
                           const char* errorText) = 0;
  virtual bool ForwardWheel(int detents) = 0;
  void StartEditEndCountdown(int ticks) override = 0;
  void StopEditEndCountdown() override = 0;
  virtual int Reserved() { return 0; }
  virtual void* CreateEditorWindow(void* parentWindow) = 0;
  virtual void DestroyEditorWindow() = 0;
  virtual void* EditorWindowHandle() const = 0;
  ~IGraphics() override;
  virtual void HideTipIfTipsOff() {}
  // Decodes the module's image resource; null when missing or undecodable. The caller owns
  // the result.
  virtual raster::Bitmap* DecodeImageResource(int resourceId, const char* name) = 0;

  // Called by the plug-in base through the vtable; see the threading notes at the mailbox.
  void PushParamToControls(int paramIdx, double value, bool isNormalized) override;
  // Makes the draw bitmap at PixelSize(); also called again when the scale changes.
  bool CreateDrawSurfaces() override;
  // 0 standard arrow, 1 horizontal-resize arrow, 2 vertical-resize arrow, other values a
  // cursor resource of the module.
  virtual void SetPlatformCursor(int id) { mCursorId = id; }
  int CursorId() const { return mCursorId; }

  // ---- scale ----
  //
  // Controls live in design units (the editor's size at construction, e.g. 600 x 475); the
  // window and the draw bitmap have round(size x scale) device pixels. Drawing operations
  // take design units, the event entry points (MouseDown ... KeyDown), CollectDirtyArea,
  // RedrawArea and PresentFrame take and give device pixels.
  static constexpr double kMinScale = 1.0;
  static constexpr double kMaxScale = 3.0;
  // The factor a host (or the platform, for hosts that tell none) asks for. Clamped to
  // [kMinScale, kMaxScale]; NaN, infinities, zero and negative values are ignored. A zoom the
  // user chose in the editor takes precedence; the factor is kept for "follow the screen".
  // Returns the pixel size now in effect. Does not ask the host for a new window size: the
  // caller does that with what it returns. UI thread only.
  IPixelSize SetScaleFactor(double factor);
  // For hosts that tell no factor: takes the platform's (PlatformScaleFactor) unless a host
  // factor has arrived. Returns the pixel size now in effect; asks the host for nothing.
  IPixelSize UsePlatformScale(void* parentWindow);
  bool HostGaveScale() const { return mHostGaveScale; }
  // The user's zoom from the editor's menu: 0 follows the screen, otherwise clamped like
  // SetScaleFactor. Asks the plug-in's host for the new size (IPlugBase::ResizeEditor).
  IPixelSize SetUserZoom(double zoom);
  // Reads the user's zoom from `path` (missing or garbled: follow the screen) and remembers
  // the path so that a zoom chosen later is written there. Empty path: nothing is stored.
  void UseSettingsFile(const std::string& path);
  const std::string& SettingsFile() const { return mSettingsFile; }
  double ScaleFactor() const { return mScreenScale; }
  double UserZoom() const { return mUserZoom; }
  // The scale everything is drawn at.
  double Scale() const { return mScale; }
  IPixelSize PixelSize() const { return IPixelSize{mPixelW, mPixelH}; }
  // The scale of the screen the window is on (or of the default screen when parentWindow is
  // null), from the platform's own setting; 0 when the platform cannot tell.
  virtual double PlatformScaleFactor(void* parentWindow) {
    (void)parentWindow;
    return 0.0;
  }
  // Design units <-> device pixels. ToPixels rounds each edge; FromPixels covers every design
  // unit the pixels touch.
  IBox ToPixels(const IBox& b) const;
  IBox FromPixels(const IBox& b) const;
  int PixelToUnit(int v) const;
  // The zoom menu (right click on the background).
  void OpenZoomMenu(int x, int y);

  // ---- set-up ----
  int AddControl(IControl* control);
  // Inserts the background at index 0; false when the image cannot be loaded.
  bool SetBackground(int resourceId, const char* name);
  IImage FetchImage(int resourceId, const char* name, int frames = 1);
  IImage CachedImage(int id);
  IImage SplitImage(IImage* image, double fraction);

  // ---- drawing (called from Paint) ----
  bool BlitImage(const IImage& image, const IBox& dest, int srcX, int srcY,
                 const IBlendSpec* blend = nullptr);
  bool BlitImageFrame(const IImage& image, const IBox& dest, int frame,
                      const IBlendSpec* blend = nullptr, bool vertical = true);
  bool BlitRotatedImage(const IImage& image, int cx, int cy, double angle,
                        const IBlendSpec* blend = nullptr, int srcX = 0, int srcY = 0);
  bool RenderText(ITextStyle* style, const char* text, const IBox& box);
  bool FillBox(const IRgba& colour, const IBox& box, const IBlendSpec* blend = nullptr);
  bool StrokeLine(const IRgba& colour, float x1, float y1, float x2, float y2,
                  const IBlendSpec* blend = nullptr, bool antialias = false);
  bool StrokeThickLine(const IRgba& colour, float x1, float y1, float x2, float y2, float thickness,
                       const IBlendSpec* blend = nullptr, bool antialias = false);
  bool StrokeCircle(const IRgba& colour, float cx, float cy, float radius,
                    const IBlendSpec* blend = nullptr, bool antialias = false);
  bool FillDisc(const IRgba& colour, float cx, float cy, float radius,
                const IBlendSpec* blend = nullptr, bool antialias = false);
  bool StrokeRoundBox(const IRgba& colour, const IBox& box, float radius,
                      const IBlendSpec* blend = nullptr, bool antialias = false);
  bool FillRoundBox(const IRgba& colour, const IBox& box, float radius, int corners,
                    const IBlendSpec* blend = nullptr, bool antialias = false);

  // ---- parameter binding ----
  void PushValueToControl(int controlIdx, double normalized);
  void ApplyUserValueToControls(int paramIdx, double normalized);
  void DirtyBackground();
  // Applies the values posted by PushParamToControls; runs on the user-interface thread at
  // the start of every tick and event.
  void TakePostedValues();
  // Last normalized value the plug-in reported for a parameter; the controls draw from it so
  // that painting never reads the parameter object while the audio thread writes it.
  double ParamNormalized(int paramIdx) const;
  void MirrorParam(int paramIdx, double normalized);

  // ---- events ----
  int ControlAtPoint(int x, int y) const;
  void MouseDown(int x, int y, const IInputMods& mods);
  void MouseUp(int x, int y, const IInputMods& mods);
  void MouseDrag(int x, int y, const IInputMods& mods);
  bool MouseDoubleClick(int x, int y, const IInputMods& mods);
  void MouseWheel(int x, int y, const IInputMods& mods, int detents);
  bool MouseOver(int x, int y, const IInputMods& mods);
  void MouseOut();
  void KeyDown(int x, int y, int key);

  // ---- redraw ----
  bool CollectDirtyArea(IBox* r);
  void RedrawArea(const IBox& r);
  // Per-tick hook run before the dirty check (the instrument pulls its texts here).
  void SetTickHook(std::function<void()> hook) { mTickHook = std::move(hook); }

  // ---- prompts ----
  void ApplyPromptText(IControl* control, PlugParam* param, const char* text);
  void DismissPopup(bool clear);

  // ---- accessors ----
  IPlugBase* GetPlugin() const { return mPlugin; }
  int Width() const { return mWidth; }
  int Height() const { return mHeight; }
  int FPS() const { return mFPS; }
  int FrameRate() const override { return mFPS; }
  int NControls() const { return static_cast<int>(mControls.size()); }
  IControl* GetControl(int idx) const;
  int IndexOf(const IControl* control) const;
  raster::Bitmap* DrawBitmap() const { return mDrawBitmap.get(); }
  const IBox& DirtyArea() const { return mDirtyArea; }
  void SetDirtyArea(const IBox& r) { mDirtyArea = r; }
  const IBox& AnimatedArea() const { return mAnimatedArea; }
  // The animated area in device pixels (what a window invalidates).
  IBox AnimatedPixelArea() const { return ToPixels(mAnimatedArea); }
  void SetAnimatedArea(const IBox& r) { mAnimatedArea = r; }
  bool TrackMouseOver() const { return mTrackMouseOver; }
  void HandleMouseOver(bool track) { mTrackMouseOver = track; }
  int HoverControl() const { return mHoverControl; }
  void SetHoverControl(int idx) { mHoverControl = idx; }
  int CapturedControl() const { return mCapturedControl; }
  void ReleaseCapture() {
    mCapturedControl = -1;
    mLastX = mLastY = -1;
  }
  PromptPopup* OpenPopup() const { return mOpenPopup; }
  void SetOpenPopup(PromptPopup* p) {
    mOpenPopup = p;
    mPopupClosing = false;
  }
  // True while a list is open, or was just closed by a click elsewhere that has not yet
  // reached its control.
  bool PopupPending() const { return mOpenPopup != nullptr || mPopupClosing; }
  // Forgets the open list; a list still on screen is closed with it.
  void ClearOpenPopup();
  bool PaintEnabled() const { return mPaintEnabled; }
  void EnablePaint(bool on) { mPaintEnabled = on; }
  bool RightButtonCaptured() const { return mRightButtonCaptured; }

  const ITextStyle& PopupTextStyle() const { return mPopupText; }
  const IRgba& PopupBackground() const { return mPopupBg; }
  const IRgba& PopupFrame() const { return mPopupFrame; }

 protected:
  // The scale in effect changed and the draw bitmap was remade at PixelSize(): the platform
  // resizes its window and anything it sized in pixels.
  virtual void ScaleChanged() {}
  // The platform saw the window move to a screen of another scale: followed unless the host
  // tells the scale itself, and the host is asked for the new size.
  void PlatformScaleChanged(double factor);
  // Unlocked access to the process-wide bitmap cache, for platform classes.
  static raster::Bitmap* CacheFind(int id);
  static void CacheAdd(int id, raster::Bitmap* bitmap);

  std::unique_ptr<raster::Bitmap> mDrawBitmap;
  std::unique_ptr<raster::Bitmap> mScratchBitmap;

 private:
  struct ParamSlot {
    std::atomic<double> posted{0.0};
    std::atomic<bool> pending{false};
    std::atomic<double> mirror{0.0};
  };

  void BindingBegin(const IControl* c);
  IPixelSize ApplyScale();
  void StrokeRoundOutline(const IRgba& colour, const IBox& pixels, float radius, bool antialias);
  // The bitmap that draws `image` at the current scale (the image's own at 1).
  const raster::Bitmap* Resolve(const IImage& image);
  float PointToPixel(float v) const;
  float LengthToPixels(float v) const;
  int Strokes() const;
  void BindingEnd(const IControl* c);

  std::recursive_mutex mSection;  // kept for platform classes; the host itself never takes it
  ITextStyle mPopupText;
  IRgba mPopupBg{245, 50, 50, 50};
  IRgba mPopupFrame{75, 200, 200, 200};
  bool mTrackMouseOver = false;
  int mHoverControl = -1;
  PromptPopup* mOpenPopup = nullptr;
  bool mPopupClosing = false;
  std::vector<std::unique_ptr<IControl>> mControls;
  IPlugBase* mPlugin = nullptr;
  IBox mDirtyArea;
  int mWidth = 0, mHeight = 0;
  int mFPS = 24;
  int mCapturedControl = -1;
  int mLastX = -1, mLastY = -1;
  bool mRightButtonCaptured = false;
  bool mClipToDirty = true;
  bool mPaintEnabled = true;
  IBox mAnimatedArea;
  int mCursorId = 0;
  std::unique_ptr<ParamSlot[]> mSlots;
  int mNumSlots = 0;
  std::function<void()> mTickHook;
  double mScale = 1.0, mScreenScale = 1.0, mUserZoom = 0.0;
  bool mHostGaveScale = false;
  int mPixelW = 0, mPixelH = 0;
  std::string mSettingsFile;
  // 1x bitmap -> the same image at mScale (owned by the process-wide cache).
  std::vector<std::pair<const raster::Bitmap*, const raster::Bitmap*>> mScaledImages;
};

// The plug-in's installed editor as a graphics host; null when it has none.
IGraphics* PlugGraphics(const IPlugBase* plug);
