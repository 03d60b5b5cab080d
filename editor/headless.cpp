#include "editor/headless.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "editor/controls.h"
#include "editor/embedded_resources.h"
#include "framework/plug_base.h"
#include "raster/raster.h"

namespace {

std::mutex gMissingLock;
std::vector<int> gMissing;

bool MissingForTesting(int id) {
  std::lock_guard<std::mutex> lock(gMissingLock);
  for (int m : gMissing) {
    if (m == id) return true;
  }
  return false;
}

}  // namespace

void IGraphicsHeadless::SetMissingImagesForTesting(const std::vector<int>& ids) {
  std::lock_guard<std::mutex> lock(gMissingLock);
  gMissing = ids;
}

IGraphicsHeadless::IGraphicsHeadless(IPlugBase* plugin, int width, int height, int fps)
    : IGraphics(plugin, width, height, fps), mScreen(new raster::Bitmap()) {
  mScreen->Create(width > 0 ? width : 1, height > 0 ? height : 1);
}

IGraphicsHeadless::~IGraphicsHeadless() {
  DestroyEditorWindow();
}

void IGraphicsHeadless::PresentFrame(const IBox& r) {
  ++mPresentCount;
  mLastPresented = r;
  if (!mDrawBitmap || r.W() <= 0 || r.H() <= 0) return;
  raster::Blit(*mScreen, r.L, r.T, *mDrawBitmap, r.L, r.T, r.W(), r.H(), 1.0f,
               raster::BlendMode::kCopy);
}

void IGraphicsHeadless::ScaleChanged() {
  const IPixelSize size = PixelSize();
  mScreen->Create(std::max(1, size.W), std::max(1, size.H));
}

void IGraphicsHeadless::OpenTextEditor(ITextControl* control) {
  if (control) mTextEditors.push_back(control);
}

void IGraphicsHeadless::AskParamValue(IControl* control, PlugParam* param, bool centred) {
  if (!control || !param) return;
  mPrompts.push_back(ParamPrompt{control, param, centred});
}

bool IGraphicsHeadless::AnswerPrompt(const char* text) {
  if (mPrompts.empty()) return false;
  ParamPrompt p = mPrompts.back();
  mPrompts.pop_back();
  ApplyPromptText(p.control, p.param, text);
  return true;
}

void IGraphicsHeadless::HostFolder(std::string* out) {
  if (out) out->clear();
}

void IGraphicsHeadless::ModuleFolder(std::string* out) {
  if (out) out->clear();
}

bool IGraphicsHeadless::OpenWebPage(const char* url, const char* title, const char* confirmText,
                                    const char* errorText) {
  (void)confirmText;
  mWebRequests.push_back(
      WebRequest{url ? url : "", title ? title : "", errorText ? errorText : ""});
  return mWebOk;
}

void* IGraphicsHeadless::CreateEditorWindow(void* parentWindow) {
  (void)parentWindow;
  mOpen = true;
  DirtyBackground();
  return this;
}

void IGraphicsHeadless::DestroyEditorWindow() {
  if (!mOpen) return;
  if (mEditEndTicks != 0 && GetPlugin()) GetPlugin()->FlushParamEditEnd();
  mOpen = false;
}

void* IGraphicsHeadless::EditorWindowHandle() const {
  return mOpen ? const_cast<IGraphicsHeadless*>(this) : nullptr;
}

void IGraphicsHeadless::SetImageOverride(int id, std::vector<unsigned char> png) {
  for (auto& o : mOverrides) {
    if (o.first == id) {
      o.second = std::move(png);
      return;
    }
  }
  mOverrides.emplace_back(id, std::move(png));
}

raster::Bitmap* IGraphicsHeadless::DecodeImageResource(int resourceId, const char* name) {
  (void)name;
  if (MissingForTesting(resourceId)) return nullptr;
  const unsigned char* data = nullptr;
  size_t size = 0;
  bool found = false;
  for (auto& o : mOverrides) {
    if (o.first == resourceId) {
      data = o.second.data();
      size = o.second.size();
      found = true;
    }
  }
  if (!found) found = FindEmbeddedImage(resourceId, &data, &size);
  // Anything shorter than a PNG signature is not an image.
  if (!found || !data || size <= 7) return nullptr;
  auto* bmp = new raster::Bitmap();
  if (!raster::DecodePng(data, size, bmp) || bmp->Empty()) {
    delete bmp;
    return nullptr;
  }
  return bmp;
}

IBox IGraphicsHeadless::Tick() {
  IBox dirty;
  if (PaintEnabled() && CollectDirtyArea(&dirty)) RedrawArea(dirty);
  const IBox anim = AnimatedPixelArea();
  if (anim.W() > 0) RedrawArea(anim);
  StepEditEndCountdown();
  return dirty;
}

void IGraphicsHeadless::StepEditEndCountdown() {
  if (mEditEndTicks != 0) {
    if (--mEditEndTicks == 0 && GetPlugin()) GetPlugin()->FlushParamEditEnd();
  }
}

#if !defined(_WIN32) && !defined(CALDRITH_HAVE_X11)
IGraphics* MakePlatformGraphics(IPlugBase* plugin, int width, int height, int fps) {
  return new IGraphicsHeadless(plugin, width, height, fps);
}
#endif
