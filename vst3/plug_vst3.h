#pragma once
// The plug-in base as a VST 3 single-component effect: one object that is the host's
// component, audio processor, edit controller and unit-information provider.
#include <cstdint>

#include "base/source/fobject.h"
#include "framework/plug_base.h"
#include "pluginterfaces/vst/ivstprocesscontext.h"
#include "pluginterfaces/vst/ivstunits.h"
#include "pluginterfaces/gui/iplugviewcontentscalesupport.h"
#include "public.sdk/source/common/pluginview.h"
#include "public.sdk/source/vst/vstparameters.h"
#include "vst3/single_component_effect.h"

class IPlugVST3;

// Parameter tags that have no framework parameter behind them.
constexpr Steinberg::Vst::ParamID kPresetParamTag = 0x70727374;  // 'prst'
constexpr Steinberg::Vst::ParamID kBypassParamTag = 0x62706173;  // 'bpas'

// Narrow/widen text across the host boundary: one byte per UTF-16 unit.
void WidenText(const char* src, Steinberg::Vst::String128 dst);
void NarrowText(const Steinberg::Vst::TChar* src, char* dst, int dstSize);

// Host-facing view of one framework parameter.
class IPlugParameter : public Steinberg::Vst::Parameter {
 public:
  IPlugParameter(PlugParam* param, Steinberg::Vst::ParamID tag, Steinberg::Vst::UnitID unit);

  void toString(Steinberg::Vst::ParamValue normalized,
                Steinberg::Vst::String128 text) const SMTG_OVERRIDE;
  bool fromString(const Steinberg::Vst::TChar* text,
                  Steinberg::Vst::ParamValue& normalized) const SMTG_OVERRIDE;
  Steinberg::Vst::ParamValue toPlain(Steinberg::Vst::ParamValue normalized) const SMTG_OVERRIDE;
  Steinberg::Vst::ParamValue toNormalized(Steinberg::Vst::ParamValue plain) const SMTG_OVERRIDE;

  PlugParam* FrameworkParam() const { return mParam; }

  OBJ_METHODS(IPlugParameter, Parameter)

 private:
  PlugParam* mParam;
};

