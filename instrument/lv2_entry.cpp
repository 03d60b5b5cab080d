// Registers Caldrith as the LV2 bundle's plug-in (and its UI): the binding wraps an instance
// made here and gives it back through the SDK's reference count, as a VST 3 host would.
#include <new>

#include "instrument/caldrith.h"
#include "instrument/identity.h"
#include "lv2/plugin_registration.h"

namespace {

IPlugBase* CreateCaldrith() {
  return new (std::nothrow) CLS_CALDRITH();
}

void DestroyCaldrith(IPlugBase* plug) {
  if (plug)
    static_cast<Steinberg::Vst::IAudioProcessor*>(static_cast<CLS_CALDRITH*>(plug))->release();
}

const bool kRegistered =
    (RegisterLv2Plugin({&kCaldrithIdentity, CreateCaldrith, DestroyCaldrith}), true);

}  // namespace

// Keeps the registration in binaries that link this file from a static library.
bool CaldrithLv2Registered() {
  return kRegistered;
}
