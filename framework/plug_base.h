#pragma once
// The host-independent core of the plug-in object: identity, parameters, presets,
// channel bookkeeping of the audio path, the recursive mutex and the overridable hooks.
// A host binding derives from it; the instrument derives from the binding.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "framework/plug_editor.h"
#include "framework/plug_param.h"
#include "framework/state_chunk.h"

constexpr int kPlugNameSize = 128;
// The longest block the scratch buffers hold, whatever a host announces; longer blocks are
// processed in pieces of this size. Every binding clamps its host's maximum to it.
constexpr int kMaxBlockFrames = 1 << 16;

enum PlugApi : int32_t { kAPIVST3 = 1, kAPICLAP = 2, kAPILV2 = 3 };

// A binding that wraps the plug-in object instead of deriving from it (CLAP, LV2) hears the
// editor's edits and size requests through this link. Called on the UI thread.
class IPlugHostLink {
 public:
  virtual ~IPlugHostLink() = default;
  virtual void BeginEdit(int paramIdx) = 0;
  virtual void PerformEdit(int paramIdx, double normalized) = 0;
  virtual void EndEdit(int paramIdx) = 0;
  virtual void ResizeEditor(int width, int height) {
    (void)width;
    (void)height;
  }
};

struct ChannelIOPair {
  int32_t inputs = 0;
  int32_t outputs = 0;
};

struct MidiMessage {
  int32_t offset = 0;
  uint8_t status = 0;
  uint8_t data1 = 0;
  uint8_t data2 = 0;
};

struct HostTimeInfo {
  double tempo = 0.0;
  double samplePos = 0.0;
  double ppqPos = 0.0;
  double lastBar = 0.0;
  double cycleStart = 0.0;
  double cycleEnd = 0.0;
  int32_t numerator = 0;
  int32_t denominator = 0;
  bool transportRunning = false;
  bool loopEnabled = false;
};

// What the host last told the plug-in about its timeline. The binding writes it once per
// block before rendering; tests write it directly.
struct HostTimeline {
  int transportState = 0;  // 0 stopped, 1 playing, 2 recording
  int64_t samplePosition = 0;
  double tempo = 0.0;
  int32_t numerator = 0;
  int32_t denominator = 0;
};

struct InputChannel {
  bool connected = false;
  double** dataSlot = nullptr;
  const float* floatSrc = nullptr;  // host buffer converted into scratch block by block
  std::vector<double> scratch;
};

struct OutputChannel {
  bool connected = false;
  double** dataSlot = nullptr;
  float* floatDest = nullptr;
  std::vector<double> scratch;
};

// The plug-in's recursive mutex. It records which thread holds it, so that code which may
// only run under it can say so and have a breach noticed (IPlugBase::RequireLocked).
class PlugMutex {
 public:
  void lock() {
    mMutex.lock();
    if (mDepth++ == 0) mOwner.store(std::this_thread::get_id(), std::memory_order_relaxed);
  }
  bool try_lock() {
    if (!mMutex.try_lock()) return false;
    if (mDepth++ == 0) mOwner.store(std::this_thread::get_id(), std::memory_order_relaxed);
    return true;
  }
  void unlock() {
    if (--mDepth == 0) mOwner.store(std::thread::id(), std::memory_order_relaxed);
    mMutex.unlock();
  }
  // Only the holder itself can see its own id here, so a relaxed load is enough.
  bool HeldByThisThread() const {
    return mOwner.load(std::memory_order_relaxed) == std::this_thread::get_id();
  }

 private:
  std::recursive_mutex mMutex;
  std::atomic<std::thread::id> mOwner{std::thread::id()};
  int mDepth = 0;  // changed only by the holder
};

using PlugLock = std::lock_guard<PlugMutex>;

class IPlugBase {
 public:
  IPlugBase(int nParams, const char* channelIOStr, int nPresets, const char* effectName,
            const char* productName, const char* mfrName, int vendorVersion, int uniqueID,
            int mfrID, int latency, bool plugDoesMidi, bool plugDoesChunks, bool plugIsInst,
            int plugAPI);
  virtual ~IPlugBase();
  IPlugBase(const IPlugBase&) = delete;
  IPlugBase& operator=(const IPlugBase&) = delete;

  // ---- overridable hooks (base versions do nothing unless said otherwise) ----
  virtual void Reset();
  virtual void HandleParamChange(int paramIdx);
  void HandleParamChangeLocked(int paramIdx);
  // Base version: pass-through (inputs to outputs, silence on extra outputs).
  virtual void RenderBlock(double** inputs, double** outputs, int nFrames);
  virtual void EditorOpened() {}
  virtual void EditorClosed() {}
  virtual void EditorResized() {}
  virtual void Activate(bool active);
  virtual void ProcessMidiMessage(const MidiMessage& msg);
  virtual bool SaveState(StateChunk* chunk);
  virtual int LoadState(const StateChunk* chunk, int pos);
  virtual void ShowParamStatus(int paramIdx);
  virtual bool PresetAppliesParam(int paramIdx, int presetIdx);
  virtual void PostInitialized() {}
  int BindingApi() const { return mAPI; }

