#include "tools/plugin_host.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "public.sdk/source/common/memorystream.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace caldrith_render {

namespace {

std::string Narrow(const TChar* text) {
  std::string s;
  for (int i = 0; i < 128 && text[i]; ++i) s += static_cast<char>(text[i] & 0xFF);
  return s;
}

// The controller's display text of a normalised value; "" when it has none.
std::string ValueTextOf(IEditController* controller, ParamID id, double normalized) {
  String128 text = {};
  if (controller->getParamStringByValue(id, normalized, text) != kResultOk) return "";
  return Narrow(text);
}

std::vector<std::string> ProgramNames(IUnitInfo* units) {
  std::vector<std::string> names;
  if (!units || units->getProgramListCount() < 1) return names;
  ProgramListInfo list{};
  if (units->getProgramListInfo(0, list) != kResultOk) return names;
  for (int32 i = 0; i < list.programCount; ++i) {
    String128 name = {};
    names.push_back(units->getProgramName(list.id, i, name) == kResultOk ? Narrow(name) : "");
  }
  return names;
}

}  // namespace

void HostedPlugin::Open(const std::string& bundle, const std::string& hostName) {
  if (!mModule.Load(bundle)) {
    throw std::runtime_error("cannot load " + bundle + ": " + mModule.Error());
  }
  mFactory = mModule.Factory();
  if (!mFactory) throw std::runtime_error("the module gave no plug-in factory");
  CreateInstance(hostName, true);
}

void HostedPlugin::OpenBeside(const HostedPlugin& other, const std::string& hostName) {
  mFactory = other.mFactory;
  mModuleOf = &other.mModule;
  if (!mFactory) throw std::runtime_error("the module gave no plug-in factory");
  mFactory->addRef();
  // The factory keeps the first instance's host context, which outlives this one.
  CreateInstance(hostName, false);
}

void HostedPlugin::CreateInstance(const std::string& hostName, bool ownsFactory) {
  mHost = std::make_unique<caldrith_host::HostContext>(hostName.c_str());
  IPluginFactory3* f3 = nullptr;
  if (ownsFactory &&
      mFactory->queryInterface(IPluginFactory3::iid, reinterpret_cast<void**>(&f3)) == kResultOk &&
      f3) {
    f3->setHostContext(static_cast<IHostApplication*>(mHost.get()));
    f3->release();
  }
  for (int32 i = 0; i < mFactory->countClasses(); ++i) {
    PClassInfo info;
    if (mFactory->getClassInfo(i, &info) != kResultOk) continue;
    if (std::strcmp(info.category, kVstAudioEffectClass) != 0) continue;
    if (mFactory->createInstance(info.cid, IComponent::iid,
                                 reinterpret_cast<void**>(&mComponent)) == kResultOk) {
      break;
    }
  }
  if (!mComponent) throw std::runtime_error("the module offers no audio plug-in class");
  if (mComponent->initialize(static_cast<IHostApplication*>(mHost.get())) != kResultOk) {
    throw std::runtime_error("the plug-in refused to initialize");
  }
  mInitialized = true;
  if (mComponent->queryInterface(IAudioProcessor::iid, reinterpret_cast<void**>(&mProcessor)) !=
      kResultOk) {
    throw std::runtime_error("the plug-in has no audio processor");
  }
  if (mComponent->queryInterface(IEditController::iid, reinterpret_cast<void**>(&mController)) !=
      kResultOk) {
    // A separate controller class: create and initialize it as hosts do.
    TUID cid;
    if (mComponent->getControllerClassId(cid) == kResultOk &&
        mFactory->createInstance(cid, IEditController::iid,
                                 reinterpret_cast<void**>(&mController)) == kResultOk) {
      mController->initialize(static_cast<IHostApplication*>(mHost.get()));
      mSeparateController = true;
    } else {
      throw std::runtime_error("the plug-in has no edit controller");
    }
  }
  mController->queryInterface(IUnitInfo::iid, reinterpret_cast<void**>(&mUnits));
}

void HostedPlugin::Close() {
  Stop();
  if (mUnits) mUnits->release();
  mUnits = nullptr;
  if (mController) {
    if (mSeparateController) mController->terminate();
    mController->release();
  }
  mController = nullptr;
  if (mProcessor) mProcessor->release();
  mProcessor = nullptr;
  if (mComponent) {
    if (mInitialized) mComponent->terminate();
    mComponent->release();
  }
  mComponent = nullptr;
  mInitialized = false;
  if (mFactory) mFactory->release();
  mFactory = nullptr;
  mModule.Unload();
}

std::string HostedPlugin::ValueText(ParamID id, double normalized) {
  return ValueTextOf(mController, id, normalized);
}

std::vector<std::string> HostedPlugin::PresetNames() {
  return ProgramNames(mUnits);
}

