#pragma once
// The bundle's Turtle, written from a live instance: its parameter table, its presets and its
// identity. Nothing in the bundle's data is written by hand, so it cannot drift from the code.
#include <string>

#include "framework/plug_base.h"
#include "framework/plug_identity.h"

namespace lv2 {

// Port layout shared by the binary and its data: the parameters first (port index =
// parameter index), then the two audio outputs, then the atom input.
inline int AudioOutPort(const IPlugBase& plug, int channel) {
  return plug.ParamCount() + channel;
}
inline int EventInPort(const IPlugBase& plug) {
  return plug.ParamCount() + 2;
}

// A port symbol from a parameter name: lower case, runs of other characters as one '_'.
std::string PortSymbol(const char* name);
// The URI of a parameter's state property and of a preset (0-based factory slot).
std::string StateKeyUri(const PlugIdentity& id, const char* paramName);
std::string PresetUri(const PlugIdentity& id, int slot);
std::string UiUri(const PlugIdentity& id);
// The binaries' file names inside the bundle.
std::string DspBinaryName(const PlugIdentity& id);
std::string UiBinaryName(const PlugIdentity& id);

std::string ManifestTurtle(const PlugIdentity& id, IPlugBase& plug);
std::string PluginTurtle(const PlugIdentity& id, IPlugBase& plug);
// Selects every factory preset in turn on `plug` (so give it a fresh instance).
std::string PresetsTurtle(const PlugIdentity& id, IPlugBase& plug);

}  // namespace lv2
