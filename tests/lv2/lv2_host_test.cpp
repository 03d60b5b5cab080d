// The LV2 bundle loaded through lilv as an LV2 host loads it (LV2_PATH pointing at the built
// bundle, or at the copy named by CALDRITH_TEST_LV2_BUNDLE), played, given presets and state,
// and compared sample for sample with the VST 3 module.
#include <gtest/gtest.h>
#include <lilv/lilv.h>
#include <lv2/atom/forge.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/options/options.h>
#include <lv2/parameters/parameters.h>
#include <lv2/presets/presets.h>
#include <lv2/state/state.h>
#include <lv2/time/time.h>
#include <lv2/urid/urid.h>

#include <atomic>
#include <cmath>
#include <new>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "public.sdk/source/common/memorystream.h"
#include "alloc_counter.h"
#include "tests/vst3/process_block.h"
#include "vst3/host/host_support.h"

using namespace Steinberg;
using namespace Steinberg::Vst;
namespace fs = std::filesystem;

namespace {

constexpr double kRate = 48000.0;
constexpr int kParams = 23;
constexpr int kOutL = kParams, kOutR = kParams + 1, kEvents = kParams + 2;
constexpr ParamID kPresetTag = 0x70727374;
constexpr int kPresetSlots = 150;

// ---- the host's side of LV2 ----

LV2_URID MapUri(LV2_URID_Map_Handle, const char* uri) {
  static std::map<std::string, LV2_URID> uris;
  return uris.emplace(uri, static_cast<LV2_URID>(uris.size() + 1)).first->second;
}
LV2_URID_Map gMap = {nullptr, MapUri};
LV2_URID U(const char* uri) {
  return MapUri(nullptr, uri);
}

// One world for the program, loaded from LV2_PATH as a host loads it.
struct World {
  LilvWorld* world = nullptr;
  const LilvPlugin* plugin = nullptr;
  std::string bundle;
  World() {
    const char* named = std::getenv("CALDRITH_TEST_LV2_BUNDLE");
    bundle = named && *named ? named : CALDRITH_LV2_BUNDLE;
    // A directory holding the bundle alone, as ~/.lv2 would; LV2's own vocabulary bundles come
    // from the system's directory.
    const fs::path dir =
        fs::temp_directory_path() / ("caldrith-lv2-path-" + std::to_string(getpid()));
    fs::create_directories(dir);
    fs::remove(dir / fs::path(bundle).filename());
    fs::create_directory_symlink(fs::absolute(bundle), dir / fs::path(bundle).filename());
    setenv("LV2_PATH", (dir.string() + ":/usr/lib/lv2").c_str(), 1);
    world = lilv_world_new();
    lilv_world_load_all(world);
    LilvNode* uri = lilv_new_uri(world, CALDRITH_LV2_URI);
    plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri);
    lilv_node_free(uri);
    path = dir;
  }
  ~World() {
    lilv_world_free(world);
    fs::remove_all(path);
  }
  fs::path path;  // lilv reads the bundle's files lazily
};
World& TheWorld() {
  static World w;
  return w;
}

// One instance with its ports and the host's feature set.
struct Lv2Instrument {
  int block;
  LilvInstance* instance = nullptr;
  float controls[kParams] = {};
  std::vector<float> out[2];
  alignas(8) uint8_t events[4096] = {};
  LV2_Atom_Forge forge;
  int32_t maxBlock;
  LV2_Options_Option options[3];
  LV2_Feature mapFeature{LV2_URID__map, &gMap};
  LV2_Feature optionsFeature{LV2_OPTIONS__options, options};
  const LV2_Feature* features[3] = {&mapFeature, &optionsFeature, nullptr};

