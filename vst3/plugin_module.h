#pragma once
// What a module tells its host before any plug-in object exists: the factory description,
// the one class it offers, and how instances are created.
#include <cstdint>

#include "framework/plug_identity.h"
#include "vst3/plugin_factory.h"

// Module handles: the library's own handle (recorded at load) and the one the editor loads
// its resources from (set by InitDll). Null on platforms that do not need them.
extern void* gModuleInstance;
extern void* gResourceModule;

struct PluginModuleDescription {
  const PlugIdentity* identity;  // names, version and class id
  const char* subCategory;       // "Instrument", "Fx", ...
  // Constructs one plug-in object with a single reference; null on failure.
  Steinberg::FUnknown* (*create)();
};

// The 16 class-id bytes as the SDK's INLINE_UID lays them out on this platform: COM order on
// Windows, reading order elsewhere; either way FUID::toString gives the same text.
void MakeClassId(uint32_t w1, uint32_t w2, uint32_t w3, uint32_t w4, Steinberg::TUID out);

// The factory of this module: created on first call, shared (with one more reference per call)
// while it lives. The descriptions are filled once per process.
Steinberg::IPluginFactory* AcquirePluginFactory(const PluginModuleDescription& module);

// The product layer names its one class here, from a static initialiser of the module, before
// the host asks for the factory. The description must outlive the module; null unregisters.
void RegisterPluginModule(const PluginModuleDescription* module);
const PluginModuleDescription* RegisteredPluginModule();
