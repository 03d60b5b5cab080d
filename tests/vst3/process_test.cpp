// The per-block processing call: host context, parameter queues, presets, bypass, notes and
// audio in both sample sizes, with the malformed blocks hosts have been seen to send.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "test_plug.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

struct Running : HostedSynth {
  explicit Running(int32 size = kSample32, int32 maxBlock = 512) {
    EXPECT_EQ(Initialize(), kResultOk);
    SpeakerArrangement stereo = SpeakerArr::kStereo;
    EXPECT_EQ(processor->setBusArrangements(nullptr, 0, &stereo, 1), kResultOk);
    EXPECT_EQ(Setup(48000.0, maxBlock, size), kResultOk);
    EXPECT_EQ(component->activateBus(kAudio, kOutput, 0, true), kResultOk);
    EXPECT_EQ(component->setActive(true), kResultOk);
  }
  tresult Run(Block& b) { return processor->process(b.data); }
};

Event NoteOn(int32 offset, int16 pitch, float velocity, int16 channel = 0) {
  Event e{};
  e.type = Event::kNoteOnEvent;
  e.sampleOffset = offset;
  e.noteOn.pitch = pitch;
  e.noteOn.velocity = velocity;
  e.noteOn.channel = channel;
  return e;
}

Event NoteOff(int32 offset, int16 pitch, int16 channel = 0) {
  Event e{};
  e.type = Event::kNoteOffEvent;
  e.sampleOffset = offset;
  e.noteOff.pitch = pitch;
  e.noteOff.channel = channel;
  return e;
}

}  // namespace

TEST(Process, RendersTheBlockInBothSampleSizes) {
  Running r32(kSample32), r64(kSample64);
  Block b32(300), b64(300, true);
  ASSERT_EQ(r32.Run(b32), kResultOk);
  ASSERT_EQ(r64.Run(b64), kResultOk);
  for (int c = 0; c < 2; ++c) {
    for (int s = 0; s < 300; ++s) {
      double expected = ExpectedSample(50.0, 1.0, s, c);
      ASSERT_EQ(b64.f64[c][static_cast<size_t>(s)], expected) << c << " " << s;
      // The 32-bit path is the 64-bit result rounded once to float.
      ASSERT_EQ(b32.f32[c][static_cast<size_t>(s)], static_cast<float>(expected)) << c << " " << s;
    }
  }
}

TEST(Process, HostTimelineReachesTheBase) {
  Running r;
  Block b(64);
  b.context.state = ProcessContext::kPlaying | ProcessContext::kRecording;
  b.context.projectTimeSamples = (int64(1) << 33) + 5;  // beyond 32 bits
  b.context.tempo = 97.5;
  b.context.timeSigNumerator = 7;
  b.context.timeSigDenominator = 8;
  b.context.projectTimeMusic = 12.25;
  b.context.barPositionMusic = 10.5;
  b.context.cycleStartMusic = 4.0;
  b.context.cycleEndMusic = 20.75;
  r.Run(b);
  EXPECT_EQ(r.plug->transportSeen, 1);
  EXPECT_EQ(r.plug->positionSeen, (int64(1) << 33) + 5);
  EXPECT_EQ(r.plug->HostTempo(), 97.5);
  int num = 0, den = 0;
  r.plug->HostTimeSignature(&num, &den);
  EXPECT_EQ(num, 7);
  EXPECT_EQ(den, 8);
  HostTimeInfo info;
  r.plug->FillHostTimeInfo(&info);
  EXPECT_EQ(info.samplePos, static_cast<double>((int64(1) << 33) + 5));
  EXPECT_EQ(info.ppqPos, 12.25);
  EXPECT_EQ(info.lastBar, 10.5);
  EXPECT_EQ(info.cycleStart, 4.0);
  EXPECT_EQ(info.cycleEnd, 20.75);
  EXPECT_EQ(info.numerator, 7);
  EXPECT_EQ(info.denominator, 8);
  EXPECT_EQ(info.tempo, 97.5);
  EXPECT_TRUE(info.transportRunning);
  EXPECT_FALSE(info.loopEnabled);

  b.context.state = ProcessContext::kRecording | ProcessContext::kCycleActive;
  r.Run(b);
  EXPECT_EQ(r.plug->HostTransportState(), 2);
  r.plug->FillHostTimeInfo(&info);
  EXPECT_FALSE(info.transportRunning);
  EXPECT_TRUE(info.loopEnabled);
  b.context.state = 0;
  r.Run(b);
  EXPECT_EQ(r.plug->HostTransportState(), 0);
  // A block without a context keeps the last one.
  b.data.processContext = nullptr;
  b.context.state = ProcessContext::kPlaying;
  r.Run(b);
  EXPECT_EQ(r.plug->HostTransportState(), 0);
}