  explicit Lv2Instrument(int blockLength = 512, bool activate = true)
      : block(blockLength), maxBlock(blockLength) {
    options[0] = {LV2_OPTIONS_INSTANCE, 0,        U(LV2_BUF_SIZE__maxBlockLength), sizeof(int32_t),
                  U(LV2_ATOM__Int),     &maxBlock};
    options[1] = {
        LV2_OPTIONS_INSTANCE, 0,        U(LV2_BUF_SIZE__nominalBlockLength), sizeof(int32_t),
        U(LV2_ATOM__Int),     &maxBlock};
    options[2] = {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr};
    lv2_atom_forge_init(&forge, &gMap);
    const LilvPlugin* p = TheWorld().plugin;
    instance = lilv_plugin_instantiate(p, kRate, features);
    EXPECT_NE(instance, nullptr);
    if (!instance) return;
    // Ports start at their defaults, as a host sets them.
    std::vector<float> defaults(lilv_plugin_get_num_ports(p));
    lilv_plugin_get_port_ranges_float(p, nullptr, nullptr, defaults.data());
    for (int i = 0; i < kParams; ++i) {
      controls[i] = defaults[static_cast<size_t>(i)];
      lilv_instance_connect_port(instance, static_cast<uint32_t>(i), &controls[i]);
    }
    for (int c = 0; c < 2; ++c) {
      out[c].assign(static_cast<size_t>(block), 0.0f);
      lilv_instance_connect_port(instance, static_cast<uint32_t>(kOutL + c), out[c].data());
    }
    lilv_instance_connect_port(instance, kEvents, events);
    ClearEvents();
    if (activate) lilv_instance_activate(instance);
  }
  ~Lv2Instrument() {
    if (!instance) return;
    lilv_instance_deactivate(instance);
    lilv_instance_free(instance);
  }
  void ClearEvents() {
    lv2_atom_forge_set_buffer(&forge, events, sizeof events);
    LV2_Atom_Forge_Frame frame;
    lv2_atom_forge_sequence_head(&forge, &frame, 0);
    lv2_atom_forge_pop(&forge, &frame);
  }
  // A time:Position at frame 0 of the next block (the sequence holds nothing else).
  void Position(double speed, int64_t frame) {
    lv2_atom_forge_set_buffer(&forge, events, sizeof events);
    LV2_Atom_Forge_Frame seq, obj;
    lv2_atom_forge_sequence_head(&forge, &seq, 0);
    lv2_atom_forge_frame_time(&forge, 0);
    lv2_atom_forge_object(&forge, &obj, 0, U(LV2_TIME__Position));
    lv2_atom_forge_key(&forge, U(LV2_TIME__speed));
    lv2_atom_forge_float(&forge, static_cast<float>(speed));
    lv2_atom_forge_key(&forge, U(LV2_TIME__frame));
    lv2_atom_forge_long(&forge, frame);
    lv2_atom_forge_key(&forge, U(LV2_TIME__beatsPerMinute));
    lv2_atom_forge_float(&forge, 120.0f);
    lv2_atom_forge_pop(&forge, &obj);
    lv2_atom_forge_pop(&forge, &seq);
  }
  // Runs `blocks` blocks, appending both channels interleaved.
  void Run(int blocks, std::vector<float>* result) {
    for (int b = 0; b < blocks; ++b) {
      lilv_instance_run(instance, static_cast<uint32_t>(block));
      ClearEvents();
      for (int s = 0; s < block; ++s) {
        result->push_back(out[0][static_cast<size_t>(s)]);
        result->push_back(out[1][static_cast<size_t>(s)]);
      }
    }
  }
};

// ---- the VST 3 module, driven as module_test drives it ----

struct Vst3Instrument {
  caldrith_host::Module module;
  int block;
  caldrith_host::InstrumentInstance instance;
  IComponent* component = instance.component;
  IAudioProcessor* processor = instance.processor;
  IEditController* controller = instance.controller;
  caldrith_host::ParamChanges changes;
  int64 position = 0;
  bool playing = true;

