// The instrument's editor view as a host opens, sizes and closes it.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include "editor/graphics.h"
#include "pluginterfaces/gui/iplugviewcontentscalesupport.h"
#include "instrument/caldrith.h"
#include "vst3/host/host_support.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

class RecordingFrame : public IPlugFrame {
 public:
  tresult PLUGIN_API resizeView(IPlugView* view, ViewRect* r) override {
    ++calls;
    lastView = view;
    lastRect = *r;
    if (answerAtOnce) view->onSize(r);
    return accept ? kResultOk : kResultFalse;
  }
  tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {
    QUERY_INTERFACE(iid, obj, FUnknown::iid, IPlugFrame)
    QUERY_INTERFACE(iid, obj, IPlugFrame::iid, IPlugFrame)
    *obj = nullptr;
    return kNoInterface;
  }
  uint32 PLUGIN_API addRef() override { return 1; }
  uint32 PLUGIN_API release() override { return 1; }

  int calls = 0;
  IPlugView* lastView = nullptr;
  ViewRect lastRect;
  bool answerAtOnce = false;
  bool accept = true;
};

struct Hosted {
  CLS_CALDRITH* plug = new CLS_CALDRITH();
  caldrith_host::HostContext host;
  Hosted() { plug->initialize(static_cast<IHostApplication*>(&host)); }
  ~Hosted() {
    plug->terminate();
    plug->release();
  }
};

}  // namespace

TEST(InstrumentView, SizeAndPlatformBeforeAttaching) {
  Hosted h;
  ASSERT_NE(PlugGraphics(h.plug), nullptr);
  IPlugView* v = h.plug->createView("editor");
  ASSERT_NE(v, nullptr);
  ViewRect r;
  ASSERT_EQ(v->getSize(&r), kResultOk);
  EXPECT_EQ(r.left, 0);
  EXPECT_EQ(r.top, 0);
  EXPECT_EQ(r.right, 600);
  EXPECT_EQ(r.bottom, 475);
  EXPECT_EQ(v->getSize(nullptr), kInvalidArgument);
#ifdef _WIN32
  EXPECT_EQ(v->isPlatformTypeSupported(kPlatformTypeHWND), kResultTrue);
  EXPECT_EQ(v->isPlatformTypeSupported(kPlatformTypeX11EmbedWindowID), kResultFalse);
#else
  EXPECT_EQ(v->isPlatformTypeSupported(kPlatformTypeHWND), kResultFalse);
  EXPECT_EQ(v->isPlatformTypeSupported(kPlatformTypeX11EmbedWindowID), kResultTrue);
  EXPECT_EQ(v->isPlatformTypeSupported("X11EmbedWindowI"), kResultFalse);
#endif
  EXPECT_EQ(v->isPlatformTypeSupported(nullptr), kResultFalse);
  EXPECT_EQ(v->canResize(), kResultFalse);
  v->release();
}

// A host that tells its scale before it makes the window learns the size from getSize; the
// view asks nothing of its frame until it has a window.
TEST(InstrumentView, ContentScaleBeforeAttaching) {
  Hosted h;
  RecordingFrame frame;
  IPlugView* v = h.plug->createView("editor");
  v->setFrame(&frame);
  IPlugViewContentScaleSupport* scale = nullptr;
  ASSERT_EQ(v->queryInterface(IPlugViewContentScaleSupport::iid, reinterpret_cast<void**>(&scale)),
            kResultOk);
  const struct {
    float factor;
    tresult result;
    int w, h;
  } steps[] = {{1.25f, kResultTrue, 750, 594},
               {3.0f, kResultTrue, 1800, 1425},
               {-2.0f, kResultFalse, 1800, 1425},
               {0.2f, kResultTrue, 600, 475},
               {2.0f, kResultTrue, 1200, 950}};
  for (const auto& s : steps) {
    EXPECT_EQ(scale->setContentScaleFactor(s.factor), s.result) << s.factor;
    ViewRect r;
    ASSERT_EQ(v->getSize(&r), kResultOk);
    EXPECT_EQ(r.getWidth(), s.w) << s.factor;
    EXPECT_EQ(r.getHeight(), s.h) << s.factor;
    ViewRect asked(10, 20, 100, 100);
    EXPECT_EQ(v->checkSizeConstraint(&asked), kResultTrue);
    EXPECT_EQ(asked.getWidth(), s.w);
    EXPECT_EQ(asked.left, 10);
  }
  EXPECT_EQ(frame.calls, 0);
  EXPECT_EQ(v->canResize(), kResultFalse);
  scale->release();
  v->release();
}

