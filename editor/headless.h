#pragma once
// Window-less platform for tools and tests: presents into a screen bitmap, runs the redraw
// timer on demand (Tick) and records prompts and web-page requests so callers can answer
// them.
#include <memory>
#include <string>
#include <vector>

#include "editor/graphics.h"

class IGraphicsHeadless : public IGraphics {
 public:
  struct ParamPrompt {
    IControl* control = nullptr;
    PlugParam* param = nullptr;
    bool centred = false;
  };
  struct WebRequest {
    std::string url, title, errorText;
  };

  IGraphicsHeadless(IPlugBase* plugin, int width, int height, int fps = 0);
  ~IGraphicsHeadless() override;

  void PresentFrame(const IBox& r) override;
  bool HasWindow() const override { return mOpen; }
  void OpenTextEditor(ITextControl* control) override;
  void AskParamValue(IControl* control, PlugParam* param, bool centred) override;
  void HostFolder(std::string* out) override;
  void ModuleFolder(std::string* out) override;
  bool OpenWebPage(const char* url, const char* title, const char* confirmText,
                   const char* errorText) override;
  bool ForwardWheel(int detents) override {
    (void)detents;
    return false;
  }
  void StartEditEndCountdown(int ticks) override { mEditEndTicks = ticks; }
  void StopEditEndCountdown() override { mEditEndTicks = 0; }
  void* CreateEditorWindow(void* parentWindow) override;
  void DestroyEditorWindow() override;
  void* EditorWindowHandle() const override;
  raster::Bitmap* DecodeImageResource(int resourceId, const char* name) override;

  // One timer tick of the window: pending prompt answer, dirty area, animated area, the
  // deferred end of a wheel edit. Returns the dirty area that was repainted (may be empty).
  IBox Tick();
  // Answers the last parameter prompt as the user would (text typed, then Enter).
  bool AnswerPrompt(const char* text);

  raster::Bitmap& Screen() { return *mScreen; }
  const std::vector<ParamPrompt>& Prompts() const { return mPrompts; }
  const std::vector<ITextControl*>& TextEditors() const { return mTextEditors; }
  const std::vector<WebRequest>& WebRequests() const { return mWebRequests; }
  int EditEndTicks() const { return mEditEndTicks; }
  // What OpenWebPage answers (no browser here).
  void SetWebPageResult(bool ok) { mWebOk = ok; }
  int PresentCount() const { return mPresentCount; }
  const IBox& LastPresented() const { return mLastPresented; }

  // Image source override for tests: id -> PNG bytes (empty vector = missing).
  void SetImageOverride(int id, std::vector<unsigned char> png);
  // Process-wide: resource ids that every headless editor treats as missing from now on.
  // Decoded images are cached for the process, so this only affects ids not yet loaded.
  static void SetMissingImagesForTesting(const std::vector<int>& ids);

 protected:
  void ScaleChanged() override;
  // One tick of the deferred end of a wheel edit.
  void StepEditEndCountdown();

 private:
  std::unique_ptr<raster::Bitmap> mScreen;
  bool mOpen = false;
  int mEditEndTicks = 0;
  bool mWebOk = false;
  int mPresentCount = 0;
  IBox mLastPresented;
  std::vector<ParamPrompt> mPrompts;
  std::vector<ITextControl*> mTextEditors;
  std::vector<WebRequest> mWebRequests;
  std::vector<std::pair<int, std::vector<unsigned char>>> mOverrides;
};

// The editor object of this platform: the Win32 window on Windows, the X11 window on Linux
// (both window-less until a host gives them a parent).
IGraphics* MakePlatformGraphics(IPlugBase* plugin, int width, int height, int fps);