  static caldrith_host::Module& Loaded(caldrith_host::Module& m) {
    EXPECT_TRUE(m.Load(CALDRITH_VST3_BUNDLE)) << m.Error();
    return m;
  }
  explicit Vst3Instrument(int blockLength = 512)
      : block(blockLength), instance(Loaded(module), "Test Host", kSample32, blockLength, kRate) {}
  void Set(int idx, double plain) {
    changes.Add(static_cast<ParamID>(idx), controller->plainParamToNormalized(idx, plain));
  }
  void Preset(int slot) { changes.Add(kPresetTag, static_cast<double>(slot) / (kPresetSlots - 1)); }
  void Run(int blocks, std::vector<float>* result) {
    Block run(block);
    run.context.sampleRate = kRate;
    for (int b = 0; b < blocks; ++b) {
      run.context.state = playing ? ProcessContext::kPlaying : 0;
      run.context.projectTimeSamples = position;
      run.data.inputParameterChanges = &changes;
      processor->process(run.data);
      changes.Clear();
      if (playing) position += block;
      for (int s = 0; s < block; ++s) {
        result->push_back(run.f32[0][static_cast<size_t>(s)]);
        result->push_back(run.f32[1][static_cast<size_t>(s)]);
      }
    }
  }
};

// Where two renders first differ, for the failure message.
std::string FirstDifference(const std::vector<float>& a, const std::vector<float>& b) {
  if (a.size() != b.size()) return "lengths differ";
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::memcmp(&a[i], &b[i], sizeof(float)) != 0) {
      return "frame " + std::to_string(i / 2) + " channel " + std::to_string(i % 2) + ": " +
             std::to_string(a[i]) + " vs " + std::to_string(b[i]);
    }
  }
  return "";
}

double Peak(const std::vector<float>& v) {
  double peak = 0.0;
  for (float x : v) peak = std::max(peak, std::fabs(static_cast<double>(x)));
  return peak;
}

class Lv2Host : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(TheWorld().plugin, nullptr) << "no plug-in in " << TheWorld().bundle;
  }
};

}  // namespace

// Port values and changes, transport and block lengths: the same samples as the VST 3 module.
TEST_F(Lv2Host, PlaysAsTheVst3ModuleDoes) {
  struct Change {
    int block, param;
    double value;
  };
  struct Case {
    const char* what;
    int blockLength, blocks;
    bool playing;
    std::vector<Change> changes;
  };
  const Case cases[] = {
      {"defaults, playing", 512, 12, true, {}},
      {"a theta stack of golden waves, descending",
       256,
       24,
       true,
       {{0, 0, 7.83}, {0, 1, 1200.0}, {0, 2, 60.0}, {0, 3, 12}, {0, 8, 3}, {0, 9, 20.5}}},
      {"stopped, then Play Anyway", 1000, 8, false, {{0, 13, 80}, {3, 12, 1}}},
      {"changes mid-run: envelope, pulse, volume",
       512,
       10,
       true,
       {{2, 10, 0}, {2, 11, 95}, {4, 16, -60}, {4, 21, 37.4}, {6, 13, 20}, {6, 4, 70}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<float> lv2Out, vst3Out;
    {
      Lv2Instrument lv2(c.blockLength);
      ASSERT_NE(lv2.instance, nullptr);
      for (int b = 0; b < c.blocks; ++b) {
        if (b == 0) lv2.Position(c.playing ? 1.0 : 0.0, 0);
        for (const Change& ch : c.changes) {
          if (ch.block == b) lv2.controls[ch.param] = static_cast<float>(ch.value);
        }
        lv2.Run(1, &lv2Out);
      }
    }
    {
      Vst3Instrument vst3(c.blockLength);
      vst3.playing = c.playing;
      for (int b = 0; b < c.blocks; ++b) {
        for (const Change& ch : c.changes) {
          if (ch.block == b) vst3.Set(ch.param, static_cast<float>(ch.value));
        }
        vst3.Run(1, &vst3Out);
      }
    }
    EXPECT_EQ(FirstDifference(lv2Out, vst3Out), "");
    if (c.playing) {
      EXPECT_GT(Peak(lv2Out), 0.001);
    }
  }
}

namespace {

void SetPort(const char* symbol, void* user, const void* value, uint32_t size, uint32_t type) {
  auto* inst = static_cast<Lv2Instrument*>(user);
  LilvNode* sym = lilv_new_string(TheWorld().world, symbol);
  const LilvPort* port = lilv_plugin_get_port_by_symbol(TheWorld().plugin, sym);
  lilv_node_free(sym);
  ASSERT_NE(port, nullptr) << symbol;
  ASSERT_EQ(type, U(LV2_ATOM__Float));
  ASSERT_EQ(size, sizeof(float));
  const uint32_t index = lilv_port_get_index(TheWorld().plugin, port);
  ASSERT_LT(index, static_cast<uint32_t>(kParams));
  std::memcpy(&inst->controls[index], value, sizeof(float));
}

const void* NoPortValue(const char*, void*, uint32_t* size, uint32_t* type) {
  *size = 0;
  *type = 0;
  return nullptr;
}

std::string PresetUri(int slot) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "#preset-%03d", slot);
  return std::string(CALDRITH_LV2_URI) + buf;
}

}  // namespace

