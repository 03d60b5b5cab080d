// The instrument's editor as a Linux host opens it: the "editor" view attached to a host's
// X window, its descriptor and frame timer in the host's run loop, driven through XTest in a
// virtual X server.
#include <gtest/gtest.h>
#include <X11/Xatom.h>
#include <X11/keysym.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "editor/controls.h"
#include "editor/x11/cursor_image.h"
#include "editor/x11/graphics_x11.h"
#include "instrument/caldrith.h"
#include "pluginterfaces/gui/iplugviewcontentscalesupport.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "raster/raster.h"
#include "resources/embedded.h"
#include "tests/framework/lock_breach_fails.h"
#include "tests/instrument/hosted_instance.h"
#include "vst3/host/host_support.h"
#include "x11_host.h"

using namespace Steinberg;
using namespace Steinberg::Vst;
using x11test::HostDisplay;
using x11test::HostFrame;
using x11test::PollRunLoop;

namespace {

struct Hosted : caldrith_test::HostedInstance {
  Hosted() : HostedInstance("X11 Host") {}
  IGraphicsX11* Gui() const { return dynamic_cast<IGraphicsX11*>(PlugGraphics(plug)); }
  IPlugView* NewView() { return controller->createView(ViewType::kEditor); }
};

// Our windows come and go through the editor's own connection, and the host's connection
// sees the change only once the server has read those requests: wait for it, up to 2 s.
size_t ChildCount(HostDisplay& host, Window w, size_t expected) {
  size_t n = 0;
  for (int i = 0; i < 200; ++i) {
    host.Sync();
    n = host.Children(w).size();
    if (n == expected) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return n;
}

void* AsParent(Window w) {
  return reinterpret_cast<void*>(static_cast<uintptr_t>(w));
}

class X11Editor : public ::testing::Test {
 protected:
  static constexpr int kParentX = 40, kParentY = 30;

  void SetUp() override {
    std::string error;
    ASSERT_TRUE(x11test::StartXServer(&error)) << error;
    host = std::make_unique<HostDisplay>();
    ASSERT_TRUE(host->Ok());
    parent = host->CreateParent(kParentX, kParentY, 700, 600);
  }
  void TearDown() override {
    if (host && parent) host->DestroyWindow(parent);
  }

  // Lets the server deliver what it has and the run loop handle it.
  void Pump(int ms = 100) {
    host->Sync();
    loop.RunFor(ms);
  }
  // Editor pixels to the root window's, where XTest places the pointer.
  void MoveTo(int x, int y) {
    host->MoveTo(kParentX + x, kParentY + y);
    Pump(30);
  }
  void Click(int button, int x, int y) {
    MoveTo(x, y);
    host->Click(button);
    Pump(60);
  }
  IPlugView* Attach(Hosted& h, Window into = 0) {
    IPlugView* view = h.NewView();
    if (!view) return nullptr;
    view->setFrame(&frame);
    if (view->attached(AsParent(into ? into : parent), kPlatformTypeX11EmbedWindowID) !=
        kResultOk) {
      view->release();
      return nullptr;
    }
    Pump();
    return view;
  }

  std::unique_ptr<HostDisplay> host;
  Window parent = 0;
  PollRunLoop loop;
  HostFrame frame{&loop};
};

// ---- scale ----

// The desktop says 192 dpi (a screen at 200 %) in the X resource database; the host tells no
// scale at first, then its own factors, in and out of range.
TEST_F(X11Editor, FollowsXftDpiThenTheHostsFactors) {
  Display* dpy = host->Dpy();
  const Window root = DefaultRootWindow(dpy);
  const char db[] = "Xft.antialias:\t1\nXft.dpi:\t192\n";
  XChangeProperty(dpy, root, XA_RESOURCE_MANAGER, XA_STRING, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(db), static_cast<int>(sizeof(db) - 1));
  host->Sync();
  struct Restore {
    Display* d;
    Window r;
    ~Restore() {
      XDeleteProperty(d, r, XA_RESOURCE_MANAGER);
      XSync(d, False);
    }
  } restore{dpy, root};
  const Window big = host->CreateParent(0, 0, 1240, 1000);
  Hosted h;
  IPlugView* view = h.NewView();
  ASSERT_NE(view, nullptr);
  IPlugViewContentScaleSupport* scale = nullptr;
  ASSERT_EQ(
      view->queryInterface(IPlugViewContentScaleSupport::iid, reinterpret_cast<void**>(&scale)),
      kResultOk);
  frame.accept = true;
  view->setFrame(&frame);
  auto sizeOf = [&](int* width, int* height) {
    ViewRect r;
    ASSERT_EQ(view->getSize(&r), kResultOk);
    *width = r.getWidth();
    *height = r.getHeight();
  };
  auto windowSize = [&](int* width, int* height) {
    host->Sync();
    Window r;
    int x, y;
    unsigned ww = 0, hh = 0, border, depth;
    XGetGeometry(dpy, h.Gui()->WindowId(), &r, &x, &y, &ww, &hh, &border, &depth);
    *width = static_cast<int>(ww);
    *height = static_cast<int>(hh);
  };
  int w = 0, ht = 0;
  sizeOf(&w, &ht);
  EXPECT_EQ(w, 1200);
  EXPECT_EQ(ht, 950);

  ASSERT_EQ(view->attached(AsParent(big), kPlatformTypeX11EmbedWindowID), kResultOk);
  Pump(150);
  EXPECT_EQ(frame.resizeRequests, 0);  // the host already made the window that size
  windowSize(&w, &ht);
  EXPECT_EQ(w, 1200);
  EXPECT_EQ(ht, 950);
  // What the window shows is the editor drawn at 2x, and a click lands where it is drawn.
  raster::Bitmap shot;
  ASSERT_TRUE(host->Capture(h.Gui()->WindowId(), 1200, 950, &shot));
  int diffs = 0;
  for (int y = 0; y < 950; y += 3)
    for (int x = 0; x < 1200; x += 3)
      diffs += (shot.At(x, y) & 0xFFFFFF) != (h.Gui()->DrawBitmap()->At(x, y) & 0xFFFFFF);
  EXPECT_EQ(diffs, 0);
  host->MoveTo(2 * 160, 2 * 243);
  host->Click(1);
  Pump(80);
  EXPECT_EQ(h.plug->ParamAt(kPlayAnyway)->Value(), 1.0);

  // The host's own factors: resized through the frame, which still had the old size while
  // it was asked; the same factor twice asks once; out of range clamped; NaN and 0 refused.
  struct Step {
    float factor;
    tresult result;
    int requests, w, h;
  } steps[] = {{1.5f, kResultTrue, 1, 900, 713},   {1.5f, kResultTrue, 1, 900, 713},
               {7.0f, kResultTrue, 2, 1800, 1425}, {0.5f, kResultTrue, 3, 600, 475},
               {NAN, kResultFalse, 3, 600, 475},   {0.0f, kResultFalse, 3, 600, 475},
               {2.0f, kResultTrue, 4, 1200, 950}};
  int before = 1200;
  for (const Step& s : steps) {
    SCOPED_TRACE(s.factor);
    EXPECT_EQ(scale->setContentScaleFactor(s.factor), s.result);
    Pump(40);
    EXPECT_EQ(frame.resizeRequests, s.requests);
    if (s.w != before) {
      EXPECT_EQ(frame.lastRequest.getWidth(), s.w);
      EXPECT_EQ(frame.lastRequest.getHeight(), s.h);
      EXPECT_EQ(frame.sizeDuringRequest.getWidth(), before);
      before = s.w;
    }
    sizeOf(&w, &ht);
    EXPECT_EQ(w, s.w);
    EXPECT_EQ(ht, s.h);
    windowSize(&w, &ht);
    EXPECT_EQ(w, s.w);
    EXPECT_EQ(ht, s.h);
  }
  scale->release();
  EXPECT_EQ(view->removed(), kResultOk);
  view->release();
  host->DestroyWindow(big);
}

// ---- input ----

TEST_F(X11Editor, HoverDragWheelAndDoubleClickReachTheControls) {
  Hosted h;
  IPlugView* view = Attach(h);
  ASSERT_NE(view, nullptr);
  IGraphicsX11* gui = h.Gui();
  ASSERT_NE(gui, nullptr);
  const std::vector<Window> children = host->Children(parent);
  ASSERT_EQ(children.size(), 1u);
  EXPECT_EQ(children[0], gui->WindowId());
  EXPECT_EQ(loop.Handlers(), 1);
  EXPECT_EQ(loop.Timers(), 1);
  EXPECT_EQ(loop.LastInterval(), 41u);

  // Hovering the pulse-rate knob shows its status text, on the screen too.
  MoveTo(300, 242);
  EXPECT_EQ(h.plug->StatusText().rfind("Isochronic: ", 0), 0u) << h.plug->StatusText();
  Pump(150);
  raster::Bitmap shot;
  ASSERT_TRUE(host->Capture(gui->WindowId(), 600, 475, &shot));
  const IBox status(200, 58, 400, 76);
  int statusDiffs = 0, inkPixels = 0;
  for (int y = status.T; y < status.B; ++y)
    for (int x = status.L; x < status.R; ++x) {
      statusDiffs += (shot.At(x, y) & 0xFFFFFF) != (gui->DrawBitmap()->At(x, y) & 0xFFFFFF);
      inkPixels += (shot.At(x, y) & 0xFFFFFF) != (shot.At(status.L, status.T) & 0xFFFFFF);
    }
  EXPECT_EQ(statusDiffs, 0);
  EXPECT_GT(inkPixels, 20);  // the text is drawn, not just the background
  // Leaving the window ends the hover.
  EXPECT_GE(gui->HoverControl(), 0);
  host->MoveTo(5, 5);
  Pump(60);
  EXPECT_EQ(gui->HoverControl(), -1);

  // A drag on the volume knob reaches the host as one gesture, with the same value the
  // same gesture gives without a window.
  Hosted reference;
  IGraphics* refGui = PlugGraphics(reference.plug);
  refGui->MouseDown(537, 263, IInputMods(true, false));
  refGui->MouseDrag(537, 240, IInputMods(true, false));
  refGui->MouseUp(537, 240, IInputMods());
  const double volume = h.Value(kVolume);
  h.handler.log.clear();
  MoveTo(537, 263);
  host->Button(1, true);
  Pump(40);
  MoveTo(537, 240);
  host->Button(1, false);
  Pump(40);
  EXPECT_GT(h.Value(kVolume), volume);
  EXPECT_EQ(h.Value(kVolume), reference.Value(kVolume));
  ASSERT_GE(h.handler.log.size(), 3u);
  EXPECT_EQ(h.handler.log.front().kind, 'b');
  EXPECT_EQ(h.handler.log.front().tag, static_cast<ParamID>(kVolume));
  EXPECT_EQ(h.handler.log.back().kind, 'e');
  EXPECT_EQ(h.handler.Count('b', kVolume), 1);
  EXPECT_EQ(h.handler.Count('e', kVolume), 1);

  // A double click resets the knob to the value it first had (50%); its end comes with the
  // button's release.
  h.handler.log.clear();
  MoveTo(537, 263);
  host->Click(1);
  host->Click(1);
  Pump(60);
  EXPECT_EQ(h.Value(kVolume), 50.0);
  EXPECT_EQ(h.handler.Count('b', kVolume), h.handler.Count('e', kVolume));

  // One wheel step up over the rate knob: the value moves as the same step does without a
  // window, and the gesture ends half a second of ticks later.
  refGui->MouseWheel(111, 263, IInputMods(), 1);
  h.handler.log.clear();
  MoveTo(111, 263);
  host->Click(4);
  Pump(100);
  EXPECT_EQ(h.Value(kRate), reference.Value(kRate));
  EXPECT_NE(h.Value(kRate), 60.0);
  EXPECT_GE(h.handler.Count('p', kRate), 1);
  EXPECT_EQ(h.handler.Count('e', kRate), 0);
  Pump(600);
  EXPECT_EQ(h.handler.Count('e', kRate), 1);

  // A press and drag, and the view removed before the button comes up: the gesture ends.
  h.handler.log.clear();
  MoveTo(537, 263);
  host->Button(1, true);
  Pump(40);
  MoveTo(537, 250);
  EXPECT_EQ(h.handler.Count('b', kVolume), 1);
  EXPECT_EQ(h.handler.Count('e', kVolume), 0);
  EXPECT_EQ(view->removed(), kResultOk);
  EXPECT_EQ(h.handler.Count('e', kVolume), 1);
  host->Button(1, false);
  Pump(40);
  EXPECT_EQ(h.handler.Count('e', kVolume), 1);
  EXPECT_EQ(ChildCount(*host, parent, 0), 0u);
  EXPECT_EQ(loop.Handlers(), 0);
  EXPECT_EQ(loop.Timers(), 0);
  view->release();
  EXPECT_EQ(gui->ProtocolErrors(), 0);
}

TEST_F(X11Editor, ValuesTypedIntoTheBoxAreCommittedOrCancelled) {
  Hosted h;
  IPlugView* view = Attach(h);
  ASSERT_NE(view, nullptr);
  IGraphicsX11* gui = h.Gui();

  // "440" and Enter into the pulse-rate knob's box.
  Click(3, 300, 242);
  ASSERT_TRUE(gui->EditBox().IsOpen());
  EXPECT_TRUE(gui->EditBox().Focused());
  EXPECT_EQ(gui->EditBox().Text(), "11.00");
  // Centred on the knob, as wide as the largest value needs, 16 high.
  const IBox box = gui->EditBox().Box();
  EXPECT_EQ(box.H(), 16);
  EXPECT_EQ(box.W(), std::max(7 * 7 + 6, 32));  // "1000.00"
  h.handler.log.clear();
  host->Type("440");
  Pump(30);
  EXPECT_EQ(gui->EditBox().Text(), "440");
  // The box is on the screen: its field is white where the knob was.
  raster::Bitmap shot;
  ASSERT_TRUE(host->Capture(gui->WindowId(), 600, 475, &shot));
  EXPECT_EQ(shot.At(box.R - 2, box.T + 1) & 0xFFFFFF, 0xFFFFFFu);
  host->Key(XK_Return);
  Pump(100);
  EXPECT_FALSE(gui->EditBox().IsOpen());
  EXPECT_NEAR(h.Value(kIsochronic), 440.0, 1e-9);
  EXPECT_EQ(h.handler.Count('b', kIsochronic), 1);
  EXPECT_EQ(h.handler.Count('e', kIsochronic), 1);
  ASSERT_GE(h.handler.Count('p', kIsochronic), 1);
  for (const caldrith_test::EditNote& n : h.handler.log) {
    if (n.kind == 'p') {
      EXPECT_NEAR(n.value, h.plug->ParamAt(kIsochronic)->NormalizeValue(440.0), 1e-12);
    }
  }
  EXPECT_EQ(h.plug->StatusText(), "Isochronic: 440.00Hz");
  // The knob is back on the screen where the box was.
  Pump(150);
  ASSERT_TRUE(host->Capture(gui->WindowId(), 600, 475, &shot));
  EXPECT_EQ(shot.At(box.R - 2, box.T + 1) & 0xFFFFFF,
            gui->DrawBitmap()->At(box.R - 2, box.T + 1) & 0xFFFFFF);

  // Caret keys: Home, Delete the '4', type '5': "540.00".
  Click(3, 300, 242);
  ASSERT_TRUE(gui->EditBox().IsOpen());
  EXPECT_EQ(gui->EditBox().Text(), "440.00");
  host->Key(XK_Home);
  host->Key(XK_Delete);
  host->Type("5");
  host->Key(XK_End);
  host->Key(XK_BackSpace);
  host->Key(XK_Return);
  Pump(100);
  EXPECT_NEAR(h.Value(kIsochronic), 540.0, 1e-9);

  // Cancelled with a right click beside the box, on the knob itself: the value stays, and
  // the click that only cancelled is no gesture (no end without a beginning).
  h.handler.log.clear();
  Click(3, 300, 242);
  ASSERT_TRUE(gui->EditBox().IsOpen());
  host->Type("7");
  Click(3, 300, 262);
  Pump(60);
  EXPECT_FALSE(gui->EditBox().IsOpen());
  EXPECT_NEAR(h.Value(kIsochronic), 540.0, 1e-9);
  EXPECT_EQ(h.handler.Count('b', kIsochronic), 1);  // the right click that opened the box
  EXPECT_EQ(h.handler.Count('e', kIsochronic), 1);

  // Cancelled with Escape.
  Click(3, 300, 242);
  ASSERT_TRUE(gui->EditBox().IsOpen());
  host->Type("9");
  host->Key(XK_Escape);
  Pump(100);
  EXPECT_FALSE(gui->EditBox().IsOpen());
  EXPECT_NEAR(h.Value(kIsochronic), 540.0, 1e-9);

  // A left click elsewhere commits what was typed and is then an ordinary click.
  Click(3, 300, 242);
  host->Type("25");
  h.handler.log.clear();
  MoveTo(537, 263);
  host->Button(1, true);
  Pump(100);
  EXPECT_NEAR(h.Value(kIsochronic), 25.0, 1e-9);
  EXPECT_EQ(h.handler.Count('b', kVolume), 1);
  host->Button(1, false);
  Pump(60);
  EXPECT_EQ(h.handler.Count('e', kVolume), 1);

  // Losing the focus leaves the box open and deaf; a click into it brings the keys back.
  Click(3, 300, 242);
  ASSERT_TRUE(gui->EditBox().IsOpen());
  XSetInputFocus(host->Dpy(), parent, RevertToParent, CurrentTime);
  Pump(60);
  EXPECT_TRUE(gui->EditBox().IsOpen());
  EXPECT_FALSE(gui->EditBox().Focused());
  EXPECT_EQ(gui->EditState(), IGraphicsX11::kEditNone);
  host->Type("3");
  Pump(60);
  EXPECT_EQ(gui->EditBox().Text(), "25.00");
  const IBox again = gui->EditBox().Box();
  Click(1, again.R - 2, again.T + 8);  // into the box: caret to the end, no commit
  EXPECT_TRUE(gui->EditBox().IsOpen());
  EXPECT_TRUE(gui->EditBox().Focused());
  host->Key(XK_BackSpace);
  host->Key(XK_BackSpace);
  host->Key(XK_BackSpace);
  host->Key(XK_Return);
  Pump(100);
  EXPECT_NEAR(h.Value(kIsochronic), 25.0, 1e-9);
  EXPECT_FALSE(gui->EditBox().IsOpen());

  EXPECT_EQ(view->removed(), kResultOk);
  view->release();
}

TEST_F(X11Editor, LfoGraphShowsTheModulesOwnCursor) {
  Hosted h;
  IPlugView* view = Attach(h);
  ASSERT_NE(view, nullptr);
  IGraphicsX11* gui = h.Gui();
  MoveTo(297, 115);
  const bool descending = h.plug->LowFreqHz() >= h.plug->HighFreqHz();
  EXPECT_EQ(h.plug->StatusText(),
            descending ? "Change to ascendent frequencies" : "Change to descendent frequencies");
  const int id = descending ? 98 : 99;
  EXPECT_EQ(gui->CursorId(), id);
  Pump(60);
  // The server shows exactly the cursor file's picture, hot spot included.
  const unsigned char* data = nullptr;
  size_t size = 0;
  ASSERT_TRUE(CaldrithFindCursor(id, &data, &size));
  CursorImage expected;
  ASSERT_TRUE(DecodeCursorFile(data, size, &expected));
  int w = 0, hgt = 0, hotX = 0, hotY = 0;
  std::vector<uint32_t> shown;
  ASSERT_TRUE(host->CursorImage(&w, &hgt, &hotX, &hotY, &shown));
  EXPECT_EQ(w, expected.width);
  EXPECT_EQ(hgt, expected.height);
  EXPECT_EQ(hotX, expected.hotX);
  EXPECT_EQ(hotY, expected.hotY);
  EXPECT_EQ(shown, expected.argb);
  // Back over a knob: the host's arrow again.
  MoveTo(537, 263);
  EXPECT_EQ(gui->CursorId(), 0);
  EXPECT_EQ(view->removed(), kResultOk);
  view->release();
  EXPECT_EQ(gui->ProtocolErrors(), 0);
}

// ---- picture ----

void Compare(const raster::Bitmap& a, const raster::Bitmap& b, long* differing, int* worst) {
  *differing = 0;
  *worst = 0;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x) {
      const uint32_t p = a.At(x, y), q = b.At(x, y);
      int d = 0;
      for (int s = 0; s < 24; s += 8)
        d = std::max(d,
                     std::abs(static_cast<int>((p >> s) & 255) - static_cast<int>((q >> s) & 255)));
      *differing += d != 0;
      *worst = std::max(*worst, d);
    }
}

// What the window shows is the headless editor's picture of the same state.
TEST_F(X11Editor, WindowShowsTheHeadlessPicture) {
  raster::Bitmap reference;
  const std::string path = std::string(CALDRITH_SOURCE_DIR) + "/tests/editor/reference/editor.png";
  ASSERT_TRUE(raster::LoadPngFile(path.c_str(), &reference)) << path;
  ASSERT_EQ(reference.Width(), 600);
  ASSERT_EQ(reference.Height(), 475);

  constexpr int kBlock = 512;
  auto* plug = new CLS_CALDRITH();
  auto* gui = dynamic_cast<IGraphicsX11*>(PlugGraphics(plug));
  ASSERT_NE(gui, nullptr);
  for (int i = 0; i < kNumParams; ++i)
    plug->SetParamFromEditor(i, plug->ParamAt(i)->NormalizedValue());
  plug->SetSampleRate(48000.0);
  plug->SetMaxFrames(kBlock);
  plug->Reset();
  plug->SetOutputsConnected(0, 2, true);
  std::vector<double> left(kBlock), right(kBlock);
  double* buffers[2] = {left.data(), right.data()};
  plug->SetParamFromEditor(kPlayAnyway, 1.0);
  IPlugView* view = plug->createView(ViewType::kEditor);
  ASSERT_NE(view, nullptr);
  view->setFrame(&frame);
  ASSERT_EQ(view->attached(AsParent(parent), kPlatformTypeX11EmbedWindowID), kResultOk);
  for (int i = 0; i < 40; ++i) {
    PlugLock lock(plug->Mutex());
    plug->AttachOutputs(0, 2, buffers);
    plug->ProcessBlock(kBlock);
  }
  Pump(200);

  raster::Bitmap shot;
  ASSERT_TRUE(host->Capture(gui->WindowId(), 600, 475, &shot));
  long differing = 0;
  int worst = 0;
  Compare(shot, reference, &differing, &worst);
  if (differing) raster::SavePngFile(shot, "x11_window.png");
  // Same drawing code, same fonts: nothing but text anti-aliasing may differ, and here
  // not even that.
  EXPECT_EQ(differing, 0) << "worst channel difference " << worst << "; see x11_window.png";
  // The window holds exactly what was presented (controls may draw past the area being
  // repainted into the draw bitmap; only that area is shown).
  Compare(shot, gui->Screen(), &differing, &worst);
  EXPECT_EQ(differing, 0);

  EXPECT_EQ(view->removed(), kResultOk);
  view->release();
  plug->release();
}

// ---- life cycle ----

TEST_F(X11Editor, AttachAndRemoveAHundredTimesLeavesNothingBehind) {
  Hosted h;
  IGraphicsX11* gui = h.Gui();
  ASSERT_NE(gui, nullptr);
  IPlugView* view = h.NewView();
  view->setFrame(&frame);
  // One round first, so that what is made once per process (fonts, images) is made.
  ASSERT_EQ(view->attached(AsParent(parent), kPlatformTypeX11EmbedWindowID), kResultOk);
  Pump(60);
  view->removed();
  const int fds = x11test::OpenFdCount();
  const int clients = host->ClientCount();
  ASSERT_GT(clients, 0);
  for (int i = 0; i < 100; ++i) {
    ASSERT_EQ(view->attached(AsParent(parent), kPlatformTypeX11EmbedWindowID), kResultOk) << i;
    EXPECT_EQ(loop.Handlers(), 1);
    EXPECT_EQ(loop.Timers(), 1);
    EXPECT_EQ(ChildCount(*host, parent, 1u), 1u);
    EXPECT_EQ(host->ClientCount(), clients + 1);
    loop.RunFor(i % 10 == 0 ? 50 : 2);
    ASSERT_EQ(view->removed(), kResultOk) << i;
    EXPECT_EQ(loop.Handlers(), 0);
    EXPECT_EQ(loop.Timers(), 0);
  }
  host->Sync();
  EXPECT_EQ(ChildCount(*host, parent, 0), 0u);
  EXPECT_EQ(x11test::OpenFdCount(), fds);
  EXPECT_EQ(host->ClientCount(), clients);
  EXPECT_EQ(loop.ClosedFdPolls(), 0);
  EXPECT_EQ(gui->EventSourceHolders(), 0);
  view->release();
}

TEST_F(X11Editor, SeveralViewsOpenAtOnceClosedInEitherOrder) {
  const Window second = host->CreateParent(760, 30, 700, 600);
  for (int order = 0; order < 2; ++order) {
    SCOPED_TRACE(order);
    const int fds = x11test::OpenFdCount();
    // Two instances, each with its own editor window.
    {
      Hosted a, b;
      IPlugView* va = Attach(a, parent);
      IPlugView* vb = Attach(b, second);
      ASSERT_TRUE(va && vb);
      EXPECT_EQ(loop.Handlers(), 2);
      EXPECT_EQ(ChildCount(*host, parent, 1u), 1u);
      EXPECT_EQ(ChildCount(*host, second, 1u), 1u);
      // Both answer the mouse.
      MoveTo(300, 242);
      EXPECT_EQ(a.plug->StatusText().rfind("Isochronic: ", 0), 0u);
      host->MoveTo(760 + 537, 30 + 263);
      Pump(40);
      EXPECT_EQ(b.plug->StatusText().rfind("Volume Amount: ", 0), 0u);
      IPlugView* first = order == 0 ? va : vb;
      IPlugView* last = order == 0 ? vb : va;
      EXPECT_EQ(first->removed(), kResultOk);
      Pump(40);
      EXPECT_EQ(loop.Handlers(), 1);
      EXPECT_EQ(ChildCount(*host, order == 0 ? parent : second, 0u), 0u);
      EXPECT_EQ(ChildCount(*host, order == 0 ? second : parent, 1u), 1u);
      EXPECT_EQ(last->removed(), kResultOk);
      first->release();
      last->release();
    }
    // Two views of one instance: the window follows the later one, and removing the
    // earlier view does not take it away.
    {
      Hosted a;
      IPlugView* v1 = Attach(a, parent);
      IPlugView* v2 = Attach(a, second);
      ASSERT_TRUE(v1 && v2);
      EXPECT_EQ(ChildCount(*host, parent, 0u), 0u);
      EXPECT_EQ(ChildCount(*host, second, 1u), 1u);
      IPlugView* first = order == 0 ? v1 : v2;
      IPlugView* last = order == 0 ? v2 : v1;
      EXPECT_EQ(first->removed(), kResultOk);
      Pump(40);
      EXPECT_EQ(ChildCount(*host, second, order == 0 ? 1u : 0u), order == 0 ? 1u : 0u);
      if (order == 0) {
        // Still alive and drawing for the host.
        host->MoveTo(760 + 300, 30 + 242);
        Pump(40);
        EXPECT_EQ(a.plug->StatusText().rfind("Isochronic: ", 0), 0u);
      }
      EXPECT_EQ(last->removed(), kResultOk);
      Pump(20);
      EXPECT_EQ(ChildCount(*host, second, 0), 0u);
      EXPECT_EQ(loop.Handlers(), 0);
      EXPECT_EQ(loop.Timers(), 0);
      EXPECT_EQ(loop.ClosedFdPolls(), 0);
      first->release();
      last->release();
    }
    EXPECT_EQ(x11test::OpenFdCount(), fds);
  }
  host->DestroyWindow(second);
}

TEST_F(X11Editor, HostWindowDestroyedBeforeRemoved) {
  const int fds = x11test::OpenFdCount();
  for (int pumped = 0; pumped < 2; ++pumped) {
    SCOPED_TRACE(pumped);
    Hosted h;
    const Window own = host->CreateParent(100, 100, 700, 600);
    IPlugView* view = Attach(h, own);
    ASSERT_NE(view, nullptr);
    // In the middle of a drag.
    host->MoveTo(100 + 537, 100 + 263);
    host->Button(1, true);
    Pump(40);
    EXPECT_EQ(h.handler.Count('b', kVolume), 1);
    host->DestroyWindow(own);
    if (pumped) {
      Pump(60);
      // The window went with its parent; the gesture ended with it.
      EXPECT_FALSE(h.Gui()->HasWindow());
      EXPECT_EQ(h.handler.Count('e', kVolume), 1);
    }
    EXPECT_EQ(view->removed(), kResultOk);
    EXPECT_EQ(h.handler.Count('e', kVolume), 1);
    host->Button(1, false);
    Pump(20);
    EXPECT_EQ(loop.Handlers(), 0);
    EXPECT_EQ(loop.Timers(), 0);
    view->release();
  }
  EXPECT_EQ(x11test::OpenFdCount(), fds);
  EXPECT_EQ(loop.ClosedFdPolls(), 0);
}

TEST_F(X11Editor, BrokenConnectionIsLetGo) {
  Hosted h;
  IPlugView* view = Attach(h);
  ASSERT_NE(view, nullptr);
  IGraphicsX11* gui = h.Gui();
  const int fds = x11test::OpenFdCount();
  MoveTo(537, 263);
  host->Button(1, true);
  Pump(40);
  // The server drops the editor's connection.
  host->KillClientOf(gui->WindowId());
  const long callsBefore = loop.FdCalls();
  Pump(300);
  EXPECT_TRUE(gui->ConnectionBroken());
  EXPECT_FALSE(gui->HasWindow());
  EXPECT_EQ(h.handler.Count('e', kVolume), 1);
  // The dead descriptor is no longer watched, so the host does not spin on it.
  EXPECT_EQ(loop.Handlers(), 0);
  EXPECT_EQ(loop.Timers(), 1);
  EXPECT_LT(loop.FdCalls() - callsBefore, 5);
  host->Button(1, false);
  EXPECT_EQ(view->removed(), kResultOk);
  EXPECT_EQ(loop.Timers(), 0);
  EXPECT_EQ(x11test::OpenFdCount(), fds - 1);
  // A new attach makes a new connection.
  ASSERT_EQ(view->attached(AsParent(parent), kPlatformTypeX11EmbedWindowID), kResultOk);
  Pump(60);
  EXPECT_TRUE(gui->HasWindow());
  EXPECT_FALSE(gui->ConnectionBroken());
  EXPECT_EQ(view->removed(), kResultOk);
  EXPECT_EQ(x11test::OpenFdCount(), fds - 1);
  view->release();
}

TEST_F(X11Editor, BadParentsAndOddCallOrders) {
  Hosted h;
  IGraphicsX11* gui = h.Gui();
  const int fds = x11test::OpenFdCount();
  IPlugView* view = h.NewView();
  view->setFrame(&frame);
  // No such window, ids that are not X ids, no window at all.
  EXPECT_EQ(view->attached(reinterpret_cast<void*>(0x1ffffff0), kPlatformTypeX11EmbedWindowID),
            kResultFalse);
  EXPECT_EQ(view->attached(reinterpret_cast<void*>(0x20000000), kPlatformTypeX11EmbedWindowID),
            kResultFalse);
  EXPECT_EQ(view->attached(nullptr, kPlatformTypeX11EmbedWindowID), kResultFalse);
  EXPECT_FALSE(gui->HasWindow());
  EXPECT_EQ(loop.Handlers(), 0);
  EXPECT_EQ(loop.Timers(), 0);
  EXPECT_EQ(x11test::OpenFdCount(), fds);

  // No X server to be had.
  const std::string display = std::getenv("DISPLAY");
  setenv("DISPLAY", ":4095", 1);
  EXPECT_EQ(view->attached(AsParent(parent), kPlatformTypeX11EmbedWindowID), kResultFalse);
  setenv("DISPLAY", display.c_str(), 1);
  EXPECT_EQ(x11test::OpenFdCount(), fds);

  // A frame without a run loop.
  HostFrame bare(nullptr);
  view->setFrame(&bare);
  EXPECT_EQ(view->attached(AsParent(parent), kPlatformTypeX11EmbedWindowID), kResultFalse);
  EXPECT_EQ(ChildCount(*host, parent, 0), 0u);
  view->setFrame(&frame);

  // Attached twice, removed twice.
  ASSERT_EQ(view->attached(AsParent(parent), kPlatformTypeX11EmbedWindowID), kResultOk);
  EXPECT_EQ(view->attached(AsParent(parent), kPlatformTypeX11EmbedWindowID), kResultFalse);
  Pump(40);
  EXPECT_EQ(ChildCount(*host, parent, 1u), 1u);
  EXPECT_EQ(loop.Handlers(), 1);
  EXPECT_EQ(loop.Timers(), 1);
  EXPECT_EQ(view->removed(), kResultOk);
  EXPECT_EQ(view->removed(), kResultOk);
  EXPECT_EQ(loop.Handlers(), 0);
  EXPECT_EQ(loop.Timers(), 0);
  host->Sync();
  EXPECT_EQ(ChildCount(*host, parent, 0), 0u);
  EXPECT_EQ(x11test::OpenFdCount(), fds);

  // A fixed size: the host may not resize, and the view does not ask.
  ViewRect r;
  ASSERT_EQ(view->getSize(&r), kResultOk);
  EXPECT_EQ(r.getWidth(), 600);
  EXPECT_EQ(r.getHeight(), 475);
  EXPECT_EQ(view->canResize(), kResultFalse);
  EXPECT_EQ(frame.resizeRequests, 0);

  // Released while attached: the host gets its run loop back all the same.
  ASSERT_EQ(view->attached(AsParent(parent), kPlatformTypeX11EmbedWindowID), kResultOk);
  Pump(40);
  view->release();
  EXPECT_EQ(loop.Handlers(), 0);
  EXPECT_EQ(loop.Timers(), 0);
  host->Sync();
  EXPECT_EQ(ChildCount(*host, parent, 0), 0u);
  EXPECT_EQ(x11test::OpenFdCount(), fds);
}

// ---- the product page ----

TEST_F(X11Editor, ProductPageOpensWithXdgOpenAndTheChildIsReaped) {
  // A stand-in xdg-open that writes down what it was asked to open.
  const std::string dir = ::testing::TempDir() + "caldrith_xdg_" + std::to_string(getpid());
  ASSERT_EQ(std::system(("mkdir -p '" + dir + "'").c_str()), 0);
  const std::string out = dir + "/opened.txt";
  {
    std::ofstream script(dir + "/xdg-open");
    script << "#!/bin/sh\nprintf '%s|%s' \"$#\" \"$1\" > '" << out << "'\n";
  }
  ASSERT_EQ(std::system(("chmod +x '" + dir + "/xdg-open'").c_str()), 0);
  const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
  setenv("PATH", (dir + ":" + path).c_str(), 1);

  Hosted h;
  IPlugView* view = Attach(h);
  ASSERT_NE(view, nullptr);
  Click(1, 247, 30);
  Pump(300);
  std::ifstream opened(out);
  std::string text;
  std::getline(opened, text);
  // One argument, the page itself: no shell in between to split or interpret it.
  EXPECT_EQ(text, std::string("1|") + kProductSitePrefix + h.plug->GetEffectName());
  EXPECT_EQ(IGraphicsX11::UnreapedChildren(), 0);
  EXPECT_EQ(view->removed(), kResultOk);
  view->release();
  setenv("PATH", path.c_str(), 1);
  std::system(("rm -rf '" + dir + "'").c_str());
}

}  // namespace