TEST(Process, LastPointOfEachQueueWins) {
  Running r;
  Block b(32);
  caldrith_host::ParamChanges changes;
  changes.Add(kGain, 0.1, 0);
  changes.Add(kGain, 0.9, 10);
  changes.Add(kGain, 0.3, 20);
  changes.Add(kMode, 1.0, 5);
  b.data.inputParameterChanges = &changes;
  int handledBefore = r.plug->handled[kGain];
  r.Run(b);
  EXPECT_DOUBLE_EQ(r.plug->ParamAt(kGain)->Value(), 30.0);
  EXPECT_EQ(r.plug->ParamAt(kMode)->Value(), 2.0);
  EXPECT_EQ(r.plug->handled[kGain], handledBefore + 1);
  // The change applies to the whole block, from its first frame.
  EXPECT_FLOAT_EQ(b.f32[0][0], static_cast<float>(ExpectedSample(30.0, 2.0, 0, 0)));
}

TEST(Process, ZeroSampleBlockStillAppliesChangesAndEvents) {
  Running r;
  Block b(0);
  caldrith_host::ParamChanges changes;
  changes.Add(kSteps, 1.0);
  caldrith_host::EventList events;
  Event on = NoteOn(0, 60, 0.5f);
  events.addEvent(on);
  b.data.inputParameterChanges = &changes;
  b.data.inputEvents = &events;
  ASSERT_EQ(r.Run(b), kResultOk);
  EXPECT_EQ(r.plug->ParamAt(kSteps)->Value(), 16.0);
  EXPECT_EQ(r.plug->midi.size(), 1u);
  EXPECT_EQ(r.plug->blocks, 0);
  EXPECT_EQ(b.f32[0][0], 7.f);  // nothing written
}

TEST(Process, PresetAndBypassTags) {
  Running r;
  caldrith_host::ParamChanges changes;
  Block b(16);
  b.data.inputParameterChanges = &changes;
  // (6 - 1) * 0.5 + 0.5 = 3: "Quiet".
  changes.Add(kPresetParamTag, 0.5);
  r.Run(b);
  EXPECT_EQ(r.plug->CurrentPresetIdx(), 3);
  EXPECT_EQ(r.plug->ParamAt(kGain)->Value(), 5.0);
  EXPECT_EQ(r.plug->ParamAt(kFreq)->Value(), 220.0);

  changes.Clear();
  changes.Add(kBypassParamTag, 0.5);
  r.Run(b);
  EXPECT_FALSE(r.plug->IsBypassed());
  changes.Clear();
  changes.Add(kBypassParamTag, 0.51);
  Block bypassed(16);
  bypassed.data.inputParameterChanges = &changes;
  r.Run(bypassed);
  EXPECT_TRUE(r.plug->IsBypassed());
  // No inputs, so passing through gives silence.
  for (int c = 0; c < 2; ++c) {
    for (float x : bypassed.f32[c]) EXPECT_EQ(x, 0.f);
  }
  EXPECT_EQ(r.controller->getParamNormalized(kBypassParamTag), 1.0);
}

TEST(Process, UnknownTagsAndBadValuesChangeNothing) {
  Running r;
  caldrith_host::ParamChanges changes;
  Block b(16);
  b.data.inputParameterChanges = &changes;
  changes.Add(kTestParams, 0.5);
  changes.Add(0x7FFFFFFF, 0.5);
  changes.Add(kGain, std::numeric_limits<double>::quiet_NaN());
  changes.Add(kPresetParamTag, std::numeric_limits<double>::quiet_NaN());
  r.Run(b);
  EXPECT_EQ(r.plug->ParamAt(kGain)->Value(), 50.0);
  EXPECT_EQ(r.plug->CurrentPresetIdx(), 0);

  changes.Clear();
  changes.Add(kGain, 4.0);
  changes.Add(kSteps, -2.0);
  changes.Add(kPresetParamTag, 99.0);
  r.Run(b);
  EXPECT_EQ(r.plug->ParamAt(kGain)->Value(), 100.0);
  EXPECT_EQ(r.plug->ParamAt(kSteps)->Value(), 1.0);
  // Clamped to the last slot, which is empty: selecting it names it.
  EXPECT_STREQ(r.plug->PresetNameAt(5), "user preset 1");
}

