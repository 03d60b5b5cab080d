// The X11 window itself, around a small test plug-in: keys to the control under the pointer,
// double clicks and their timing, drags that leave the window, and the picture on a 16-bit
// display.
#include <X11/keysym.h>
#include <poll.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "editor/editor_fixture.h"
#include "editor/x11/graphics_x11.h"
#include "x11_host.h"

using x11test::HostDisplay;

namespace {

class InputProbe : public ProbeControl {
 public:
  using ProbeControl::ProbeControl;
  void KeyDown(int x, int y, int key) override { keys.push_back({x, y, key}); }
  void MouseDoubleClick(int, int, const IInputMods&) override { ++doubles; }
  struct Key {
    int x, y, key;
  };
  std::vector<Key> keys;
  int doubles = 0;
};

// Every red level across, falling green, a pattern of blue: each column its own colour.
class Gradient : public IControl {
 public:
  Gradient(IPlugBase* plug, const IBox& r) : IControl(plug, r) {}
  bool Paint(IGraphics* g) override {
    for (int x = 0; x < 256; ++x)
      g->FillBox(IRgba(255, x, 255 - x, (x * 37) & 255), IBox(x, 0, x + 1, 40));
    return true;
  }
};

void* AsParent(Window w) {
  return reinterpret_cast<void*>(static_cast<uintptr_t>(w));
}

class X11Window : public ::testing::Test {
 protected:
  static constexpr int kParentX = 20, kParentY = 20;

  void SetUp() override {
    std::string error;
    ASSERT_TRUE(x11test::StartXServer(&error)) << error;
    host = std::make_unique<HostDisplay>();
    ASSERT_TRUE(host->Ok());
    parent = host->CreateParent(kParentX, kParentY, 400, 300);
    gui = new IGraphicsX11(&plug, 200, 100);
    gui->AddControl(new ProbeControl(&plug, IBox(0, 0, 200, 100)));
    a = new InputProbe(&plug, IBox(10, 10, 90, 90));
    b = new InputProbe(&plug, IBox(110, 10, 190, 90));
    gui->AddControl(a);
    gui->AddControl(b);
    plug.InstallEditor(gui);
    gui->HandleMouseOver(true);
    ASSERT_NE(gui->CreateEditorWindow(AsParent(parent)), nullptr);
    fd = gui->AcquireEventSource();
    ASSERT_GE(fd, 0);
    Drive(60);
  }
  void TearDown() override {
    if (gui) {
      gui->ReleaseEventSource();
      gui->DestroyEditorWindow();
    }
    if (host && parent) host->DestroyWindow(parent);
  }

  // The host's part: the descriptor when it is readable, the timer every 41 ms.
  void Drive(int ms) {
    host->Sync();
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    auto tick = Clock::now();
    while (Clock::now() < end) {
      pollfd p = {fd, POLLIN, 0};
      if (poll(&p, 1, 5) > 0) gui->OnEventSourceReady();
      if (Clock::now() >= tick) {
        gui->OnTimer();
        tick += std::chrono::milliseconds(41);
      }
    }
  }
  void MoveTo(int x, int y) {
    host->MoveTo(kParentX + x, kParentY + y);
    Drive(20);
  }

