// Parameters, value texts, units, the preset list and edit notifications as the host sees them.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "pluginterfaces/vst/ivstcontextmenu.h"
#include "test_plug.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

std::string Narrow(const TChar* text) {
  char buf[129];
  NarrowText(text, buf, sizeof(buf));
  return buf;
}

struct Wide {
  String128 text;
  explicit Wide(const char* s) { WidenText(s, text); }
};

std::string TextOf(IEditController* c, ParamID tag, double normalized) {
  String128 text = {};
  if (c->getParamStringByValue(tag, normalized, text) != kResultOk) return "<fail>";
  return Narrow(text);
}

double FromText(IEditController* c, ParamID tag, const char* s) {
  Wide w(s);
  ParamValue v = -1.0;
  EXPECT_EQ(c->getParamValueByString(tag, w.text, v), kResultOk) << s;
  return v;
}

const double kNaN = std::numeric_limits<double>::quiet_NaN();

}  // namespace

TEST(Parameters, InfosWithPresetsFirst) {
  HostedSynth h;
  ASSERT_EQ(h.Initialize(), kResultOk);
  ASSERT_EQ(h.controller->getParameterCount(), kTestParams + 1);
  ParameterInfo info{};
  ASSERT_EQ(h.controller->getParameterInfo(0, info), kResultOk);
  EXPECT_EQ(info.id, kPresetParamTag);
  EXPECT_EQ(Narrow(info.title), "Presets");
  EXPECT_EQ(Narrow(info.units), "");
  EXPECT_EQ(info.flags, ParameterInfo::kIsProgramChange | ParameterInfo::kIsList);
  EXPECT_EQ(info.stepCount, 5);  // six presets
  EXPECT_EQ(info.unitId, kRootUnitId);

  ASSERT_EQ(h.controller->getParameterInfo(1 + kGain, info), kResultOk);
  EXPECT_EQ(info.id, static_cast<ParamID>(kGain));
  EXPECT_EQ(Narrow(info.title), "Gain");
  EXPECT_EQ(Narrow(info.units), "%");
  EXPECT_EQ(Narrow(info.shortTitle), "");
  EXPECT_EQ(info.stepCount, 0);
  EXPECT_DOUBLE_EQ(info.defaultNormalizedValue, 0.5);
  EXPECT_EQ(info.flags, ParameterInfo::kCanAutomate);

  ASSERT_EQ(h.controller->getParameterInfo(1 + kFreq, info), kResultOk);
  EXPECT_EQ(info.defaultNormalizedValue, std::pow((440.0 - 20.0) / (20000.0 - 20.0), 0.5));
  ASSERT_EQ(h.controller->getParameterInfo(1 + kMode, info), kResultOk);
  EXPECT_EQ(info.stepCount, 2);
  ASSERT_EQ(h.controller->getParameterInfo(1 + kSteps, info), kResultOk);
  EXPECT_EQ(info.stepCount, 15);
  EXPECT_EQ(info.id, static_cast<ParamID>(kSteps));

  EXPECT_EQ(h.controller->getParameterInfo(kTestParams + 1, info), kResultFalse);
  EXPECT_EQ(h.controller->getParameterInfo(-1, info), kResultFalse);
  EXPECT_EQ(h.controller->getParameterInfo(1 << 30, info), kResultFalse);
}

TEST(Parameters, ValueTextsBothWays) {
  HostedSynth h;
  ASSERT_EQ(h.Initialize(), kResultOk);
  IEditController* c = h.controller;
  EXPECT_EQ(TextOf(c, kMode, 0.5), "Square");
  EXPECT_EQ(TextOf(c, kMode, 1.0), "Saw");
  EXPECT_EQ(TextOf(c, kGain, 0.5), "50.0");
  EXPECT_EQ(TextOf(c, kGain, 0.0), "0");
  EXPECT_EQ(TextOf(c, kFreq, 1.0), "20000.00");
  EXPECT_EQ(TextOf(c, kSteps, 0.5), "9");  // 8.5 rounds half away from zero
  // Out-of-range and NaN positions are read as the nearest end of the range.
  EXPECT_EQ(TextOf(c, kGain, 7.0), "100.0");
  EXPECT_EQ(TextOf(c, kGain, kNaN), "0");
  EXPECT_EQ(TextOf(c, kPresetParamTag, 0.5), "<fail>");
  EXPECT_EQ(TextOf(c, 9999, 0.5), "<fail>");
  EXPECT_EQ(c->getParamStringByValue(kGain, 0.5, nullptr), kInvalidArgument);

  EXPECT_DOUBLE_EQ(FromText(c, kGain, "25"), 0.25);
  EXPECT_DOUBLE_EQ(FromText(c, kGain, "  75.5 %"), 0.755);
  EXPECT_DOUBLE_EQ(FromText(c, kFreq, "20000"), 1.0);
  EXPECT_DOUBLE_EQ(FromText(c, kFreq, "abc"), 0.0);  // no number reads as 0, clamped to min
  EXPECT_DOUBLE_EQ(FromText(c, kGain, "1e999"), 1.0);
  EXPECT_DOUBLE_EQ(FromText(c, kGain, "-inf"), 0.0);
  EXPECT_DOUBLE_EQ(FromText(c, kGain, "nan"), 0.0);
  EXPECT_DOUBLE_EQ(FromText(c, kMode, "2"), 1.0);
  ParamValue v = 0;
  Wide w("1");
  EXPECT_EQ(c->getParamValueByString(9999, w.text, v), kResultFalse);
  EXPECT_EQ(c->getParamValueByString(kGain, nullptr, v), kInvalidArgument);
}

