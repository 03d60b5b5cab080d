// LV2 state restore with arbitrary properties: each of the 23 keys present or not, with any
// type, size and bytes, and keys of nobody's. Whatever arrives, a missing, mistyped, wrong-sized
// or non-finite value leaves its parameter as it was; saving afterwards gives one finite double
// per parameter, and a block rendered after it is finite.
#include <lv2/atom/atom.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "fuzz_host.h"
#include "fuzz_input.h"
#include "lv2/plug_lv2.h"

namespace {

std::map<std::string, LV2_URID> gUris;
LV2_URID Map(LV2_URID_Map_Handle, const char* uri) {
  return gUris.emplace(uri, static_cast<LV2_URID>(gUris.size() + 1)).first->second;
}
LV2_URID_Map gMap{nullptr, Map};

struct Property {
  uint32_t type = 0;
  std::vector<uint8_t> body;
};
struct Properties {
  std::map<LV2_URID, Property> byKey;
  std::vector<double> saved;
  std::vector<LV2_URID> keys;  // the 23 parameters' keys, in index order
};

const void* Retrieve(LV2_State_Handle h, uint32_t key, size_t* size, uint32_t* type,
                     uint32_t* flags) {
  auto* p = static_cast<Properties*>(h);
  auto it = p->byKey.find(key);
  if (it == p->byKey.end()) return nullptr;
  *size = it->second.body.size();
  *type = it->second.type;
  *flags = LV2_STATE_IS_POD;
  return it->second.body.data();
}

LV2_State_Status Store(LV2_State_Handle h, uint32_t key, const void* value, size_t size,
                       uint32_t type, uint32_t) {
  auto* p = static_cast<Properties*>(h);
  FUZZ_CHECK(type == Map(nullptr, LV2_ATOM__Double) && size == sizeof(double));
  p->keys.push_back(key);
  double v;
  std::memcpy(&v, value, sizeof v);
  p->saved.push_back(v);
  return LV2_STATE_SUCCESS;
}

struct Plugin {
  const LV2_Descriptor* d = lv2::PluginDescriptor();
  LV2_Feature mapFeature{LV2_URID__map, &gMap};
  const LV2_Feature* features[2] = {&mapFeature, nullptr};
  LV2_Handle handle = nullptr;
  const LV2_State_Interface* state = nullptr;
  float controls[23] = {};
  float out[2][64] = {};
  std::vector<LV2_URID> keys;
  Plugin() {
    FUZZ_CHECK(d != nullptr);
    handle = d->instantiate(d, 48000.0, "", features);
    FUZZ_CHECK(handle != nullptr);
    state = static_cast<const LV2_State_Interface*>(d->extension_data(LV2_STATE__interface));
    FUZZ_CHECK(state != nullptr);
    d->connect_port(handle, 23, out[0]);
    d->connect_port(handle, 24, out[1]);
    d->activate(handle);
    Properties p;
    FUZZ_CHECK(state->save(handle, Store, &p, 0, features) == LV2_STATE_SUCCESS);
    FUZZ_CHECK(p.keys.size() == 23);
    keys = p.keys;
  }
};

Plugin& Instance() {
  static Plugin plugin;
  return plugin;
}

const char* const kTypes[] = {LV2_ATOM__Double, LV2_ATOM__Float,  LV2_ATOM__Int,
                              LV2_ATOM__Long,   LV2_ATOM__String, LV2_ATOM__Bool};

bool Sound(const Property& p) {
  const size_t n = p.body.size();
  auto finite = [&](auto v) {
    std::memcpy(&v, p.body.data(), sizeof v);
    return std::isfinite(static_cast<double>(v));
  };
  if (p.type == Map(nullptr, LV2_ATOM__Double)) return n == 8 && finite(0.0);
  if (p.type == Map(nullptr, LV2_ATOM__Float)) return n == 4 && finite(0.0f);
  if (p.type == Map(nullptr, LV2_ATOM__Int)) return n == 4;
  if (p.type == Map(nullptr, LV2_ATOM__Long)) return n == 8;
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  Instance();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Plugin& plug = Instance();
  caldrith_fuzz::Input in(data, size);
  Properties before;
  plug.state->save(plug.handle, Store, &before, 0, plug.features);

  Properties props;
  while (!in.Empty()) {
    const uint32_t which = in.Below(25);  // 23 parameters, a key of nobody's, unmapped 0
    const LV2_URID key = which < 23 ? plug.keys[which] : which == 23 ? Map(nullptr, "urn:x") : 0;
    Property& p = props.byKey[key];
    p.type = Map(nullptr, kTypes[in.Below(6)]);
    p.body.resize(in.Below(17));
    in.Bytes(p.body.data(), p.body.size());
  }
  FUZZ_CHECK(plug.state->restore(plug.handle, Retrieve, &props, 0, plug.features) ==
             LV2_STATE_SUCCESS);

  Properties after;
  plug.state->save(plug.handle, Store, &after, 0, plug.features);
  FUZZ_CHECK(after.saved.size() == 23);
  for (size_t i = 0; i < 23; ++i) {
    FUZZ_CHECK(std::isfinite(after.saved[i]));
    // A parameter whose property is missing or not a finite number of its type's exact size
    // keeps its value.
    auto it = props.byKey.find(plug.keys[i]);
    if (it == props.byKey.end() || !Sound(it->second))
      FUZZ_CHECK(after.saved[i] == before.saved[i]);
  }
  plug.d->run(plug.handle, 64);
  for (auto& channel : plug.out)
    for (float x : channel) FUZZ_CHECK(std::isfinite(x));
  return 0;
}
