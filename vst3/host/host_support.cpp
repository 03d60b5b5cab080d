#include "vst3/host/host_support.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif
#include <sys/stat.h>

#include <cstring>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace caldrith_host {

tresult PLUGIN_API ParamQueue::getPoint(int32 index, int32& offset, ParamValue& value) {
  if (index < 0 || index >= mCount) return kResultFalse;
  offset = mOffsets[index];
  value = mValues[index];
  return kResultOk;
}

tresult PLUGIN_API ParamQueue::addPoint(int32 offset, ParamValue value, int32& index) {
  if (mCount >= kMaxPoints) return kResultFalse;
  index = mCount;
  mOffsets[mCount] = offset;
  mValues[mCount] = value;
  ++mCount;
  return kResultOk;
}

tresult PLUGIN_API ParamQueue::queryInterface(const TUID iid, void** obj) {
  QUERY_INTERFACE(iid, obj, FUnknown::iid, IParamValueQueue)
  QUERY_INTERFACE(iid, obj, IParamValueQueue::iid, IParamValueQueue)
  *obj = nullptr;
  return kNoInterface;
}

bool ParamChanges::Add(ParamID id, ParamValue value, int32 offset) {
  int32 index = 0;
  IParamValueQueue* q = addParameterData(id, index);
  return q && q->addPoint(offset, value, index) == kResultOk;
}

IParamValueQueue* PLUGIN_API ParamChanges::getParameterData(int32 index) {
  if (index < 0 || index >= mCount) return nullptr;
  return &mQueues[static_cast<size_t>(index)];
}

IParamValueQueue* PLUGIN_API ParamChanges::addParameterData(const ParamID& id, int32& index) {
  for (int32 i = 0; i < mCount; ++i) {
    if (mQueues[static_cast<size_t>(i)].getParameterId() == id) {
      index = i;
      return &mQueues[static_cast<size_t>(i)];
    }
  }
  if (mCount >= static_cast<int32>(mQueues.size())) return nullptr;
  index = mCount;
  mQueues[static_cast<size_t>(mCount)].Reset(id);
  return &mQueues[static_cast<size_t>(mCount++)];
}

tresult PLUGIN_API ParamChanges::queryInterface(const TUID iid, void** obj) {
  QUERY_INTERFACE(iid, obj, FUnknown::iid, IParameterChanges)
  QUERY_INTERFACE(iid, obj, IParameterChanges::iid, IParameterChanges)
  *obj = nullptr;
  return kNoInterface;
}

tresult PLUGIN_API EventList::getEvent(int32 index, Event& e) {
  if (index < 0 || index >= getEventCount()) return kResultFalse;
  e = mEvents[static_cast<size_t>(index)];
  return kResultOk;
}

tresult PLUGIN_API EventList::addEvent(Event& e) {
  if (mEvents.size() == mEvents.capacity()) return kOutOfMemory;
  mEvents.push_back(e);
  return kResultOk;
}

tresult PLUGIN_API EventList::queryInterface(const TUID iid, void** obj) {
  QUERY_INTERFACE(iid, obj, FUnknown::iid, IEventList)
  QUERY_INTERFACE(iid, obj, IEventList::iid, IEventList)
  *obj = nullptr;
  return kNoInterface;
}

tresult PLUGIN_API HostContext::getName(String128 name) {
  if (!name) return kInvalidArgument;
  size_t i = 0;
  for (; i < 127 && i < mName.size(); ++i) name[i] = static_cast<unsigned char>(mName[i]);
  name[i] = 0;
  return kResultOk;
}

tresult PLUGIN_API HostContext::createInstance(TUID, TUID, void** obj) {
  if (obj) *obj = nullptr;
  return kResultFalse;
}

tresult PLUGIN_API HostContext::queryInterface(const TUID iid, void** obj) {
  QUERY_INTERFACE(iid, obj, FUnknown::iid, IHostApplication)
  QUERY_INTERFACE(iid, obj, IHostApplication::iid, IHostApplication)
  *obj = nullptr;
  return kNoInterface;
}

std::string BundleLibraryPath(const std::string& bundle) {
  std::string dir = bundle;
  while (!dir.empty() && dir.back() == '/') dir.pop_back();
  std::string stem = dir.substr(dir.find_last_of('/') + 1);
  if (stem.size() > 5 && stem.compare(stem.size() - 5, 5, ".vst3") == 0) {
    stem.resize(stem.size() - 5);
  }
#ifdef _WIN32
  return dir + "/Contents/x86_64-win/" + stem + ".vst3";
#else
  return dir + "/Contents/x86_64-linux/" + stem + ".so";
#endif
}

