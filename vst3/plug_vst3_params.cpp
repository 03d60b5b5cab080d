// Parameters, units and the preset list as the host sees them.
#include <cmath>
#include <cstdlib>
#include <mutex>

#include "vst3/plug_vst3.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

double Clamp01(double v) {
  return std::isnan(v) ? 0.0 : v < 0.0 ? 0.0 : v > 1.0 ? 1.0 : v;
}

// Plain value from host text: a leading decimal number, 0 when there is none.
double ReadNumber(const TChar* text) {
  char narrow[129];
  NarrowText(text, narrow, sizeof(narrow));
  double v = std::atof(narrow);
  return std::isnan(v) ? 0.0 : v;
}

// NormalizeValue of a value that may not be a number.
double SafeNormalize(const PlugParam* p, double plain) {
  return std::isnan(plain) ? 0.0 : p->NormalizeValue(plain);
}

}  // namespace

IPlugParameter::IPlugParameter(PlugParam* param, ParamID tag, UnitID unit) : mParam(param) {
  WidenText(param->NameText(), info.title);
  info.shortTitle[0] = 0;
  WidenText(param->LabelText(), info.units);
  info.id = tag;
  info.stepCount =
      param->Kind() == kTypeDouble ? 0 : static_cast<int32>(param->Max() - param->Min());
  info.defaultNormalizedValue = std::pow(
      (param->DefaultValue() - param->Min()) / (param->Max() - param->Min()), 1.0 / param->Shape());
  info.unitId = unit;
  info.flags = param->Automatable() ? ParameterInfo::kCanAutomate : 0;
  valueNormalized = info.defaultNormalizedValue;
  precision = param->Decimals();
}

void IPlugParameter::toString(ParamValue normalized, String128 text) const {
  if (!text) return;
  char buf[128];
  mParam->FormatValue(Clamp01(normalized), true, buf, sizeof(buf));
  WidenText(buf, text);
}

bool IPlugParameter::fromString(const TChar* text, ParamValue& normalized) const {
  normalized = SafeNormalize(mParam, ReadNumber(text));
  return true;
}

ParamValue IPlugParameter::toPlain(ParamValue normalized) const {
  return mParam->DenormalizeValue(Clamp01(normalized));
}

ParamValue IPlugParameter::toNormalized(ParamValue plain) const {
  return SafeNormalize(mParam, plain);
}

void IPlugVST3::RegisterParameters() {
  PlugLock lock(Mutex());
  if (PresetCount() > 0) {
    auto* presets = new StringListParameter(
        STR16("Presets"), kPresetParamTag, nullptr,
        ParameterInfo::kIsProgramChange | ParameterInfo::kIsList, kRootUnitId);
    String128 empty = {};
    for (int i = 0; i < PresetCount(); ++i) presets->appendString(empty);
    parameters.addParameter(presets);
  }
  std::vector<std::string>& groups = GroupNames();
  for (int i = 0; i < ParamCount(); ++i) {
    PlugParam* p = ParamAt(i);
    UnitID unit = kRootUnitId;
    const char* group = p->GroupText();
    if (group && group[0]) {
      size_t g = 0;
      while (g < groups.size() && groups[g] != group) ++g;
      if (g == groups.size()) groups.emplace_back(group);
      unit = static_cast<UnitID>(g + 1);
    }
    parameters.addParameter(new IPlugParameter(p, static_cast<ParamID>(i), unit));
    HandleParamChange(i);
  }
}

tresult PLUGIN_API IPlugVST3::getParameterInfo(int32 paramIndex, ParameterInfo& info) {
  if (paramIndex < 0 || paramIndex >= parameters.getParameterCount()) return kResultFalse;
  return EditController::getParameterInfo(paramIndex, info);
}

tresult PLUGIN_API IPlugVST3::getParamStringByValue(ParamID tag, ParamValue normalized,
                                                    String128 text) {
  if (!text) return kInvalidArgument;
  if (!IsFrameworkTag(tag)) return kResultFalse;
  char buf[128];
  ParamAt(static_cast<int>(tag))->FormatValue(Clamp01(normalized), true, buf, sizeof(buf));
  WidenText(buf, text);
  return kResultOk;
}

