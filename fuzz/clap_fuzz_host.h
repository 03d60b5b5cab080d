#pragma once
// One CLAP plug-in instance per fuzzing process, made through the CLAP module's own entry
// functions in-process (the binding and the instrument are linked into the target) and
// driven as a CLAP host drives it.
#include "clap/clap_exports.h"
#include "fuzz_host.h"
#include "tests/clap/clap_host.h"

namespace caldrith_fuzz {

inline clap_test::Host& ClapHost() {
  static clap_test::Host host;
  return host;
}

inline const clap_plugin_t* ClapInstance() {
  static const clap_plugin_t* plugin = [] {
    FUZZ_CHECK(ClapModuleInit(""));
    auto* f = static_cast<const clap_plugin_factory_t*>(ClapModuleFactory(CLAP_PLUGIN_FACTORY_ID));
    FUZZ_CHECK(f && f->get_plugin_count(f) == 1);
    const clap_plugin_t* p = f->create_plugin(f, &ClapHost().clap, f->get_plugin_descriptor(f, 0)->id);
    FUZZ_CHECK(p && p->init(p));
    return p;
  }();
  return plugin;
}

template <typename T>
const T* ClapExt(const char* id) {
  return static_cast<const T*>(ClapInstance()->get_extension(ClapInstance(), id));
}

}  // namespace caldrith_fuzz
