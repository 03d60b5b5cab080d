#pragma once
// Host-side pieces for driving a VST 3 module the way a host does: loading a bundle, the
// per-block parameter and event lists, and a host-application context. Used by the
// command-line renderer and by the tests.
#include <cstdint>
#include <string>
#include <vector>

#include "pluginterfaces/base/ipluginbase.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivstevents.h"
#include "pluginterfaces/vst/ivsthostapplication.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"

namespace caldrith_host {

using Steinberg::int32;
using Steinberg::tresult;
using Steinberg::TUID;
using Steinberg::uint32;

// Owned by the caller on the stack or in a member, so never deleted through release; the
// references the plug-in takes are counted all the same, so that a test can see every one
// of them given back (References() is back at zero).
#define CALDRITH_HOST_OBJECT_REFCOUNT                                                 \
  uint32 PLUGIN_API addRef() override {                                               \
    return static_cast<uint32>(Steinberg::FUnknownPrivate::atomicAdd(mRefs, 1)) + 1;  \
  }                                                                                   \
  uint32 PLUGIN_API release() override {                                              \
    return static_cast<uint32>(Steinberg::FUnknownPrivate::atomicAdd(mRefs, -1)) + 1; \
  }                                                                                   \
  /* References taken and not yet released. */                                        \
  int32 References() const {                                                          \
    return mRefs;                                                                     \
  }                                                                                   \
                                                                                      \
 private:                                                                             \
  int32 mRefs = 0;                                                                    \
                                                                                      \
 public:

class ParamQueue : public Steinberg::Vst::IParamValueQueue {
 public:
  static constexpr int32 kMaxPoints = 64;

  void Reset(Steinberg::Vst::ParamID id) {
    mId = id;
    mCount = 0;
  }
  Steinberg::Vst::ParamID PLUGIN_API getParameterId() override { return mId; }
  int32 PLUGIN_API getPointCount() override { return mCount; }
  tresult PLUGIN_API getPoint(int32 index, int32& offset,
                              Steinberg::Vst::ParamValue& value) override;
  tresult PLUGIN_API addPoint(int32 offset, Steinberg::Vst::ParamValue value,
                              int32& index) override;
  tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override;
  CALDRITH_HOST_OBJECT_REFCOUNT

 private:
  Steinberg::Vst::ParamID mId = 0;
  int32 mCount = 0;
  int32 mOffsets[kMaxPoints] = {};
  Steinberg::Vst::ParamValue mValues[kMaxPoints] = {};
};

// Fixed capacity, so that filling it per block allocates nothing.
class ParamChanges : public Steinberg::Vst::IParameterChanges {
 public:
  explicit ParamChanges(int32 capacity = 64) : mQueues(static_cast<size_t>(capacity)) {}
  void Clear() { mCount = 0; }
  // Adds one point to the queue of the given tag; false when full.
  bool Add(Steinberg::Vst::ParamID id, Steinberg::Vst::ParamValue value, int32 offset = 0);

  int32 PLUGIN_API getParameterCount() override { return mCount; }
  Steinberg::Vst::IParamValueQueue* PLUGIN_API getParameterData(int32 index) override;
  Steinberg::Vst::IParamValueQueue* PLUGIN_API addParameterData(const Steinberg::Vst::ParamID& id,
                                                                int32& index) override;
  tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override;
  CALDRITH_HOST_OBJECT_REFCOUNT

 private:
  std::vector<ParamQueue> mQueues;
  int32 mCount = 0;
};

class EventList : public Steinberg::Vst::IEventList {
 public:
  explicit EventList(int32 capacity = 256) { mEvents.reserve(static_cast<size_t>(capacity)); }
  void Clear() { mEvents.clear(); }
  int32 PLUGIN_API getEventCount() override { return static_cast<int32>(mEvents.size()); }
  tresult PLUGIN_API getEvent(int32 index, Steinberg::Vst::Event& e) override;
  tresult PLUGIN_API addEvent(Steinberg::Vst::Event& e) override;
  tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override;
  CALDRITH_HOST_OBJECT_REFCOUNT

 private:
  std::vector<Steinberg::Vst::Event> mEvents;
};

// Answers IHostApplication with a fixed name.
class HostContext : public Steinberg::Vst::IHostApplication {
 public:
  explicit HostContext(const char* name = "caldrith-render") : mName(name) {}
  virtual ~HostContext() = default;
  tresult PLUGIN_API getName(Steinberg::Vst::String128 name) override;
  tresult PLUGIN_API createInstance(TUID cid, TUID iid, void** obj) override;
  tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override;
  CALDRITH_HOST_OBJECT_REFCOUNT

 private:
  std::string mName;
};

// A loaded module: the shared object inside a bundle, entered and left as a host does.
class Module {
 public:
  Module() = default;
  ~Module();
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  // Accepts the bundle directory or the shared object itself. On failure, Error() says why.
  bool Load(const std::string& path);
  void Unload();
  // A new reference to the factory; release it when done.
  Steinberg::IPluginFactory* Factory();
  const std::string& Error() const { return mError; }
  const std::string& LibraryPath() const { return mLibraryPath; }
  void* Symbol(const char* name) const;

 private:
  void* mHandle = nullptr;
  bool mEntered = false;
  std::string mError;
  std::string mLibraryPath;
};

// The module's first class set up as a host sets up a stereo instrument: initialised, its
// output bus active, processing prepared and the component active; taken down in reverse. The
// module must outlive it.
class InstrumentInstance {
 public:
  InstrumentInstance(Module& module, const char* hostName, int32 sampleSize, int32 maxBlock,
                     double rate);
  ~InstrumentInstance();
  InstrumentInstance(const InstrumentInstance&) = delete;
  InstrumentInstance& operator=(const InstrumentInstance&) = delete;

  Steinberg::Vst::IComponent* component = nullptr;
  Steinberg::Vst::IAudioProcessor* processor = nullptr;
  Steinberg::Vst::IEditController* controller = nullptr;

 private:
  Steinberg::IPluginFactory* mFactory = nullptr;
  HostContext mHost;
};

// The shared object inside a bundle directory for this platform.
std::string BundleLibraryPath(const std::string& bundle);

}  // namespace caldrith_host