TEST(Process, NoteEventsBecomeMidiMessagesAndLeaveTheSoundAlone) {
  Running withNotes, without;
  caldrith_host::EventList events;
  Event e1 = NoteOn(3, 60, 1.0f, 2);
  Event e2 = NoteOn(4, 61, 0.999f);
  Event e3 = NoteOff(9, 60, 15);
  Event other{};
  other.type = Event::kDataEvent;
  Event e4 = NoteOn(5, 62, 7.0f);  // out-of-range velocity
  for (Event* e : {&e1, &e2, &other, &e3, &e4}) events.addEvent(*e);
  Block a(128), b(128);
  a.data.inputEvents = &events;
  withNotes.Run(a);
  without.Run(b);
  ASSERT_EQ(withNotes.plug->midi.size(), 4u);
  const MidiMessage& m1 = withNotes.plug->midi[0];
  EXPECT_EQ(m1.offset, 3);
  EXPECT_EQ(m1.status, 0x92);
  EXPECT_EQ(m1.data1, 60);
  EXPECT_EQ(m1.data2, 127);
  EXPECT_EQ(withNotes.plug->midi[1].data2, 126);
  EXPECT_EQ(withNotes.plug->midi[2].status, 0x8F);
  EXPECT_EQ(withNotes.plug->midi[2].data2, 0);
  EXPECT_EQ(withNotes.plug->midi[3].data2, 127);
  EXPECT_EQ(0, std::memcmp(a.f32[0].data(), b.f32[0].data(), 128 * sizeof(float)));
  EXPECT_EQ(0, std::memcmp(a.f32[1].data(), b.f32[1].data(), 128 * sizeof(float)));
}

TEST(Process, BlocksLongerThanTheMaximumAreRenderedWhole) {
  for (int32 size : {kSample32, kSample64}) {
    Running r(size, 64);
    Block b(1000, size == kSample64);
    r.Run(b);
    EXPECT_EQ(r.plug->rendered, 1000);
    for (int c = 0; c < 2; ++c) {
      for (int s = 0; s < 1000; s += 37) {
        double expected = ExpectedSample(50.0, 1.0, s, c);
        if (size == kSample64) {
          EXPECT_EQ(b.f64[c][static_cast<size_t>(s)], expected);
        } else {
          EXPECT_EQ(b.f32[c][static_cast<size_t>(s)], static_cast<float>(expected));
        }
      }
    }
  }
}

TEST(Process, MalformedBlocks) {
  Running r;
  // Negative length: nothing is rendered or written.
  Block neg(8);
  neg.data.numSamples = -5;
  EXPECT_EQ(r.Run(neg), kResultOk);
  EXPECT_EQ(r.plug->rendered, 0);
  EXPECT_EQ(neg.f32[0][0], 7.f);

  // No outputs at all, a null output array, null channel arrays, null channels.
  Block none(32);
  none.data.numOutputs = 0;
  EXPECT_EQ(r.Run(none), kResultOk);
  none.data.numOutputs = 1;
  none.data.outputs = nullptr;
  EXPECT_EQ(r.Run(none), kResultOk);
  Block nullBus(32);
  nullBus.out.channelBuffers32 = nullptr;
  EXPECT_EQ(r.Run(nullBus), kResultOk);
  Block nullChannel(32);
  nullChannel.ptr32[0] = nullptr;
  EXPECT_EQ(r.Run(nullChannel), kResultOk);
  EXPECT_NE(nullChannel.f32[1][5], 7.f);  // the other channel still gets sound

  // The same in double precision.
  Running r64(kSample64);
  Block nullBus64(32, true);
  nullBus64.out.channelBuffers64 = nullptr;
  EXPECT_EQ(r64.Run(nullBus64), kResultOk);
  Block nullChannel64(32, true);
  nullChannel64.ptr64[0] = nullptr;
  EXPECT_EQ(r64.Run(nullChannel64), kResultOk);
  EXPECT_NE(nullChannel64.f64[1][5], 7.0);

  // Fewer channels than the plug-in has: the missing one goes to scratch.
  Block mono(32);
  mono.out.numChannels = 1;
  r.plug->rendered = 0;
  EXPECT_EQ(r.Run(mono), kResultOk);
  EXPECT_EQ(mono.f32[0][3], static_cast<float>(ExpectedSample(50.0, 1.0, 3, 0)));
  EXPECT_EQ(mono.f32[1][3], 7.f);

  // More channels than the plug-in has: the extra ones are silenced.
  std::vector<float> extra(32, 7.f);
  Block wide(32);
  float* three[3] = {wide.ptr32[0], wide.ptr32[1], extra.data()};
  wide.out.numChannels = 3;
  wide.out.channelBuffers32 = three;
  EXPECT_EQ(r.Run(wide), kResultOk);
  for (float x : extra) EXPECT_EQ(x, 0.f);

  // A second output bus the plug-in does not have.
  Block two(32);
  std::vector<float> l(32, 7.f), rr(32, 7.f);
  float* second[2] = {l.data(), rr.data()};
  AudioBusBuffers buses[2];
  buses[0] = two.out;
  buses[1].numChannels = 2;
  buses[1].channelBuffers32 = second;
  two.data.outputs = buses;
  two.data.numOutputs = 2;
  EXPECT_EQ(r.Run(two), kResultOk);
  for (float x : l) EXPECT_EQ(x, 0.f);

  // A bus the host never activated is not rendered into, but it does not keep stale samples.
  r.component->activateBus(kAudio, kOutput, 0, false);
  Block inactive(32);
  EXPECT_EQ(r.Run(inactive), kResultOk);
  for (float x : inactive.f32[0]) EXPECT_EQ(x, 0.f);
  r.component->activateBus(kAudio, kOutput, 0, true);

  // Negative channel count.
  Block negCh(32);
  negCh.out.numChannels = -2;
  EXPECT_EQ(r.Run(negCh), kResultOk);
}

