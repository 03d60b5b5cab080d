#include "vst3/single_component_effect.h"

namespace plugvst3 {

SingleComponentEffect::SingleComponentEffect()
    : audioInputs(kAudio, kInput),
      audioOutputs(kAudio, kOutput),
      eventInputs(kEvent, kInput),
      eventOutputs(kEvent, kOutput) {
  processSetup.processMode = kRealtime;
  processSetup.symbolicSampleSize = kSample32;
  processSetup.maxSamplesPerBlock = 1024;
  processSetup.sampleRate = 44100.0;
}

SingleComponentEffect::~SingleComponentEffect() {
  removeAllBusses();
}

tresult PLUGIN_API SingleComponentEffect::initialize(FUnknown* context) {
  return EditController::initialize(context);
}

tresult PLUGIN_API SingleComponentEffect::terminate() {
  removeAllBusses();
  return EditController::terminate();
}

void SingleComponentEffect::removeAllBusses() {
  audioInputs.clear();
  audioOutputs.clear();
  eventInputs.clear();
  eventOutputs.clear();
}

tresult PLUGIN_API SingleComponentEffect::getControllerClassId(TUID) {
  return kNotImplemented;
}
tresult PLUGIN_API SingleComponentEffect::setIoMode(IoMode) {
  return kNotImplemented;
}
tresult PLUGIN_API SingleComponentEffect::getRoutingInfo(RoutingInfo&, RoutingInfo&) {
  return kNotImplemented;
}
tresult PLUGIN_API SingleComponentEffect::setActive(TBool) {
  return kResultOk;
}
tresult PLUGIN_API SingleComponentEffect::setProcessing(TBool) {
  return kNotImplemented;
}
tresult PLUGIN_API SingleComponentEffect::process(ProcessData&) {
  return kNotImplemented;
}
tresult SingleComponentEffect::setComponentStateData(IBStream*) {
  return kNotImplemented;
}
tresult SingleComponentEffect::getComponentStateData(IBStream*) {
  return kNotImplemented;
}

BusList* SingleComponentEffect::getBusList(MediaType type, BusDirection dir) {
  if (type == kAudio)
    return dir == kInput ? &audioInputs : dir == kOutput ? &audioOutputs : nullptr;
  if (type == kEvent)
    return dir == kInput ? &eventInputs : dir == kOutput ? &eventOutputs : nullptr;
  return nullptr;
}

Bus* SingleComponentEffect::getBus(MediaType type, BusDirection dir, int32 index) {
  BusList* list = getBusList(type, dir);
  if (!list || index < 0 || index >= static_cast<int32>(list->size())) return nullptr;
  return list->at(static_cast<size_t>(index));
}

int32 PLUGIN_API SingleComponentEffect::getBusCount(MediaType type, BusDirection dir) {
  BusList* list = getBusList(type, dir);
  return list ? static_cast<int32>(list->size()) : 0;
}

tresult PLUGIN_API SingleComponentEffect::getBusInfo(MediaType type, BusDirection dir, int32 index,
                                                     BusInfo& info) {
  Bus* bus = getBus(type, dir, index);
  if (!bus) return kInvalidArgument;
  info.mediaType = type;
  info.direction = dir;
  return bus->getInfo(info) ? kResultTrue : kResultFalse;
}

tresult PLUGIN_API SingleComponentEffect::activateBus(MediaType type, BusDirection dir, int32 index,
                                                      TBool state) {
  Bus* bus = getBus(type, dir, index);
  if (!bus) return kInvalidArgument;
  bus->setActive(state);
  return kResultTrue;
}

tresult PLUGIN_API SingleComponentEffect::setBusArrangements(SpeakerArrangement*, int32,
                                                             SpeakerArrangement*, int32) {
  return kResultFalse;
}

tresult PLUGIN_API SingleComponentEffect::getBusArrangement(BusDirection dir, int32 index,
                                                            SpeakerArrangement& arr) {
  auto* bus = FCast<AudioBus>(getBus(kAudio, dir, index));
  if (!bus) return kResultFalse;
  arr = bus->getArrangement();
  return kResultTrue;
}

tresult PLUGIN_API SingleComponentEffect::canProcessSampleSize(int32 symbolicSampleSize) {
  return symbolicSampleSize == kSample32 ? kResultTrue : kResultFalse;
}

tresult PLUGIN_API SingleComponentEffect::setupProcessing(ProcessSetup& setup) {
  if (canProcessSampleSize(setup.symbolicSampleSize) != kResultTrue) return kResultFalse;
  processSetup = setup;
  return kResultOk;
}

AudioBus* SingleComponentEffect::addAudioInput(const TChar* name, SpeakerArrangement arr,
                                               BusType type, int32 flags) {
  auto* bus = new AudioBus(name, type, flags, arr);
  audioInputs.emplace_back(owned(bus));
  return bus;
}

AudioBus* SingleComponentEffect::addAudioOutput(const TChar* name, SpeakerArrangement arr,
                                                BusType type, int32 flags) {
  auto* bus = new AudioBus(name, type, flags, arr);
  audioOutputs.emplace_back(owned(bus));
  return bus;
}

EventBus* SingleComponentEffect::addEventInput(const TChar* name, int32 channels, BusType type,
                                               int32 flags) {
  auto* bus = new EventBus(name, type, flags, channels);
  eventInputs.emplace_back(owned(bus));
  return bus;
}

EventBus* SingleComponentEffect::addEventOutput(const TChar* name, int32 channels, BusType type,
                                                int32 flags) {
  auto* bus = new EventBus(name, type, flags, channels);
  eventOutputs.emplace_back(owned(bus));
  return bus;
}

}  // namespace plugvst3