// The editor view the host embeds in its window. It is drawn at the host's content scale
// factor, else at the platform's (see IGraphics::UsePlatformScale), else at the zoom the user
// chose in the editor; each change asks the host's frame for round(design size x scale).
// The host may not drag the size itself (canResize answers no): the editor is a fixed layout
// that is sharp only at the scales its artwork and fonts are made for, and the scale, not a
// window edge, decides its size.
class IPlugVST3View : public Steinberg::CPluginView,
                      public Steinberg::IPlugViewContentScaleSupport {
 public:
  explicit IPlugVST3View(IPlugVST3* plug);
  ~IPlugVST3View() override;

  Steinberg::tresult PLUGIN_API isPlatformTypeSupported(Steinberg::FIDString type) SMTG_OVERRIDE;
  Steinberg::tresult PLUGIN_API attached(void* parent, Steinberg::FIDString type) SMTG_OVERRIDE;
  Steinberg::tresult PLUGIN_API removed() SMTG_OVERRIDE;
  Steinberg::tresult PLUGIN_API onWheel(float) SMTG_OVERRIDE { return Steinberg::kResultFalse; }
  Steinberg::tresult PLUGIN_API onKeyDown(Steinberg::char16, Steinberg::int16,
                                          Steinberg::int16) SMTG_OVERRIDE {
    return Steinberg::kResultFalse;
  }
  Steinberg::tresult PLUGIN_API onKeyUp(Steinberg::char16, Steinberg::int16,
                                        Steinberg::int16) SMTG_OVERRIDE {
    return Steinberg::kResultFalse;
  }
  Steinberg::tresult PLUGIN_API getSize(Steinberg::ViewRect* size) SMTG_OVERRIDE;
  Steinberg::tresult PLUGIN_API onSize(Steinberg::ViewRect* newSize) SMTG_OVERRIDE;
  Steinberg::tresult PLUGIN_API onFocus(Steinberg::TBool) SMTG_OVERRIDE {
    return Steinberg::kResultFalse;
  }
  Steinberg::tresult PLUGIN_API canResize() SMTG_OVERRIDE { return Steinberg::kResultFalse; }
  // Any size asked for becomes the editor's size at its scale.
  Steinberg::tresult PLUGIN_API checkSizeConstraint(Steinberg::ViewRect* rect) SMTG_OVERRIDE;

  // Clamped to the editor's 1..3; NaN, infinite, zero or negative factors are refused
  // (kResultFalse) and change nothing.
  Steinberg::tresult PLUGIN_API setContentScaleFactor(ScaleFactor factor) SMTG_OVERRIDE;

  // The plug-in asks the host to give the view a new size.
  void RequestResize(int width, int height);
  Steinberg::IPlugFrame* Frame() const { return plugFrame; }
  const Steinberg::ViewRect& Rect() const { return rect; }
  bool ExpectingNewSize() const { return mExpectingNewSize; }

  // The editor window this view opened (null when none).
  void* Window() const { return mWindow; }

  OBJ_METHODS(IPlugVST3View, CPluginView)
  DEFINE_INTERFACES
    DEF_INTERFACE(Steinberg::IPlugViewContentScaleSupport)
  END_DEFINE_INTERFACES(CPluginView)
  REFCOUNT_METHODS(CPluginView)

 private:
  // True when no other view has since moved the editor window elsewhere.
  bool OwnsEditorWindow() const;
  // While the window is open: asks the host for the editor's size when the host has
  // another one.
  void FollowEditorSize();
  // Linux: gives the host's run loop back the descriptor and timer of the window.
  void LeaveRunLoop();

  IPlugVST3* mPlug;
  bool mExpectingNewSize = false;
  // Between our resizeView and its return: getSize answers the size the host still has, as
  // hosts compare the two to see whether they need to resize at all.
  bool mResizing = false;
  int mHostW = 0, mHostH = 0;  // the size the host last learnt (getSize, onSize, resizeView)
  void* mWindow = nullptr;
  // Linux: the host's run loop and what this view registered with it.
  Steinberg::FUnknown* mRunLoop = nullptr;
  class RunLoopLink* mLink = nullptr;
};