// Every factory preset is listed; selected after other changes, each (the ones that change
// only some parameters among them) leaves the sound as selecting it in the VST 3 module does.
TEST_F(Lv2Host, PresetsChangeWhatTheVst3PresetsChange) {
  LilvNode* presetClass = lilv_new_uri(TheWorld().world, LV2_PRESETS__Preset);
  LilvNodes* presets = lilv_plugin_get_related(TheWorld().plugin, presetClass);
  EXPECT_EQ(lilv_nodes_size(presets), 131u);
  lilv_nodes_free(presets);
  lilv_node_free(presetClass);

  for (int slot : {0, 1, 3, 5, 9, 11, 57, 79, 130}) {
    SCOPED_TRACE("preset " + std::to_string(slot));
    std::vector<float> lv2Out, vst3Out;
    {
      // The preset is read before playing starts: a pause between blocks long enough for the
      // instrument's idle watchdog would restart its sweeps, which the VST 3 run does not see.
      LilvNode* uri = lilv_new_uri(TheWorld().world, PresetUri(slot).c_str());
      lilv_world_load_resource(TheWorld().world, uri);  // as hosts do: the preset's own file
      LilvState* state = lilv_state_new_from_world(TheWorld().world, &gMap, uri);
      lilv_node_free(uri);
      ASSERT_NE(state, nullptr);
      Lv2Instrument lv2;
      ASSERT_NE(lv2.instance, nullptr);
      lv2.Position(1.0, 0);
      lv2.controls[3] = 10;
      lv2.controls[8] = 2;
      lv2.controls[2] = 900.0f;
      lv2.Run(2, &lv2Out);
      lilv_state_restore(state, lv2.instance, SetPort, &lv2, 0, lv2.features);
      lilv_state_free(state);
      lv2.Run(6, &lv2Out);
    }
    {
      Vst3Instrument vst3;
      vst3.Set(3, 10);
      vst3.Set(8, 2);
      vst3.Set(2, 900.0);
      vst3.Run(2, &vst3Out);
      vst3.Preset(slot);
      vst3.Run(6, &vst3Out);
    }
    EXPECT_EQ(FirstDifference(lv2Out, vst3Out), "");
  }
}

