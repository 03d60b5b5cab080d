// References: what the factory creates is destroyed when its last reference goes, the host
// objects a plug-in is handed get every reference back, and the host helpers' fixed limits.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "test_plug.h"
#include "vst3/plugin_factory.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

int gLiveSynths = 0;

class CountedSynth : public TestSynth {
 public:
  CountedSynth() { ++gLiveSynths; }
  ~CountedSynth() override { --gLiveSynths; }
};

FUnknown* CreateCounted(void*) {
  return static_cast<IAudioProcessor*>(new CountedSynth());
}

FUnknown* CreateNothing(void*) {
  return nullptr;
}

const TUID kSynthCid = INLINE_UID(0x11111111, 0x22222222, 0x33333333, 0x44444444);
const TUID kBrokenCid = INLINE_UID(0x55555555, 0x22222222, 0x33333333, 0x44444444);

CPluginFactory* MakeFactory() {
  auto* f = new CPluginFactory(PFactoryInfo("Maker", "", "", PFactoryInfo::kUnicode));
  PClassInfo2 synth(kSynthCid, PClassInfo::kManyInstances, kVstAudioEffectClass, "Counted", 0,
                    "Instrument", "Maker", "1.0", "VST 3.7");
  PClassInfo2 broken(kBrokenCid, PClassInfo::kManyInstances, kVstAudioEffectClass, "Broken", 0,
                     "Instrument", "Maker", "1.0", "VST 3.7");
  EXPECT_TRUE(f->registerClass(&synth, &CreateCounted));
  EXPECT_TRUE(f->registerClass(&broken, &CreateNothing));
  return f;
}

}  // namespace

TEST(References, AnInstanceIsDestroyedWithItsLastReference) {
  CPluginFactory* f = MakeFactory();
  ASSERT_EQ(0, gLiveSynths);
  IComponent* component = nullptr;
  ASSERT_EQ(kResultOk,
            f->createInstance(kSynthCid, IComponent::iid, reinterpret_cast<void**>(&component)));
  ASSERT_NE(nullptr, component);
  EXPECT_EQ(1, gLiveSynths);
  IAudioProcessor* processor = nullptr;
  ASSERT_EQ(kResultOk,
            component->queryInterface(IAudioProcessor::iid, reinterpret_cast<void**>(&processor)));
  EXPECT_EQ(1u, component->release());  // the processor reference keeps it
  EXPECT_EQ(1, gLiveSynths);
  EXPECT_EQ(0u, processor->release());
  EXPECT_EQ(0, gLiveSynths);

  // Asked for an interface it lacks, the new instance does not outlive the call.
  void* nothing = reinterpret_cast<void*>(1);
  EXPECT_EQ(kNoInterface, f->createInstance(kSynthCid, IPluginFactory::iid, &nothing));
  EXPECT_EQ(nullptr, nothing);
  EXPECT_EQ(0, gLiveSynths);
  // Unknown classes and failing creators create nothing.
  EXPECT_EQ(kOutOfMemory, f->createInstance(kBrokenCid, IComponent::iid, &nothing));
  EXPECT_EQ(nullptr, nothing);
  const TUID unknown = INLINE_UID(1, 2, 3, 4);
  EXPECT_EQ(kNoInterface, f->createInstance(unknown, IComponent::iid, &nothing));
  EXPECT_EQ(kInvalidArgument, f->createInstance(kSynthCid, IComponent::iid, nullptr));
  EXPECT_EQ(0u, f->release());
}

TEST(References, TheFactoryHoldsOneHostContextAtATime) {
  CPluginFactory* f = MakeFactory();
  EXPECT_EQ(2u, f->addRef());
  EXPECT_EQ(1u, f->release());
  caldrith_host::HostContext first("First"), second("Second");
  ASSERT_EQ(kResultOk, f->setHostContext(static_cast<IHostApplication*>(&first)));
  EXPECT_EQ(1, first.References());
  ASSERT_EQ(kResultOk, f->setHostContext(static_cast<IHostApplication*>(&second)));
  EXPECT_EQ(0, first.References());
  EXPECT_EQ(1, second.References());
  ASSERT_EQ(kResultOk, f->setHostContext(static_cast<IHostApplication*>(&second)));
  EXPECT_EQ(1, second.References());
  EXPECT_EQ(0u, f->release());  // destroyed: lets go of the context
  EXPECT_EQ(0, second.References());
}

