// Caldrith.clap loaded and driven the way a CLAP host does, including the hosts and calls the
// CLAP headers allow but a plug-in could trip over.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "alloc_counter.h"
#include "tests/clap/clap_host.h"

#ifdef CALDRITH_TEST_CLAP

using namespace clap_test;

namespace {

constexpr clap_id kIsochronic = 0, kTones = 3, kWave = 8, kIsochronicType = 10, kPlayAnyway = 12,
                  kVolume = 13, kFreqGraph = 14, kQfreq = 15;
constexpr size_t kStateBytes = 23 * 8;

class ClapModule : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    module = new Module();
    ASSERT_TRUE(module->Load(CALDRITH_TEST_CLAP)) << CALDRITH_TEST_CLAP;
  }
  static void TearDownTestSuite() {
    delete module;
    module = nullptr;
  }
  static Module* module;
};
Module* ClapModule::module = nullptr;

std::string Text(const Instance& inst, clap_id id, double v) {
  char buf[64] = {};
  return inst.Params()->value_to_text(inst.plugin, id, v, buf, sizeof(buf)) ? buf : "<none>";
}

double Peak(const Block& b) {
  double peak = 0.0;
  for (int c = 0; c < 2; ++c)
    for (size_t i = 0; i < b.f[c].size(); ++i) peak = std::max(peak, std::fabs(b.At(c, i)));
  return peak;
}

}  // namespace

// The stepped and enumerated parameters flagged, texts as the editor shows them, read back.
TEST_F(ClapModule, ParametersConvertTheirTextsBothWays) {
  Host host;
  Instance inst(*module, host);
  const clap_plugin_params_t* params = inst.Params();
  ASSERT_NE(params, nullptr);
  ASSERT_EQ(params->count(inst.plugin), 23u);
  struct Case {
    clap_id id;
    double value;
    const char* text;
    bool stepped, isEnum;
  } cases[] = {
      {kIsochronic, 7.83, "7.83", false, false}, {kIsochronic, 5000.0, "1000.00", false, false},
      {kTones, 16, "16", true, false},           {kWave, 3, "Golden Sine", true, true},
      {kIsochronicType, 0, "Half", true, true},  {kPlayAnyway, 1, "Yes", true, true},
      {kFreqGraph, 1, "Real Freq", true, true},  {kQfreq, -90, "-90", true, false},
  };
  for (const Case& c : cases) {
    clap_param_info_t info{};
    params->get_info(inst.plugin, c.id, &info);
    EXPECT_EQ((info.flags & CLAP_PARAM_IS_STEPPED) != 0, c.stepped) << info.name;
    EXPECT_EQ((info.flags & CLAP_PARAM_IS_ENUM) != 0, c.isEnum) << info.name;
    EXPECT_EQ(Text(inst, c.id, c.value), c.text);
    double back = -1;
    ASSERT_TRUE(params->text_to_value(inst.plugin, c.id, c.text, &back)) << c.text;
    EXPECT_EQ(Text(inst, c.id, back), c.text);
  }
  double v = 0;
  EXPECT_TRUE(params->text_to_value(inst.plugin, kWave, "Gold. Square", &v));
  EXPECT_EQ(v, 6);
  EXPECT_TRUE(params->text_to_value(inst.plugin, kIsochronic, "12.5 Hz", &v));
  EXPECT_EQ(v, 12.5);
  // Unknown ids, NaN and words that are no value get a refusal.
  char buf[8];
  EXPECT_FALSE(params->text_to_value(inst.plugin, kIsochronic, "fast", &v));
  EXPECT_FALSE(params->text_to_value(inst.plugin, 23, "1", &v));
  EXPECT_FALSE(params->value_to_text(inst.plugin, kIsochronic, NAN, buf, sizeof(buf)));
  ASSERT_TRUE(params->value_to_text(inst.plugin, kWave, 4, buf, 5));
  EXPECT_STREQ(buf, "Gold");  // cut to the host's buffer, terminated
}