  // Edit notifications towards the host. A deriving binding overrides them (and calls these
  // too); a wrapping binding installs a host link, which these versions reach.
  virtual void BeginParamEdit(int paramIdx) {
    if (mHostLink && paramIdx >= 0) mHostLink->BeginEdit(paramIdx);
  }
  virtual void BeginParamEditDeferred(int paramIdx) { (void)paramIdx; }
  virtual void ReportParamEdit(int paramIdx, double normalized) {
    if (mHostLink && paramIdx >= 0) mHostLink->PerformEdit(paramIdx, normalized);
  }
  virtual void EndParamEdit(int paramIdx) {
    if (mHostLink && paramIdx >= 0) mHostLink->EndEdit(paramIdx);
  }
  // The wrapping binding's link (null detaches) and the format it speaks for; call before the
  // editor opens and after it closed.
  void SetHostLink(IPlugHostLink* link, int api) {
    mHostLink = link;
    if (link) mAPI = api;
  }
  IPlugHostLink* HostLink() const { return mHostLink; }
  virtual void ShowParamContextMenu(int paramIdx, int x, int y) {
    (void)paramIdx;
    (void)x;
    (void)y;
  }

  // Host queries. The base answers from the timeline record, which the binding fills.
  virtual int64_t HostSamplePosition();
  virtual double HostTempo();
  virtual void HostTimeSignature(int* numerator, int* denominator);
  virtual int HostTransportState();
  virtual bool RenderingOffline() { return false; }
  virtual void FillHostTimeInfo(HostTimeInfo* info);
  void SetHostTimeline(const HostTimeline& timeline);
  int HostId() const { return mHost; }
  int HostVersion() const { return mHostVersion; }
  void SetHostInfo(int hostId, int hostVersion);

  virtual void ResizeEditor(int width, int height) {
    if (mHostLink) mHostLink->ResizeEditor(width, height);
  }
  virtual void ChangeLatency(int samples) { mLatency = samples; }
  virtual bool SendMidiToHost(const MidiMessage& msg) {
    (void)msg;
    return false;
  }
  bool SendMidiListToHost(const std::vector<MidiMessage>& msgs);

  // Static-control colour hook of the editor window; answers 0.
  virtual intptr_t EditorColourHook(uintptr_t wParam, intptr_t lParam, unsigned msg) {
    (void)wParam;
    (void)lParam;
    (void)msg;
    return 0;
  }

  // ---- parameters ----
  PlugParam* ParamAt(int idx);
  const PlugParam* ParamAt(int idx) const;
  int ParamCount() const { return static_cast<int>(mParams.size()); }
  void SetParamFromEditor(int idx, double normalized);
  void DeferParamEditEnd(int idx);
  void FlushParamEditEnd();

  // ---- editor ----
  void InstallEditor(IPlugEditor* editor);  // takes ownership
  IPlugEditor* GetGUI() const { return mGraphics; }
  void SendParamsToEditor();
  void EffectVersionText(char* out, int size = 32) const;

  // ---- state and presets ----
  bool SaveParams(StateChunk* chunk);
  int LoadParams(const StateChunk* chunk, int pos);
  void AddDefaultPreset(const char* name = nullptr, int count = 1);
  // Name, then one value per parameter in index order: int for integer kinds, double otherwise.
  void AddFactoryPreset(const char* name, ...);
  // Typed form of the same; values are given as doubles for every kind.
  void AddFactoryPresetValues(const char* name, const double* values, int count);
  bool SelectPreset(int idx);
  const char* PresetNameAt(int idx) const;  // "" outside the list
  int PresetCount() const { return static_cast<int>(mPresets.size()); }
  bool PresetInitialised(int idx) const;
  int CurrentPresetIdx() const { return mCurrentPresetIdx; }
  void SetCurrentPresetIdx(int idx) { mCurrentPresetIdx = idx; }

