// The component and processor as a host sets them up: buses, layouts, processing set-up,
// state transfer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "test_plug.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

std::string Narrow(const TChar* text) {
  char buf[129];
  NarrowText(text, buf, sizeof(buf));
  return buf;
}

std::vector<double> ParamValues(TestSynth* p) {
  std::vector<double> v;
  for (int i = 0; i < p->ParamCount(); ++i) v.push_back(p->ParamAt(i)->Value());
  return v;
}

}  // namespace

TEST(Component, BusesAfterInitialize) {
  HostedSynth h;
  ASSERT_EQ(h.Initialize(), kResultOk);
  EXPECT_EQ(h.component->getBusCount(kAudio, kInput), 0);
  ASSERT_EQ(h.component->getBusCount(kAudio, kOutput), 1);
  BusInfo info{};
  ASSERT_EQ(h.component->getBusInfo(kAudio, kOutput, 0, info), kResultOk);
  EXPECT_EQ(info.channelCount, 2);
  EXPECT_EQ(Narrow(info.name), "Output 1");
  EXPECT_EQ(info.busType, kMain);
  EXPECT_TRUE(info.flags & BusInfo::kDefaultActive);
  ASSERT_EQ(h.component->getBusCount(kEvent, kInput), 1);
  ASSERT_EQ(h.component->getBusInfo(kEvent, kInput, 0, info), kResultOk);
  EXPECT_EQ(Narrow(info.name), "MIDI Input");
  EXPECT_EQ(info.channelCount, 1);
  EXPECT_NE(h.component->getBusInfo(kAudio, kOutput, 1, info), kResultOk);
  EXPECT_NE(h.component->getBusInfo(kAudio, kInput, -1, info), kResultOk);

  SpeakerArrangement arr = 0;
  ASSERT_EQ(h.processor->getBusArrangement(kOutput, 0, arr), kResultOk);
  EXPECT_EQ(arr, SpeakerArr::kStereo);
  EXPECT_NE(h.processor->getBusArrangement(kInput, 0, arr), kResultOk);
}

TEST(Component, InitializeIdentifiesHostAndRunsOnce) {
  HostedSynth h;
  EXPECT_EQ(h.plug->HostId(), -1);
  ASSERT_EQ(h.Initialize(), kResultOk);
  EXPECT_EQ(h.plug->HostId(), 0);
  // Every parameter was applied once while registering.
  for (int n : h.plug->handled) EXPECT_EQ(n, 1);
  // A second initialize must not register buses and parameters twice.
  EXPECT_NE(h.component->initialize(&h.host), kResultOk);
  EXPECT_EQ(h.component->getBusCount(kAudio, kOutput), 1);
  EXPECT_EQ(h.controller->getParameterCount(), kTestParams + 1);
  EXPECT_EQ(h.component->terminate(), kResultOk);
  EXPECT_EQ(h.component->terminate(), kResultOk);
  EXPECT_EQ(h.component->getBusCount(kAudio, kOutput), 0);
  // A host may initialize again after terminate and finds the same plug-in.
  ASSERT_EQ(h.Initialize(), kResultOk);
  EXPECT_EQ(h.component->getBusCount(kAudio, kOutput), 1);
  EXPECT_EQ(h.component->getBusCount(kEvent, kInput), 1);
  EXPECT_EQ(h.controller->getParameterCount(), kTestParams + 1);
}

TEST(Component, HostNameLookup) {
  EXPECT_EQ(IPlugVST3::LookUpHostId("My WAVELAB Host"), 28);
  EXPECT_EQ(IPlugVST3::LookUpHostId("Cubase Pro"), 3);
  EXPECT_EQ(IPlugVST3::LookUpHostId("REAPER"), 1);
  // "cubase" is tested before "live": order matters for names holding both.
  EXPECT_EQ(IPlugVST3::LookUpHostId("cubase live"), 3);
  EXPECT_EQ(IPlugVST3::LookUpHostId("Ableton Live 12"), 9);
  EXPECT_EQ(IPlugVST3::LookUpHostId("Unknown"), 0);
  EXPECT_EQ(IPlugVST3::LookUpHostId(""), 0);
  EXPECT_EQ(IPlugVST3::LookUpHostId(nullptr), 0);

  // Only the first 127 characters of a name are searched.
  EXPECT_EQ(IPlugVST3::LookUpHostId((std::string(121, 'x') + "Reaper").c_str()), 1);
  EXPECT_EQ(IPlugVST3::LookUpHostId((std::string(122, 'x') + "Reaper").c_str()), 0);

  // Every entry of the published table, each inside a longer name in mixed case.
  const struct {
    const char* name;
    int id;
  } table[] = {
      {"Bitwig", 29},    {"Cubase", 3},      {"Reaper", 1},   {"Nuendo", 4},      {"Cakewalk", 5},
      {"Samplitude", 8}, {"Fruity", 7},      {"Live", 9},     {"Melodyne", 12},   {"VstManLib", 13},
      {"AULab", 14},     {"Forte", 15},      {"Chainer", 16}, {"Audition", 17},   {"Orion", 18},
      {"SawStudio", 20}, {"Logic", 21},      {"Digital", 22}, {"AudioMulch", 23}, {"PreSonus", 24},
      {"Acoustica", 25}, {"GarageBand", 26}, {"Ardour", 27},  {"WaveLab", 28},    {"Renoise", 30}};
  for (const auto& t : table) {
    EXPECT_EQ(IPlugVST3::LookUpHostId((std::string("The ") + t.name + " 9").c_str()), t.id)
        << t.name;
  }
}

