#pragma once
// The module that carries the editor's images and cursors: the plug-in DLL in the product,
// the executable in programs that link the editor directly (the test programs).
#include <windows.h>

// Found from the address of this code, so it is right whether or not the host has called
// InitDll yet.
HINSTANCE EditorResourceModule();
