// The CLAP plug-in's state load with arbitrary bytes, read in pieces of arbitrary size: a
// refused state changes nothing, an accepted one is the values it holds, and what is saved
// afterwards is always 23 finite values inside their ranges.
#include <cmath>
#include <cstring>
#include <vector>

#include "clap_fuzz_host.h"
#include "fuzz_input.h"

using namespace caldrith_fuzz;

namespace {

std::vector<uint8_t> Save() {
  clap_test::WriteStream w;
  FUZZ_CHECK(ClapExt<clap_plugin_state_t>(CLAP_EXT_STATE)->save(ClapInstance(), &w.clap));
  return w.bytes;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  ClapInstance();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const clap_plugin_t* plugin = ClapInstance();
  const auto* state = ClapExt<clap_plugin_state_t>(CLAP_EXT_STATE);
  const auto* params = ClapExt<clap_plugin_params_t>(CLAP_EXT_PARAMS);
  Input in(data, size);
  clap_test::ReadStream r;
  r.chunk = 1 + in.Byte() % 64;
  r.bytes.assign(data + (size ? 1 : 0), data + size);

  const std::vector<uint8_t> before = Save();
  const bool ok = state->load(plugin, &r.clap);
  const std::vector<uint8_t> after = Save();
  FUZZ_CHECK(after.size() == 23 * sizeof(double));
  if (!ok) FUZZ_CHECK(after == before);
  if (ok) FUZZ_CHECK(r.bytes.size() == after.size());
  for (uint32_t i = 0; i < 23; ++i) {
    double v;
    std::memcpy(&v, after.data() + 8 * i, sizeof(v));
    clap_param_info_t info{};
    FUZZ_CHECK(params->get_info(plugin, i, &info));
    FUZZ_CHECK(std::isfinite(v) && v >= info.min_value && v <= info.max_value);
  }
  // What was saved loads again and saves the same.
  clap_test::ReadStream again;
  again.bytes = after;
  FUZZ_CHECK(state->load(plugin, &again.clap));
  FUZZ_CHECK(Save() == after);
  return 0;
}
