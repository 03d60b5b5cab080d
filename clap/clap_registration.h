#pragma once
// What the product layer tells the CLAP binding before a host asks: who the one plug-in is and
// how an instance of it is made and let go of. The binding wraps the instance it gets.
#include "framework/plug_base.h"
#include "framework/plug_identity.h"

struct ClapPluginRegistration {
  const PlugIdentity* identity;
  const char* const* features;  // CLAP feature strings, null-terminated
  // One new plug-in object (null on failure), and its end; destroy is the product's own,
  // because the object may be reference counted by another format's rules.
  IPlugBase* (*create)();
  void (*destroy)(IPlugBase* plug);
};

// Called from a static initialiser of the module; the record must outlive it. Null unregisters.
void RegisterClapPlugin(const ClapPluginRegistration* registration);
const ClapPluginRegistration* RegisteredClapPlugin();
