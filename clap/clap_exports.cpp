// The module's one export, compiled into the product's module target.
#include <clap/clap.h>

#include "clap/clap_exports.h"

namespace {
bool CLAP_ABI EntryInit(const char* path) {
  return ClapModuleInit(path);
}
void CLAP_ABI EntryDeinit() {
  ClapModuleDeinit();
}
const void* CLAP_ABI EntryFactory(const char* id) {
  return ClapModuleFactory(id);
}
}  // namespace

extern "C" CLAP_EXPORT const clap_plugin_entry_t clap_entry = {CLAP_VERSION_INIT, EntryInit,
                                                               EntryDeinit, EntryFactory};