caldrith_session::Catalog CatalogOf(IEditController* controller, IUnitInfo* units,
                                    std::vector<ParamID>* tags) {
  caldrith_session::Catalog catalog;
  tags->clear();
  bool presets = false;
  for (int32 i = 0; i < controller->getParameterCount(); ++i) {
    ParameterInfo info{};
    if (controller->getParameterInfo(i, info) != kResultOk) continue;
    caldrith_session::ParamEntry p;
    p.name = Narrow(info.title);
    p.unit = Narrow(info.units);
    p.min = controller->normalizedParamToPlain(info.id, 0.0);
    p.max = controller->normalizedParamToPlain(info.id, 1.0);
    p.stepCount = info.stepCount;
    p.programChange = (info.flags & ParameterInfo::kIsProgramChange) != 0;
    presets = presets || p.programChange;
    // Display texts of every step, as a user may type them (program lists have their own).
    for (int32 s = 0; !p.programChange && info.stepCount > 0 && s <= info.stepCount; ++s) {
      double n = static_cast<double>(s) / info.stepCount;
      std::string text = ValueTextOf(controller, info.id, n);
      if (!text.empty())
        p.valueTexts.emplace_back(text, controller->normalizedParamToPlain(info.id, n));
    }
    catalog.params.push_back(std::move(p));
    tags->push_back(info.id);
  }
  if (presets) catalog.presets = ProgramNames(units);
  return catalog;
}

caldrith_session::Catalog HostedPlugin::BuildCatalog() {
  caldrith_session::Catalog catalog = CatalogOf(mController, mUnits, &mTags);
  mHasPresetTag = false;
  for (size_t i = 0; i < catalog.params.size() && !mHasPresetTag; ++i) {
    if (catalog.params[i].programChange) {
      mPresetTag = mTags[i];
      mHasPresetTag = true;
    }
  }
  return catalog;
}

void HostedPlugin::ListParams() {
  std::printf("%-18s %10s %10s %10s  %-16s %s\n", "name", "min", "max", "default", "default text",
              "unit");
  for (int32 i = 0; i < mController->getParameterCount(); ++i) {
    ParameterInfo info{};
    if (mController->getParameterInfo(i, info) != kResultOk) continue;
    ParamID id = info.id;
    double lo = mController->normalizedParamToPlain(id, 0.0);
    double hi = mController->normalizedParamToPlain(id, 1.0);
    double def = mController->normalizedParamToPlain(id, info.defaultNormalizedValue);
    std::string defText = ValueText(id, info.defaultNormalizedValue);
    std::string kind = (info.flags & ParameterInfo::kIsProgramChange) ? "program change" : "";
    std::printf("%-18s %10g %10g %10g  %-16s %s%s\n", Narrow(info.title).c_str(), lo, hi, def,
                defText.c_str(), Narrow(info.units).c_str(), kind.c_str());
  }
}

void HostedPlugin::ListPresets() {
  std::vector<std::string> names = PresetNames();
  if (names.empty()) {
    std::printf("(the plug-in has no preset list)\n");
    return;
  }
  for (size_t i = 0; i < names.size(); ++i) std::printf("%3zu  %s\n", i, names[i].c_str());
}

void HostedPlugin::RestoreState(const std::vector<char>& bytes, const std::string& path) {
  std::vector<char> copy = bytes;
  MemoryStream stream(copy.data(), static_cast<TSize>(copy.size()));
  if (mComponent->setState(&stream) != kResultOk) {
    std::fprintf(stderr, "warning: the plug-in did not accept all of %s\n", path.c_str());
  }
  stream.seek(0, IBStream::kIBSeekSet, nullptr);
  mController->setComponentState(&stream);
}

std::vector<char> HostedPlugin::State() {
  MemoryStream stream;
  if (mComponent->getState(&stream) != kResultOk) {
    throw std::runtime_error("the plug-in gave no state");
  }
  return std::vector<char>(stream.getData(), stream.getData() + stream.getSize());
}

std::string CheckState(const caldrith_session::Catalog& catalog, const std::vector<char>& bytes) {
  std::vector<const caldrith_session::ParamEntry*> params;
  for (const caldrith_session::ParamEntry& p : catalog.params) {
    if (!p.programChange) params.push_back(&p);
  }
  const size_t expected = params.size() * 8;
  if (bytes.size() != expected) {
    return "not a Caldrith state: " + std::to_string(bytes.size()) + " bytes, where a state has " +
           std::to_string(expected);
  }
  for (size_t i = 0; i < params.size(); ++i) {
    uint64_t bits = 0;
    for (int k = 7; k >= 0; --k) bits = bits << 8 | static_cast<uint8_t>(bytes[i * 8 + k]);
    double v = 0;
    std::memcpy(&v, &bits, 8);
    const caldrith_session::ParamEntry& p = *params[i];
    const double lo = std::min(p.min, p.max), hi = std::max(p.min, p.max);
    if (!(v >= lo && v <= hi)) {
      char msg[256];
      std::snprintf(msg, sizeof(msg),
                    "not a Caldrith state: \"%s\" (bytes %zu to %zu) is %g, outside %g to %g",
                    p.name.c_str(), i * 8, i * 8 + 7, v, lo, hi);
      return msg;
    }
  }
  return "";
}

