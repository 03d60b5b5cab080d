#pragma once
// The one plug-in an LV2 bundle offers, as the product registers it. The binding wraps the
// object the product creates rather than deriving from it, so the same instrument class
// serves every format.
#include "framework/plug_base.h"
#include "framework/plug_identity.h"

struct Lv2PluginRegistration {
  const PlugIdentity* identity;
  // A new instance with its parameters, presets and editor defined; null on failure.
  IPlugBase* (*create)();
  // Gives an instance back the way the product frees it.
  void (*destroy)(IPlugBase* plug);
};

// Called once from a static initialiser of the product; the last call wins.
void RegisterLv2Plugin(const Lv2PluginRegistration& registration);
// Null until registered.
const Lv2PluginRegistration* RegisteredLv2Plugin();
