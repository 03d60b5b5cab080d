#pragma once
// The editor window on Windows: a child of the host's window that turns window messages
// into IGraphics events, runs the redraw timer, copies the draw bitmap to the screen through
// a DIB section, hosts the edit box for typed values and opens web pages.
#include <windows.h>

#include "editor/graphics.h"

class IGraphicsWin : public IGraphics {
 public:
  static constexpr UINT_PTR kTimerId = 2;
  static constexpr int kEditControlId = 99;
  // Edit box states; commits and cancels are carried out by the next tick.
  enum EditState : int { kEditNone = 0, kEditing = 1, kEditCancel = 2, kEditCommit = 3 };

  IGraphicsWin(IPlugBase* plugin, int width, int height, int fps = 0);
  ~IGraphicsWin() override;

  void PresentFrame(const IBox& r) override;
  void SetEditorSize(int width, int height) override;
  bool HasWindow() const override { return mWnd != nullptr; }
  void OpenTextEditor(ITextControl* control) override;
  void AskParamValue(IControl* control, PlugParam* param, bool centred) override;
  void HostFolder(std::string* out) override;
  void ModuleFolder(std::string* out) override;
  bool AskForColour(IRgba* colour, const char* prompt) override;
  bool OpenWebPage(const char* url, const char* title, const char* confirmText,
                   const char* errorText) override;
  bool ForwardWheel(int detents) override;
  void StartEditEndCountdown(int ticks) override { mParamChangeTicks = ticks; }
  void StopEditEndCountdown() override { mParamChangeTicks = 0; }
  void* CreateEditorWindow(void* parentWindow) override;
  void DestroyEditorWindow() override;
  void* EditorWindowHandle() const override { return mWnd; }
  raster::Bitmap* DecodeImageResource(int resourceId, const char* name) override;
  bool CreateDrawSurfaces() override;

  void SetPlatformCursor(int id) override;
  // The window's DPI / 96 (GetDpiForWindow, where Windows has it), or the system's before a
  // window exists; 0 when neither can be asked.
  double PlatformScaleFactor(void* parentWindow) override;

  // One tick of the redraw timer (also callable by tests that drive the window by hand).
  void Tick();

  HWND EditWindow() const { return mEditWnd; }
  int EditState() const { return mEditState; }
  int ParamChangeTicks() const { return mParamChangeTicks; }
  HWND ParentWindow() const { return mParentWnd; }
  HINSTANCE Instance() const { return mHInstance; }

  // Open editor windows in the process; the window class lives while this is above 0.
  static int WindowCount();
  static const wchar_t* WindowClassName() { return L"PlugEditorWndClass"; }
  // The timer interval for a frame rate, in milliseconds.
  static int TimerInterval(int fps) { return fps > 0 ? static_cast<int>(1000 / fps) : 41; }

 protected:
  void ScaleChanged() override;

 private:
  static LRESULT CALLBACK WndProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK EditProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
  static IGraphicsWin* LiveEditorOf(HWND hWnd);

  LRESULT HandleMessage(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT HandleEditMessage(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
  void OpenEditBox(const IBox& r, DWORD style, const char* text, HFONT font);
  void CloseEditBox();
  void RepaintNow(const IBox& r);
  void WindowGone();
  bool CreateDib(int width, int height);
  void FreeDib();

  HINSTANCE mHInstance = nullptr;
  HWND mWnd = nullptr;
  HWND mTooltipWnd = nullptr;  // tooltips are never enabled
  HWND mEditWnd = nullptr;
  IControl* mEditControl = nullptr;
  PlugParam* mEditParam = nullptr;
  WNDPROC mDefEditProc = nullptr;
  int mEditState = kEditNone;
  bool mShowingTooltip = false;
  int mTooltipIdx = -1;
  int mParamChangeTicks = 0;
  COLORREF* mCustomColours = nullptr;
  HWND mParentWnd = nullptr;

  HFONT mEditFont = nullptr;
  HDC mDrawDC = nullptr;
  HBITMAP mDib = nullptr;
  HGDIOBJ mOldDibObject = nullptr;
  HCURSOR mCursor = nullptr;
  int mLastMouseX = 0, mLastMouseY = 0;
  bool mCountedWindow = false;
};

// The platform editor of this build.
IGraphics* MakePlatformGraphics(IPlugBase* plugin, int width, int height, int fps);