// A state is exactly the 23 values; anything else is refused and changes nothing.
TEST_F(ClapModule, StatesOtherThanTheValuesAreRefusedWithoutChange) {
  Host host;
  Instance inst(*module, host);
  const std::vector<uint8_t> before = inst.SaveState();
  ASSERT_EQ(before.size(), kStateBytes);
  double isochronic = 0;
  std::memcpy(&isochronic, before.data(), 8);
  EXPECT_EQ(isochronic, 11.0);

  auto with = [&](size_t index, double v) {
    std::vector<uint8_t> s = before;
    std::memcpy(s.data() + index * 8, &v, 8);
    return s;
  };
  std::vector<uint8_t> longer = before;
  longer.push_back(0);
  const std::vector<std::vector<uint8_t>> bad = {
      {},
      std::vector<uint8_t>(before.begin(), before.end() - 1),
      longer,
      with(kVolume, NAN),
      with(kIsochronic, INFINITY),
      with(kTones, 17),
      std::vector<uint8_t>(kStateBytes, 0xFF),
  };
  for (size_t i = 0; i < bad.size(); ++i) {
    EXPECT_FALSE(inst.LoadState(bad[i])) << "case " << i;
    EXPECT_EQ(inst.SaveState(), before) << "case " << i;
  }
  // A good state read a few bytes at a time, and one written likewise.
  ReadStream slow;
  slow.bytes = with(kVolume, 80);
  slow.chunk = 5;
  ASSERT_TRUE(inst.State()->load(inst.plugin, &slow.clap));
  EXPECT_EQ(inst.Value(kVolume), 80);
  WriteStream trickle;
  trickle.chunk = 3;
  ASSERT_TRUE(inst.State()->save(inst.plugin, &trickle.clap));
  EXPECT_EQ(trickle.bytes, slow.bytes);

  // The state calls belong to the main thread; a host that says otherwise gets a refusal.
  host.pretendNotMain = true;
  EXPECT_TRUE(inst.SaveState().empty());
  EXPECT_FALSE(inst.LoadState(before));
  host.pretendNotMain = false;
  EXPECT_EQ(inst.Value(kVolume), 80);
}

