// The controller's parameter calls in any order with any arguments: normalised values and
// plain values both ways, value texts both ways, parameter and unit information, program
// names. Every answer is terminated text or a number a host can use.
#include <cmath>

#include "fuzz_host.h"
#include "fuzz_input.h"

using caldrith_fuzz::Input;
using caldrith_fuzz::Instance;
using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

// Mostly real tags, sometimes anything.
ParamID Tag(Input& in) {
  const uint8_t k = in.Byte();
  if (k < 200) return k % kNumParams;
  if (k < 215) return kPresetParamTag;
  if (k < 230) return kBypassParamTag;
  return in.U32();
}

// Mostly ordinary values, sometimes any bit pattern.
double Value(Input& in) {
  const uint8_t k = in.Byte();
  if (k < 160) return in.U16() / 65535.0;
  if (k < 176) return k & 1 ? 0.0 : 1.0;
  return in.Double();
}

bool Terminated(const TChar* text, int size) {
  for (int i = 0; i < size; ++i) {
    if (text[i] == 0) return true;
  }
  return false;
}

bool IsRealTag(ParamID tag) {
  return tag < static_cast<ParamID>(kNumParams);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  Instance();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  caldrith_fuzz::HostedInstrument& h = Instance();
  h.Restore();
  IEditController* ec = h.controller;
  Input in(data, size);
  for (int op = 0; op < 64 && !in.Empty(); ++op) {
    switch (in.Byte() % 9) {
      case 0: {
        ParameterInfo info{};
        const int32 index = static_cast<int32>(in.U32() % 64) - 8;
        if (ec->getParameterInfo(index, info) == kResultOk) {
          FUZZ_CHECK(index >= 0 && index < ec->getParameterCount());
          FUZZ_CHECK(Terminated(info.title, 128) && Terminated(info.units, 128));
          FUZZ_CHECK(info.defaultNormalizedValue >= 0.0 && info.defaultNormalizedValue <= 1.0);
        }
        break;
      }
      case 1: {
        // Value to text and back: a text the plug-in wrote it also reads.
        const ParamID tag = Tag(in);
        String128 text;
        if (ec->getParamStringByValue(tag, Value(in), text) != kResultOk) break;
        FUZZ_CHECK(Terminated(text, 128));
        ParamValue back = -1.0;
        if (ec->getParamValueByString(tag, text, back) == kResultOk) {
          FUZZ_CHECK(back >= 0.0 && back <= 1.0);
        }
        break;
      }
      case 2: {
        // Any text a host may send, terminated as the interface requires.
        const ParamID tag = Tag(in);
        TChar text[130] = {};
        const int len = in.Byte() % 130;
        for (int i = 0; i < len; ++i) text[i] = static_cast<TChar>(in.Byte() | in.Byte() << 8);
        ParamValue v = -1.0;
        if (ec->getParamValueByString(tag, text, v) == kResultOk) {
          FUZZ_CHECK(v >= 0.0 && v <= 1.0);
        }
        break;
      }
      case 3: {
        const ParamID tag = Tag(in);
        const double plain = ec->normalizedParamToPlain(tag, Value(in));
        if (IsRealTag(tag)) {
          const PlugParam* p = h.plug->ParamAt(static_cast<int>(tag));
          FUZZ_CHECK(plain >= p->Min() && plain <= p->Max());
        }
        break;
      }
      case 4: {
        const ParamID tag = Tag(in);
        const double n =
            ec->plainParamToNormalized(tag, in.Bool() ? in.Double() : Value(in) * 2e4 - 1e4);
        if (IsRealTag(tag)) FUZZ_CHECK(n >= 0.0 && n <= 1.0);
        break;
      }
      case 5: {
        const ParamID tag = Tag(in);
        ec->setParamNormalized(tag, Value(in));
        const double n = ec->getParamNormalized(tag);
        if (IsRealTag(tag)) FUZZ_CHECK(n >= 0.0 && n <= 1.0);
        break;
      }
      case 6: {
        String128 name;
        const ProgramListID list =
            in.Bool() ? kPresetParamTag : static_cast<ProgramListID>(in.U32());
        const int32 index = static_cast<int32>(in.U32() % 400) - 100;
        if (h.units->getProgramName(list, index, name) == kResultOk)
          FUZZ_CHECK(Terminated(name, 128));
        break;
      }
      case 7: {
        UnitInfo unit{};
        if (h.units->getUnitInfo(static_cast<int32>(in.Byte()) - 2, unit) == kResultOk)
          FUZZ_CHECK(Terminated(unit.name, 128));
        ProgramListInfo list{};
        if (h.units->getProgramListInfo(static_cast<int32>(in.Byte()) - 2, list) == kResultOk) {
          FUZZ_CHECK(Terminated(list.name, 128));
          FUZZ_CHECK(list.programCount >= 0);
        }
        break;
      }
      default: {
        // The controller's view of every parameter stays a usable normalised value.
        for (int i = 0; i < kNumParams; ++i) {
          const double n = ec->getParamNormalized(static_cast<ParamID>(i));
          FUZZ_CHECK(n >= 0.0 && n <= 1.0);
        }
        break;
      }
    }
  }
  return 0;
}