  // ---- audio path ----
  bool AcceptsChannelCounts(int nIn, int nOut) const;
  void SetInputsConnected(int first, int count, bool connected);
  void SetOutputsConnected(int first, int count, bool connected);
  void AttachInputs(int first, int count, double** buffers);
  void AttachOutputs(int first, int count, double** buffers);
  void AttachInputsFloat(int first, int count, float** buffers, int nFrames);
  void AttachOutputsFloat(int first, int count, float** buffers);
  void ProcessBlock(int nFrames);
  void ProcessBlockFloat(int nFrames);
  void PassThroughBlock(int nFrames);
  void PassThroughBlockFloat(int nFrames);
  void SetMaxFrames(int frames);
  void ZeroScratchBuffers();
  void NameInputBus(int idx, const char* label);
  void NameOutputBus(int idx, const char* label);
  const char* InputBusName(int idx) const;   // "" when unnamed
  const char* OutputBusName(int idx) const;  // "" when unnamed
  int NInChannels() const { return static_cast<int>(mInChannels.size()); }
  int NOutChannels() const { return static_cast<int>(mOutChannels.size()); }
  bool IsInChannelConnected(int idx) const;
  bool IsOutChannelConnected(int idx) const;
  const std::vector<ChannelIOPair>& ChannelIOPairs() const { return mChannelIO; }

  // ---- identity and set-up ----
  const char* GetEffectName() const { return mEffectName; }
  const char* GetProductName() const { return mProductName; }
  const char* GetMfrName() const { return mMfrName; }
  int GetUniqueID() const { return mUniqueID; }
  int GetMfrID() const { return mMfrID; }
  int GetEffectVersion() const { return mVersion; }
  bool IsInstrument() const { return mIsInst; }
  bool DoesMIDI() const { return mDoesMIDI != 0; }
  bool DoesChunks() const { return mDoesChunks; }
  double GetSampleRate() const { return mSampleRate; }
  void SetSampleRate(double sr) { mSampleRate = sr; }
  int GetBlockSize() const { return mBlockSize; }
  int GetLatency() const { return mLatency; }
  int GetTailSize() const { return mTailSize; }
  bool IsBypassed() const { return mIsBypassed; }
  void SetBypassed(bool b) { mIsBypassed = b; }
  bool IsReady() const { return mReady; }
  std::vector<std::string>& GroupNames() { return mGroupNames; }

  PlugMutex& Mutex() { return mMutex; }
  // Marks code that must run with Mutex() held by the calling thread. A breach goes to the
  // breach handler: by default it is only counted (debug builds stop on it); tests install
  // their own. Costs one relaxed load and a thread-id comparison.
  void RequireLocked(const char* where) const {
    if (!mMutex.HeldByThisThread()) ReportLockBreach(where);
  }
  using LockBreachHandler = void (*)(const char* where);
  // Null restores the default; answers the handler that was installed.
  static LockBreachHandler SetLockBreachHandler(LockBreachHandler handler);
  static long LockBreaches();

 protected:
  void SetReady(bool ready) { mReady = ready; }
  double** InputPointers() { return mInData.data(); }
  double** OutputPointers() { return mOutData.data(); }

 private:
  enum class BlockKind { kRender, kPassThrough };
  void RunBlock(int nFrames, BlockKind kind, bool floatPath);
  void PassThroughRender(double** inputs, double** outputs, int nFrames);
  void ParseChannelIO(const char* text);
  static void ReportLockBreach(const char* where);
  int NextUserPresetNumber() const;

  std::vector<ChannelIOPair> mChannelIO;
  std::vector<std::unique_ptr<PlugParam>> mParams;
  std::vector<PresetRecord> mPresets;
  int32_t mCurrentPresetIdx = 0;
  int32_t mPendingEditEnd = -1;
  PlugMutex mMutex;
  bool mReady = false;
  bool mIsInst = false;
  bool mIsBypassed = false;
  std::vector<std::string> mGroupNames;
  double mSampleRate = 44100.0;
  int32_t mLatency = 0;
  char mEffectName[kPlugNameSize] = {};
  char mProductName[kPlugNameSize] = {};
  char mMfrName[kPlugNameSize] = {};
  int32_t mUniqueID = 0;
  int32_t mMfrID = 0;
  int32_t mVersion = 0;
  int32_t mHost = -1;
  int32_t mAPI = 0;
  int32_t mHostVersion = 0;
  bool mDoesChunks = false;
  int32_t mDoesMIDI = 0;
  int32_t mBlockSize = 0;
  int32_t mTailSize = 0;
  IPlugEditor* mGraphics = nullptr;
  IPlugHostLink* mHostLink = nullptr;
  std::vector<double*> mInData;
  std::vector<double*> mOutData;
  std::vector<double*> mInBound;  // data slots as attached, before splitting into chunks
  std::vector<double*> mOutBound;
  std::vector<std::unique_ptr<InputChannel>> mInChannels;
  std::vector<std::unique_ptr<OutputChannel>> mOutChannels;
  std::vector<std::string> mInputBusLabels;
  std::vector<std::string> mOutputBusLabels;
  HostTimeline mTimeline;
};
