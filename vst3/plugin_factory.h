#pragma once
// The module's class factory: describes the plug-in classes and creates their instances.
#include <vector>

#include "pluginterfaces/base/ipluginbase.h"

namespace Steinberg {

class CPluginFactory;
// The module's one factory, null while none exists (cleared by the factory's destructor).
extern CPluginFactory* gPluginFactory;

// Creates one instance; the context is the one given at registration.
using CreateInstanceFunc = FUnknown* (*)(void* context);

class CPluginFactory : public IPluginFactory3 {
 public:
  explicit CPluginFactory(const PFactoryInfo& info);
  virtual ~CPluginFactory();
  CPluginFactory(const CPluginFactory&) = delete;
  CPluginFactory& operator=(const CPluginFactory&) = delete;

  bool registerClass(const PClassInfo2* info, CreateInstanceFunc create, void* context = nullptr);
  bool isClassRegistered(const FUID& cid) const;

  // FUnknown
  tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override;
  uint32 PLUGIN_API addRef() override;
  uint32 PLUGIN_API release() override;

  // IPluginFactory
  tresult PLUGIN_API getFactoryInfo(PFactoryInfo* info) override;
  int32 PLUGIN_API countClasses() override;
  tresult PLUGIN_API getClassInfo(int32 index, PClassInfo* info) override;
  tresult PLUGIN_API createInstance(FIDString cid, FIDString iid, void** obj) override;

  // IPluginFactory2
  tresult PLUGIN_API getClassInfo2(int32 index, PClassInfo2* info) override;

  // IPluginFactory3
  tresult PLUGIN_API getClassInfoUnicode(int32 index, PClassInfoW* info) override;
  tresult PLUGIN_API setHostContext(FUnknown* context) override;

 private:
  struct ClassEntry {
    PClassInfo2 info;
    CreateInstanceFunc create;
    void* context;
  };
  const ClassEntry* entryAt(int32 index) const;

  int32 mRefCount = 1;
  PFactoryInfo mFactoryInfo;
  std::vector<ClassEntry> mClasses;
  FUnknown* mHostContext = nullptr;
};

}  // namespace Steinberg