TEST(Component, BusArrangements) {
  HostedSynth h;
  ASSERT_EQ(h.Initialize(), kResultOk);
  SpeakerArrangement stereo = SpeakerArr::kStereo, mono = SpeakerArr::kMono;
  // The plug-in's own layout, as hosts propose it: no input bus, one stereo output.
  EXPECT_EQ(h.processor->setBusArrangements(nullptr, 0, &stereo, 1), kResultOk);
  SpeakerArrangement none = SpeakerArr::kEmpty;
  EXPECT_EQ(h.processor->setBusArrangements(&none, 1, &stereo, 1), kResultOk);
  EXPECT_EQ(h.processor->setBusArrangements(nullptr, 0, &mono, 1), kResultFalse);
  EXPECT_EQ(h.processor->setBusArrangements(&stereo, 1, &stereo, 1), kResultFalse);
  EXPECT_NE(h.processor->setBusArrangements(nullptr, 1, &stereo, 1), kResultOk);
  EXPECT_NE(h.processor->setBusArrangements(nullptr, -1, &stereo, 1), kResultOk);
  // Rejections leave the layout as it was.
  SpeakerArrangement arr = 0;
  ASSERT_EQ(h.processor->getBusArrangement(kOutput, 0, arr), kResultOk);
  EXPECT_EQ(arr, SpeakerArr::kStereo);
  EXPECT_EQ(h.component->getBusCount(kAudio, kOutput), 1);
}

TEST(Component, SampleSizesAndSetup) {
  HostedSynth h;
  ASSERT_EQ(h.Initialize(), kResultOk);
  EXPECT_EQ(h.processor->canProcessSampleSize(kSample32), kResultTrue);
  EXPECT_EQ(h.processor->canProcessSampleSize(kSample64), kResultTrue);
  EXPECT_EQ(h.processor->canProcessSampleSize(2), kResultFalse);
  EXPECT_EQ(h.processor->canProcessSampleSize(-1), kResultFalse);

  EXPECT_EQ(h.Setup(44100.0, 256, kSample64), kResultOk);
  EXPECT_EQ(h.plug->GetSampleRate(), 44100.0);
  EXPECT_EQ(h.plug->GetBlockSize(), 256);
  EXPECT_EQ(h.plug->resets, 1);

  // Set-ups the engine cannot run with are refused and the previous one kept.
  EXPECT_EQ(h.Setup(48000.0, 512, 7), kResultFalse);
  EXPECT_EQ(h.Setup(0.0, 512), kResultFalse);
  EXPECT_EQ(h.Setup(-48000.0, 512), kResultFalse);
  EXPECT_EQ(h.Setup(std::numeric_limits<double>::quiet_NaN(), 512), kResultFalse);
  EXPECT_EQ(h.Setup(std::numeric_limits<double>::infinity(), 512), kResultFalse);
  EXPECT_EQ(h.Setup(1e300, 512), kResultFalse);
  EXPECT_EQ(h.Setup(48000.0, 0), kResultFalse);
  EXPECT_EQ(h.Setup(48000.0, -5), kResultFalse);
  EXPECT_EQ(h.plug->GetSampleRate(), 44100.0);
  EXPECT_EQ(h.plug->GetBlockSize(), 256);
  EXPECT_EQ(h.plug->resets, 1);

  // A huge maximum block does not make the plug-in allocate a matching scratch area.
  EXPECT_EQ(h.Setup(48000.0, 1 << 30), kResultOk);
  EXPECT_LE(h.plug->GetBlockSize(), 1 << 16);
}

