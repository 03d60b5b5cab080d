// The module's product: registers Caldrith as the module's one class, and the editor
// picture export that caldrith-render uses.
#include <new>

#include "editor/snapshot.h"
#include "instrument/caldrith.h"
#include "instrument/identity.h"
#include "vst3/plugin_module.h"

using namespace Steinberg;

namespace {

FUnknown* CreateCaldrith() {
  CLS_CALDRITH* plug = new (std::nothrow) CLS_CALDRITH();
  if (!plug) return nullptr;
  // The host reaches every other interface from the processor by queryInterface.
  return static_cast<Vst::IAudioProcessor*>(plug);
}

const PluginModuleDescription kCaldrithModule = {&kCaldrithIdentity, "Instrument", CreateCaldrith};

const bool kRegistered = (RegisterPluginModule(&kCaldrithModule), true);

}  // namespace

#if !defined(_WIN32) && !defined(__APPLE__)
extern "C" {

// For caldrith-render: writes a picture of an instance's editor as it stands, optionally
// with the mouse resting on a parameter's control. Not part of any host interface.
SMTG_EXPORT_SYMBOL bool CaldrithEditorSnapshotAt(FUnknown* instance, const char* hoverParam,
                                                 const char* pngPath, double scale) {
  if (!instance || !kRegistered) return false;
  Vst::IAudioProcessor* processor = nullptr;
  if (instance->queryInterface(Vst::IAudioProcessor::iid, reinterpret_cast<void**>(&processor)) !=
          kResultOk ||
      !processor)
    return false;
  const bool ok =
      WriteEditorPicture(static_cast<CLS_CALDRITH*>(processor), hoverParam, pngPath, scale);
  processor->release();
  return ok;
}

// The same at the editor's own scale (what caldrith-bundle-info puts into the bundle).
SMTG_EXPORT_SYMBOL bool CaldrithEditorSnapshot(FUnknown* instance, const char* hoverParam,
                                               const char* pngPath) {
  return CaldrithEditorSnapshotAt(instance, hoverParam, pngPath, 0.0);
}

// For caldrith-render, which pulses its noise and music with the tones' own gate: from now
// on, the gate's value (0..1) of every rendered frame goes to tap[*used] and *used advances,
// as long as the frames fit in capacity. The caller resets *used between its process calls,
// on the thread that processes. A null tap stops it.
SMTG_EXPORT_SYMBOL bool CaldrithTapGate(FUnknown* instance, double* tap, int capacity, int* used) {
  if (!instance || !kRegistered || (tap && (!used || capacity < 0))) return false;
  Vst::IAudioProcessor* processor = nullptr;
  if (instance->queryInterface(Vst::IAudioProcessor::iid, reinterpret_cast<void**>(&processor)) !=
          kResultOk ||
      !processor)
    return false;
  static_cast<CLS_CALDRITH*>(processor)->TapGate(tap, tap ? capacity : 0, tap ? used : nullptr);
  processor->release();
  return true;
}

}  // extern "C"
#endif