HostChange HostedPlugin::PresetChange(const caldrith_session::Catalog& catalog,
                                      const std::string& preset) {
  if (!mHasPresetTag || catalog.presets.empty()) throw UsageError{"the plug-in has no presets"};
  int index = -1;
  std::string err = caldrith_session::ResolvePreset(catalog, preset, &index);
  if (!err.empty()) throw UsageError{err};
  double normalized = mController->plainParamToNormalized(mPresetTag, index);
  mController->setParamNormalized(mPresetTag, normalized);
  mPresetName = catalog.presets[static_cast<size_t>(index)];
  return {mPresetTag, normalized};
}

HostChange HostedPlugin::ParamChange(const caldrith_session::Catalog& catalog,
                                     const std::string& assignment) {
  size_t eq = assignment.find('=');
  std::string name = assignment.substr(0, eq), text = assignment.substr(eq + 1);
  int index = caldrith_session::FindParam(catalog, name);
  if (index < 0) throw UsageError{caldrith_session::UnknownParamMessage(catalog, name)};
  double plain = 0.0;
  std::string err =
      caldrith_session::ResolveValue(catalog.params[static_cast<size_t>(index)], text, &plain);
  if (!err.empty()) throw UsageError{err};
  ParamID id = TagOf(index);
  double normalized = mController->plainParamToNormalized(id, plain);
  mController->setParamNormalized(id, normalized);
  return {id, normalized};
}

void HostedPlugin::Start(int rate, int block, bool f64, bool realtime) {
  SpeakerArrangement stereo = SpeakerArr::kStereo;
  if (mProcessor->setBusArrangements(nullptr, 0, &stereo, 1) != kResultOk) {
    throw std::runtime_error("the plug-in refused a stereo output");
  }
  BusInfo bus{};
  mChannels = 2;
  if (mComponent->getBusInfo(kAudio, kOutput, 0, bus) == kResultOk) mChannels = bus.channelCount;
  if (mChannels < 1 || mChannels > 8) throw std::runtime_error("unexpected output channel count");
  mComponent->activateBus(kAudio, kOutput, 0, true);
  if (mComponent->getBusCount(kEvent, kInput) > 0) mComponent->activateBus(kEvent, kInput, 0, true);
  if (mProcessor->canProcessSampleSize(f64 ? kSample64 : kSample32) != kResultTrue) {
    throw std::runtime_error(std::string("the plug-in cannot process ") + (f64 ? "64" : "32") +
                             "-bit samples");
  }
  ProcessSetup setup{realtime ? kRealtime : kOffline, f64 ? kSample64 : kSample32, block,
                     static_cast<SampleRate>(rate)};
  if (mProcessor->setupProcessing(setup) != kResultOk) {
    throw std::runtime_error("processing set-up refused");
  }
  mRealtime = realtime;
  mComponent->setActive(true);
  mActive = true;
  mProcessor->setProcessing(true);
  mProcessing = true;
}

void HostedPlugin::Stop() {
  if (mProcessing) mProcessor->setProcessing(false);
  mProcessing = false;
  if (mActive) mComponent->setActive(false);
  mActive = false;
}

double HostedPlugin::PlainValue(ParamID id) {
  return mController->normalizedParamToPlain(id, mController->getParamNormalized(id));
}

void HostedPlugin::ProcessChanges(const std::vector<HostChange>& changes) {
  caldrith_host::ParamChanges queue(static_cast<int32>(changes.size() + 1));
  for (const HostChange& c : changes) queue.Add(c.id, c.normalized);
  caldrith_host::EventList events(0);
  std::vector<std::vector<float>> buffers(static_cast<size_t>(mChannels), std::vector<float>(1));
  std::vector<float*> pointers;
  for (std::vector<float>& b : buffers) pointers.push_back(b.data());
  AudioBusBuffers out{};
  out.numChannels = mChannels;
  out.channelBuffers32 = pointers.data();
  ProcessData data{};
  data.processMode = kOffline;
  data.symbolicSampleSize = kSample32;
  data.numSamples = 1;
  data.numOutputs = 1;
  data.outputs = &out;
  data.inputEvents = &events;
  data.inputParameterChanges = &queue;
  mProcessor->process(data);
}

}  // namespace caldrith_render
