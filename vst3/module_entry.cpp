// The module's exported entry points.
#include <new>

#include "editor/snapshot.h"
#include "engine/caldrith.h"
#include "vst3/plugin_module.h"

using namespace Steinberg;

namespace {

FUnknown* CreateCaldrith() {
  CLS_CALDRITH* plug = new (std::nothrow) CLS_CALDRITH();
  if (!plug) return nullptr;
  // The host reaches every other interface from the processor by queryInterface.
  return static_cast<Vst::IAudioProcessor*>(plug);
}

const PluginModuleDescription kCaldrithModule = {
    "Quenlor",  "www.quenlor.com", "Caldrith", "Instrument", "1.0.0",
    0x516E6C72,  // 'Qnlr'
    0x34566473, CreateCaldrith,
};

}  // namespace

extern "C" {

SMTG_EXPORT_SYMBOL IPluginFactory* PLUGIN_API GetPluginFactory() {
  return AcquirePluginFactory(kCaldrithModule);
}

SMTG_EXPORT_SYMBOL bool InitDll() {
  gResourceModule = gModuleInstance;
  return true;
}

SMTG_EXPORT_SYMBOL bool ExitDll() {
  return true;
}

#if !defined(_WIN32) && !defined(__APPLE__)
// Linux hosts call these around the module's lifetime instead of a library entry point.
SMTG_EXPORT_SYMBOL bool ModuleEntry(void* sharedLibraryHandle) {
  gModuleInstance = sharedLibraryHandle;
  return InitDll();
}

SMTG_EXPORT_SYMBOL bool ModuleExit() {
  return ExitDll();
}

// For caldrith-render: writes a picture of an instance's editor as it stands, optionally
// with the mouse resting on a parameter's control. Not part of any host interface.
SMTG_EXPORT_SYMBOL bool CaldrithEditorSnapshot(FUnknown* instance, const char* hoverParam,
                                               const char* pngPath) {
  if (!instance) return false;
  Vst::IAudioProcessor* processor = nullptr;
  if (instance->queryInterface(Vst::IAudioProcessor::iid, reinterpret_cast<void**>(&processor)) !=
          kResultOk ||
      !processor)
    return false;
  const bool ok = WriteEditorPicture(static_cast<CLS_CALDRITH*>(processor), hoverParam, pngPath);
  processor->release();
  return ok;
}
#endif

}  // extern "C"
