// The two modules side by side, as two hosts would load them: Caldrith.clap must give the
// same samples, texts and state as the VST 3 bundle, and a state moves between them.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "bundle_under_test.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "public.sdk/source/common/memorystream.h"
#include "tests/clap/clap_host.h"
#include "tests/vst3/process_block.h"
#include "vst3/host/host_support.h"

#if defined(CALDRITH_TEST_BUNDLE) && defined(CALDRITH_TEST_CLAP)

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

// One block as both hosts send it: its length, the transport ('p'laying, 's'topped, or 'n'one
// given) and parameter changes as normalized values (a tag may repeat: the last one counts).
struct Change {
  ParamID tag;
  double normalized;
  int32 offset;
};
struct BlockPlan {
  int frames;
  char transport;
  std::vector<Change> changes;
};

struct Vst3Instance : caldrith_host::InstrumentInstance {
  Vst3Instance(caldrith_host::Module& m, int32 size, int32 block, double rate)
      : InstrumentInstance(m, "Test Host", size, block, rate) {}
  std::vector<uint8_t> State() {
    MemoryStream s;
    component->getState(&s);
    const auto* p = reinterpret_cast<const uint8_t*>(s.getData());
    return std::vector<uint8_t>(p, p + s.getSize());
  }
  bool SetState(const std::vector<uint8_t>& bytes) {
    MemoryStream s;
    int32 written = 0;
    s.write(const_cast<uint8_t*>(bytes.data()), static_cast<int32>(bytes.size()), &written);
    s.seek(0, IBStream::kIBSeekSet, nullptr);
    return component->setState(&s) == kResultOk;
  }
};

class ClapBesideVst3 : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    vst3 = new caldrith_host::Module();
    ASSERT_TRUE(vst3->Load(BundleUnderTest())) << vst3->Error();
    clap = new clap_test::Module();
    ASSERT_TRUE(clap->Load(CALDRITH_TEST_CLAP));
  }
  static void TearDownTestSuite() {
    delete clap;
    delete vst3;
  }
  static caldrith_host::Module* vst3;
  static clap_test::Module* clap;
};
caldrith_host::Module* ClapBesideVst3::vst3 = nullptr;
clap_test::Module* ClapBesideVst3::clap = nullptr;

// Interleaved samples of every block, through the VST 3 module.
std::vector<double> RenderVst3(caldrith_host::Module& m, const std::vector<BlockPlan>& plan,
                               bool f64, double rate) {
  int maxFrames = 0;
  for (const BlockPlan& b : plan) maxFrames = std::max(maxFrames, b.frames);
  Vst3Instance inst(m, f64 ? kSample64 : kSample32, maxFrames, rate);
  Block block(maxFrames, f64);
  block.context.sampleRate = rate;
  block.context.timeSigNumerator = block.context.timeSigDenominator = 4;
  caldrith_host::ParamChanges changes;
  std::vector<double> result;
  int64 position = 0;
  for (const BlockPlan& b : plan) {
    changes.Clear();
    for (const Change& c : b.changes) changes.Add(c.tag, c.normalized, c.offset);
    block.context.state = ProcessContext::kTempoValid | ProcessContext::kTimeSigValid |
                          (b.transport == 'p' ? ProcessContext::kPlaying : 0);
    block.context.projectTimeSamples = position;
    block.data.numSamples = b.frames;
    block.data.processContext = b.transport == 'n' ? nullptr : &block.context;
    block.data.inputParameterChanges = &changes;
    inst.processor->process(block.data);
    for (int s = 0; s < b.frames; ++s)
      for (int c = 0; c < 2; ++c) result.push_back(block.At(c, s));
    position += b.frames;
  }
  return result;
}

// The same blocks through the CLAP module, values sent as the real values the normalized ones
// stand for (as the VST 3 controller converts them).
std::vector<double> RenderClap(clap_test::Module& m, IEditController* converter,
                               const std::vector<BlockPlan>& plan, bool f64, double rate) {
  int maxFrames = 0;
  for (const BlockPlan& b : plan) maxFrames = std::max(maxFrames, b.frames);
  clap_test::Host host;
  clap_test::Instance inst(m, host);
  EXPECT_TRUE(inst.Start(rate, static_cast<uint32_t>(maxFrames)));
  clap_event_transport_t transport = clap_test::Transport(true);
  std::vector<double> result;
  int64_t position = 0;
  clap_test::InputEvents events;
  for (const BlockPlan& b : plan) {
    clap_test::Block block(static_cast<uint32_t>(b.frames), f64);
    events.Clear();
    for (const Change& c : b.changes)
      events.Param(c.tag, converter->normalizedParamToPlain(c.tag, c.normalized),
                   static_cast<uint32_t>(c.offset));
    transport = clap_test::Transport(b.transport == 'p');
    transport.flags |= CLAP_TRANSPORT_HAS_SECONDS_TIMELINE;
    transport.song_pos_seconds =
        static_cast<clap_sectime>(std::llround(position / rate * CLAP_SECTIME_FACTOR));
    block.process.transport = b.transport == 'n' ? nullptr : &transport;
    block.process.in_events = events.List();
    inst.plugin->process(inst.plugin, &block.process);
    for (int s = 0; s < b.frames; ++s)
      for (int c = 0; c < 2; ++c) result.push_back(block.At(c, static_cast<size_t>(s)));
    position += b.frames;
  }
  return result;
}

}  // namespace