Module::~Module() {
  Unload();
}

bool Module::Load(const std::string& path) {
  Unload();
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) {
    mError = "no such file or directory: " + path;
    return false;
  }
  mLibraryPath = S_ISDIR(st.st_mode) ? BundleLibraryPath(path) : path;
#ifdef _WIN32
  mHandle = reinterpret_cast<void*>(LoadLibraryA(mLibraryPath.c_str()));
  if (!mHandle) {
    mError = "cannot load " + mLibraryPath;
    return false;
  }
#else
  mHandle = dlopen(mLibraryPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!mHandle) {
    const char* why = dlerror();
    mError = why ? why : "cannot load " + mLibraryPath;
    return false;
  }
#endif
  if (!Symbol("GetPluginFactory")) {
    mError = mLibraryPath + " does not export GetPluginFactory";
    Unload();
    return false;
  }
#ifdef _WIN32
  // Windows hosts call InitDll after loading and ExitDll before unloading.
  using InitFn = bool (*)();
  if (auto init = reinterpret_cast<InitFn>(Symbol("InitDll"))) {
    if (!init()) {
      mError = "InitDll failed";
      Unload();
      return false;
    }
    mEntered = true;
  }
#endif
  using EntryFn = bool (*)(void*);
  if (auto entry = reinterpret_cast<EntryFn>(Symbol("ModuleEntry"))) {
    if (!entry(mHandle)) {
      mError = "ModuleEntry failed";
      Unload();
      return false;
    }
    mEntered = true;
  }
  return true;
}

void Module::Unload() {
  if (!mHandle) return;
  using ExitFn = bool (*)();
  if (mEntered) {
#ifdef _WIN32
    if (auto exitFn = reinterpret_cast<ExitFn>(Symbol("ExitDll"))) exitFn();
#else
    if (auto exitFn = reinterpret_cast<ExitFn>(Symbol("ModuleExit"))) exitFn();
#endif
  }
  mEntered = false;
#ifdef _WIN32
  FreeLibrary(reinterpret_cast<HMODULE>(mHandle));
#else
  dlclose(mHandle);
#endif
  mHandle = nullptr;
}

void* Module::Symbol(const char* name) const {
#ifdef _WIN32
  return mHandle ? reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(mHandle), name))
                 : nullptr;
#else
  return mHandle ? dlsym(mHandle, name) : nullptr;
#endif
}

IPluginFactory* Module::Factory() {
  using GetFactoryFn = IPluginFactory* (*)();
  auto fn = reinterpret_cast<GetFactoryFn>(Symbol("GetPluginFactory"));
  return fn ? fn() : nullptr;
}

InstrumentInstance::InstrumentInstance(Module& module, const char* hostName, int32 sampleSize,
                                       int32 maxBlock, double rate)
    : mHost(hostName) {
  using namespace Steinberg;
  using namespace Steinberg::Vst;
  mFactory = module.Factory();
  PClassInfo info;
  if (!mFactory || mFactory->getClassInfo(0, &info) != kResultOk ||
      mFactory->createInstance(info.cid, IComponent::iid, reinterpret_cast<void**>(&component)) !=
          kResultOk ||
      !component) {
    component = nullptr;
    return;
  }
  component->initialize(static_cast<IHostApplication*>(&mHost));
  component->queryInterface(IAudioProcessor::iid, reinterpret_cast<void**>(&processor));
  component->queryInterface(IEditController::iid, reinterpret_cast<void**>(&controller));
  if (!processor || !controller) return;
  SpeakerArrangement stereo = SpeakerArr::kStereo;
  processor->setBusArrangements(nullptr, 0, &stereo, 1);
  component->activateBus(kAudio, kOutput, 0, true);
  ProcessSetup setup{kRealtime, sampleSize, maxBlock, rate};
  processor->setupProcessing(setup);
  component->setActive(true);
}

InstrumentInstance::~InstrumentInstance() {
  if (component) {
    component->setActive(false);
    if (controller) controller->release();
    if (processor) processor->release();
    component->terminate();
    component->release();
  }
  if (mFactory) mFactory->release();
}

}  // namespace caldrith_host
