// The UI binary's one exported entry point (compiled into the product's UI module).
#include <lv2/ui/ui.h>

#include "lv2/plug_lv2.h"

extern "C" LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index) {
  return index == 0 ? lv2::UiDescriptor() : nullptr;
}
