#include <cstring>

#include "editor/graphics.h"
#include "vst3/plug_vst3.h"

using namespace Steinberg;

namespace {
bool IsHwnd(FIDString type) {
  return type && std::strcmp(type, kPlatformTypeHWND) == 0;
}
}  // namespace

IPlugVST3View::IPlugVST3View(IPlugVST3* plug) : CPluginView(nullptr), mPlug(plug) {
  mPlug->addRef();
}

IPlugVST3View::~IPlugVST3View() {
  mPlug->RemoveOpenView(this);
  mPlug->release();
}

tresult PLUGIN_API IPlugVST3View::isPlatformTypeSupported(FIDString type) {
  if (!PlugGraphics(mPlug)) return kResultFalse;
  return IsHwnd(type) ? kResultTrue : kResultFalse;
}

tresult PLUGIN_API IPlugVST3View::attached(void* parent, FIDString type) {
  IGraphics* gui = PlugGraphics(mPlug);
  if (!gui) return kResultFalse;
  if (IsHwnd(type)) gui->CreateEditorWindow(parent);
  mPlug->EditorOpened();
  return kResultOk;
}

tresult PLUGIN_API IPlugVST3View::removed() {
  if (IGraphics* gui = PlugGraphics(mPlug)) {
    mPlug->EditorClosed();
    gui->DestroyEditorWindow();
  }
  CPluginView::removed();
  return kResultOk;
}

tresult PLUGIN_API IPlugVST3View::getSize(ViewRect* size) {
  IGraphics* gui = PlugGraphics(mPlug);
  if (!gui) return kResultFalse;
  if (!size) return kInvalidArgument;
  *size = ViewRect(0, 0, gui->Width(), gui->Height());
  return kResultOk;
}

tresult PLUGIN_API IPlugVST3View::onSize(ViewRect* newSize) {
  if (newSize) {
    rect = *newSize;
    if (mExpectingNewSize) {
      mPlug->EditorResized();
      mExpectingNewSize = false;
    }
  }
  return kResultOk;
}

void IPlugVST3View::RequestResize(int width, int height) {
  // Without a frame there is nobody to ask; the editor keeps its size.
  if (!plugFrame) return;
  mExpectingNewSize = true;
  ViewRect r(0, 0, width, height);
  if (plugFrame->resizeView(this, &r) != kResultOk && mExpectingNewSize) {
    // The host declined and will not call onSize.
    mExpectingNewSize = false;
  }
}
