#include <atomic>
#include <cmath>
#include <cstring>

#include "editor/graphics.h"
#include "vst3/plug_vst3.h"

#if SMTG_OS_LINUX
#include "editor/x11/graphics_x11.h"
#endif

using namespace Steinberg;

namespace {

bool IsPlatformType(FIDString type) {
  if (!type) return false;
#if SMTG_OS_LINUX
  return std::strcmp(type, kPlatformTypeX11EmbedWindowID) == 0;
#else
  return std::strcmp(type, kPlatformTypeHWND) == 0;
#endif
}

}  // namespace

#if SMTG_OS_LINUX
// What the view registers with the host's run loop: the X connection's descriptor and the
// frame timer, both handed to the editor. Reference counted for the host; the view detaches
// it before letting go, so a late call from the host reaches nothing.
class RunLoopLink : public Linux::IEventHandler, public Linux::ITimerHandler {
 public:
  RunLoopLink(IGraphicsX11* gui, Linux::IRunLoop* loop) : mGui(gui), mLoop(loop) {}
  virtual ~RunLoopLink() = default;

  void PLUGIN_API onFDIsSet(Linux::FileDescriptor) override {
    if (!mGui) return;
    mGui->OnEventSourceReady();
    // A broken connection's descriptor stays readable for ever: stop watching it at once,
    // or the host would spin on it.
    if (mGui && mGui->ConnectionBroken()) UnregisterHandler();
  }
  void PLUGIN_API onTimer() override {
    if (mGui) mGui->OnTimer();
  }

  void UnregisterHandler() {
    if (!mHandlerRegistered) return;
    mHandlerRegistered = false;
    mLoop->unregisterEventHandler(this);
  }
  void UnregisterTimer() {
    if (!mTimerRegistered) return;
    mTimerRegistered = false;
    mLoop->unregisterTimer(this);
  }
  bool Register(int fd, int intervalMs) {
    mHandlerRegistered = mLoop->registerEventHandler(this, fd) == kResultOk;
    if (!mHandlerRegistered) return false;
    mTimerRegistered =
        mLoop->registerTimer(this, static_cast<Linux::TimerInterval>(intervalMs)) == kResultOk;
    return mTimerRegistered;
  }
  void Detach() {
    UnregisterTimer();
    UnregisterHandler();
    mGui = nullptr;
  }

  tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {
    if (!obj) return kInvalidArgument;
    if (FUnknownPrivate::iidEqual(iid, Linux::IEventHandler::iid) ||
        FUnknownPrivate::iidEqual(iid, FUnknown::iid)) {
      *obj = static_cast<Linux::IEventHandler*>(this);
    } else if (FUnknownPrivate::iidEqual(iid, Linux::ITimerHandler::iid)) {
      *obj = static_cast<Linux::ITimerHandler*>(this);
    } else {
      *obj = nullptr;
      return kNoInterface;
    }
    addRef();
    return kResultOk;
  }
  uint32 PLUGIN_API addRef() override { return ++mRefs; }
  uint32 PLUGIN_API release() override {
    const uint32 left = --mRefs;
    if (left == 0) delete this;
    return left;
  }

 private:
  IGraphicsX11* mGui;
  Linux::IRunLoop* mLoop;
  bool mHandlerRegistered = false;
  bool mTimerRegistered = false;
  std::atomic<uint32> mRefs{1};
};
#else
class RunLoopLink {};
#endif

IPlugVST3View::IPlugVST3View(IPlugVST3* plug) : CPluginView(nullptr), mPlug(plug) {
  mPlug->addRef();
  // A host that attaches without asking getSize has made its window at the size it knew.
  if (IGraphics* gui = PlugGraphics(mPlug)) {
    mHostW = gui->PixelSize().W;
    mHostH = gui->PixelSize().H;
  }
}

IPlugVST3View::~IPlugVST3View() {
  // A host that lets go of an attached view still gets its window and registrations back.
  if (mLink) removed();
  mPlug->RemoveOpenView(this);
  mPlug->release();
}

tresult PLUGIN_API IPlugVST3View::isPlatformTypeSupported(FIDString type) {
  IGraphics* gui = PlugGraphics(mPlug);
  if (!gui) return kResultFalse;
#if SMTG_OS_LINUX
  // Only the X11 editor can live in an X11 window.
  if (!dynamic_cast<IGraphicsX11*>(gui)) return kResultFalse;
#endif
  return IsPlatformType(type) ? kResultTrue : kResultFalse;
}

