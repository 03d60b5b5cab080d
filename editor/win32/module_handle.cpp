#include "editor/win32/module_handle.h"

HINSTANCE CaldrithResourceModule() {
  HMODULE module = nullptr;
  if (GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(&CaldrithResourceModule), &module))
    return module;
  return GetModuleHandleW(nullptr);
}
