// Windows library entry: records the module handle the editor loads its resources through.
#ifdef _WIN32
#include <windows.h>

#include "vst3/plugin_module.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) gModuleInstance = instance;
  return TRUE;
}
#endif
