// The module's factories: the plug-in factory with its one descriptor, and the preset-discovery
// factory that lists the plug-in's factory presets (kept inside the plug-in) for hosts'
// browsers. Both read the registration the product layer made.
#include <clap/clap.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <string>

#include "clap/clap_exports.h"
#include "clap/plug_clap.h"

namespace {

const ClapPluginRegistration* gRegistration = nullptr;

// Texts made from the identity once per process: the descriptor points into them.
struct Descriptors {
  std::string url;
  std::string providerId;
  std::string providerName;
  clap_plugin_descriptor_t plugin{};
  clap_preset_discovery_provider_descriptor_t provider{};
};

const Descriptors* TheDescriptors() {
  static std::once_flag once;
  static Descriptors d;
  static bool ok = false;
  std::call_once(once, [] {
    const ClapPluginRegistration* r = gRegistration;
    if (!r || !r->identity || !r->identity->clapId) return;
    const PlugIdentity& id = *r->identity;
    d.url = std::string("https://") + (id.url ? id.url : "");
    d.providerId = std::string(id.clapId) + ".factory-presets";
    d.providerName = std::string(id.name ? id.name : "") + " factory presets";
    d.plugin.clap_version = CLAP_VERSION_INIT;
    d.plugin.id = id.clapId;
    d.plugin.name = id.name ? id.name : "";
    d.plugin.vendor = id.vendor ? id.vendor : "";
    d.plugin.url = d.url.c_str();
    d.plugin.manual_url = d.url.c_str();
    d.plugin.support_url = d.url.c_str();
    d.plugin.version = id.version ? id.version : "";
    d.plugin.description = id.description ? id.description : "";
    static const char* const kNoFeatures[] = {nullptr};
    d.plugin.features =
        r->features ? const_cast<const char**>(r->features) : const_cast<const char**>(kNoFeatures);
    d.provider.clap_version = CLAP_VERSION_INIT;
    d.provider.id = d.providerId.c_str();
    d.provider.name = d.providerName.c_str();
    d.provider.vendor = d.plugin.vendor;
    ok = true;
  });
  return ok ? &d : nullptr;
}

// ---- plug-in factory ----

uint32_t CLAP_ABI FactoryCount(const clap_plugin_factory_t*) {
  return TheDescriptors() ? 1 : 0;
}

const clap_plugin_descriptor_t* CLAP_ABI FactoryDescriptor(const clap_plugin_factory_t*,
                                                           uint32_t index) {
  const Descriptors* d = TheDescriptors();
  return d && index == 0 ? &d->plugin : nullptr;
}

const clap_plugin_t* CLAP_ABI FactoryCreate(const clap_plugin_factory_t*, const clap_host_t* host,
                                            const char* pluginId) {
  const Descriptors* d = TheDescriptors();
  if (!d || !host || !pluginId || std::strcmp(pluginId, d->plugin.id) != 0) return nullptr;
  if (!clap_version_is_compatible(host->clap_version)) return nullptr;
  auto* plug = new (std::nothrow) clap_binding::ClapPlugin(host, *gRegistration, &d->plugin);
  return plug ? plug->Plugin() : nullptr;
}

const clap_plugin_factory_t kPluginFactory = {FactoryCount, FactoryDescriptor, FactoryCreate};

// ---- preset discovery ----

struct Provider {
  clap_preset_discovery_provider_t clap;
  const clap_preset_discovery_indexer_t* indexer;
};

bool CLAP_ABI ProviderInit(const clap_preset_discovery_provider_t* provider) {
  auto* self = static_cast<Provider*>(provider->provider_data);
  const Descriptors* d = TheDescriptors();
  if (!d || !self->indexer || !self->indexer->declare_location) return false;
  clap_preset_discovery_location_t location{};
  location.flags = CLAP_PRESET_DISCOVERY_IS_FACTORY_CONTENT;
  location.name = "Factory Presets";
  location.kind = CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN;
  location.location = nullptr;
  return self->indexer->declare_location(self->indexer, &location);
}

void CLAP_ABI ProviderDestroy(const clap_preset_discovery_provider_t* provider) {
  delete static_cast<Provider*>(provider->provider_data);
}

bool CLAP_ABI ProviderMetadata(const clap_preset_discovery_provider_t*, uint32_t kind,
                               const char* location,
                               const clap_preset_discovery_metadata_receiver_t* receiver) {
  const Descriptors* d = TheDescriptors();
  if (!d || !receiver || !receiver->begin_preset) return false;
  if (kind != CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN || location) return false;
  // The names live in a plug-in object; one is made for the listing and let go of at once.
  IPlugBase* plug = gRegistration->create ? gRegistration->create() : nullptr;
  if (!plug) return false;
  const clap_universal_plugin_id_t pluginId = {"clap", d->plugin.id};
  for (int i = 0; i < plug->PresetCount(); ++i) {
    // Empty slots are places for the user's own presets, not presets.
    if (!plug->PresetInitialised(i)) continue;
    char key[16];
    std::snprintf(key, sizeof(key), "%d", i);
    if (!receiver->begin_preset(receiver, plug->PresetNameAt(i), key)) break;
    if (receiver->add_plugin_id) receiver->add_plugin_id(receiver, &pluginId);
    if (receiver->set_flags)
      receiver->set_flags(receiver, CLAP_PRESET_DISCOVERY_IS_FACTORY_CONTENT);
  }
  if (gRegistration->destroy) gRegistration->destroy(plug);
  return true;
}

const void* CLAP_ABI ProviderExtension(const clap_preset_discovery_provider_t*, const char*) {
  return nullptr;
}

uint32_t CLAP_ABI DiscoveryCount(const clap_preset_discovery_factory_t*) {
  return TheDescriptors() ? 1 : 0;
}

const clap_preset_discovery_provider_descriptor_t* CLAP_ABI
DiscoveryDescriptor(const clap_preset_discovery_factory_t*, uint32_t index) {
  const Descriptors* d = TheDescriptors();
  return d && index == 0 ? &d->provider : nullptr;
}

const clap_preset_discovery_provider_t* CLAP_ABI
DiscoveryCreate(const clap_preset_discovery_factory_t*,
                const clap_preset_discovery_indexer_t* indexer, const char* providerId) {
  const Descriptors* d = TheDescriptors();
  if (!d || !indexer || !providerId || d->providerId != providerId) return nullptr;
  auto* p = new (std::nothrow) Provider();
  if (!p) return nullptr;
  p->indexer = indexer;
  p->clap.desc = &d->provider;
  p->clap.provider_data = p;
  p->clap.init = ProviderInit;
  p->clap.destroy = ProviderDestroy;
  p->clap.get_metadata = ProviderMetadata;
  p->clap.get_extension = ProviderExtension;
  return &p->clap;
}

const clap_preset_discovery_factory_t kDiscoveryFactory = {DiscoveryCount, DiscoveryDescriptor,
                                                           DiscoveryCreate};

}  // namespace

void RegisterClapPlugin(const ClapPluginRegistration* registration) {
  gRegistration = registration;
}

const ClapPluginRegistration* RegisteredClapPlugin() {
  return gRegistration;
}

bool ClapModuleInit(const char* path) {
  (void)path;
  return TheDescriptors() != nullptr;
}

void ClapModuleDeinit() {}

const void* ClapModuleFactory(const char* id) {
  if (!id || !TheDescriptors()) return nullptr;
  if (std::strcmp(id, CLAP_PLUGIN_FACTORY_ID) == 0) return &kPluginFactory;
  if (std::strcmp(id, CLAP_PRESET_DISCOVERY_FACTORY_ID) == 0 ||
      std::strcmp(id, CLAP_PRESET_DISCOVERY_FACTORY_ID_COMPAT) == 0)
    return &kDiscoveryFactory;
  return nullptr;
}
