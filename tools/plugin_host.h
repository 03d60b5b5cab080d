#pragma once
// The plug-in as caldrith-render sees it: a module loaded from its bundle, one instance created
// from its factory, and nothing but the interfaces a VST 3 host uses.
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivstunits.h"
#include "tools/session_file.h"
#include "vst3/host/host_support.h"

namespace caldrith_render {

// A fault in what the user asked for (exit code 2), as opposed to one of the machine.
struct UsageError {
  std::string message;
};

// Host-side change: a parameter tag and its normalized value.
struct HostChange {
  Steinberg::Vst::ParamID id;
  double normalized;
};

// Parameters (the preset selector included, flagged) and presets as a controller describes
// them, for name lookups; `tags` receives the parameter tag of each catalog entry.
caldrith_session::Catalog CatalogOf(Steinberg::Vst::IEditController* controller,
                                    Steinberg::Vst::IUnitInfo* units,
                                    std::vector<Steinberg::Vst::ParamID>* tags);

// "" when `bytes` is a state of the plug-in the catalog describes: one little-endian double per
// parameter (the preset selector aside) in catalog order, each a number inside its range;
// else why not.
std::string CheckState(const caldrith_session::Catalog& catalog, const std::vector<char>& bytes);

class HostedPlugin {
 public:
  HostedPlugin() = default;
  ~HostedPlugin() { Close(); }
  HostedPlugin(const HostedPlugin&) = delete;
  HostedPlugin& operator=(const HostedPlugin&) = delete;

  // Loads the bundle and creates, initializes and connects the first audio class. Throws
  // std::runtime_error when that fails.
  void Open(const std::string& bundle, const std::string& hostName);
  // A second instance from the module `other` loaded, to try changes out on without touching
  // the first; close it before `other`.
  void OpenBeside(const HostedPlugin& other, const std::string& hostName);
  void Close();

  // Parameters (the preset selector included, flagged) and presets, for name lookups.
  caldrith_session::Catalog BuildCatalog();
  // The tag behind a catalog entry; the catalog must come from BuildCatalog.
  Steinberg::Vst::ParamID TagOf(int catalogIndex) const {
    return mTags[static_cast<size_t>(catalogIndex)];
  }
  Steinberg::Vst::ParamID PresetTag() const { return mPresetTag; }
  bool HasPresets() const { return mHasPresetTag; }

  void ListParams();
  void ListPresets();
  // A state as the component stores it; restored only after CheckState accepted it.
  void RestoreState(const std::vector<char>& bytes, const std::string& path);
  std::vector<char> State();

  // Command-line changes, as normalized values for the first block (throw UsageError).
  HostChange PresetChange(const caldrith_session::Catalog& catalog, const std::string& preset);
  HostChange ParamChange(const caldrith_session::Catalog& catalog, const std::string& assignment);

  // Stereo output, processing set up, component active and processing. Throws on refusal.
  void Start(int rate, int block, bool f64, bool realtime);
  void Stop();

  double PlainValue(Steinberg::Vst::ParamID id);
  // One frame processed with these changes (after Start), for trying them out.
  void ProcessChanges(const std::vector<HostChange>& changes);

  Steinberg::Vst::IComponent* Component() const { return mComponent; }
  Steinberg::Vst::IAudioProcessor* Processor() const { return mProcessor; }
  Steinberg::Vst::IEditController* Controller() const { return mController; }
  caldrith_host::Module& Module() { return mModule; }
  // An export of the module this instance came from (for one opened beside another, that
  // one's module), or null.
  void* Symbol(const char* name) const { return mModuleOf->Symbol(name); }
  int Channels() const { return mChannels; }
  bool Realtime() const { return mRealtime; }
  const std::string& PresetName() const { return mPresetName; }
  void SetPresetName(std::string name) { mPresetName = std::move(name); }

 private:
  void CreateInstance(const std::string& hostName, bool ownsFactory);
  std::string ValueText(Steinberg::Vst::ParamID id, double normalized);
  std::vector<std::string> PresetNames();

  caldrith_host::Module mModule;
  const caldrith_host::Module* mModuleOf = &mModule;
  Steinberg::IPluginFactory* mFactory = nullptr;
  std::unique_ptr<caldrith_host::HostContext> mHost;
  Steinberg::Vst::IComponent* mComponent = nullptr;
  Steinberg::Vst::IAudioProcessor* mProcessor = nullptr;
  Steinberg::Vst::IEditController* mController = nullptr;
  Steinberg::Vst::IUnitInfo* mUnits = nullptr;
  bool mSeparateController = false;
  bool mInitialized = false;
  bool mActive = false;
  bool mProcessing = false;
  int mChannels = 2;
  bool mRealtime = false;
  std::vector<Steinberg::Vst::ParamID> mTags;
  Steinberg::Vst::ParamID mPresetTag = 0;
  bool mHasPresetTag = false;
  std::string mPresetName;
};

}  // namespace caldrith_render
