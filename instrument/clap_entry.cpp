// Registers Caldrith as the CLAP module's one plug-in. The CLAP binding wraps the same
// instrument object the VST 3 module hands out and lets go of it by its reference count.
#include <new>

#include "clap/clap_registration.h"
#include "instrument/caldrith.h"
#include "instrument/identity.h"

namespace {

IPlugBase* CreateCaldrith() {
  return new (std::nothrow) CLS_CALDRITH();
}

void DestroyCaldrith(IPlugBase* plug) {
  if (plug) static_cast<CLS_CALDRITH*>(plug)->release();
}

const char* const kFeatures[] = {"instrument", "synthesizer", "stereo", nullptr};

const ClapPluginRegistration kCaldrithClap = {&kCaldrithIdentity, kFeatures, CreateCaldrith,
                                              DestroyCaldrith};

const bool kRegistered = (RegisterClapPlugin(&kCaldrithClap), true);

}  // namespace
