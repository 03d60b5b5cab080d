#pragma once
// What the plug-in base needs from its editor. The editor layer implements it; the base
// owns the installed editor and deletes it through this interface.
class IPlugEditor {
 public:
  virtual ~IPlugEditor() = default;

  // Frames per second of the editor's timer; the deferred edit end waits half a second.
  virtual int FrameRate() const = 0;
  // After `ticks` timer ticks the editor calls IPlugBase::FlushParamEditEnd.
  virtual void StartEditEndCountdown(int ticks) = 0;
  virtual void StopEditEndCountdown() = 0;
  // Posts a value for the controls bound to `paramIdx`; safe from any thread.
  virtual void PushParamToControls(int paramIdx, double value, bool isNormalized) = 0;
  // Allocates the off-screen surfaces; called once when the editor is installed.
  virtual bool CreateDrawSurfaces() = 0;
};