// For the same values, transport and blocks, the same samples to the last bit.
TEST_F(ClapBesideVst3, SameSamplesAsTheVst3Module) {
  constexpr ParamID kIso = 0, kLowFreq = 1, kTones = 3, kWave = 8, kRate = 9, kPlay = 12,
                    kVolume = 13, kXvol2 = 21;
  auto steady = [](int blocks, int frames, char transport) {
    return std::vector<BlockPlan>(static_cast<size_t>(blocks), BlockPlan{frames, transport, {}});
  };
  struct Case {
    const char* name;
    bool f64;
    double rate;
    std::vector<BlockPlan> plan;
  } cases[] = {
      {"playing, defaults", false, 48000.0, steady(24, 512, 'p')},
      {"64-bit, automation", true, 44100.0, steady(30, 256, 'p')},
      {"stopped, play anyway, uneven blocks", false, 96000.0, {}},
      {"transport starts and stops", true, 48000.0, steady(40, 300, 's')},
  };
  auto& automation = cases[1].plan;
  automation[0].changes = {{kTones, 1.0, 0}, {kWave, 0.5, 0}};
  automation[6].changes = {{kIso, 0.2, 0}, {kIso, 0.3, 100}, {kVolume, 0.9, 17}};
  automation[12].changes = {{kLowFreq, 0.05, 0}, {kRate, 0.01, 3}, {kXvol2, 0.8, 255}};
  automation[20].changes = {{kTones, 0.0, 0}, {kTones, 0.4, 10}};
  for (int i = 0; i < 30; ++i) {
    const int frames[] = {512, 37, 1, 200, 480};
    cases[2].plan.push_back({frames[i % 5], i % 7 == 3 ? 'n' : 's', {}});
  }
  cases[2].plan[0].changes = {{kPlay, 1.0, 0}};
  cases[2].plan[15].changes = {{kWave, 1.0, 0}, {kPlay, 0.0, 0}, {kPlay, 1.0, 5}};
  for (int i = 5; i < 40; ++i) cases[3].plan[i].transport = i < 25 ? 'p' : i < 30 ? 's' : 'p';

  Vst3Instance converter(*vst3, kSample32, 512, 48000.0);
  for (const Case& c : cases) {
    const std::vector<double> a = RenderVst3(*vst3, c.plan, c.f64, c.rate);
    const std::vector<double> b = RenderClap(*clap, converter.controller, c.plan, c.f64, c.rate);
    ASSERT_EQ(a.size(), b.size()) << c.name;
    double peak = 0.0;
    size_t firstDiff = a.size();
    for (size_t i = 0; i < a.size(); ++i) {
      peak = std::max(peak, std::fabs(a[i]));
      if (firstDiff == a.size() && a[i] != b[i]) firstDiff = i;
    }
    EXPECT_GT(peak, 0.01) << c.name << ": nothing sounded, the comparison would prove little";
    EXPECT_EQ(firstDiff, a.size())
        << c.name << ": first difference at interleaved sample " << firstDiff;
  }
}

// A state saved by either module loads into the other and is saved back unchanged; the
// texts for any value are the VST 3 controller's.
TEST_F(ClapBesideVst3, StateAndTextsAreShared) {
  Vst3Instance v(*vst3, kSample32, 512, 48000.0);
  clap_test::Host host;
  clap_test::Instance c(*clap, host);
  ASSERT_NE(c.plugin, nullptr);
  EXPECT_EQ(c.SaveState(), v.State());

  // VST 3 to CLAP: values changed on the VST 3 side.
  caldrith_host::ParamChanges changes;
  for (ParamID tag : {0u, 2u, 3u, 8u, 12u, 20u}) changes.Add(tag, 0.37 + 0.05 * tag);
  ProcessData data{};
  data.inputParameterChanges = &changes;
  v.processor->process(data);
  const std::vector<uint8_t> fromVst3 = v.State();
  ASSERT_EQ(fromVst3.size(), 184u);
  ASSERT_TRUE(c.LoadState(fromVst3));
  EXPECT_EQ(c.SaveState(), fromVst3);

  // CLAP to VST 3: a factory preset chosen on the CLAP side.
  auto* load = c.Ext<clap_plugin_preset_load_t>(CLAP_EXT_PRESET_LOAD);
  ASSERT_TRUE(load->from_location(c.plugin, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr, "57"));
  const std::vector<uint8_t> fromClap = c.SaveState();
  EXPECT_NE(fromClap, fromVst3);
  ASSERT_TRUE(v.SetState(fromClap));
  EXPECT_EQ(v.State(), fromClap);

  for (ParamID tag = 0; tag < 23; ++tag) {
    for (int k = 0; k <= 40; ++k) {
      const double n = k / 40.0;
      String128 wide = {};
      ASSERT_EQ(v.controller->getParamStringByValue(tag, n, wide), kResultOk);
      std::string expected;
      for (int i = 0; wide[i]; ++i) expected += static_cast<char>(wide[i] & 0xFF);
      char text[128] = {};
      ASSERT_TRUE(c.Params()->value_to_text(
          c.plugin, tag, v.controller->normalizedParamToPlain(tag, n), text, sizeof(text)));
      EXPECT_EQ(text, expected) << "parameter " << tag << " at " << n;
    }
  }
}

#endif