  RecordingPlug plug;
  IGraphicsX11* gui = nullptr;  // owned by plug
  InputProbe* a = nullptr;
  InputProbe* b = nullptr;
  std::unique_ptr<HostDisplay> host;
  Window parent = 0;
  int fd = -1;
};

TEST_F(X11Window, KeysGoToTheControlUnderThePointer) {
  MoveTo(50, 40);
  host->Click(1);  // the click gives the window the keyboard
  Drive(40);
  host->Key(XK_a);
  host->Key(XK_z, true);
  host->Key(XK_1);
  host->Key(XK_1, true);  // Shift makes '!', the key is still the 1
  host->Key(XK_space);
  host->Key(XK_Up);
  host->Key(XK_Return);  // not a key the controls take
  host->Key(XK_F1);
  Drive(60);
  ASSERT_EQ(a->keys.size(), 6u);
  const int expected[] = {kKeyLetterA,    kKeyLetterA + 25, kKeyDigit0 + 1,
                          kKeyDigit0 + 1, kKeySpace,        kKeyUp};
  for (size_t i = 0; i < 6; ++i) EXPECT_EQ(a->keys[i].key, expected[i]) << i;
  EXPECT_EQ(a->keys[0].x, 50);
  EXPECT_EQ(a->keys[0].y, 40);
  EXPECT_TRUE(b->keys.empty());
  MoveTo(150, 50);
  host->Key(XK_Right);
  host->Key(XK_b);
  Drive(40);
  ASSERT_EQ(b->keys.size(), 2u);
  EXPECT_EQ(b->keys[0].key, kKeyRight);
  EXPECT_EQ(b->keys[1].key, kKeyLetterA + 1);
  EXPECT_EQ(b->keys[1].x, 150);
  EXPECT_EQ(a->keys.size(), 6u);
}

TEST_F(X11Window, DoubleClicksNeedTwoQuickPressesOfOneButtonInOnePlace) {
  MoveTo(50, 50);
  host->Click(1);
  host->Click(1);
  Drive(40);
  EXPECT_EQ(a->downs, 1);
  EXPECT_EQ(a->doubles, 1);
  EXPECT_EQ(a->ups, 2);  // the double click's release still ends it
  // A third press starts counting again.
  host->Click(1);
  Drive(40);
  EXPECT_EQ(a->downs, 2);
  EXPECT_EQ(a->doubles, 1);
  // Too slow.
  std::this_thread::sleep_for(std::chrono::milliseconds(IGraphicsX11::kDoubleClickMs + 100));
  host->Click(1);
  Drive(40);
  EXPECT_EQ(a->downs, 3);
  EXPECT_EQ(a->doubles, 1);
  // Too far apart: the second press is on the other control.
  std::this_thread::sleep_for(std::chrono::milliseconds(IGraphicsX11::kDoubleClickMs + 100));
  host->Click(1);
  MoveTo(150, 50);
  host->Click(1);
  Drive(40);
  EXPECT_EQ(a->downs, 4);
  EXPECT_EQ(b->downs, 1);
  EXPECT_EQ(a->doubles + b->doubles, 1);
  // Typing in between.
  std::this_thread::sleep_for(std::chrono::milliseconds(IGraphicsX11::kDoubleClickMs + 100));
  host->Click(1);
  host->Key(XK_a);
  host->Click(1);
  Drive(40);
  EXPECT_EQ(b->downs, 3);
  EXPECT_EQ(b->doubles, 0);
  // The right button's second quick press is left alone, as on Windows.
  std::this_thread::sleep_for(std::chrono::milliseconds(IGraphicsX11::kDoubleClickMs + 100));
  host->Click(3);
  host->Click(3);
  Drive(40);
  EXPECT_EQ(b->downs, 4);
  EXPECT_EQ(b->doubles, 0);

  // "Close by" is four pixels either way: four across and down still counts, five does not.
  const int before = a->doubles;
  for (const auto& second : {std::make_pair(54, 54), std::make_pair(50, 55), std::make_pair(55, 50),
                             std::make_pair(46, 46)}) {
    std::this_thread::sleep_for(std::chrono::milliseconds(IGraphicsX11::kDoubleClickMs + 100));
    MoveTo(50, 50);
    host->Click(1);
    MoveTo(second.first, second.second);
    host->Click(1);
    Drive(40);
  }
  EXPECT_EQ(a->doubles - before, 2);
}

TEST_F(X11Window, DragsFollowThePointerOutOfTheWindow) {
  MoveTo(50, 50);
  host->Button(1, true);
  Drive(30);
  MoveTo(150, 60);   // over the other control
  MoveTo(330, 120);  // outside the editor, still inside the host's window
  MoveTo(330, 250);
  host->Button(1, false);
  Drive(40);
  ASSERT_EQ(a->drags.size(), 3u);
  EXPECT_EQ(a->drags[0].x, 150);
  EXPECT_EQ(a->drags[0].dx, 100);
  EXPECT_EQ(a->drags[1].x, 330);
  EXPECT_EQ(a->drags[2].y, 250);
  EXPECT_EQ(a->drags[2].dy, 130);
  EXPECT_EQ(a->ups, 1);
  EXPECT_EQ(b->downs + b->ups, 0);
  EXPECT_TRUE(b->drags.empty());
  // Hovering resumes once the button is up: the other control hears of it.
  MoveTo(150, 50);
  EXPECT_GE(b->overs, 1);
}

// A 16-bit display gets every pixel packed into its 5-6-5 layout.
TEST(X11WindowDepth, SixteenBitDisplayGetsThePicturePacked) {
  std::string display, error;
  ASSERT_TRUE(x11test::StartExtraXServer(16, &display, &error)) << error;
  const char* saved = std::getenv("DISPLAY");
  const std::string before = saved ? saved : "";
  setenv("DISPLAY", display.c_str(), 1);
  {
    HostDisplay host(display.c_str());
    ASSERT_TRUE(host.Ok());
    ASSERT_EQ(DefaultDepth(host.Dpy(), DefaultScreen(host.Dpy())), 16);
    const Window parent = host.CreateParent(0, 0, 300, 100);
    RecordingPlug plug;
    auto* gui = new IGraphicsX11(&plug, 256, 40);
    gui->AddControl(new Gradient(&plug, IBox(0, 0, 256, 40)));
    plug.InstallEditor(gui);
    ASSERT_NE(gui->CreateEditorWindow(AsParent(parent)), nullptr);
    const int fd = gui->AcquireEventSource();
    for (int i = 0; i < 5; ++i) {
      host.Sync();
      pollfd p = {fd, POLLIN, 0};
      if (poll(&p, 1, 20) > 0) gui->OnEventSourceReady();
      gui->OnTimer();
    }
    std::vector<unsigned long> pixels;
    ASSERT_TRUE(host.CaptureRaw(gui->WindowId(), 256, 40, &pixels));
    int wrong = 0;
    for (int y = 0; y < 40; y += 13)
      for (int x = 0; x < 256; ++x) {
        const unsigned r = static_cast<unsigned>(x), g = 255u - r, bl = (r * 37) & 255u;
        const unsigned long want = (r >> 3) << 11 | (g >> 2) << 5 | (bl >> 3);
        wrong += pixels[static_cast<size_t>(y) * 256 + x] != want;
      }
    EXPECT_EQ(wrong, 0);
    gui->ReleaseEventSource();
    gui->DestroyEditorWindow();
    host.DestroyWindow(parent);
  }
  setenv("DISPLAY", before.c_str(), 1);
}

}  // namespace