TEST(Parameters, PlainAndNormalized) {
  HostedSynth h;
  ASSERT_EQ(h.Initialize(), kResultOk);
  IEditController* c = h.controller;
  EXPECT_DOUBLE_EQ(c->normalizedParamToPlain(kGain, 0.5), 50.0);
  EXPECT_DOUBLE_EQ(c->normalizedParamToPlain(kFreq, 0.5), 0.25 * 19980.0 + 20.0);
  EXPECT_DOUBLE_EQ(c->plainParamToNormalized(kFreq, 0.25 * 19980.0 + 20.0), 0.5);
  EXPECT_DOUBLE_EQ(c->plainParamToNormalized(kGain, 250.0), 1.0);
  EXPECT_DOUBLE_EQ(c->plainParamToNormalized(kGain, kNaN), 0.0);
  EXPECT_DOUBLE_EQ(c->plainParamToNormalized(kPresetParamTag, 2.0), 0.4);
  EXPECT_DOUBLE_EQ(c->plainParamToNormalized(12345, 3.5), 3.5);
  // Normalised values outside 0..1 are held to the ends, also for the preset list (5 presets:
  // steps 0..5 of the SDK's list), whose own conversion has no range check.
  EXPECT_DOUBLE_EQ(c->normalizedParamToPlain(kGain, 7.0), 100.0);
  EXPECT_DOUBLE_EQ(c->normalizedParamToPlain(kGain, -1e300), 0.0);
  EXPECT_DOUBLE_EQ(c->normalizedParamToPlain(kPresetParamTag, 1e300), 5.0);
  EXPECT_DOUBLE_EQ(c->normalizedParamToPlain(kPresetParamTag, -1e300), 0.0);
  EXPECT_DOUBLE_EQ(c->normalizedParamToPlain(kPresetParamTag, kNaN), 0.0);
}

TEST(Parameters, GetAndSetNormalized) {
  HostedSynth h;
  ASSERT_EQ(h.Initialize(), kResultOk);
  IEditController* c = h.controller;
  int handledBefore = h.plug->handled[kSteps];
  EXPECT_EQ(c->setParamNormalized(kSteps, 0.5), kResultOk);
  EXPECT_EQ(h.plug->ParamAt(kSteps)->Value(), 9.0);
  EXPECT_EQ(h.plug->handled[kSteps], handledBefore);  // the instrument is not told
  EXPECT_DOUBLE_EQ(c->getParamNormalized(kSteps), 8.0 / 15.0);

  // Program change: only the index moves, no preset is loaded.
  EXPECT_EQ(c->setParamNormalized(kPresetParamTag, 1.0), kResultOk);
  EXPECT_EQ(h.plug->CurrentPresetIdx(), 5);
  EXPECT_EQ(c->getParamNormalized(kPresetParamTag), 1.0);
  EXPECT_EQ(h.plug->ParamAt(kSteps)->Value(), 9.0);

  EXPECT_EQ(c->setParamNormalized(kBypassParamTag, 0.2), kResultOk);
  EXPECT_EQ(c->getParamNormalized(kBypassParamTag), 1.0);
  ASSERT_EQ(h.Setup(), kResultOk);  // set-up clears bypass
  EXPECT_EQ(c->getParamNormalized(kBypassParamTag), 0.0);

  // Unknown tags and NaN change nothing; out-of-range values are clamped.
  EXPECT_EQ(c->setParamNormalized(777, 0.5), kResultFalse);
  EXPECT_EQ(c->getParamNormalized(777), 0.0);
  EXPECT_NE(c->setParamNormalized(kGain, kNaN), kResultOk);
  EXPECT_EQ(h.plug->ParamAt(kGain)->Value(), 50.0);
  EXPECT_EQ(c->setParamNormalized(kGain, -3.0), kResultOk);
  EXPECT_EQ(h.plug->ParamAt(kGain)->Value(), 0.0);
  EXPECT_EQ(c->setParamNormalized(kPresetParamTag, 9.0), kResultOk);
  EXPECT_EQ(h.plug->CurrentPresetIdx(), 5);
}

