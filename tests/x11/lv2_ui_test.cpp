// The LV2 UI as an LV2 host opens it: the UI binary's descriptor instantiated into a host
// window of a virtual X server, driven by the host's idle calls and port events, compared with
// the VST 3 editor showing the same values, and edited with the mouse.
#ifdef CALDRITH_LV2_UI_BINARY
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <lv2/atom/atom.h>
#include <lv2/options/options.h>
#include <lv2/parameters/parameters.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "editor/x11/graphics_x11.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "tests/instrument/hosted_instance.h"
#include "x11_host.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

LV2_URID MapUri(LV2_URID_Map_Handle, const char* uri) {
  static std::map<std::string, LV2_URID> uris;
  return uris.emplace(uri, static_cast<LV2_URID>(uris.size() + 1)).first->second;
}

struct UiHost {
  std::vector<std::pair<uint32_t, float>> writes;
  std::vector<std::pair<uint32_t, bool>> touches;
  int width = 0, height = 0;
};

void Write(LV2UI_Controller c, uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
  ASSERT_EQ(size, sizeof(float));
  ASSERT_EQ(format, 0u);
  static_cast<UiHost*>(c)->writes.push_back({port, *static_cast<const float*>(buffer)});
}
int Resize(LV2UI_Feature_Handle h, int w, int hgt) {
  static_cast<UiHost*>(h)->width = w;
  static_cast<UiHost*>(h)->height = hgt;
  return 0;
}
void Touch(LV2UI_Feature_Handle h, uint32_t port, bool grabbed) {
  static_cast<UiHost*>(h)->touches.push_back({port, grabbed});
}

long Differing(const raster::Bitmap& a, const raster::Bitmap& b) {
  long n = 0;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x) n += (a.At(x, y) & 0xFFFFFF) != (b.At(x, y) & 0xFFFFFF);
  return n;
}

}  // namespace

