#pragma once
// One object that is component, audio processor and edit controller at once. The host talks
// to it through IComponent, IAudioProcessor and IEditController; no separate controller class
// exists and no connection between two halves is needed.
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "public.sdk/source/vst/vstbus.h"
#include "public.sdk/source/vst/vsteditcontroller.h"

// Our own namespace: the SDK has a class of the same name in Steinberg::Vst, and linking one of
// its sources in one day must not clash with ours.
namespace plugvst3 {
using namespace Steinberg;
using namespace Steinberg::Vst;

// IComponent and IEditController both declare getState/setState with one signature, so a single
// override would serve both. These two routers give each interface its own entry point.
class ControllerStateRouter : public EditController {
 public:
  tresult PLUGIN_API setState(IBStream* state) final { return setControllerState(state); }
  tresult PLUGIN_API getState(IBStream* state) final { return getControllerState(state); }

 protected:
  virtual tresult setControllerState(IBStream* state) {
    (void)state;
    return kNotImplemented;
  }
  virtual tresult getControllerState(IBStream* state) {
    (void)state;
    return kNotImplemented;
  }
};

class ComponentStateRouter : public IComponent {
 public:
  tresult PLUGIN_API setState(IBStream* state) final { return setComponentStateData(state); }
  tresult PLUGIN_API getState(IBStream* state) final { return getComponentStateData(state); }

 protected:
  virtual tresult setComponentStateData(IBStream* state) = 0;
  virtual tresult getComponentStateData(IBStream* state) = 0;
};

class SingleComponentEffect : public ControllerStateRouter,
                              public ComponentStateRouter,
                              public IAudioProcessor {
 public:
  SingleComponentEffect();
  ~SingleComponentEffect() override;

  // IPluginBase (reached through both IComponent and IEditController).
  tresult PLUGIN_API initialize(FUnknown* context) SMTG_OVERRIDE;
  tresult PLUGIN_API terminate() SMTG_OVERRIDE;

  // IComponent
  tresult PLUGIN_API getControllerClassId(TUID classId) SMTG_OVERRIDE;
  tresult PLUGIN_API setIoMode(IoMode mode) SMTG_OVERRIDE;
  int32 PLUGIN_API getBusCount(MediaType type, BusDirection dir) SMTG_OVERRIDE;
  tresult PLUGIN_API getBusInfo(MediaType type, BusDirection dir, int32 index,
                                BusInfo& bus) SMTG_OVERRIDE;
  tresult PLUGIN_API getRoutingInfo(RoutingInfo& inInfo, RoutingInfo& outInfo) SMTG_OVERRIDE;
  tresult PLUGIN_API activateBus(MediaType type, BusDirection dir, int32 index,
                                 TBool state) SMTG_OVERRIDE;
  tresult PLUGIN_API setActive(TBool state) SMTG_OVERRIDE;

  // IAudioProcessor
  tresult PLUGIN_API setBusArrangements(SpeakerArrangement* inputs, int32 numIns,
                                        SpeakerArrangement* outputs, int32 numOuts) SMTG_OVERRIDE;
  tresult PLUGIN_API getBusArrangement(BusDirection dir, int32 index,
                                       SpeakerArrangement& arr) SMTG_OVERRIDE;
  tresult PLUGIN_API canProcessSampleSize(int32 symbolicSampleSize) SMTG_OVERRIDE;
  uint32 PLUGIN_API getLatencySamples() SMTG_OVERRIDE { return 0; }
  tresult PLUGIN_API setupProcessing(ProcessSetup& setup) SMTG_OVERRIDE;
  tresult PLUGIN_API setProcessing(TBool state) SMTG_OVERRIDE;
  tresult PLUGIN_API process(ProcessData& data) SMTG_OVERRIDE;
  uint32 PLUGIN_API getTailSamples() SMTG_OVERRIDE { return kNoTail; }

  // Bus construction for initialize().
  AudioBus* addAudioInput(const TChar* name, SpeakerArrangement arr, BusType type = kMain,
                          int32 flags = BusInfo::kDefaultActive);
  AudioBus* addAudioOutput(const TChar* name, SpeakerArrangement arr, BusType type = kMain,
                           int32 flags = BusInfo::kDefaultActive);
  EventBus* addEventInput(const TChar* name, int32 channels = 16, BusType type = kMain,
                          int32 flags = BusInfo::kDefaultActive);
  EventBus* addEventOutput(const TChar* name, int32 channels = 16, BusType type = kMain,
                           int32 flags = BusInfo::kDefaultActive);
  BusList* getBusList(MediaType type, BusDirection dir);
  Bus* getBus(MediaType type, BusDirection dir, int32 index);
  const ProcessSetup& getProcessSetup() const { return processSetup; }

  OBJ_METHODS(SingleComponentEffect, EditController)
  DEFINE_INTERFACES
  DEF_INTERFACE(IComponent)
  DEF_INTERFACE(IAudioProcessor)
  END_DEFINE_INTERFACES(EditController)
  REFCOUNT_METHODS(EditController)

 protected:
  tresult setComponentStateData(IBStream* state) SMTG_OVERRIDE;
  tresult getComponentStateData(IBStream* state) SMTG_OVERRIDE;
  void removeAllBusses();

  ProcessSetup processSetup;
  BusList audioInputs;
  BusList audioOutputs;
  BusList eventInputs;
  BusList eventOutputs;
};

}  // namespace plugvst3
