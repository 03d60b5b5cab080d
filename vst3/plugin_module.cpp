#include "vst3/plugin_module.h"

#include <cstring>
#include <mutex>
#include <new>

#include "pluginterfaces/vst/ivstaudioprocessor.h"

using namespace Steinberg;

void* gModuleInstance = nullptr;
void* gResourceModule = nullptr;

namespace {

const PluginModuleDescription* gModule = nullptr;
const PluginModuleDescription* gRegistered = nullptr;

// Only one plug-in constructor runs at a time in the process.
std::mutex& CreationLock() {
  static std::mutex lock;
  return lock;
}

// Fixed-width text field: bounded copy, rest of the field zeroed.
void CopyField(char* dst, const char* src, size_t size) {
  std::memset(dst, 0, size);
  if (src) std::strncpy(dst, src, size - 1);
}

FUnknown* CreateInstance(void*) {
  if (!gModule || !gModule->create) return nullptr;
  std::lock_guard<std::mutex> lock(CreationLock());
  try {
    return gModule->create();
  } catch (...) {
    return nullptr;
  }
}

}  // namespace

void MakeClassId(uint32_t w1, uint32_t w2, uint32_t w3, uint32_t w4, TUID out) {
  // The SDK's own layout: COM byte order on Windows, the words in reading order elsewhere, so
  // that the class id's text is the same on every platform.
  const TUID id = INLINE_UID(w1, w2, w3, w4);
  std::memcpy(out, id, sizeof(TUID));
}

void RegisterPluginModule(const PluginModuleDescription* module) {
  gRegistered = module;
}

const PluginModuleDescription* RegisteredPluginModule() {
  return gRegistered;
}

IPluginFactory* AcquirePluginFactory(const PluginModuleDescription& module) {
  if (!module.identity) return nullptr;
  if (gPluginFactory) {
    gPluginFactory->addRef();
    return gPluginFactory;
  }
  gModule = &module;

  static PFactoryInfo factoryInfo;
  static bool factoryInfoFilled = false;
  if (!factoryInfoFilled) {
    CopyField(factoryInfo.vendor, module.identity->vendor, sizeof(factoryInfo.vendor));
    CopyField(factoryInfo.url, module.identity->url, sizeof(factoryInfo.url));
    CopyField(factoryInfo.email, "", sizeof(factoryInfo.email));
    factoryInfo.flags = PFactoryInfo::kUnicode;
    factoryInfoFilled = true;
  }
  gPluginFactory = new (std::nothrow) CPluginFactory(factoryInfo);
  if (!gPluginFactory) return nullptr;

  static PClassInfo2 classInfo;
  static bool classInfoFilled = false;
  if (!classInfoFilled) {
    std::memset(static_cast<void*>(&classInfo), 0, sizeof(classInfo));
    const uint32_t* w = module.identity->vst3ClassWords;
    MakeClassId(w[0], w[1], w[2], w[3], classInfo.cid);
    classInfo.cardinality = PClassInfo::kManyInstances;
    CopyField(classInfo.category, kVstAudioEffectClass, sizeof(classInfo.category));
    CopyField(classInfo.name, module.identity->name, sizeof(classInfo.name));
    classInfo.classFlags = Vst::kSimpleModeSupported;
    CopyField(classInfo.subCategories, module.subCategory, sizeof(classInfo.subCategories));
    CopyField(classInfo.version, module.identity->version, sizeof(classInfo.version));
    CopyField(classInfo.sdkVersion, "VST 3.6.5", sizeof(classInfo.sdkVersion));
    classInfoFilled = true;
  }
  gPluginFactory->registerClass(&classInfo, CreateInstance, nullptr);
  return gPluginFactory;
}