TEST(Component, FixedAnswers) {
  HostedSynth h;
  ASSERT_EQ(h.Initialize(), kResultOk);
  TUID cid;
  EXPECT_EQ(h.component->getControllerClassId(cid), kNotImplemented);
  EXPECT_EQ(h.processor->setProcessing(true), kNotImplemented);
  EXPECT_EQ(h.controller->setComponentState(nullptr), kNotImplemented);
  EXPECT_EQ(h.processor->getLatencySamples(), 0u);
  EXPECT_EQ(h.processor->getTailSamples(), 0u);
  EXPECT_EQ(h.component->setActive(true), kResultOk);
  EXPECT_EQ(h.plug->activeCalls, 1);
  EXPECT_EQ(h.component->setActive(false), kResultOk);
  EXPECT_EQ(h.plug->activeCalls, 0);
  IEditController2* c2 = nullptr;
  ASSERT_EQ(h.plug->queryInterface(IEditController2::iid, reinterpret_cast<void**>(&c2)),
            kResultOk);
  EXPECT_EQ(c2->openHelp(false), kResultFalse);
  EXPECT_EQ(c2->openAboutBox(false), kResultFalse);
  c2->release();
  // One object behind every interface.
  FUnknown* a = nullptr;
  FUnknown* b = nullptr;
  h.units->queryInterface(IComponent::iid, reinterpret_cast<void**>(&a));
  h.controller->queryInterface(IComponent::iid, reinterpret_cast<void**>(&b));
  EXPECT_EQ(a, b);
  EXPECT_EQ(a, static_cast<FUnknown*>(h.component));
  a->release();
  b->release();
  EXPECT_STREQ(h.plug->isA(), "IPlugVST3");
  EXPECT_TRUE(h.plug->isTypeOf("SingleComponentEffect"));
}

TEST(State, ComponentStateIsTheParameterValues) {
  HostedSynth h;
  ASSERT_EQ(h.Initialize(), kResultOk);
  MemoryStream out;
  ASSERT_EQ(h.component->getState(&out), kResultOk);
  EXPECT_EQ(StreamBytes(out), DoublesLE({50.0, 440.0, 1.0, 4.0}));

  // Controller state is empty and separate from the component's.
  MemoryStream ctl;
  EXPECT_EQ(h.controller->getState(&ctl), kResultOk);
  EXPECT_EQ(ctl.getSize(), 0);
  std::vector<uint8_t> other = DoublesLE({1.0, 100.0, 2.0, 9.0});
  MemoryStream in(other.data(), static_cast<TSize>(other.size()));
  EXPECT_EQ(h.controller->setState(&in), kResultOk);
  EXPECT_EQ(ParamValues(h.plug), (std::vector<double>{50.0, 440.0, 1.0, 4.0}));
}

TEST(State, RoundTripBetweenInstances) {
  HostedSynth a, b;
  ASSERT_EQ(a.Initialize(), kResultOk);
  ASSERT_EQ(b.Initialize(), kResultOk);
  a.controller->setParamNormalized(kGain, 0.25);
  a.controller->setParamNormalized(kFreq, 0.7);
  a.controller->setParamNormalized(kMode, 1.0);
  MemoryStream s;
  ASSERT_EQ(a.component->getState(&s), kResultOk);
  s.seek(0, IBStream::kIBSeekSet, nullptr);
  int before = b.plug->handled[kFreq];
  EXPECT_EQ(b.component->setState(&s), kResultOk);
  EXPECT_EQ(ParamValues(a.plug), ParamValues(b.plug));
  EXPECT_EQ(b.plug->handled[kFreq], before + 1);
}

// Hands over at most 8 bytes a read and calls every read a failure.
class GrudgingStream : public MemoryStream {
 public:
  using MemoryStream::MemoryStream;
  tresult PLUGIN_API read(void* buffer, int32 numBytes, int32* numBytesRead) override {
    int32 got = 0;
    MemoryStream::read(buffer, std::min<int32>(numBytes, 8), &got);
    if (numBytesRead) *numBytesRead = got;
    return kResultFalse;
  }
};

TEST(State, OnlyWaveLabIsReadOnAfterAReadThatReportsAnError) {
  const std::vector<uint8_t> bytes = DoublesLE({12.5, 880.0, 2.0, 16.0});
  HostedSynth other;
  ASSERT_EQ(other.Initialize(), kResultOk);
  std::vector<double> want = ParamValues(other.plug);
  GrudgingStream s1(const_cast<uint8_t*>(bytes.data()), static_cast<TSize>(bytes.size()));
  EXPECT_EQ(other.component->setState(&s1), kResultFalse);  // the first value and no more
  want[0] = 12.5;
  EXPECT_EQ(ParamValues(other.plug), want);

  caldrith_host::HostContext wavelab{"WaveLab Pro 12"};
  HostedSynth wl;
  ASSERT_EQ(wl.component->initialize(&wavelab), kResultOk);
  GrudgingStream s2(const_cast<uint8_t*>(bytes.data()), static_cast<TSize>(bytes.size()));
  EXPECT_EQ(wl.component->setState(&s2), kResultOk);
  EXPECT_EQ(ParamValues(wl.plug), (std::vector<double>{12.5, 880.0, 2.0, 16.0}));
}