TEST(References, APlugInGivesBackWhatItTookFromTheHost) {
  caldrith_host::HostContext host("Counting Host");
  {
    auto* plug = new CountedSynth();
    IComponent* component = nullptr;
    plug->queryInterface(IComponent::iid, reinterpret_cast<void**>(&component));
    ASSERT_EQ(kResultOk, component->initialize(static_cast<IHostApplication*>(&host)));
    EXPECT_EQ(1, host.References());  // kept as the plug-in's context until terminate
    EXPECT_EQ(kResultFalse, component->initialize(static_cast<IHostApplication*>(&host)));
    EXPECT_EQ(1, host.References());
    ASSERT_EQ(kResultOk, component->terminate());
    EXPECT_EQ(0, host.References());
    // Processing takes no lasting references to the host's lists.
    ASSERT_EQ(kResultOk, component->initialize(static_cast<IHostApplication*>(&host)));
    IAudioProcessor* processor = nullptr;
    plug->queryInterface(IAudioProcessor::iid, reinterpret_cast<void**>(&processor));
    ProcessSetup setup{kRealtime, kSample32, 64, 48000.0};
    ASSERT_EQ(kResultOk, processor->setupProcessing(setup));
    Block b(64);
    caldrith_host::ParamChanges changes;
    caldrith_host::EventList events;
    changes.Add(kGain, 0.5);
    Event on{};
    on.type = Event::kNoteOnEvent;
    events.addEvent(on);
    b.data.inputParameterChanges = &changes;
    b.data.inputEvents = &events;
    EXPECT_EQ(kResultOk, processor->process(b.data));
    EXPECT_EQ(0, changes.References());
    EXPECT_EQ(0, events.References());
    component->terminate();
    processor->release();
    component->release();
    EXPECT_EQ(1, gLiveSynths);
    EXPECT_EQ(0u, plug->release());
  }
  EXPECT_EQ(0, gLiveSynths);
  EXPECT_EQ(0, host.References());
}

TEST(HostLimits, QueuesAndListsStopAtTheirCapacity) {
  caldrith_host::ParamQueue q;
  q.Reset(7);
  int32 index = -1;
  for (int32 i = 0; i < caldrith_host::ParamQueue::kMaxPoints; ++i) {
    ASSERT_EQ(kResultOk, q.addPoint(i, i / 100.0, index));
    EXPECT_EQ(i, index);
  }
  EXPECT_EQ(kResultFalse, q.addPoint(99, 0.5, index));
  EXPECT_EQ(caldrith_host::ParamQueue::kMaxPoints, q.getPointCount());
  int32 offset = -1;
  double value = -1;
  ASSERT_EQ(kResultOk, q.getPoint(caldrith_host::ParamQueue::kMaxPoints - 1, offset, value));
  EXPECT_EQ(caldrith_host::ParamQueue::kMaxPoints - 1, offset);
  EXPECT_EQ((caldrith_host::ParamQueue::kMaxPoints - 1) / 100.0, value);
  EXPECT_EQ(kResultFalse, q.getPoint(caldrith_host::ParamQueue::kMaxPoints, offset, value));
  EXPECT_EQ(kResultFalse, q.getPoint(-1, offset, value));

  caldrith_host::ParamChanges changes(2);
  EXPECT_TRUE(changes.Add(1, 0.1));
  EXPECT_TRUE(changes.Add(2, 0.2));
  EXPECT_TRUE(changes.Add(1, 0.3));  // a second point on a known queue
  EXPECT_FALSE(changes.Add(3, 0.4));
  EXPECT_EQ(2, changes.getParameterCount());
  EXPECT_EQ(2, changes.getParameterData(0)->getPointCount());
  EXPECT_EQ(nullptr, changes.getParameterData(2));

  caldrith_host::EventList events(2);
  Event e{};
  EXPECT_EQ(kResultOk, events.addEvent(e));
  EXPECT_EQ(kResultOk, events.addEvent(e));
  EXPECT_EQ(kOutOfMemory, events.addEvent(e));
  EXPECT_EQ(2, events.getEventCount());
}

TEST(SetupLimits, SampleRatesUpToTenMegahertz) {
  HostedSynth h;
  ASSERT_EQ(h.Initialize(), kResultOk);
  EXPECT_EQ(kResultOk, h.Setup(10.0e6, 64));
  EXPECT_EQ(10.0e6, h.plug->GetSampleRate());
  EXPECT_EQ(kResultFalse, h.Setup(std::nextafter(10.0e6, 1e300), 64));
  EXPECT_EQ(kResultFalse, h.Setup(0.0, 64));
  EXPECT_EQ(kResultOk, h.Setup(std::nextafter(0.0, 1.0), 64));  // tiny, but above zero
  EXPECT_EQ(kResultFalse, h.Setup(48000.0, 0));
  EXPECT_EQ(kResultOk, h.Setup(48000.0, 1));
  EXPECT_EQ(48000.0, h.plug->GetSampleRate());
}

namespace {

// Hands out as many bytes as asked, counting them.
class EndlessStream : public MemoryStream {
 public:
  tresult PLUGIN_API read(void* buffer, int32 numBytes, int32* numBytesRead) override {
    std::vector<uint8_t> bytes = DoublesLE({25.0});
    for (int32 i = 0; i < numBytes; ++i)
      static_cast<uint8_t*>(buffer)[i] = bytes[static_cast<size_t>((given + i) % 8)];
    given += numBytes;
    if (numBytesRead) *numBytesRead = numBytes;
    return kResultOk;
  }
  int64 given = 0;
};

}  // namespace

