// The component's setState with arbitrary bytes: whatever arrives, the saved state that
// follows holds one finite value per parameter inside its range, and saving what was
// restored gives the same bytes back.
#include <cmath>
#include <cstring>

#include "fuzz_host.h"
#include "fuzz_input.h"

using caldrith_fuzz::Instance;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  Instance();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  caldrith_fuzz::HostedInstrument& h = Instance();
  h.Restore();
  const Steinberg::tresult r = h.SetState(data, size);
  // Every value present is success; a short state restores what it has and says so.
  FUZZ_CHECK((r == Steinberg::kResultOk) == (size >= kNumParams * sizeof(double)));

  const std::vector<uint8_t> saved = h.GetState();
  FUZZ_CHECK(saved.size() == kNumParams * sizeof(double));
  for (int i = 0; i < kNumParams; ++i) {
    double v;
    std::memcpy(&v, saved.data() + 8 * i, sizeof(v));
    const PlugParam* p = h.plug->ParamAt(i);
    FUZZ_CHECK(std::isfinite(v));
    FUZZ_CHECK(v >= p->Min() && v <= p->Max());
    const double n = h.controller->getParamNormalized(static_cast<Steinberg::Vst::ParamID>(i));
    FUZZ_CHECK(n >= 0.0 && n <= 1.0);
  }

  FUZZ_CHECK(h.SetState(saved.data(), saved.size()) == Steinberg::kResultOk);
  FUZZ_CHECK(h.GetState() == saved);
  return 0;
}
