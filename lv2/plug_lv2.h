#pragma once
// The LV2 descriptors of the registered plug-in and the value reading they share. The
// exported entry points (module_exports.cpp, ui_exports.cpp) hand these to the host.
#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/ui/ui.h>

#include <cstddef>
#include <cstdint>

namespace lv2 {

// The numeric atom types a value may arrive as.
struct AtomTypes {
  LV2_URID atomFloat, atomDouble, atomInt, atomLong;
};

// A finite number from an atom of one of those types and its exact size; false otherwise.
bool AtomNumber(const LV2_Atom* atom, const AtomTypes& types, double* out);
// The same for a body given apart from its type and size (state properties, options).
bool ReadStateValue(const void* data, size_t size, uint32_t type, const AtomTypes& types,
                    double* out);

// Null until a plug-in is registered.
const LV2_Descriptor* PluginDescriptor();
const LV2UI_Descriptor* UiDescriptor();

}  // namespace lv2
