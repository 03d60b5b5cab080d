#include "editor/win32/module_handle.h"

HINSTANCE gHInstance = nullptr;
HINSTANCE gResourceInstance = nullptr;

HINSTANCE CaldrithResourceModule() {
  if (gResourceInstance) return gResourceInstance;
  if (gHInstance) return gHInstance;
  return GetModuleHandleW(nullptr);
}
