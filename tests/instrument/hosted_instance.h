// One instance of the instrument as a host holds it, for the tests that open its editor in a
// real window (Win32 and X11): initialised, processing set up, one block rendered so that the
// engine runs and the status line has texts to show; edit notifications recorded in order.
#pragma once

#include <vector>

#include "instrument/caldrith.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "vst3/host/host_support.h"

namespace caldrith_test {

struct EditNote {
  char kind;  // 'b'egin, 'p'erform, 'e'nd
  Steinberg::Vst::ParamID tag;
  Steinberg::Vst::ParamValue value;
};

class EditRecorder : public Steinberg::Vst::IComponentHandler {
 public:
  using ParamID = Steinberg::Vst::ParamID;
  using tresult = Steinberg::tresult;
  tresult PLUGIN_API beginEdit(ParamID id) override {
    log.push_back({'b', id, 0});
    return Steinberg::kResultOk;
  }
  tresult PLUGIN_API performEdit(ParamID id, Steinberg::Vst::ParamValue v) override {
    log.push_back({'p', id, v});
    return Steinberg::kResultOk;
  }
  tresult PLUGIN_API endEdit(ParamID id) override {
    log.push_back({'e', id, 0});
    return Steinberg::kResultOk;
  }
  tresult PLUGIN_API restartComponent(Steinberg::int32) override { return Steinberg::kResultOk; }
  tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override {
    using namespace Steinberg;
    using Steinberg::Vst::IComponentHandler;
    QUERY_INTERFACE(iid, obj, FUnknown::iid, IComponentHandler)
    QUERY_INTERFACE(iid, obj, IComponentHandler::iid, IComponentHandler)
    *obj = nullptr;
    return kNoInterface;
  }
  Steinberg::uint32 PLUGIN_API addRef() override { return 1; }
  Steinberg::uint32 PLUGIN_API release() override { return 1; }

  int Count(char kind, ParamID tag) const {
    int n = 0;
    for (const auto& e : log) n += (e.kind == kind && e.tag == tag);
    return n;
  }
  std::vector<EditNote> log;
};

struct HostedInstance {
  CLS_CALDRITH* plug = new CLS_CALDRITH();
  Steinberg::Vst::IComponent* component = nullptr;
  Steinberg::Vst::IAudioProcessor* processor = nullptr;
  Steinberg::Vst::IEditController* controller = nullptr;
  caldrith_host::HostContext host;
  EditRecorder handler;

  explicit HostedInstance(const char* hostName) : host(hostName) {
    using namespace Steinberg::Vst;
    plug->queryInterface(IComponent::iid, reinterpret_cast<void**>(&component));
    plug->queryInterface(IAudioProcessor::iid, reinterpret_cast<void**>(&processor));
    plug->queryInterface(IEditController::iid, reinterpret_cast<void**>(&controller));
    component->initialize(&host);
    ProcessSetup setup{kRealtime, kSample32, 512, 44100.0};
    processor->setupProcessing(setup);
    controller->setComponentHandler(&handler);
    component->setActive(true);
    processor->setProcessing(true);
    Process();
  }
  ~HostedInstance() {
    processor->setProcessing(false);
    component->setActive(false);
    component->terminate();
    controller->release();
    processor->release();
    component->release();
    plug->release();
  }
  HostedInstance(const HostedInstance&) = delete;
  HostedInstance& operator=(const HostedInstance&) = delete;

  double Value(int idx) const { return plug->ParamAt(idx)->Value(); }

  // One block of 64 frames, with the given parameter changes.
  Steinberg::tresult Process(caldrith_host::ParamChanges* changes = nullptr) {
    using namespace Steinberg::Vst;
    std::vector<float> left(64), right(64);
    float* channels[2] = {left.data(), right.data()};
    AudioBusBuffers out{};
    out.numChannels = 2;
    out.channelBuffers32 = channels;
    ProcessData data{};
    data.processMode = kRealtime;
    data.symbolicSampleSize = kSample32;
    data.numSamples = 64;
    data.numOutputs = 1;
    data.outputs = &out;
    data.inputParameterChanges = changes;
    return processor->process(data);
  }
};

}  // namespace caldrith_test
