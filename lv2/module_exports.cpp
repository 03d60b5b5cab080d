// The plug-in binary's one exported entry point (compiled into the product's module).
#include <lv2/core/lv2.h>

#include "lv2/plug_lv2.h"

extern "C" LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
  return index == 0 ? lv2::PluginDescriptor() : nullptr;
}