tresult PLUGIN_API IPlugVST3::getParamValueByString(ParamID tag, TChar* text,
                                                    ParamValue& normalized) {
  if (!text) return kInvalidArgument;
  return EditController::getParamValueByString(tag, text, normalized);
}

ParamValue PLUGIN_API IPlugVST3::normalizedParamToPlain(ParamID tag, ParamValue normalized) {
  // The SDK's list parameters convert to an integer step without a range check: a host's
  // value outside 0..1 (or NaN) must not reach them.
  return EditController::normalizedParamToPlain(tag, Clamp01(normalized));
}

ParamValue PLUGIN_API IPlugVST3::plainParamToNormalized(ParamID tag, ParamValue plain) {
  if (tag == kPresetParamTag) return PresetCount() > 1 ? plain / (PresetCount() - 1) : 0.0;
  if (IsFrameworkTag(tag)) return SafeNormalize(ParamAt(static_cast<int>(tag)), plain);
  return plain;
}

ParamValue PLUGIN_API IPlugVST3::getParamNormalized(ParamID tag) {
  // Bypass and the current preset are plain fields the processing call also writes.
  if (tag == kBypassParamTag) {
    PlugLock lock(Mutex());
    return IsBypassed() ? 1.0 : 0.0;
  }
  if (tag == kPresetParamTag) {
    PlugLock lock(Mutex());
    return PresetCount() > 1 ? static_cast<double>(CurrentPresetIdx()) / (PresetCount() - 1) : 0.0;
  }
  if (IsFrameworkTag(tag)) return ParamAt(static_cast<int>(tag))->NormalizedValue();
  return 0.0;
}

tresult PLUGIN_API IPlugVST3::setParamNormalized(ParamID tag, ParamValue value) {
  bool known = tag == kBypassParamTag || tag == kPresetParamTag || IsFrameworkTag(tag);
  if (!known) return kResultFalse;
  if (std::isnan(value)) return kInvalidArgument;
  value = Clamp01(value);
  if (tag == kBypassParamTag) {
    PlugLock lock(Mutex());
    SetBypassed(value != 0.0);
  } else if (tag == kPresetParamTag) {
    PlugLock lock(Mutex());
    if (PresetCount() > 0) SetCurrentPresetIdx(PresetIndexFor(value));
  } else {
    ParamAt(static_cast<int>(tag))->AssignNormalized(value);
  }
  return kResultOk;
}

// ---- units and the preset list ----

int32 PLUGIN_API IPlugVST3::getUnitCount() {
  return static_cast<int32>(GroupNames().size()) + 1;
}

tresult PLUGIN_API IPlugVST3::getUnitInfo(int32 unitIndex, UnitInfo& info) {
  if (unitIndex == 0) {
    info.id = kRootUnitId;
    info.parentUnitId = kNoParentUnitId;
    WidenText("Root Unit", info.name);
    info.programListId = static_cast<ProgramListID>(kPresetParamTag);
    return kResultOk;
  }
  const std::vector<std::string>& groups = GroupNames();
  if (unitIndex < 1 || unitIndex > static_cast<int32>(groups.size())) return kResultFalse;
  info.id = unitIndex;
  info.parentUnitId = kRootUnitId;
  WidenText(groups[static_cast<size_t>(unitIndex - 1)].c_str(), info.name);
  info.programListId = kNoProgramListId;
  return kResultOk;
}

int32 PLUGIN_API IPlugVST3::getProgramListCount() {
  return PresetCount() > 0 ? 1 : 0;
}

tresult PLUGIN_API IPlugVST3::getProgramListInfo(int32 listIndex, ProgramListInfo& info) {
  if (listIndex != 0 || PresetCount() <= 0) return kResultFalse;
  info.id = static_cast<ProgramListID>(kPresetParamTag);
  WidenText("Factory Presets", info.name);
  info.programCount = PresetCount();
  return kResultOk;
}

tresult PLUGIN_API IPlugVST3::getProgramName(ProgramListID listId, int32 programIndex,
                                             String128 name) {
  if (listId != static_cast<ProgramListID>(kPresetParamTag) || !name) return kResultFalse;
  if (programIndex < 0 || programIndex >= PresetCount()) return kResultFalse;
  WidenText(PresetNameAt(programIndex), name);
  return kResultOk;
}
