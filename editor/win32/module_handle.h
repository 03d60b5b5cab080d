#pragma once
// Module handles of the Windows build. The DLL entry stores the instance handle at process
// attach; InitDll copies it into the resource handle, which the editor uses to find its
// images and cursors. A program that links the editor directly (the test programs) leaves
// both null and the editor falls back to the executable's own resources.
#include <windows.h>

extern HINSTANCE gHInstance;
extern HINSTANCE gResourceInstance;

// The handle that holds the editor's resources: the resource handle, else the module
// instance, else the executable.
HINSTANCE CaldrithResourceModule();