// Every call writes every output sample, whatever the host hands over; no call allocates.
TEST_F(ClapModule, EveryOutputSampleIsWrittenOnEveryCall) {
  Host host;
  Instance inst(*module, host);
  {
    Block early(64, false);
    EXPECT_EQ(inst.plugin->process(inst.plugin, &early.process), CLAP_PROCESS_ERROR);
    EXPECT_EQ(Peak(early), 0.0);  // before activate: silence
  }
  EXPECT_FALSE(inst.plugin->activate(inst.plugin, 0.0, 1, 512));
  EXPECT_FALSE(inst.plugin->activate(inst.plugin, NAN, 1, 512));
  EXPECT_FALSE(inst.plugin->activate(inst.plugin, 48000.0, 1, 0));
  ASSERT_TRUE(inst.Start(48000.0, 256));
  EXPECT_FALSE(inst.plugin->activate(inst.plugin, 44100.0, 1, 256));  // twice

  InputEvents events;
  events.Param(kPlayAnyway, 1);
  const clap_event_transport_t stopped = Transport(false);
  struct Case {
    const char* name;
    uint32_t frames;
    bool f64, nullChannel, extraPort, noOutputs;
  } cases[] = {
      {"32-bit", 256, false, false, false, false},
      {"64-bit", 256, true, false, false, false},
      {"longer than set up", 1000, false, false, false, false},
      {"null channel", 128, false, true, false, false},
      {"second port", 128, true, false, true, false},
      {"no frames", 0, false, false, false, false},
      {"no outputs", 64, false, false, false, true},
  };
  for (const Case& c : cases) {
    Block b(c.frames, c.f64);
    clap_audio_buffer_t ports[2] = {b.out, b.out};
    std::vector<float> extra[2] = {std::vector<float>(c.frames, 9.f),
                                   std::vector<float>(c.frames, 9.f)};
    float* extraPtrs[2] = {extra[0].data(), extra[1].data()};
    if (c.nullChannel) b.fp[1] = nullptr;
    if (c.extraPort) {
      ports[1] = {};
      ports[1].data32 = extraPtrs;
      ports[1].channel_count = 2;
      b.process.audio_outputs = ports;
      b.process.audio_outputs_count = 2;
    }
    if (c.noOutputs) {
      b.process.audio_outputs = nullptr;
      b.process.audio_outputs_count = 0;
    }
    b.process.in_events = events.List();
    b.process.transport = &stopped;
    const long allocations = AllocationCount();
    EXPECT_EQ(inst.plugin->process(inst.plugin, &b.process), CLAP_PROCESS_CONTINUE) << c.name;
    EXPECT_EQ(AllocationCount(), allocations) << c.name;
    for (int ch = 0; ch < 2; ++ch) {
      if (c.noOutputs || (c.nullChannel && ch == 1)) continue;
      for (size_t i = 0; i < c.frames; ++i) {
        ASSERT_TRUE(std::fabs(b.At(ch, i)) <= 1.0) << c.name << " channel " << ch << " frame " << i;
      }
      if (c.extraPort) {
        for (float s : extra[ch]) ASSERT_EQ(s, 0.f) << c.name;
      }
    }
  }
  EXPECT_EQ(inst.Value(kPlayAnyway), 1);
  // Playing anyway while stopped: the tones sound after a few blocks.
  double peak = 0;
  for (int i = 0; i < 40; ++i) {
    Block b(256, false);
    b.process.transport = &stopped;
    inst.plugin->process(inst.plugin, &b.process);
    peak = std::max(peak, Peak(b));
  }
  EXPECT_GT(peak, 0.01);
  inst.plugin->stop_processing(inst.plugin);
  inst.plugin->deactivate(inst.plugin);
  inst.plugin->deactivate(inst.plugin);
}

