#include "vst3/plugin_factory.h"

#include <cstring>

#include "base/source/fobject.h"
#include "pluginterfaces/base/ustring.h"

namespace Steinberg {

CPluginFactory* gPluginFactory = nullptr;

CPluginFactory::CPluginFactory(const PFactoryInfo& info) : mFactoryInfo(info) {
  mClasses.reserve(4);
}

CPluginFactory::~CPluginFactory() {
  if (gPluginFactory == this) gPluginFactory = nullptr;
  if (mHostContext) mHostContext->release();
}

tresult PLUGIN_API CPluginFactory::queryInterface(const TUID iid, void** obj) {
  QUERY_INTERFACE(iid, obj, IPluginFactory::iid, IPluginFactory)
  QUERY_INTERFACE(iid, obj, IPluginFactory2::iid, IPluginFactory2)
  QUERY_INTERFACE(iid, obj, IPluginFactory3::iid, IPluginFactory3)
  QUERY_INTERFACE(iid, obj, FUnknown::iid, IPluginFactory)
  if (obj) *obj = nullptr;
  return kNoInterface;
}

uint32 PLUGIN_API CPluginFactory::addRef() {
  return FUnknownPrivate::atomicAdd(mRefCount, 1);
}

uint32 PLUGIN_API CPluginFactory::release() {
  int32 left = FUnknownPrivate::atomicAdd(mRefCount, -1);
  if (left == 0) {
    delete this;
    return 0;
  }
  return static_cast<uint32>(left);
}

bool CPluginFactory::registerClass(const PClassInfo2* info, CreateInstanceFunc create,
                                   void* context) {
  if (!info || !create) return false;
  mClasses.push_back({*info, create, context});
  return true;
}

bool CPluginFactory::isClassRegistered(const FUID& cid) const {
  for (const ClassEntry& e : mClasses) {
    if (FUnknownPrivate::iidEqual(e.info.cid, cid.toTUID())) return true;
  }
  return false;
}

const CPluginFactory::ClassEntry* CPluginFactory::entryAt(int32 index) const {
  if (index < 0 || index >= static_cast<int32>(mClasses.size())) return nullptr;
  return &mClasses[static_cast<size_t>(index)];
}

tresult PLUGIN_API CPluginFactory::getFactoryInfo(PFactoryInfo* info) {
  if (!info) return kInvalidArgument;
  std::memcpy(info, &mFactoryInfo, sizeof(PFactoryInfo));
  return kResultOk;
}

int32 PLUGIN_API CPluginFactory::countClasses() {
  return static_cast<int32>(mClasses.size());
}

tresult PLUGIN_API CPluginFactory::getClassInfo(int32 index, PClassInfo* info) {
  const ClassEntry* e = entryAt(index);
  if (!info) return kInvalidArgument;
  if (!e) return kInvalidArgument;
  *info = PClassInfo();
  std::memcpy(info->cid, e->info.cid, sizeof(TUID));
  info->cardinality = e->info.cardinality;
  std::memcpy(info->category, e->info.category, sizeof(info->category));
  std::memcpy(info->name, e->info.name, sizeof(info->name));
  return kResultOk;
}

tresult PLUGIN_API CPluginFactory::getClassInfo2(int32 index, PClassInfo2* info) {
  const ClassEntry* e = entryAt(index);
  if (!info || !e) return kInvalidArgument;
  std::memcpy(info, &e->info, sizeof(PClassInfo2));
  return kResultOk;
}

tresult PLUGIN_API CPluginFactory::getClassInfoUnicode(int32 index, PClassInfoW* info) {
  const ClassEntry* e = entryAt(index);
  if (!info || !e) return kInvalidArgument;
  info->fromAscii(e->info);
  return kResultOk;
}

tresult PLUGIN_API CPluginFactory::createInstance(FIDString cid, FIDString iid, void** obj) {
  if (!obj) return kInvalidArgument;
  *obj = nullptr;
  if (!cid || !iid) return kInvalidArgument;
  for (const ClassEntry& e : mClasses) {
    if (!FUnknownPrivate::iidEqual(e.info.cid, cid)) continue;
    FUnknown* instance = e.create(e.context);
    if (!instance) return kOutOfMemory;
    tresult r = instance->queryInterface(iid, obj);
    // The caller holds the reference queryInterface added; drop the creation one.
    instance->release();
    if (r != kResultOk) *obj = nullptr;
    return r == kResultOk ? kResultOk : kNoInterface;
  }
  return kNoInterface;
}

tresult PLUGIN_API CPluginFactory::setHostContext(FUnknown* context) {
  if (context) context->addRef();
  if (mHostContext) mHostContext->release();
  mHostContext = context;
  return kResultOk;
}

}  // namespace Steinberg
