// The CLAP module's editor through its gui extension in a host's X window: the X connection
// and frame timer run through the host's posix-fd-support and timer-support, the window shows
// what the VST 3 view shows, and edits reach the host as gesture and value events.
#include <gtest/gtest.h>
#include <poll.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "raster/raster.h"
#include "tests/clap/clap_host.h"
#include "tests/instrument/hosted_instance.h"
#include "x11_host.h"

#ifdef CALDRITH_TEST_CLAP

using x11test::HostDisplay;

namespace {

// The host's main loop for the CLAP editor: the registered descriptors and timers, for `ms`.
void PumpClap(HostDisplay& display, clap_test::Host& host, const clap_plugin_t* plugin, int ms) {
  display.Sync();
  auto* fd = static_cast<const clap_plugin_posix_fd_support_t*>(
      plugin->get_extension(plugin, CLAP_EXT_POSIX_FD_SUPPORT));
  auto* timer = static_cast<const clap_plugin_timer_support_t*>(
      plugin->get_extension(plugin, CLAP_EXT_TIMER_SUPPORT));
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  auto nextTick = std::chrono::steady_clock::now();
  while (std::chrono::steady_clock::now() < end) {
    std::vector<pollfd> fds;
    for (int f : host.fds) fds.push_back({f, POLLIN, 0});
    poll(fds.data(), fds.size(), 5);
    for (const pollfd& p : fds)
      if (p.revents) fd->on_fd(plugin, p.fd, CLAP_POSIX_FD_READ);
    if (std::chrono::steady_clock::now() >= nextTick) {
      const std::vector<clap_test::Host::Timer> timers = host.timers;
      for (const auto& t : timers) timer->on_timer(plugin, t.id);
      nextTick += std::chrono::milliseconds(timers.empty() ? 40 : timers[0].periodMs);
    }
  }
}

size_t Children(HostDisplay& display, Window w, size_t expected) {
  size_t n = 0;
  for (int i = 0; i < 200 && (n = display.Children(w).size()) != expected; ++i) {
    display.Sync();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return n;
}

}  // namespace

TEST(ClapEditorX11, ShowsTheVst3PictureAndSendsEditsToTheHost) {
  std::string error;
  ASSERT_TRUE(x11test::StartXServer(&error)) << error;
  HostDisplay display;
  ASSERT_TRUE(display.Ok());
  const int px = 40, py = 30;
  const Window parent = display.CreateParent(px, py, 700, 600);

  // The VST 3 view's picture after the same host calls: Play Anyway from the host, then the
  // same blocks.
  raster::Bitmap expected;
  {
    caldrith_test::HostedInstance vst3("Test Host");
    caldrith_host::ParamChanges changes;
    changes.Add(kPlayAnyway, 1.0);
    vst3.Process(&changes);
    for (int i = 0; i < 40; ++i) vst3.Process();
    x11test::PollRunLoop loop;
    x11test::HostFrame frame(&loop);
    Steinberg::IPlugView* view = vst3.controller->createView(Steinberg::Vst::ViewType::kEditor);
    ASSERT_NE(view, nullptr);
    view->setFrame(&frame);
    ASSERT_EQ(view->attached(reinterpret_cast<void*>(static_cast<uintptr_t>(parent)),
                             Steinberg::kPlatformTypeX11EmbedWindowID),
              Steinberg::kResultOk);
    display.Sync();
    loop.RunFor(300);
    ASSERT_EQ(Children(display, parent, 1), 1u);
    ASSERT_TRUE(display.Capture(display.Children(parent)[0], 600, 475, &expected));
    view->removed();
    view->release();
    ASSERT_EQ(Children(display, parent, 0), 0u);
  }

  clap_test::Module module;
  ASSERT_TRUE(module.Load(CALDRITH_TEST_CLAP));
  clap_test::Host host;
  clap_test::Instance inst(module, host);
  ASSERT_NE(inst.plugin, nullptr);
  ASSERT_TRUE(inst.Start(44100.0, 512));
  // As the VST 3 instance had them: one block, Play Anyway in the next, then 40 more.
  for (int i = 0; i < 42; ++i) {
    clap_test::InputEvents events;
    if (i == 1) events.Param(kPlayAnyway, 1.0);
    clap_test::Block b(64, false);
    b.process.in_events = events.List();
    inst.plugin->process(inst.plugin, &b.process);
  }
  inst.plugin->stop_processing(inst.plugin);

  const clap_plugin_gui_t* gui = inst.Gui();
  ASSERT_TRUE(gui->create(inst.plugin, CLAP_WINDOW_API_X11, false));
  // The host's scale before the window, then back to the VST 3 view's.
  uint32_t w = 0, h = 0;
  ASSERT_TRUE(gui->set_scale(inst.plugin, 1.5));
  ASSERT_TRUE(gui->get_size(inst.plugin, &w, &h));
  EXPECT_EQ(w, 900u);
  EXPECT_EQ(h, 713u);
  ASSERT_TRUE(gui->set_scale(inst.plugin, 1.0));
  clap_window_t window{};
  window.api = CLAP_WINDOW_API_X11;
  window.x11 = parent;
  ASSERT_TRUE(gui->set_parent(inst.plugin, &window));
  EXPECT_FALSE(gui->set_parent(inst.plugin, &window));  // twice: the first stays
  ASSERT_EQ(host.fds.size(), 1u);
  ASSERT_EQ(host.timers.size(), 1u);
  EXPECT_EQ(host.timers[0].periodMs, 41u);  // 24 frames a second
  EXPECT_TRUE(gui->show(inst.plugin));
  PumpClap(display, host, inst.plugin, 300);
  ASSERT_EQ(Children(display, parent, 1), 1u);
  const Window editor = display.Children(parent)[0];
  raster::Bitmap shot;
  ASSERT_TRUE(display.Capture(editor, 600, 475, &shot));
  long differing = 0;
  for (int y = 0; y < 475; ++y)
    for (int x = 0; x < 600; ++x) differing += (shot.At(x, y) ^ expected.At(x, y)) & 0xFFFFFF;
  if (differing) {
    raster::SavePngFile(shot, "clap_window.png");
    raster::SavePngFile(expected, "vst3_window.png");
  }
  EXPECT_EQ(differing, 0) << "see clap_window.png and vst3_window.png";

  // A drag on the volume knob: one gesture with its values, taken by the host's flush (it is
  // not processing), the end of the gesture coming half a second later.
  const double volume = inst.Value(kVolume);
  display.MoveTo(px + 537, py + 263);
  PumpClap(display, host, inst.plugin, 40);
  display.Button(1, true);
  PumpClap(display, host, inst.plugin, 40);
  display.MoveTo(px + 537, py + 240);
  PumpClap(display, host, inst.plugin, 40);
  display.Button(1, false);
  PumpClap(display, host, inst.plugin, 700);
  EXPECT_GT(inst.Value(kVolume), volume);
  EXPECT_GE(host.flushRequests, 1);
  clap_test::OutputEvents out;
  inst.Params()->flush(inst.plugin, nullptr, out.List());
  ASSERT_GE(out.types.size(), 3u);
  EXPECT_EQ(out.types.front(), CLAP_EVENT_PARAM_GESTURE_BEGIN);
  EXPECT_EQ(out.types.back(), CLAP_EVENT_PARAM_GESTURE_END);
  EXPECT_EQ(out.values.back(), inst.Value(kVolume));

  // Closing gives the host back its descriptor and timer, and the window goes.
  gui->destroy(inst.plugin);
  EXPECT_TRUE(host.fds.empty());
  EXPECT_TRUE(host.timers.empty());
  EXPECT_EQ(Children(display, parent, 0), 0u);
  // Open again and let the instance go with the editor open.
  ASSERT_TRUE(gui->create(inst.plugin, CLAP_WINDOW_API_X11, false));
  ASSERT_TRUE(gui->set_parent(inst.plugin, &window));
  PumpClap(display, host, inst.plugin, 100);
  EXPECT_EQ(Children(display, parent, 1), 1u);
  display.DestroyWindow(parent);
}

// A host may open the editor of an instance it has not activated (its engine stopped, the
// track disabled): the graphs still show, not an empty grid.
TEST(ClapEditorX11, ShowsTheGraphsBeforeTheHostActivates) {
  std::string error;
  ASSERT_TRUE(x11test::StartXServer(&error)) << error;
  HostDisplay display;
  ASSERT_TRUE(display.Ok());
  const Window parent = display.CreateParent(40, 30, 700, 600);
  clap_test::Module module;
  ASSERT_TRUE(module.Load(CALDRITH_TEST_CLAP));
  clap_test::Host host;
  clap_test::Instance inst(module, host);
  ASSERT_NE(inst.plugin, nullptr);
  const clap_plugin_gui_t* gui = inst.Gui();
  ASSERT_TRUE(gui->create(inst.plugin, CLAP_WINDOW_API_X11, false));
  clap_window_t window{};
  window.api = CLAP_WINDOW_API_X11;
  window.x11 = parent;
  ASSERT_TRUE(gui->set_parent(inst.plugin, &window));
  EXPECT_TRUE(gui->show(inst.plugin));
  PumpClap(display, host, inst.plugin, 300);
  ASSERT_EQ(Children(display, parent, 1), 1u);
  raster::Bitmap shot;
  ASSERT_TRUE(display.Capture(display.Children(parent)[0], 600, 475, &shot));
  // The frequency sweep's curve is the only light drawing in its box.
  int light = 0;
  for (int y = 295; y < 440; ++y)
    for (int x = 15; x < 265; ++x) {
      const uint32_t c = shot.At(x, y);
      light += ((c >> 16) & 0xFF) > 0xB0 && ((c >> 8) & 0xFF) > 0xB0 && (c & 0xFF) > 0xB0;
    }
  if (light < 40) raster::SavePngFile(shot, "clap_inactive_window.png");
  EXPECT_GE(light, 40) << "see clap_inactive_window.png";
  gui->destroy(inst.plugin);
  display.DestroyWindow(parent);
}

#endif