TEST(Process, OutputBuffersOfAnEarlierBlockAreNeverWrittenAgain) {
  Running r;
  auto first = std::make_unique<Block>(32);
  r.Run(*first);
  std::vector<float> keep = first->f32[0];
  Block second(32);
  second.data.numOutputs = 0;
  r.Run(second);
  EXPECT_EQ(first->f32[0], keep);
}

TEST(Process, UnusualCallOrder) {
  HostedSynth h;
  ASSERT_EQ(h.Initialize(), kResultOk);
  // Processing before any set-up: silence, and the host's parameter changes still land.
  Block b(64);
  caldrith_host::ParamChanges changes;
  changes.Add(kGain, 1.0);
  b.data.inputParameterChanges = &changes;
  EXPECT_EQ(h.processor->process(b.data), kResultOk);
  for (float x : b.f32[0]) EXPECT_EQ(x, 0.f);
  EXPECT_EQ(h.plug->ParamAt(kGain)->Value(), 100.0);
  EXPECT_EQ(h.plug->blocks, 0);

  // Processing after terminate does not touch freed buses.
  ASSERT_EQ(h.Setup(), kResultOk);
  EXPECT_EQ(h.component->terminate(), kResultOk);
  Block after(64);
  EXPECT_EQ(h.processor->process(after.data), kResultOk);
  EXPECT_EQ(h.component->terminate(), kResultOk);
}

TEST(Process, TheStoredSetupDecidesTheSampleSize) {
  Running r(kSample64);
  Block b(64, true);
  // What the block itself claims is not used.
  b.data.symbolicSampleSize = kSample32;
  r.Run(b);
  EXPECT_EQ(b.f64[0][10], ExpectedSample(50.0, 1.0, 10, 0));
}

namespace {

// Samples of the block still holding the fill value, over both channels.
int Untouched(const Block& b, bool doublePrecision) {
  int n = 0;
  for (int c = 0; c < 2; ++c) {
    for (int s = 0; s < b.frames; ++s) {
      n += doublePrecision ? b.f64[c][static_cast<size_t>(s)] == 7.0
                           : b.f32[c][static_cast<size_t>(s)] == 7.f;
    }
  }
  return n;
}

}  // namespace

TEST(Process, EveryOutputSampleIsWrittenWhateverCameBefore) {
  for (int32 size : {kSample32, kSample64}) {
    const bool f64 = size == kSample64;
    SCOPED_TRACE(f64 ? "64-bit" : "32-bit");
    {
      // A refused set-up (rate 0) stores nothing; the block's buffers are still the block's
      // sample size and every sample of them is silenced.
      HostedSynth h;
      ASSERT_EQ(h.Initialize(), kResultOk);
      EXPECT_EQ(h.Setup(0.0, 512, size), kResultFalse);
      Block b(300, f64);
      EXPECT_EQ(h.processor->process(b.data), kResultOk);
      EXPECT_EQ(Untouched(b, f64), 0);
      for (int c = 0; c < 2; ++c) {
        for (int s = 0; s < 300; ++s) {
          ASSERT_EQ(f64 ? b.f64[c][static_cast<size_t>(s)] : b.f32[c][static_cast<size_t>(s)], 0.0)
              << c << " " << s;
        }
      }
      EXPECT_EQ(h.plug->blocks, 0);
    }
    {
      // A refusal after a good set-up keeps that set-up: the block renders.
      Running r(size);
      EXPECT_EQ(r.Setup(0.0, 512, size), kResultFalse);
      Block b(300, f64);
      EXPECT_EQ(r.Run(b), kResultOk);
      EXPECT_EQ(Untouched(b, f64), 0);
      EXPECT_EQ(r.plug->blocks, 1);
    }
    {
      // Before the instrument is ready it renders nothing, and the host hears silence.
      Running r(size);
      r.plug->CloseReadyGate();
      Block b(700, f64);
      EXPECT_EQ(r.Run(b), kResultOk);
      EXPECT_EQ(r.plug->blocks, 0);
      for (int c = 0; c < 2; ++c) {
        for (int s = 0; s < 700; ++s) {
          ASSERT_EQ(f64 ? b.f64[c][static_cast<size_t>(s)] : b.f32[c][static_cast<size_t>(s)], 0.0)
              << c << " " << s;
        }
      }
    }
  }
}