TEST(Units, RootUnitAndPresetList) {
  HostedSynth h;
  ASSERT_EQ(h.Initialize(), kResultOk);
  IUnitInfo* u = h.units;
  EXPECT_EQ(u->getUnitCount(), 1);
  UnitInfo info{};
  ASSERT_EQ(u->getUnitInfo(0, info), kResultOk);
  EXPECT_EQ(info.id, kRootUnitId);
  EXPECT_EQ(info.parentUnitId, kNoParentUnitId);
  EXPECT_EQ(Narrow(info.name), "Root Unit");
  EXPECT_EQ(info.programListId, static_cast<ProgramListID>(kPresetParamTag));
  EXPECT_EQ(u->getUnitInfo(1, info), kResultFalse);
  EXPECT_EQ(u->getUnitInfo(-1, info), kResultFalse);

  EXPECT_EQ(u->getProgramListCount(), 1);
  ProgramListInfo list{};
  ASSERT_EQ(u->getProgramListInfo(0, list), kResultOk);
  EXPECT_EQ(list.id, static_cast<ProgramListID>(kPresetParamTag));
  EXPECT_EQ(Narrow(list.name), "Factory Presets");
  EXPECT_EQ(list.programCount, 6);
  EXPECT_EQ(u->getProgramListInfo(1, list), kResultFalse);

  const char* names[] = {"---- default ----", "Loud", "Steps only", "Quiet", "- 5 -", "- 6 -"};
  String128 name = {};
  for (int i = 0; i < 6; ++i) {
    ASSERT_EQ(u->getProgramName(kPresetParamTag, i, name), kResultOk);
    EXPECT_EQ(Narrow(name), names[i]);
  }
  EXPECT_EQ(u->getProgramName(kPresetParamTag, 6, name), kResultFalse);
  EXPECT_EQ(u->getProgramName(kPresetParamTag, -1, name), kResultFalse);
  EXPECT_EQ(u->getProgramName(1, 0, name), kResultFalse);
  EXPECT_EQ(u->getSelectedUnit(), 0);
  EXPECT_EQ(u->selectUnit(0), kNotImplemented);
  EXPECT_EQ(u->getProgramInfo(kPresetParamTag, 0, "x", name), kNotImplemented);
}

namespace {

// Groups are not set by any definition call, so this plug-in sets them through a copy.
class GroupedSynth : public TestSynth {
 public:
  GroupedSynth() {
    SetGroup(kGain, "Amp");
    SetGroup(kFreq, "Osc");
    SetGroup(kSteps, "Amp");
  }
  void SetGroup(int idx, const char* group) {
    // No instrument uses groups, so the model has no setter: write the field in place.
    PlugParam* p = ParamAt(idx);
    char* field = const_cast<char*>(p->GroupText());
    CopyText(field, group, kParamTextSize);
  }
};

}  // namespace

TEST(Units, ParameterGroupsBecomeUnits) {
  auto* plug = new GroupedSynth();
  caldrith_host::HostContext host;
  ASSERT_EQ(plug->initialize(static_cast<Vst::IHostApplication*>(&host)), kResultOk);
  EXPECT_EQ(plug->getUnitCount(), 3);
  UnitInfo info{};
  ASSERT_EQ(plug->getUnitInfo(1, info), kResultOk);
  EXPECT_EQ(Narrow(info.name), "Amp");
  EXPECT_EQ(info.parentUnitId, kRootUnitId);
  EXPECT_EQ(info.programListId, kNoProgramListId);
  ASSERT_EQ(plug->getUnitInfo(2, info), kResultOk);
  EXPECT_EQ(Narrow(info.name), "Osc");
  EXPECT_EQ(plug->getUnitInfo(3, info), kResultFalse);
  ParameterInfo p{};
  plug->getParameterInfo(1 + kGain, p);
  EXPECT_EQ(p.unitId, 1);
  plug->getParameterInfo(1 + kFreq, p);
  EXPECT_EQ(p.unitId, 2);
  plug->getParameterInfo(1 + kMode, p);
  EXPECT_EQ(p.unitId, kRootUnitId);
  plug->getParameterInfo(1 + kSteps, p);
  EXPECT_EQ(p.unitId, 1);
  plug->terminate();
  plug->release();
}

