// Parameters as a CLAP host sees them: ids are the parameter indices, ranges and values are
// real values, and the texts are the ones the VST 3 controller shows for the same value.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "clap/plug_clap.h"

namespace clap_binding {

namespace {

const PlugParam* ParamFor(const clap_plugin_t* plugin, clap_id id) {
  ClapPlugin* self = ClapPlugin::From(plugin);
  if (!self || !self->Plug() || id >= static_cast<clap_id>(self->Plug()->ParamCount()))
    return nullptr;
  return self->Plug()->ParamAt(static_cast<int>(id));
}

uint32_t CLAP_ABI ParamsCount(const clap_plugin_t* plugin) {
  ClapPlugin* self = ClapPlugin::From(plugin);
  return self && self->Plug() ? static_cast<uint32_t>(self->Plug()->ParamCount()) : 0;
}

bool CLAP_ABI ParamsGetInfo(const clap_plugin_t* plugin, uint32_t index, clap_param_info_t* info) {
  const PlugParam* p = ParamFor(plugin, index);
  if (!p || !info) return false;
  std::memset(info, 0, sizeof(*info));
  info->id = index;
  info->flags = p->Automatable() ? CLAP_PARAM_IS_AUTOMATABLE : 0;
  if (p->IsIntegerKind()) info->flags |= CLAP_PARAM_IS_STEPPED;
  if (p->Kind() == kTypeEnum) info->flags |= CLAP_PARAM_IS_ENUM;
  info->cookie = nullptr;
  std::snprintf(info->name, sizeof(info->name), "%s", p->NameText());
  std::snprintf(info->module, sizeof(info->module), "%s", p->GroupText() ? p->GroupText() : "");
  info->min_value = p->Min();
  info->max_value = p->Max();
  info->default_value = p->DefaultValue();
  return true;
}

bool CLAP_ABI ParamsGetValue(const clap_plugin_t* plugin, clap_id id, double* value) {
  const PlugParam* p = ParamFor(plugin, id);
  if (!p || !value) return false;
  *value = p->Value();
  return true;
}

bool CLAP_ABI ParamsValueToText(const clap_plugin_t* plugin, clap_id id, double value, char* out,
                                uint32_t size) {
  const PlugParam* p = ParamFor(plugin, id);
  if (!p || !out || size == 0 || std::isnan(value)) return false;
  value = std::fmin(p->Max(), std::fmax(p->Min(), value));
  char text[128];
  p->FormatValue(value, false, text, sizeof(text));
  std::snprintf(out, size, "%s", text);
  return true;
}

bool CLAP_ABI ParamsTextToValue(const clap_plugin_t* plugin, clap_id id, const char* text,
                                double* value) {
  const PlugParam* p = ParamFor(plugin, id);
  if (!p || !text || !value) return false;
  double v = 0.0;
  if (!p->ValueFromText(text, &v)) {
    // A number, optionally followed by the unit or other words.
    char* end = nullptr;
    v = std::strtod(text, &end);
    if (end == text || !std::isfinite(v)) return false;
  }
  *value = std::fmin(p->Max(), std::fmax(p->Min(), v));
  return true;
}

void CLAP_ABI ParamsFlush(const clap_plugin_t* plugin, const clap_input_events_t* in,
                          const clap_output_events_t* out) {
  ClapPlugin* self = ClapPlugin::From(plugin);
  if (!self || !self->Plug()) return;
  PlugLock lock(self->Plug()->Mutex());
  self->ApplyInputEvents(in);
  self->SendPendingEdits(out);
}

const clap_plugin_params_t kParams = {ParamsCount,       ParamsGetInfo,     ParamsGetValue,
                                      ParamsValueToText, ParamsTextToValue, ParamsFlush};

}  // namespace

const clap_plugin_params_t* ParamsExtension() {
  return &kParams;
}

}  // namespace clap_binding
