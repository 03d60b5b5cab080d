// The entry points every VST 3 module exports. Compiled into the module itself (not a static
// library) so that the exports survive the linker; the product registers its class with
// RegisterPluginModule.
#include "vst3/plugin_module.h"

using namespace Steinberg;

extern "C" {

SMTG_EXPORT_SYMBOL IPluginFactory* PLUGIN_API GetPluginFactory() {
  const PluginModuleDescription* module = RegisteredPluginModule();
  return module ? AcquirePluginFactory(*module) : nullptr;
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
#endif

}  // extern "C"
