#pragma once
// The editor window on Linux: a child of the host's X window. Linux hosts run every user
// interface call on their own thread, so there is no event thread here: whoever opens the
// window registers the connection's descriptor and the frame timer with the host's run loop
// and calls OnEventSourceReady and OnTimer from it. Paints the draw bitmap with PutImage,
// turns X events into the IGraphics events the Windows window sends, draws its own
// text-entry box (X has no edit control) and opens web pages with xdg-open.
//
// Without a parent window it is the window-less editor it derives from, so that tools and
// tests can still take pictures of it.
#include <cstdint>
#include <vector>

#include "editor/headless.h"
#include "editor/x11/text_entry.h"

struct xcb_connection_t;

class IGraphicsX11 : public IGraphicsHeadless {
 public:
  // Edit box states, as in the Windows window; commits and cancels wait for the next tick.
  enum EditState : int { kEditNone = 0, kEditing = 1, kEditCancel = 2, kEditCommit = 3 };
  // Longest gap between two presses that still makes a double click, in milliseconds.
  static constexpr uint32_t kDoubleClickMs = 500;
  // Ticks between two phases of the caret's blink.
  static constexpr int kBlinkTicks = 12;

  IGraphicsX11(IPlugBase* plugin, int width, int height, int fps = 0);
  ~IGraphicsX11() override;

  void PresentFrame(const IBox& r) override;
  bool HasWindow() const override;
  void OpenTextEditor(ITextControl* control) override;
  void AskParamValue(IControl* control, PlugParam* param, bool centred) override;
  bool OpenWebPage(const char* url, const char* title, const char* confirmText,
                   const char* errorText) override;
  // `parentWindow` is the host's X window id; null opens the window-less editor instead.
  void* CreateEditorWindow(void* parentWindow) override;
  void DestroyEditorWindow() override;
  void* EditorWindowHandle() const override;
  void SetPlatformCursor(int id) override;
  // Xft.dpi / 96 from the X resource database of the display (what desktops set for their
  // scale); 0 when the resource is missing or the display cannot be reached.
  double PlatformScaleFactor(void* parentWindow) override;

  // ---- the host's run loop ----
  // The connection's descriptor, held open for the caller until ReleaseEventSource: the
  // connection closes only when the window is gone and every holder has let go, so a
  // descriptor registered with a run loop never dangles. -1 without a connection.
  int AcquireEventSource();
  void ReleaseEventSource();
  // Reads and handles whatever the X server sent.
  void OnEventSourceReady();
  // One frame: pending edit-box commit or cancel, dirty and animated areas, caret blink,
  // the deferred end of a wheel edit.
  void OnTimer();
  // The connection failed (server gone, client killed); the window counts as closed and
  // the descriptor should be unregistered.
  bool ConnectionBroken() const { return mBroken; }
  int TimerIntervalMs() const { return 1000 / FPS(); }

  // ---- inspection ----
  uint32_t WindowId() const { return mWindow; }
  uint32_t ParentId() const { return mParent; }
  int EditState() const { return mEditState; }
  const TextEntry& EditBox() const { return mBox; }
  int EventSourceHolders() const { return mHolders; }
  int ProtocolErrors() const { return mErrors; }
  // Children started by OpenWebPage that have not been reaped yet (process-wide).
  static int UnreapedChildren();

 protected:
  void ScaleChanged() override;

 private:
  struct PixelFormat {
    int bitsPerPixel = 32;
    int depth = 24;
    bool lsbFirst = true;
    uint32_t red = 0xff0000, green = 0xff00, blue = 0xff;
    bool native = true;  // the draw bitmap's memory can be sent as it is
  };

  bool Connect();
  void Disconnect();
  bool CreateWindow(uint32_t parent);
  void WindowGone();
  void ConnectionLost();
  // One event as the server sent it.
  void Dispatch(void* event);
  void LoadKeyboardMapping();
  uint32_t KeysymFor(uint8_t keycode, uint16_t state) const;
  void HandleButtonPress(int button, int x, int y, uint16_t state, uint32_t time);
  void HandleButtonRelease(int button, int x, int y, uint16_t state);
  void HandleMotion(int x, int y, uint16_t state);
  void HandleKey(uint8_t keycode, uint16_t state, int x, int y);
  bool HandleEditKey(uint32_t keysym, uint16_t state);
  void OpenEditBox(const IBox& r, const TextEntry::Options& options, const char* text);
  void CloseEditBox();
  void RepaintBox();
  void TakeFocus(uint32_t time);
  uint32_t InternAtom(const char* name);
  void Upload(const IBox& r);
  uint32_t CursorFor(int id);
  uint32_t MakeImageCursor(int id);
  uint32_t MakeGlyphCursor(int glyph);
  void Flush();

  xcb_connection_t* mConn = nullptr;
  int mFd = -1;
  int mHolders = 0;
  bool mBroken = false;
  uint32_t mWindow = 0;
  uint32_t mParent = 0;
  uint32_t mGc = 0;
  uint32_t mRoot = 0;
  PixelFormat mFormat;
  size_t mMaxRequestBytes = 0;
  std::vector<uint32_t> mUploadBuffer;
  uint8_t mMinKeycode = 8;
  int mKeysymsPerKeycode = 0;
  std::vector<uint32_t> mKeysyms;
  struct CursorEntry {
    int id;
    uint32_t cursor;
  };
  std::vector<CursorEntry> mCursors;
  int mErrors = 0;

  // Mouse: the buttons the window holds (the server's implicit grab plays the Windows
  // capture), the last position, double-click detection, mouse-leave tracking.
  bool mCaptured = false;
  bool mRouted = false;  // the last press reached the controls
  bool mPressInBox = false;
  int mLastX = 0, mLastY = 0;
  int mLastPressButton = 0;
  uint32_t mLastPressTime = 0;
  int mLastPressX = 0, mLastPressY = 0;
  bool mPressWasDouble = false;
  bool mTrackingLeave = false;
  bool mHasFocus = false;
  IBox mExposed;

  // The text-entry box.
  TextEntry mBox;
  IControl* mEditControl = nullptr;
  PlugParam* mEditParam = nullptr;
  int mEditState = kEditNone;
  int mBlinkCountdown = kBlinkTicks;
  bool mBlinkOn = true;
  raster::Bitmap mBoxPixels;
};
