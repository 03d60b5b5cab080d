// Writes the bundle's Turtle (manifest.ttl, plugin.ttl, presets.ttl) into the directory
// named on the command line, from an instance of the registered plug-in: the parameter
// table, the presets and the identity are read from the code itself.
#include <cstdio>
#include <string>

#include "lv2/plugin_registration.h"
#include "lv2/turtle.h"

namespace {

bool WriteFile(const std::string& path, const std::string& text) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  const Lv2PluginRegistration* reg = RegisteredLv2Plugin();
  if (argc != 2 || !reg) {
    std::fprintf(stderr, "usage: %s BUNDLE_DIR (with a registered plug-in)\n", argv[0]);
    return 2;
  }
  const std::string dir = argv[1];
  const PlugIdentity& id = *reg->identity;
  IPlugBase* plug = reg->create();
  IPlugBase* presets = reg->create();  // selected preset by preset, so kept apart
  if (!plug || !presets) return 1;
  bool ok = WriteFile(dir + "/manifest.ttl", lv2::ManifestTurtle(id, *plug)) &&
            WriteFile(dir + "/plugin.ttl", lv2::PluginTurtle(id, *plug)) &&
            WriteFile(dir + "/presets.ttl", lv2::PresetsTurtle(id, *presets));
  reg->destroy(presets);
  reg->destroy(plug);
  if (!ok) std::fprintf(stderr, "%s: cannot write the Turtle files into %s\n", argv[0], argv[1]);
  return ok ? 0 : 1;
}
