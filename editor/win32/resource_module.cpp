#include "editor/win32/resource_module.h"

HINSTANCE EditorResourceModule() {
  HMODULE module = nullptr;
  if (GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(&EditorResourceModule), &module))
    return module;
  return GetModuleHandleW(nullptr);
}