// The state extension saves the 23 values; restored into a new instance whose ports stayed at
// their defaults, they sound as the same values restored into the VST 3 module.
TEST_F(Lv2Host, StateRestoresTheValuesAsTheVst3StateDoes) {
  const std::vector<std::pair<int, float>> values = {{0, 4.5f}, {1, 300.0f}, {3, 5},
                                                     {8, 6},    {9, 12.5f},  {12, 1},
                                                     {13, 70},  {17, -45},   {22, 90.5f}};
  LilvState* saved = nullptr;
  {
    Lv2Instrument a;
    for (const auto& [idx, v] : values) a.controls[idx] = v;
    std::vector<float> ignored;
    a.Run(1, &ignored);
    saved = lilv_state_new_from_instance(TheWorld().plugin, a.instance, &gMap, nullptr, nullptr,
                                         nullptr, nullptr, NoPortValue, nullptr,
                                         LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, a.features);
  }
  ASSERT_NE(saved, nullptr);
  std::vector<float> lv2Out, vst3Out;
  {
    Lv2Instrument b;
    lilv_state_restore(saved, b.instance, nullptr, nullptr, 0, b.features);
    b.Position(0.0, 0);
    b.Run(8, &lv2Out);
  }
  lilv_state_free(saved);
  {
    Vst3Instrument vst3;
    double doubles[kParams];
    for (int i = 0; i < kParams; ++i) {
      doubles[i] =
          vst3.controller->normalizedParamToPlain(i, vst3.controller->getParamNormalized(i));
    }
    for (const auto& [idx, v] : values) doubles[idx] = v;
    MemoryStream stream;
    stream.write(doubles, sizeof doubles, nullptr);
    stream.seek(0, IBStream::kIBSeekSet, nullptr);
    ASSERT_EQ(vst3.component->setState(&stream), kResultOk);
    vst3.playing = false;
    vst3.Run(8, &vst3Out);
  }
  EXPECT_EQ(FirstDifference(lv2Out, vst3Out), "");
  EXPECT_GT(Peak(lv2Out), 0.001);  // Play Anyway came back with the rest
}

// What a careless host may do: run before activating, leave outputs unconnected, move the
// buffers, send NaN or values out of range. Defined answers, the same as the VST 3 module's
// for the values it clamps and ignores, and no allocation while running.
TEST_F(Lv2Host, CarelessHostsGetDefinedAnswers) {
  {
    Lv2Instrument early(256, false);
    early.controls[12] = 1;  // Play Anyway: it would sound if it rendered
    std::fill(early.out[0].begin(), early.out[0].end(), 1.0f);
    std::vector<float> out;
    early.Run(1, &out);
    EXPECT_EQ(Peak(out), 0.0);
  }
  std::vector<float> lv2Out, vst3Out;
  long allocations = 0;
  {
    Lv2Instrument lv2(256);
    lv2.Position(1.0, 0);
    lv2.controls[3] = 1e9f;   // clamped to 16 tones
    lv2.controls[13] = NAN;   // ignored
    lv2.controls[0] = -5.0f;  // clamped to 0.01 Hz
    lv2.Run(2, &lv2Out);
    lilv_instance_connect_port(lv2.instance, kOutL, nullptr);
    lilv_instance_connect_port(lv2.instance, kOutR, nullptr);
    lilv_instance_run(lv2.instance, 256);  // rendered, but nowhere to put it
    std::vector<float> moved[2] = {std::vector<float>(256, NAN), std::vector<float>(256, NAN)};
    for (int c = 0; c < 2; ++c)
      lilv_instance_connect_port(lv2.instance, kOutL + c, moved[c].data());
    const long before = AllocationCount();
    for (int b = 0; b < 4; ++b) {
      lv2.controls[13] = static_cast<float>(40 + b);
      lilv_instance_run(lv2.instance, 256);
    }
    allocations = AllocationCount() - before;
    for (int c = 0; c < 2; ++c) {
      for (float x : moved[c]) ASSERT_TRUE(std::isfinite(x));
    }
  }
  {
    Vst3Instrument vst3(256);
    vst3.Set(3, 16);
    vst3.Set(0, 0.01);
    vst3.Run(2, &vst3Out);
  }
  EXPECT_EQ(FirstDifference(lv2Out, vst3Out), "");
  EXPECT_EQ(allocations, 0);
}
