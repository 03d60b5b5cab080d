#pragma once
// One hosted instrument per fuzzing process, driven through its VST 3 interfaces the way a
// host drives it. Construction starts a thread and builds the editor, far too slow to repeat
// for every input, so targets share the instance and put it back into a known state first.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "fuzz_input.h"
#include "instrument/caldrith.h"
#include "public.sdk/source/common/memorystream.h"
#include "vst3/host/host_support.h"

namespace caldrith_fuzz {

struct HostedInstrument {
  CLS_CALDRITH* plug = new CLS_CALDRITH();
  Steinberg::Vst::IComponent* component = nullptr;
  Steinberg::Vst::IAudioProcessor* processor = nullptr;
  Steinberg::Vst::IEditController* controller = nullptr;
  Steinberg::Vst::IUnitInfo* units = nullptr;
  caldrith_host::HostContext host{"Fuzz Host"};
  // The state right after initialisation: every parameter at its default.
  std::vector<uint8_t> defaultState;

  HostedInstrument() {
    using namespace Steinberg;
    plug->queryInterface(Vst::IComponent::iid, reinterpret_cast<void**>(&component));
    plug->queryInterface(Vst::IAudioProcessor::iid, reinterpret_cast<void**>(&processor));
    plug->queryInterface(Vst::IEditController::iid, reinterpret_cast<void**>(&controller));
    plug->queryInterface(Vst::IUnitInfo::iid, reinterpret_cast<void**>(&units));
    component->initialize(static_cast<Vst::IHostApplication*>(&host));
    defaultState = GetState();
  }
  ~HostedInstrument() {
    component->terminate();
    units->release();
    controller->release();
    processor->release();
    component->release();
    plug->release();
  }

  std::vector<uint8_t> GetState() {
    Steinberg::MemoryStream s;
    if (component->getState(&s) != Steinberg::kResultOk) return {};
    const auto* d = reinterpret_cast<const uint8_t*>(s.getData());
    return std::vector<uint8_t>(d, d + s.getSize());
  }
  Steinberg::tresult SetState(const uint8_t* data, size_t size) {
    Steinberg::MemoryStream s(const_cast<uint8_t*>(data), static_cast<Steinberg::TSize>(size));
    return component->setState(&s);
  }
  // Back to the defaults and the first preset.
  void Restore() {
    SetState(defaultState.data(), defaultState.size());
    plug->SelectPreset(0);
  }
};

// Leaked on purpose: the instance must outlive every input, and libFuzzer leaves through
// exit(), after which the watchdog thread must not meet a half-destroyed object.
inline HostedInstrument& Instance() {
  static HostedInstrument* h = new HostedInstrument();
  return *h;
}

}  // namespace caldrith_fuzz