TEST(Lv2Ui, EmbedsShowsTheVst3PictureAndWritesEdits) {
  std::string error;
  ASSERT_TRUE(x11test::StartXServer(&error)) << error;
  x11test::HostDisplay host;
  ASSERT_TRUE(host.Ok());
  // Side by side with the VST 3 editor's window below, neither covering the other.
  constexpr int kX = 10, kY = 30;
  const Window parent = host.CreateParent(kX, kY, 620, 500);

  void* lib = dlopen(CALDRITH_LV2_UI_BINARY, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr) << dlerror();
  auto entry =
      reinterpret_cast<const LV2UI_Descriptor* (*)(uint32_t)>(dlsym(lib, "lv2ui_descriptor"));
  ASSERT_NE(entry, nullptr);
  const LV2UI_Descriptor* d = entry(0);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(entry(1), nullptr);

  UiHost ui;
  LV2_URID_Map map{nullptr, MapUri};
  LV2UI_Resize resize{&ui, Resize};
  LV2UI_Touch touch{&ui, Touch};
  float rate = 44100.0f;  // the VST 3 instance below runs at this rate
  LV2_Options_Option options[2] = {
      {LV2_OPTIONS_INSTANCE, 0, MapUri(nullptr, LV2_PARAMETERS__sampleRate), sizeof rate,
       MapUri(nullptr, LV2_ATOM__Float), &rate},
      {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
  const LV2_Feature parentFeature{LV2_UI__parent,
                                  reinterpret_cast<void*>(static_cast<uintptr_t>(parent))};
  const LV2_Feature features[] = {parentFeature,
                                  {LV2_UI__resize, &resize},
                                  {LV2_UI__touch, &touch},
                                  {LV2_URID__map, &map},
                                  {LV2_OPTIONS__options, options}};
  const LV2_Feature* list[] = {&features[0], &features[1], &features[2],
                               &features[3], &features[4], nullptr};
  const LV2_Feature* noParent[] = {&features[1], &features[3], nullptr};
  LV2UI_Widget widget = nullptr;
  // Without a window to live in there is no UI; nor for another plug-in.
  EXPECT_EQ(d->instantiate(d, CALDRITH_LV2_URI, "", Write, &ui, &widget, noParent), nullptr);
  EXPECT_EQ(d->instantiate(d, "urn:other", "", Write, &ui, &widget, list), nullptr);
  LV2UI_Handle handle = d->instantiate(d, CALDRITH_LV2_URI, "", Write, &ui, &widget, list);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(ui.width, 600);
  EXPECT_EQ(ui.height, 475);
  const auto* idle =
      static_cast<const LV2UI_Idle_Interface*>(d->extension_data(LV2_UI__idleInterface));
  ASSERT_NE(idle, nullptr);
  auto pump = [&](int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
      host.Sync();
      EXPECT_EQ(idle->idle(handle), 0);
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  };
  pump(150);
  const std::vector<Window> children = host.Children(parent);
  ASSERT_EQ(children.size(), 1u);
  EXPECT_EQ(children[0], reinterpret_cast<uintptr_t>(widget));

  // The host tells the UI its port values; the picture is the VST 3 editor's for them.
  const std::vector<std::pair<int, float>> values = {
      {kIsochronic, 7.83f}, {kTones, 11}, {kWave, 3}, {kLowFreq, 40}, {kVolume, 72}};
  for (const auto& [idx, v] : values) d->port_event(handle, static_cast<uint32_t>(idx), 4, 0, &v);
  {
    caldrith_test::HostedInstance ref("X11 Host");
    caldrith_host::ParamChanges changes;
    for (const auto& [idx, v] : values)
      changes.Add(static_cast<ParamID>(idx), ref.controller->plainParamToNormalized(idx, v));
    ref.Process(&changes);
    x11test::PollRunLoop loop;
    x11test::HostFrame frame(&loop);
    const Window refParent = host.CreateParent(kX + 640, kY, 620, 500);
    IPlugView* view = ref.controller->createView(ViewType::kEditor);
    ASSERT_NE(view, nullptr);
    view->setFrame(&frame);
    ASSERT_EQ(view->attached(reinterpret_cast<void*>(static_cast<uintptr_t>(refParent)),
                             kPlatformTypeX11EmbedWindowID),
              kResultOk);
    auto* refGui = dynamic_cast<IGraphicsX11*>(PlugGraphics(ref.plug));
    // Both windows are drawn once their frames have run; a loaded machine may take a while.
    raster::Bitmap shot, refShot;
    long differing = -1;
    for (int i = 0; i < 40 && differing != 0; ++i) {
      pump(25);
      loop.RunFor(25);
      host.Sync();
      ASSERT_TRUE(
          host.Capture(static_cast<Window>(reinterpret_cast<uintptr_t>(widget)), 600, 475, &shot));
      ASSERT_TRUE(host.Capture(refGui->WindowId(), 600, 475, &refShot));
      differing = Differing(shot, refShot);
    }
    long inked = 0;  // two blank windows would match too
    for (int y = 0; y < shot.Height(); ++y)
      for (int x = 0; x < shot.Width(); ++x) inked += (shot.At(x, y) & 0xFFFFFF) != 0;
    EXPECT_GT(inked, 600 * 475 / 2);
    if (differing) {
      raster::SavePngFile(shot, "lv2_ui.png");
      raster::SavePngFile(refShot, "lv2_ui_vst3.png");
    }
    EXPECT_EQ(differing, 0) << "see lv2_ui.png and lv2_ui_vst3.png";
    view->removed();
    view->release();
    host.DestroyWindow(refParent);
  }

  // A wheel step over the rate knob reaches the host through the write function, inside a
  // touch gesture that ends half a second later.
  host.MoveTo(kX + 111, kY + 263);
  pump(50);
  host.Click(4);
  pump(150);
  ASSERT_FALSE(ui.writes.empty());
  EXPECT_EQ(ui.writes.back().first, static_cast<uint32_t>(kRate));
  EXPECT_NE(ui.writes.back().second, 60.0f);
  ASSERT_FALSE(ui.touches.empty());
  EXPECT_EQ(ui.touches.front(), std::make_pair(static_cast<uint32_t>(kRate), true));
  pump(700);
  EXPECT_EQ(ui.touches.back(), std::make_pair(static_cast<uint32_t>(kRate), false));

  // A click on the frequency graph's straight-sweep button sets the curvature in the editor's
  // own instance, without a value edit: the host hears it all the same.
  host.MoveTo(kX + 284, kY + 370);
  pump(80);
  host.Click(1);
  pump(100);
  EXPECT_EQ(ui.writes.back(), std::make_pair(static_cast<uint32_t>(kQfreq), 0.0f));
  EXPECT_EQ(ui.touches.back(), std::make_pair(static_cast<uint32_t>(kQfreq), false));

  // The host's scale factor changes: the editor asks for its new size.
  const auto* opts =
      static_cast<const LV2_Options_Interface*>(d->extension_data(LV2_OPTIONS__interface));
  ASSERT_NE(opts, nullptr);
  float two = 2.0f;
  const LV2_Options_Option scale[2] = {
      {LV2_OPTIONS_INSTANCE, 0, MapUri(nullptr, LV2_UI__scaleFactor), sizeof two,
       MapUri(nullptr, LV2_ATOM__Float), &two},
      {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
  EXPECT_EQ(opts->set(handle, scale), static_cast<uint32_t>(LV2_OPTIONS_SUCCESS));
  EXPECT_EQ(ui.width, 1200);
  EXPECT_EQ(ui.height, 950);
  pump(100);

  d->cleanup(handle);
  host.Sync();
  EXPECT_TRUE(host.Children(parent).empty());
  host.DestroyWindow(parent);
  dlclose(lib);
}
#endif