TEST(SetupLimits, AStateStreamIsReadNoFurtherThanOneMebibyte) {
  HostedSynth h;
  ASSERT_EQ(h.Initialize(), kResultOk);
  EndlessStream s;
  EXPECT_EQ(kResultOk, h.component->setState(&s));
  EXPECT_EQ(1 << 20, s.given);
  EXPECT_EQ(25.0, h.plug->ParamAt(kGain)->Value());
}

TEST(TextLimits, NarrowingStopsOneShortOfTheBuffer) {
  String128 wide = {};
  WidenText("abcdef", wide);
  char buf[8];
  std::memset(buf, 'x', sizeof buf);
  NarrowText(wide, buf, 4);
  EXPECT_STREQ("abc", buf);
  EXPECT_EQ('x', buf[4]);  // nothing written past the size given
  NarrowText(wide, buf, 1);
  EXPECT_STREQ("", buf);
  EXPECT_EQ('b', (NarrowText(wide, buf, 8), buf[1]));
  // Widening keeps 127 characters and the terminator.
  std::string longText(300, 'q');
  WidenText(longText.c_str(), wide);
  EXPECT_EQ('q', wide[126]);
  EXPECT_EQ(0, wide[127]);
}

TEST(BusLimits, AnInstrumentTakesNoInputBusesButMayBeOfferedOneEmptyOne) {
  HostedSynth h;
  ASSERT_EQ(h.Initialize(), kResultOk);
  SpeakerArrangement stereo = SpeakerArr::kStereo;
  SpeakerArrangement none[2] = {SpeakerArr::kEmpty, SpeakerArr::kEmpty};
  EXPECT_EQ(kResultOk, h.processor->setBusArrangements(nullptr, 0, &stereo, 1));
  EXPECT_EQ(kResultOk, h.processor->setBusArrangements(none, 1, &stereo, 1));
  EXPECT_EQ(kResultFalse, h.processor->setBusArrangements(none, 2, &stereo, 1));
  SpeakerArrangement mono = SpeakerArr::kMono;
  EXPECT_EQ(kResultFalse, h.processor->setBusArrangements(&mono, 1, &stereo, 1));
  EXPECT_EQ(kInvalidArgument, h.processor->setBusArrangements(nullptr, 1, &stereo, 1));
}

TEST(EventLimits, NotePitchesAndChannelsAreMaskedToMidiRanges) {
  HostedSynth h;
  ASSERT_EQ(h.Initialize(), kResultOk);
  ASSERT_EQ(h.Setup(48000.0, 64), kResultOk);
  Block b(64);
  caldrith_host::EventList events;
  Event on{};
  on.type = Event::kNoteOnEvent;
  on.noteOn.pitch = 200;   // 200 & 0x7f = 72
  on.noteOn.channel = 17;  // 17 & 0x0f = 1
  on.noteOn.velocity = 2.0f;
  events.addEvent(on);
  Event off{};
  off.type = Event::kNoteOffEvent;
  off.noteOff.pitch = 128;
  events.addEvent(off);
  b.data.inputEvents = &events;
  ASSERT_EQ(kResultOk, h.processor->process(b.data));
  ASSERT_EQ(2u, h.plug->midi.size());
  EXPECT_EQ(0x91, h.plug->midi[0].status);
  EXPECT_EQ(72, h.plug->midi[0].data1);
  EXPECT_EQ(127, h.plug->midi[0].data2);
  EXPECT_EQ(0x80, h.plug->midi[1].status);
  EXPECT_EQ(0, h.plug->midi[1].data1);
}

TEST(SetupLimits, ScratchTakesTheHostsBlockUpTo65536Frames) {
  HostedSynth h;
  ASSERT_EQ(h.Initialize(), kResultOk);
  ASSERT_EQ(kResultOk, h.Setup(48000.0, 65536));
  EXPECT_EQ(65536, h.plug->GetBlockSize());
  ASSERT_EQ(kResultOk, h.Setup(48000.0, 100000));
  EXPECT_EQ(65536, h.plug->GetBlockSize());
  ASSERT_EQ(kResultOk, h.Setup(48000.0, 333));
  EXPECT_EQ(333, h.plug->GetBlockSize());
}

namespace {

// Takes at most `room` bytes, then reports short writes, as a full disk would.
class FullStream : public MemoryStream {
 public:
  explicit FullStream(int32 room) : mRoom(room) {}
  tresult PLUGIN_API write(void* buffer, int32 numBytes, int32* numBytesWritten) override {
    const int32 n = std::max<int32>(0, std::min(numBytes, mRoom));
    mRoom -= n;
    int32 written = 0;
    MemoryStream::write(buffer, n, &written);
    if (numBytesWritten) *numBytesWritten = written;
    return kResultOk;
  }

 private:
  int32 mRoom;
};

}  // namespace

TEST(StateLimits, AStreamThatTakesOnlyPartOfTheStateIsToldItFailed) {
  HostedSynth h;
  ASSERT_EQ(h.Initialize(), kResultOk);
  FullStream tight(31);
  EXPECT_EQ(kResultFalse, h.component->getState(&tight));
  FullStream exact(32);
  EXPECT_EQ(kResultOk, h.component->getState(&exact));
  EXPECT_EQ(32, exact.getSize());
}