// Events of other spaces or types, unknown ids and NaN values change nothing; values out of
// range are held to it.
TEST_F(ClapModule, OnlyCoreParameterEventsChangeValues) {
  Host host;
  Instance inst(*module, host);
  ASSERT_TRUE(inst.Start());
  InputEvents events;
  events.Param(kVolume, 10, 0, 1234);  // another event space
  events.Param(99, 10);
  events.Param(kTones, NAN);
  events.Param(kIsochronic, 1e9);
  events.Param(kQfreq, -1e9, 3);
  clap_event_note_t note{};
  note.header = {sizeof(note), 5, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_NOTE_ON, 0};
  note.key = 60;
  note.velocity = NAN;
  events.Add(&note.header);
  clap_event_param_value_t shortEvent{};
  shortEvent.header = {8, 7, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
  events.Add(&shortEvent.header);
  Block b(64, false);
  b.process.in_events = events.List();
  EXPECT_EQ(inst.plugin->process(inst.plugin, &b.process), CLAP_PROCESS_CONTINUE);
  EXPECT_EQ(inst.Value(kVolume), 50);
  EXPECT_EQ(inst.Value(kTones), 7);
  EXPECT_EQ(inst.Value(kIsochronic), 1000);
  EXPECT_EQ(inst.Value(kQfreq), -90);

  // Flush works outside processing too, and takes the same events.
  inst.plugin->stop_processing(inst.plugin);
  InputEvents flush;
  flush.Param(kVolume, 33);
  OutputEvents out;
  inst.Params()->flush(inst.plugin, flush.List(), out.List());
  EXPECT_EQ(inst.Value(kVolume), 33);
}

// The preset-discovery factory lists the factory presets, and each one loads.
TEST_F(ClapModule, FactoryPresetsAreListedAndLoad) {
  auto* f = static_cast<const clap_preset_discovery_factory_t*>(
      module->Factory(CLAP_PRESET_DISCOVERY_FACTORY_ID));
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(f->count(f), 1u);
  const clap_preset_discovery_provider_descriptor_t* desc = f->get_descriptor(f, 0);
  ASSERT_NE(desc, nullptr);

  struct Indexer {
    clap_preset_discovery_indexer_t clap{};
    std::vector<clap_preset_discovery_location_t> locations;
  } indexer;
  indexer.clap.clap_version = CLAP_VERSION_INIT;
  indexer.clap.name = "test indexer";
  indexer.clap.indexer_data = &indexer;
  indexer.clap.declare_filetype = [](const clap_preset_discovery_indexer_t*,
                                     const clap_preset_discovery_filetype_t*) { return true; };
  indexer.clap.declare_location = [](const clap_preset_discovery_indexer_t* i,
                                     const clap_preset_discovery_location_t* l) {
    static_cast<Indexer*>(i->indexer_data)->locations.push_back(*l);
    return true;
  };
  indexer.clap.declare_soundpack = [](const clap_preset_discovery_indexer_t*,
                                      const clap_preset_discovery_soundpack_t*) { return true; };
  indexer.clap.get_extension = [](const clap_preset_discovery_indexer_t*, const char*) {
    return static_cast<const void*>(nullptr);
  };
  EXPECT_EQ(f->create(f, &indexer.clap, "no.such.provider"), nullptr);
  const clap_preset_discovery_provider_t* provider = f->create(f, &indexer.clap, desc->id);
  ASSERT_NE(provider, nullptr);
  ASSERT_TRUE(provider->init(provider));
  ASSERT_EQ(indexer.locations.size(), 1u);
  EXPECT_EQ(indexer.locations[0].kind,
            static_cast<uint32_t>(CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN));
  EXPECT_EQ(indexer.locations[0].location, nullptr);

  struct Receiver {
    clap_preset_discovery_metadata_receiver_t clap{};
    std::vector<std::string> names, keys;
    int ids = 0;
  } receiver;
  receiver.clap.receiver_data = &receiver;
  receiver.clap.on_error = [](const clap_preset_discovery_metadata_receiver_t*, int32_t,
                              const char*) {};
  receiver.clap.begin_preset = [](const clap_preset_discovery_metadata_receiver_t* r,
                                  const char* name, const char* key) {
    static_cast<Receiver*>(r->receiver_data)->names.push_back(name);
    static_cast<Receiver*>(r->receiver_data)->keys.push_back(key);
    return true;
  };
  receiver.clap.add_plugin_id = [](const clap_preset_discovery_metadata_receiver_t* r,
                                   const clap_universal_plugin_id_t* id) {
    static_cast<Receiver*>(r->receiver_data)->ids += std::strcmp(id->abi, "clap") == 0;
  };
  ASSERT_TRUE(provider->get_metadata(provider, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr,
                                     &receiver.clap));
  EXPECT_FALSE(provider->get_metadata(provider, CLAP_PRESET_DISCOVERY_LOCATION_FILE, "/tmp/x",
                                      &receiver.clap));
  provider->destroy(provider);
  ASSERT_EQ(receiver.names.size(), 131u);
  EXPECT_EQ(receiver.ids, 131);
  for (const std::string& n : receiver.names) EXPECT_FALSE(n.empty());

  Host host;
  Instance inst(*module, host);
  auto* load = inst.Ext<clap_plugin_preset_load_t>(CLAP_EXT_PRESET_LOAD);
  ASSERT_NE(load, nullptr);
  std::vector<uint8_t> first;
  int differentFromFirst = 0;
  for (const std::string& key : receiver.keys) {
    ASSERT_TRUE(load->from_location(inst.plugin, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr,
                                    key.c_str()))
        << key;
    const std::vector<uint8_t> s = inst.SaveState();
    if (first.empty()) first = s;
    differentFromFirst += s != first;
  }
  EXPECT_GT(differentFromFirst, 100);
  EXPECT_EQ(host.presetsLoaded, 131);
  EXPECT_GE(host.rescans, 131);
  const std::vector<uint8_t> now = inst.SaveState();
  for (const char* key : {"", "-1", "149", "150", "1x", "99999999999"}) {
    EXPECT_FALSE(
        load->from_location(inst.plugin, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr, key))
        << key;
  }
  EXPECT_FALSE(load->from_location(inst.plugin, CLAP_PRESET_DISCOVERY_LOCATION_FILE, "/x", "1"));
  EXPECT_FALSE(
      load->from_location(inst.plugin, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr, nullptr));
  EXPECT_EQ(host.presetErrors, 8);
  EXPECT_EQ(inst.SaveState(), now);
}

// Without the host's descriptor and timer services the editor cannot be created, yet it is
// still offered: a host's plug-in scanner offers no services and remembers the answer for the
// host that does. With them, the editor asks for nothing until it has a parent.
TEST_F(ClapModule, EditorNeedsTheHostsServices) {
  struct Case {
    bool fd, timer;
  } cases[] = {{false, true}, {true, false}, {false, false}};
  for (const Case& c : cases) {
    Host host;
    host.offerFd = c.fd;
    host.offerTimer = c.timer;
    Instance inst(*module, host);
    const clap_plugin_gui_t* gui = inst.Gui();
    ASSERT_NE(gui, nullptr);
#ifndef _WIN32
    EXPECT_TRUE(gui->is_api_supported(inst.plugin, CLAP_WINDOW_API_X11, false));
    const char* preferred = nullptr;
    bool floating = true;
    EXPECT_TRUE(gui->get_preferred_api(inst.plugin, &preferred, &floating));
    EXPECT_FALSE(gui->create(inst.plugin, CLAP_WINDOW_API_X11, false));
#endif
  }
  Host host;
  Instance inst(*module, host);
  const clap_plugin_gui_t* gui = inst.Gui();
#ifdef _WIN32
  const char* api = CLAP_WINDOW_API_WIN32;
#else
  const char* api = CLAP_WINDOW_API_X11;
#endif
  EXPECT_FALSE(gui->is_api_supported(inst.plugin, api, true));
  EXPECT_FALSE(gui->is_api_supported(inst.plugin, CLAP_WINDOW_API_WAYLAND, false));
  ASSERT_TRUE(gui->is_api_supported(inst.plugin, api, false));
  clap_window_t none{};
  none.api = api;
  EXPECT_FALSE(gui->set_parent(inst.plugin, &none));  // before create
  ASSERT_TRUE(gui->create(inst.plugin, api, false));
  EXPECT_FALSE(gui->create(inst.plugin, api, false));
  // The host's scale sets the size; the host cannot choose another.
  ASSERT_TRUE(gui->set_scale(inst.plugin, 2.0));
  EXPECT_FALSE(gui->set_scale(inst.plugin, NAN));
  uint32_t w = 0, h = 0;
  ASSERT_TRUE(gui->get_size(inst.plugin, &w, &h));
  EXPECT_EQ(w, 1200u);
  EXPECT_EQ(h, 950u);
  EXPECT_FALSE(gui->can_resize(inst.plugin));
  clap_gui_resize_hints_t hints{true, true, true, 1, 1};
  ASSERT_TRUE(gui->get_resize_hints(inst.plugin, &hints));
  EXPECT_FALSE(hints.can_resize_horizontally || hints.can_resize_vertically ||
               hints.preserve_aspect_ratio);
  EXPECT_TRUE(gui->set_size(inst.plugin, 1200, 950));
  EXPECT_FALSE(gui->set_size(inst.plugin, 800, 600));
  uint32_t aw = 700, ah = 500;
  ASSERT_TRUE(gui->adjust_size(inst.plugin, &aw, &ah));
  EXPECT_EQ(aw, 1200u);
  EXPECT_EQ(ah, 950u);
  EXPECT_FALSE(gui->set_parent(inst.plugin, &none));  // no window
  EXPECT_TRUE(host.fds.empty());
  EXPECT_TRUE(host.timers.empty());
  gui->destroy(inst.plugin);
  gui->destroy(inst.plugin);
}

#endif  // CALDRITH_TEST_CLAP
