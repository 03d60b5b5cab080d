// caldrith-render's command line from any bytes (arguments split at zero bytes): the parser
// answers with a message or with options whose values all lie inside their ranges.
#include <string>
#include <vector>

#include "fuzz_host.h"
#include "tools/render_options.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> args = {"caldrith-render"};
  std::string current;
  for (size_t i = 0; i < size && args.size() < 64; ++i) {
    if (data[i] == 0) {
      args.push_back(current);
      current.clear();
    } else {
      current += static_cast<char>(data[i]);
    }
  }
  if (!current.empty()) args.push_back(current);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(&a[0]);
  RenderOptions o;
  const std::string error = ParseRenderOptions(static_cast<int>(argv.size()), argv.data(), &o);
  if (!error.empty()) return 0;
  FUZZ_CHECK(o.seconds > 0.0 && o.seconds <= 86400.0);
  FUZZ_CHECK(o.rate >= 8000 && o.rate <= 384000);
  FUZZ_CHECK(o.block >= 1 && o.block <= 65536);
  FUZZ_CHECK(o.precision == 32 || o.precision == 64);
  FUZZ_CHECK(o.sampleFormat.empty() || o.sampleFormat == "float" || o.sampleFormat == "24");
  FUZZ_CHECK(!o.outputGiven || !o.output.empty());
  FUZZ_CHECK(o.plot.empty() || o.plot.size() > 4);
  // An output device without --play does nothing: refused, whatever else is given.
  const bool lists = o.listDevices || o.listPresets || o.listParams;
  if (!o.help && !o.version && !lists && !o.device.empty() && !o.play) {
    FUZZ_CHECK(!UnusedOptionMessage(o).empty());
  }
  for (const std::string& p : o.params) {
    // NAME=VALUE: the first '=' has a name before it and a value after it.
    const size_t eq = p.find('=');
    FUZZ_CHECK(eq != std::string::npos && eq > 0 && eq + 1 < p.size());
  }
  return 0;
}
