#pragma once
// The plug-in base behind the CLAP C interface. ClapPlugin wraps one plug-in object: it owns
// it from init to destroy, turns the host's calls into the base's, and hears the editor's
// edits through the base's host link to send them to the host as events.
#include <clap/clap.h>

#include <atomic>
#include <cstdint>
#include <vector>

#include "clap/clap_registration.h"
#include "framework/plug_base.h"

namespace clap_binding {

class EditorState;

// The host's optional interfaces, looked up once at init.
struct HostExtensions {
  const clap_host_params_t* params = nullptr;
  const clap_host_thread_check_t* threadCheck = nullptr;
  const clap_host_gui_t* gui = nullptr;
  const clap_host_posix_fd_support_t* posixFd = nullptr;
  const clap_host_timer_support_t* timer = nullptr;
  const clap_host_preset_load_t* presetLoad = nullptr;
  const clap_host_latency_t* latency = nullptr;
};

// An edit made in the editor, on its way to the host as an output event.
struct PendingEdit {
  uint16_t type;  // CLAP_EVENT_PARAM_GESTURE_BEGIN, _VALUE or _GESTURE_END
  clap_id param;
  double value;
};

class ClapPlugin : public IPlugHostLink {
 public:
  ClapPlugin(const clap_host_t* host, const ClapPluginRegistration& registration,
             const clap_plugin_descriptor_t* descriptor);
  ~ClapPlugin() override;
  ClapPlugin(const ClapPlugin&) = delete;
  ClapPlugin& operator=(const ClapPlugin&) = delete;

  const clap_plugin_t* Plugin() const { return &mPlugin; }
  static ClapPlugin* From(const clap_plugin_t* plugin);

  // ---- IPlugHostLink (UI thread, plug-in mutex held by the editor's edit) ----
  void BeginEdit(int paramIdx) override;
  void PerformEdit(int paramIdx, double normalized) override;
  void EndEdit(int paramIdx) override;
  void ResizeEditor(int width, int height) override;

  // ---- what the extensions share ----
  IPlugBase* Plug() const { return mPlug; }
  const clap_host_t* Host() const { return mHost; }
  const HostExtensions& HostExt() const { return mHostExt; }
  bool OnMainThread() const;
  bool OnAudioThread() const;
  bool Active() const { return mActive; }
  bool Processing() const { return mProcessing.load(std::memory_order_acquire); }
  // Host events in, editor edits out; the plug-in mutex held.
  void ApplyInputEvents(const clap_input_events_t* in);
  void SendPendingEdits(const clap_output_events_t* out);
  // A real value from the host, held to the parameter's range and steps (NaN ignored), and
  // applied as the VST 3 binding applies a host's value.
  void ApplyHostValue(int idx, double value);
  // After the plug-in changed its values itself (state, preset): the editor and the host learn.
  void ValuesChangedByPlugin();
  bool LoadPreset(int index);
  EditorState*& Editor() { return mEditor; }
  void SetOffline(bool offline) { mOffline = offline; }
  bool Offline() const { return mOffline; }

  // ---- the clap_plugin_t calls ----
  bool Init();
  void Destroy();
  bool Activate(double sampleRate, uint32_t minFrames, uint32_t maxFrames);
  void Deactivate();
  bool StartProcessing();
  void StopProcessing();
  void ResetProcessing();
  clap_process_status Process(const clap_process_t* process);
  const void* Extension(const char* id) const;

 private:
  void ApplyTransport(const clap_event_transport_t* transport);
  void RenderOutputs(const clap_process_t* process);
  void QueueEdit(uint16_t type, int paramIdx, double value);

  clap_plugin_t mPlugin;
  const clap_host_t* mHost;
  const ClapPluginRegistration& mRegistration;
  HostExtensions mHostExt;
  IPlugBase* mPlug = nullptr;
  EditorState* mEditor = nullptr;  // the open editor's host registrations
  bool mInitialised = false;
  bool mActive = false;
  std::atomic<bool> mProcessing{false};
  bool mOffline = false;

  // Per block: the last value of each parameter the events named, in the order first named,
  // applied at the block's start as the VST 3 binding applies its queues. Sized at init.
  std::vector<double> mBlockValue;
  std::vector<uint8_t> mBlockHas;
  std::vector<int> mBlockOrder;

  // Editor edits waiting for the next process or flush call; guarded by the plug-in mutex.
  static constexpr int kMaxPendingEdits = 512;
  PendingEdit mPending[kMaxPendingEdits];
  int mPendingCount = 0;
  std::atomic<bool> mFlushRequested{false};
};

// The extensions the binding offers, each a static table.
const clap_plugin_params_t* ParamsExtension();
const clap_plugin_state_t* StateExtension();
const clap_plugin_gui_t* GuiExtension();
const clap_plugin_posix_fd_support_t* PosixFdExtension();
const clap_plugin_timer_support_t* TimerExtension();
// Whether the host offers what the editor needs on this platform.
bool GuiPossible(const ClapPlugin& plug);
// Gives back the editor's window and host registrations; called from destroy as well.
void CloseEditor(ClapPlugin& plug);

}  // namespace clap_binding
