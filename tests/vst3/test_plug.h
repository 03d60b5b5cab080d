#pragma once
// A small instrument on the VST 3 binding whose output is a known function of its parameters
// and of the host position, so that tests can tell exactly what the binding did.
#include <cmath>
#include <cstring>
#include <vector>

#include "base/source/fstreamer.h"
#include "public.sdk/source/common/memorystream.h"
#include "tests/vst3/process_block.h"
#include "vst3/host/host_support.h"
#include "vst3/plug_vst3.h"

enum TestParam { kGain = 0, kFreq, kMode, kSteps, kTestParams };

class TestSynth : public IPlugVST3 {
 public:
  TestSynth()
      : IPlugVST3(kTestParams, "0-2", 6, "TestSynth", "", "Quenlor", 0x10000, 0x34566473,
                  0x516E6C72, 0, true, false, true) {
    ParamAt(kGain)->DefineDouble("Gain", 50.0, 0.0, 100.0, 0.1, "%");
    ParamAt(kFreq)->DefineDouble("Freq", 440.0, 20.0, 20000.0, 0.01, "Hz");
    ParamAt(kFreq)->SetShapeExponent(2.0);
    ParamAt(kMode)->DefineEnum("Mode", 1, 3);
    ParamAt(kMode)->AddValueText(0, "Sine");
    ParamAt(kMode)->AddValueText(1, "Square");
    ParamAt(kMode)->AddValueText(2, "Saw");
    ParamAt(kSteps)->DefineInt("Steps", 4, 1, 16);
    AddDefaultPreset("---- default ----");
    AddFactoryPreset("Loud", 90.0, 1000.0, 2, 8);
    AddFactoryPreset("Steps only", 10.0, 30.0, 0, 12);
    AddFactoryPreset("Quiet", 5.0, 220.0, 0, 2);
    handled.assign(kTestParams, 0);
    midi.reserve(64);
    SetReady(true);
  }

  void HandleParamChange(int idx) override {
    PlugLock lock(Mutex());
    if (idx >= 0 && idx < kTestParams) ++handled[static_cast<size_t>(idx)];
  }

  // Preset 2 applies only "Steps": a lock as the instrument uses them.
  bool PresetAppliesParam(int paramIdx, int presetIdx) override {
    return presetIdx != 2 || paramIdx == kSteps;
  }

  void ProcessMidiMessage(const MidiMessage& msg) override {
    if (midi.size() < midi.capacity()) midi.push_back(msg);
  }

  void Reset() override { ++resets; }
  // As before an instrument has applied every parameter once.
  void CloseReadyGate() { SetReady(false); }
  void Activate(bool active) override { activeCalls += active ? 1 : -1; }

  // Deterministic ramp: depends on gain, mode, the frame's absolute position and the channel.
  void RenderBlock(double**, double** outputs, int nFrames) override {
    transportSeen = HostTransportState();
    positionSeen = HostSamplePosition();
    double gain = ParamAt(kGain)->Value() * 0.01;
    double mode = ParamAt(kMode)->Value();
    for (int c = 0; c < NOutChannels(); ++c) {
      for (int s = 0; s < nFrames; ++s) {
        double t = static_cast<double>(rendered + s);
        outputs[c][s] = gain * std::sin(t * 0.01 * (c + 1) + mode) / 3.0;
      }
    }
    rendered += nFrames;
    ++blocks;
  }

  std::vector<int> handled;
  std::vector<MidiMessage> midi;
  int resets = 0;
  int activeCalls = 0;
  int transportSeen = -1;
  int64_t positionSeen = -1;
  int64_t rendered = 0;
  int blocks = 0;
};

// The value the test synth renders for a frame, for checking outputs.
inline double ExpectedSample(double gainPercent, double mode, int64_t frame, int channel) {
  return gainPercent * 0.01 * std::sin(static_cast<double>(frame) * 0.01 * (channel + 1) + mode) /
         3.0;
}

// Owns one TestSynth through its reference count, as a host holds a plug-in.
struct HostedSynth {
  TestSynth* plug = new TestSynth();
  Steinberg::Vst::IComponent* component = nullptr;
  Steinberg::Vst::IAudioProcessor* processor = nullptr;
  Steinberg::Vst::IEditController* controller = nullptr;
  Steinberg::Vst::IUnitInfo* units = nullptr;
  caldrith_host::HostContext host{"Test Host"};

  HostedSynth() {
    using namespace Steinberg;
    plug->queryInterface(Vst::IComponent::iid, reinterpret_cast<void**>(&component));
    plug->queryInterface(Vst::IAudioProcessor::iid, reinterpret_cast<void**>(&processor));
    plug->queryInterface(Vst::IEditController::iid, reinterpret_cast<void**>(&controller));
    plug->queryInterface(Vst::IUnitInfo::iid, reinterpret_cast<void**>(&units));
  }
  ~HostedSynth() {
    units->release();
    controller->release();
    processor->release();
    component->release();
    plug->release();
  }
  Steinberg::tresult Initialize() { return component->initialize(&host); }
  Steinberg::tresult Setup(double rate = 48000.0, Steinberg::int32 maxBlock = 512,
                           Steinberg::int32 size = Steinberg::Vst::kSample32) {
    Steinberg::Vst::ProcessSetup setup{Steinberg::Vst::kRealtime, size, maxBlock, rate};
    return processor->setupProcessing(setup);
  }
};

// Memory stream whose reads past the end answer kResultFalse, as some hosts' streams do.
class StrictStream : public Steinberg::MemoryStream {
 public:
  using MemoryStream::MemoryStream;
  Steinberg::tresult PLUGIN_API read(void* buffer, Steinberg::int32 numBytes,
                                     Steinberg::int32* numBytesRead) override {
    Steinberg::int32 got = 0;
    MemoryStream::read(buffer, numBytes, &got);
    if (numBytesRead) *numBytesRead = got;
    return got < numBytes ? Steinberg::kResultFalse : Steinberg::kResultOk;
  }
};

inline std::vector<uint8_t> StreamBytes(Steinberg::MemoryStream& s) {
  const auto* d = reinterpret_cast<const uint8_t*>(s.getData());
  return std::vector<uint8_t>(d, d + s.getSize());
}

inline std::vector<uint8_t> DoublesLE(const std::vector<double>& values) {
  std::vector<uint8_t> bytes;
  for (double v : values) {
    uint8_t b[8];
    std::memcpy(b, &v, 8);  // the build targets little-endian machines
    bytes.insert(bytes.end(), b, b + 8);
  }
  return bytes;
}