TEST(State, CompleteStateSucceedsWhateverTheStreamSaysAtItsEnd) {
  HostedSynth h;
  ASSERT_EQ(h.Initialize(), kResultOk);
  std::vector<uint8_t> bytes = DoublesLE({12.5, 880.0, 2.0, 16.0});
  StrictStream strict(bytes.data(), static_cast<TSize>(bytes.size()));
  EXPECT_EQ(h.component->setState(&strict), kResultOk);
  EXPECT_EQ(ParamValues(h.plug), (std::vector<double>{12.5, 880.0, 2.0, 16.0}));
  // The stream is left just past the state.
  int64 pos = -1;
  strict.tell(&pos);
  EXPECT_EQ(pos, 32);

  // Extra bytes after the values are ignored.
  std::vector<uint8_t> longer = DoublesLE({20.0, 100.0, 0.0, 3.0, 99.0, 98.0});
  MemoryStream s(longer.data(), static_cast<TSize>(longer.size()));
  EXPECT_EQ(h.component->setState(&s), kResultOk);
  EXPECT_EQ(ParamValues(h.plug), (std::vector<double>{20.0, 100.0, 0.0, 3.0}));
  // ...and are left for whoever stored them: the stream stands just past the values.
  pos = -1;
  s.tell(&pos);
  EXPECT_EQ(pos, 32);
}

TEST(State, DamagedStatesRestoreWhatIsSound) {
  HostedSynth h;
  ASSERT_EQ(h.Initialize(), kResultOk);
  MemoryStream empty;
  EXPECT_EQ(h.component->setState(&empty), kResultFalse);
  EXPECT_EQ(ParamValues(h.plug), (std::vector<double>{50.0, 440.0, 1.0, 4.0}));

  // Two whole values and a piece of the third.
  std::vector<uint8_t> shortBytes = DoublesLE({70.0, 1000.0, 2.0});
  shortBytes.resize(20);
  MemoryStream shortStream(shortBytes.data(), static_cast<TSize>(shortBytes.size()));
  EXPECT_EQ(h.component->setState(&shortStream), kResultFalse);
  EXPECT_EQ(ParamValues(h.plug), (std::vector<double>{70.0, 1000.0, 1.0, 4.0}));

  double nan = std::numeric_limits<double>::quiet_NaN();
  double inf = std::numeric_limits<double>::infinity();
  std::vector<uint8_t> bad = DoublesLE({nan, inf, 2.0, 400.0});
  MemoryStream badStream(bad.data(), static_cast<TSize>(bad.size()));
  h.component->setState(&badStream);
  std::vector<double> v = ParamValues(h.plug);
  for (double x : v) EXPECT_TRUE(std::isfinite(x));
  EXPECT_EQ(v[kMode], 2.0);
  EXPECT_EQ(v[kSteps], 16.0);  // clamped into range

  EXPECT_EQ(h.component->setState(nullptr), kInvalidArgument);
  EXPECT_EQ(h.component->getState(nullptr), kInvalidArgument);
}

TEST(State, PresetLocksApplyToHostRestores) {
  HostedSynth h;
  ASSERT_EQ(h.Initialize(), kResultOk);
  ASSERT_EQ(h.Setup(), kResultOk);
  h.component->activateBus(kAudio, kOutput, 0, true);
  // Select preset 2 ("Steps only") through the program-change parameter.
  Block blk(16);
  caldrith_host::ParamChanges changes;
  changes.Add(kPresetParamTag, 2.0 / 5.0);
  blk.data.inputParameterChanges = &changes;
  h.processor->process(blk.data);
  ASSERT_EQ(h.plug->CurrentPresetIdx(), 2);
  EXPECT_EQ(ParamValues(h.plug), (std::vector<double>{50.0, 440.0, 1.0, 12.0}));

  std::vector<uint8_t> bytes = DoublesLE({1.0, 30.0, 0.0, 7.0});
  MemoryStream s(bytes.data(), static_cast<TSize>(bytes.size()));
  EXPECT_EQ(h.component->setState(&s), kResultOk);
  EXPECT_EQ(ParamValues(h.plug), (std::vector<double>{50.0, 440.0, 1.0, 7.0}));
}