namespace {

struct Recorded {
  char kind;
  ParamID tag;
  double value;
};

class RecordingHandler : public IComponentHandler, public IComponentHandler3 {
 public:
  tresult PLUGIN_API beginEdit(ParamID id) override {
    log.push_back({'b', id, 0});
    return kResultOk;
  }
  tresult PLUGIN_API performEdit(ParamID id, ParamValue v) override {
    log.push_back({'p', id, v});
    return kResultOk;
  }
  tresult PLUGIN_API endEdit(ParamID id) override {
    log.push_back({'e', id, 0});
    return kResultOk;
  }
  tresult PLUGIN_API restartComponent(int32 flags) override {
    restarts.push_back(flags);
    return kResultOk;
  }
  IContextMenu* PLUGIN_API createContextMenu(IPlugView* view, const ParamID* tag) override {
    menuView = view;
    menuTag = tag ? static_cast<int>(*tag) : -1;
    return nullptr;
  }
  tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {
    QUERY_INTERFACE(iid, obj, FUnknown::iid, IComponentHandler)
    QUERY_INTERFACE(iid, obj, IComponentHandler::iid, IComponentHandler)
    if (offerHandler3) QUERY_INTERFACE(iid, obj, IComponentHandler3::iid, IComponentHandler3)
    *obj = nullptr;
    return kNoInterface;
  }
  uint32 PLUGIN_API addRef() override { return ++refs; }
  uint32 PLUGIN_API release() override { return --refs; }

  std::vector<Recorded> log;
  std::vector<int32> restarts;
  IPlugView* menuView = nullptr;
  int menuTag = -2;
  bool offerHandler3 = true;
  uint32 refs = 1;
};

}  // namespace

TEST(EditNotifications, ReachTheComponentHandler) {
  HostedSynth h;
  ASSERT_EQ(h.Initialize(), kResultOk);
  // Without a handler the notifications go nowhere.
  h.plug->BeginParamEdit(kGain);
  h.plug->SetParamFromEditor(kGain, 0.75);
  h.plug->EndParamEdit(kGain);

  RecordingHandler handler;
  ASSERT_EQ(h.controller->setComponentHandler(&handler), kResultOk);
  h.plug->BeginParamEdit(kFreq);
  h.plug->SetParamFromEditor(kFreq, 0.5);
  h.plug->EndParamEdit(kFreq);
  ASSERT_EQ(handler.log.size(), 3u);
  EXPECT_EQ(handler.log[0].kind, 'b');
  EXPECT_EQ(handler.log[0].tag, static_cast<ParamID>(kFreq));
  EXPECT_EQ(handler.log[1].kind, 'p');
  EXPECT_EQ(handler.log[1].value, 0.5);
  EXPECT_EQ(handler.log[2].kind, 'e');
  EXPECT_DOUBLE_EQ(h.plug->ParamAt(kFreq)->Value(), 0.25 * 19980.0 + 20.0);

  h.plug->ChangeLatency(64);
  EXPECT_EQ(h.processor->getLatencySamples(), 64u);
  ASSERT_EQ(handler.restarts.size(), 1u);
  EXPECT_EQ(handler.restarts[0], kLatencyChanged);

  // The context menu needs an open view and a handler that offers menus.
  h.plug->ShowParamContextMenu(kMode, 10, 20);
  EXPECT_EQ(handler.menuTag, -2);
  IPlugView* view = h.controller->createView(ViewType::kEditor);
  ASSERT_NE(view, nullptr);
  h.plug->ShowParamContextMenu(kMode, 10, 20);
  EXPECT_EQ(handler.menuTag, kMode);
  EXPECT_EQ(handler.menuView, view);
  handler.offerHandler3 = false;
  handler.menuTag = -2;
  h.plug->ShowParamContextMenu(kMode, 10, 20);
  EXPECT_EQ(handler.menuTag, -2);
  view->release();

  h.controller->setComponentHandler(nullptr);
  EXPECT_EQ(handler.refs, 1u);
}
