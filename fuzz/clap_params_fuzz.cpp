// The CLAP plug-in's parameter texts with arbitrary ids, values, texts and buffer sizes: a text
// always ends inside the host's buffer, a value read from text lies inside the range, and the
// text of a value reads back as a value with the same text.
#include <cmath>
#include <cstring>
#include <string>

#include "clap_fuzz_host.h"
#include "fuzz_input.h"

using namespace caldrith_fuzz;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  ClapInstance();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const clap_plugin_t* plugin = ClapInstance();
  const auto* params = ClapExt<clap_plugin_params_t>(CLAP_EXT_PARAMS);
  Input in(data, size);
  const clap_id id = in.Byte() < 240 ? in.Below(23) : in.U32();
  const double value = in.Double();
  const uint32_t bufferSize = in.Below(80);
  std::string text(in.Remaining(), '\0');
  in.Bytes(&text[0], text.size());

  clap_param_info_t info{};
  const bool known = params->get_info(plugin, id, &info);
  FUZZ_CHECK(known == (id < 23));

  char buf[96];
  std::memset(buf, 'x', sizeof(buf));
  const bool wrote = params->value_to_text(plugin, id, value, buf, bufferSize);
  FUZZ_CHECK(wrote == (known && bufferSize > 0 && !std::isnan(value)));
  if (wrote) FUZZ_CHECK(std::memchr(buf, 0, bufferSize) != nullptr);
  FUZZ_CHECK(buf[bufferSize] == 'x');  // nothing written past the buffer

  double v = NAN;
  if (params->text_to_value(plugin, id, text.c_str(), &v)) {
    FUZZ_CHECK(known && std::isfinite(v) && v >= info.min_value && v <= info.max_value);
    char shown[64];
    FUZZ_CHECK(params->value_to_text(plugin, id, v, shown, sizeof(shown)));
    double back = NAN;
    FUZZ_CHECK(params->text_to_value(plugin, id, shown, &back));
    char again[64];
    FUZZ_CHECK(params->value_to_text(plugin, id, back, again, sizeof(again)));
    FUZZ_CHECK(std::strcmp(shown, again) == 0);
  }
  return 0;
}