tresult PLUGIN_API IPlugVST3View::attached(void* parent, FIDString type) {
  IGraphics* gui = PlugGraphics(mPlug);
  if (!gui) return kResultFalse;
  // The screen the host's window is on, for hosts that tell no scale.
  if (IsPlatformType(type) && parent) gui->UsePlatformScale(parent);
#if SMTG_OS_LINUX
  if (IsPlatformType(type)) {
    // Attached twice without removed: the first window stays, nothing is registered twice.
    if (mLink || !parent) return kResultFalse;
    auto* x11 = dynamic_cast<IGraphicsX11*>(gui);
    Linux::IRunLoop* loop = nullptr;
    // Linux hosts run every editor call on their own thread, reached only through their run
    // loop; without one the editor could never draw.
    if (!x11 || !plugFrame ||
        plugFrame->queryInterface(Linux::IRunLoop::iid, reinterpret_cast<void**>(&loop)) !=
            kResultOk ||
        !loop)
      return kResultFalse;
    void* window = gui->CreateEditorWindow(parent);
    const int fd = window ? x11->AcquireEventSource() : -1;
    if (fd < 0) {
      if (window) gui->DestroyEditorWindow();
      loop->release();
      return kResultFalse;
    }
    auto* link = new RunLoopLink(x11, loop);
    if (!link->Register(fd, x11->TimerIntervalMs())) {
      link->Detach();
      link->release();
      x11->ReleaseEventSource();
      gui->DestroyEditorWindow();
      loop->release();
      return kResultFalse;
    }
    mLink = link;
    mRunLoop = loop;
    mWindow = window;
  }
#else
  if (IsPlatformType(type)) mWindow = gui->CreateEditorWindow(parent);
#endif
  mPlug->EditorOpened();
  FollowEditorSize();
  return kResultOk;
}

bool IPlugVST3View::OwnsEditorWindow() const {
  IGraphics* gui = PlugGraphics(mPlug);
  if (!gui) return false;
  void* current = gui->EditorWindowHandle();
  return !current || current == mWindow;
}

void IPlugVST3View::LeaveRunLoop() {
#if SMTG_OS_LINUX
  if (!mLink) return;
  mLink->Detach();
  mLink->release();
  mLink = nullptr;
  static_cast<Linux::IRunLoop*>(mRunLoop)->release();
  mRunLoop = nullptr;
  if (auto* x11 = dynamic_cast<IGraphicsX11*>(PlugGraphics(mPlug))) x11->ReleaseEventSource();
#endif
}

tresult PLUGIN_API IPlugVST3View::removed() {
  // The descriptor leaves the run loop before the connection behind it can close.
  LeaveRunLoop();
  if (IGraphics* gui = PlugGraphics(mPlug)) {
    // Another view of this plug-in that has since taken the editor window keeps it.
    if (OwnsEditorWindow()) {
      mPlug->EditorClosed();
      gui->DestroyEditorWindow();
    }
  }
  mWindow = nullptr;
  CPluginView::removed();
  return kResultOk;
}

tresult PLUGIN_API IPlugVST3View::getSize(ViewRect* size) {
  IGraphics* gui = PlugGraphics(mPlug);
  if (!gui) return kResultFalse;
  if (!size) return kInvalidArgument;
  if (mResizing) {
    *size = ViewRect(0, 0, mHostW, mHostH);
    return kResultOk;
  }
  // Before a window exists the host sizes it from this answer: the default screen's scale,
  // unless the host has told its own.
  const IPixelSize px = mWindow ? gui->PixelSize() : gui->UsePlatformScale(nullptr);
  *size = ViewRect(0, 0, px.W, px.H);
  mHostW = px.W;
  mHostH = px.H;
  return kResultOk;
}

tresult PLUGIN_API IPlugVST3View::checkSizeConstraint(ViewRect* r) {
  IGraphics* gui = PlugGraphics(mPlug);
  if (!gui || !r) return kResultFalse;
  const IPixelSize px = gui->PixelSize();
  r->right = r->left + px.W;
  r->bottom = r->top + px.H;
  return kResultTrue;
}

tresult PLUGIN_API IPlugVST3View::setContentScaleFactor(ScaleFactor factor) {
  IGraphics* gui = PlugGraphics(mPlug);
  if (!gui || !std::isfinite(factor) || !(factor > 0.0f)) return kResultFalse;
  gui->SetScaleFactor(factor);
  FollowEditorSize();
  return kResultTrue;
}

void IPlugVST3View::FollowEditorSize() {
  IGraphics* gui = PlugGraphics(mPlug);
  // Before attached the host asks getSize when it makes the window.
  if (!gui || !mWindow || !OwnsEditorWindow()) return;
  const IPixelSize px = gui->PixelSize();
  if (px.W != mHostW || px.H != mHostH) RequestResize(px.W, px.H);
}

tresult PLUGIN_API IPlugVST3View::onSize(ViewRect* newSize) {
  if (newSize) {
    rect = *newSize;
    mHostW = newSize->getWidth();
    mHostH = newSize->getHeight();
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
  mResizing = true;
  const tresult result = plugFrame->resizeView(this, &r);
  mResizing = false;
  if (result == kResultOk) {
    mHostW = width;
    mHostH = height;
  } else if (mExpectingNewSize) {
    // The host declined and will not call onSize.
    mExpectingNewSize = false;
  }
}