class IPlugVST3 : public IPlugBase,
                  public Steinberg::Vst::IUnitInfo,
                  public plugvst3::SingleComponentEffect {
 public:
  IPlugVST3(int nParams, const char* channelIOStr, int nPresets, const char* effectName,
            const char* productName, const char* mfrName, int vendorVersion, int uniqueID,
            int mfrID, int latency, bool plugDoesMidi, bool plugDoesChunks, bool plugIsInst,
            int nSidechainChannels = 0);
  ~IPlugVST3() override;

  // ---- IPluginBase ----
  Steinberg::tresult PLUGIN_API initialize(Steinberg::FUnknown* context) SMTG_OVERRIDE;
  Steinberg::tresult PLUGIN_API terminate() SMTG_OVERRIDE;

  // ---- IComponent ----
  Steinberg::tresult PLUGIN_API setActive(Steinberg::TBool state) SMTG_OVERRIDE;

  // ---- IAudioProcessor ----
  Steinberg::tresult PLUGIN_API setBusArrangements(Steinberg::Vst::SpeakerArrangement* inputs,
                                                   Steinberg::int32 numIns,
                                                   Steinberg::Vst::SpeakerArrangement* outputs,
                                                   Steinberg::int32 numOuts) SMTG_OVERRIDE;
  Steinberg::tresult PLUGIN_API canProcessSampleSize(Steinberg::int32 size) SMTG_OVERRIDE;
  Steinberg::uint32 PLUGIN_API getLatencySamples() SMTG_OVERRIDE;
  Steinberg::tresult PLUGIN_API setupProcessing(Steinberg::Vst::ProcessSetup& setup) SMTG_OVERRIDE;
  Steinberg::tresult PLUGIN_API setProcessing(Steinberg::TBool state) SMTG_OVERRIDE;
  Steinberg::tresult PLUGIN_API process(Steinberg::Vst::ProcessData& data) SMTG_OVERRIDE;
  Steinberg::uint32 PLUGIN_API getTailSamples() SMTG_OVERRIDE;

  // ---- IEditController ----
  Steinberg::tresult PLUGIN_API setComponentState(Steinberg::IBStream* state) SMTG_OVERRIDE;
  Steinberg::tresult PLUGIN_API getParameterInfo(Steinberg::int32 paramIndex,
                                                 Steinberg::Vst::ParameterInfo& info) SMTG_OVERRIDE;
  Steinberg::tresult PLUGIN_API getParamStringByValue(Steinberg::Vst::ParamID tag,
                                                      Steinberg::Vst::ParamValue normalized,
                                                      Steinberg::Vst::String128 text) SMTG_OVERRIDE;
  Steinberg::tresult PLUGIN_API
  getParamValueByString(Steinberg::Vst::ParamID tag, Steinberg::Vst::TChar* text,
                        Steinberg::Vst::ParamValue& normalized) SMTG_OVERRIDE;
  Steinberg::Vst::ParamValue PLUGIN_API normalizedParamToPlain(
      Steinberg::Vst::ParamID tag, Steinberg::Vst::ParamValue normalized) SMTG_OVERRIDE;
  Steinberg::Vst::ParamValue PLUGIN_API plainParamToNormalized(
      Steinberg::Vst::ParamID tag, Steinberg::Vst::ParamValue plain) SMTG_OVERRIDE;
  Steinberg::Vst::ParamValue PLUGIN_API getParamNormalized(Steinberg::Vst::ParamID tag)
      SMTG_OVERRIDE;
  Steinberg::tresult PLUGIN_API setParamNormalized(Steinberg::Vst::ParamID tag,
                                                   Steinberg::Vst::ParamValue value) SMTG_OVERRIDE;
  Steinberg::IPlugView* PLUGIN_API createView(Steinberg::FIDString name) SMTG_OVERRIDE;
  Steinberg::tresult PLUGIN_API openHelp(Steinberg::TBool) SMTG_OVERRIDE {
    return Steinberg::kResultFalse;
  }
  Steinberg::tresult PLUGIN_API openAboutBox(Steinberg::TBool) SMTG_OVERRIDE {
    return Steinberg::kResultFalse;
  }

  // ---- IUnitInfo ----
  Steinberg::int32 PLUGIN_API getUnitCount() SMTG_OVERRIDE;
  Steinberg::tresult PLUGIN_API getUnitInfo(Steinberg::int32 unitIndex,
                                            Steinberg::Vst::UnitInfo& info) SMTG_OVERRIDE;
  Steinberg::int32 PLUGIN_API getProgramListCount() SMTG_OVERRIDE;
  Steinberg::tresult PLUGIN_API getProgramListInfo(
      Steinberg::int32 listIndex, Steinberg::Vst::ProgramListInfo& info) SMTG_OVERRIDE;
  Steinberg::tresult PLUGIN_API getProgramName(Steinberg::Vst::ProgramListID listId,
                                               Steinberg::int32 programIndex,
                                               Steinberg::Vst::String128 name) SMTG_OVERRIDE;
  Steinberg::tresult PLUGIN_API getProgramInfo(Steinberg::Vst::ProgramListID, Steinberg::int32,
                                               Steinberg::Vst::CString,
                                               Steinberg::Vst::String128) SMTG_OVERRIDE {
    return Steinberg::kNotImplemented;
  }
  Steinberg::tresult PLUGIN_API hasProgramPitchNames(Steinberg::Vst::ProgramListID,
                                                     Steinberg::int32) SMTG_OVERRIDE {
    return Steinberg::kNotImplemented;
  }
  Steinberg::tresult PLUGIN_API getProgramPitchName(Steinberg::Vst::ProgramListID, Steinberg::int32,
                                                    Steinberg::int16,
                                                    Steinberg::Vst::String128) SMTG_OVERRIDE {
    return Steinberg::kNotImplemented;
  }
  Steinberg::Vst::UnitID PLUGIN_API getSelectedUnit() SMTG_OVERRIDE { return 0; }
  Steinberg::tresult PLUGIN_API selectUnit(Steinberg::Vst::UnitID) SMTG_OVERRIDE {
    return Steinberg::kNotImplemented;
  }
  Steinberg::tresult PLUGIN_API getUnitByBus(Steinberg::Vst::MediaType,
                                             Steinberg::Vst::BusDirection, Steinberg::int32,
                                             Steinberg::int32,
                                             Steinberg::Vst::UnitID&) SMTG_OVERRIDE {
    return Steinberg::kNotImplemented;
  }
  Steinberg::tresult PLUGIN_API setUnitProgramData(Steinberg::int32, Steinberg::int32,
                                                   Steinberg::IBStream*) SMTG_OVERRIDE {
    return Steinberg::kNotImplemented;
  }

  // ---- FUnknown ----
  Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) SMTG_OVERRIDE;
  REFCOUNT_METHODS(SingleComponentEffect)
  OBJ_METHODS(IPlugVST3, SingleComponentEffect)

  // ---- services for the base and the instrument ----
  void BeginParamEdit(int paramIdx) override;
  void ReportParamEdit(int paramIdx, double normalized) override;
  void EndParamEdit(int paramIdx) override;
  void ShowParamContextMenu(int paramIdx, int x, int y) override;
  bool RenderingOffline() override;
  void FillHostTimeInfo(HostTimeInfo* info) override;
  void ResizeEditor(int width, int height) override;
  void ChangeLatency(int samples) override;
  bool SendMidiToHost(const MidiMessage& msg) override;

  // Host identifier for a host application name (0 when unknown).
  static int LookUpHostId(const char* hostName);

  // ---- bookkeeping for the views ----
  void AddOpenView(IPlugVST3View* view);
  void RemoveOpenView(IPlugVST3View* view);
  IPlugVST3View* FirstOpenView() const;
  int OpenViewCount() const { return static_cast<int>(mViews.size()); }
  const Steinberg::Vst::ProcessContext& LastProcessContext() const { return mProcessContext; }
  int SidechainChannels() const { return mSidechainChannels; }

 protected:
  Steinberg::tresult setComponentStateData(Steinberg::IBStream* state) SMTG_OVERRIDE;
  Steinberg::tresult getComponentStateData(Steinberg::IBStream* state) SMTG_OVERRIDE;
  Steinberg::tresult setControllerState(Steinberg::IBStream* state) SMTG_OVERRIDE;
  Steinberg::tresult getControllerState(Steinberg::IBStream* state) SMTG_OVERRIDE;

 private:
  void RegisterParameters();
  void ApplyParameterChanges(Steinberg::Vst::IParameterChanges* changes);
  void ForwardNoteEvents(Steinberg::Vst::IEventList* events);
  void ProcessAudio(Steinberg::Vst::ProcessData& data);
  int PresetIndexFor(double normalized) const;
  bool IsFrameworkTag(Steinberg::Vst::ParamID tag) const {
    return tag < static_cast<Steinberg::Vst::ParamID>(ParamCount());
  }

  int mSidechainChannels;
  bool mSidechainActive = false;
  Steinberg::Vst::ProcessContext mProcessContext{};
  std::vector<IPlugVST3View*> mViews;
  bool mInitialized = false;
  bool mSetUp = false;
};