TEST(InstrumentView, AttachOpensTheWindowOnlyForThePlatformType) {
  Hosted h;
  IGraphics* gui = PlugGraphics(h.plug);
  ASSERT_NE(gui, nullptr);
  IPlugView* v = h.plug->createView("editor");
#ifdef _WIN32
  // The Win32 window needs a real parent window.
  HWND parentWindow = CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW, 0, 0, 700, 600,
                                      nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(parentWindow, nullptr);
  void* parentPtr = parentWindow;
  ASSERT_EQ(v->attached(parentPtr, kPlatformTypeX11EmbedWindowID), kResultOk);
  EXPECT_FALSE(gui->HasWindow());
  EXPECT_EQ(v->removed(), kResultOk);
  ASSERT_EQ(v->attached(parentPtr, kPlatformTypeHWND), kResultOk);
  EXPECT_TRUE(gui->HasWindow());
  EXPECT_EQ(v->removed(), kResultOk);
  EXPECT_FALSE(gui->HasWindow());
  // Attached again after removal, then released while open: the plug-in outlives it.
  ASSERT_EQ(v->attached(parentPtr, kPlatformTypeHWND), kResultOk);
  v->removed();
  v->release();
  DestroyWindow(parentWindow);
#else
  int parent = 0;
  ASSERT_EQ(v->attached(&parent, kPlatformTypeHWND), kResultOk);
  EXPECT_FALSE(gui->HasWindow());
  EXPECT_EQ(v->removed(), kResultOk);
  // Without a frame that offers the host's run loop nothing could drive the window.
  RecordingFrame frame;
  EXPECT_EQ(v->attached(reinterpret_cast<void*>(0x400001), kPlatformTypeX11EmbedWindowID),
            kResultFalse);
  v->setFrame(&frame);
  EXPECT_EQ(v->attached(reinterpret_cast<void*>(0x400001), kPlatformTypeX11EmbedWindowID),
            kResultFalse);
  EXPECT_FALSE(gui->HasWindow());
  EXPECT_EQ(v->removed(), kResultOk);
  v->release();
#endif
}

TEST(InstrumentView, ResizeRequestsGoToTheFirstViewsFrame) {
  Hosted h;
  RecordingFrame frame;
  // No view open: nothing to ask.
  h.plug->ResizeEditor(700, 500);
  IPlugView* first = h.plug->createView("editor");
  IPlugView* second = h.plug->createView("editor");
  // First view without a frame: the request goes nowhere.
  h.plug->ResizeEditor(700, 500);
  EXPECT_EQ(frame.calls, 0);
  first->setFrame(&frame);
  second->setFrame(&frame);
  h.plug->ResizeEditor(700, 500);
  ASSERT_EQ(frame.calls, 1);
  EXPECT_EQ(frame.lastView, first);
  EXPECT_EQ(frame.lastRect.right, 700);
  EXPECT_EQ(frame.lastRect.bottom, 500);
  EXPECT_TRUE(h.plug->FirstOpenView()->ExpectingNewSize());
  ViewRect answer(0, 0, 700, 500);
  EXPECT_EQ(first->onSize(&answer), kResultOk);
  EXPECT_FALSE(h.plug->FirstOpenView()->ExpectingNewSize());
  EXPECT_EQ(h.plug->FirstOpenView()->Rect().right, 700);
  // A host that declines leaves no request pending.
  frame.accept = false;
  h.plug->ResizeEditor(640, 480);
  EXPECT_FALSE(h.plug->FirstOpenView()->ExpectingNewSize());
  frame.accept = true;
  frame.answerAtOnce = true;
  h.plug->ResizeEditor(650, 490);
  EXPECT_FALSE(h.plug->FirstOpenView()->ExpectingNewSize());
  EXPECT_EQ(h.plug->FirstOpenView()->Rect().bottom, 490);
  first->release();
  second->release();
}
