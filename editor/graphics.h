#pragma once
// Placeholder declaration of the editor host; the editor work replaces this file with the
// full class. The plug-in base relies only on these members, all virtual or inline, so the
// framework links without the editor library.
class IPlugBase;

class IGraphics {
 public:
  virtual ~IGraphics() {}
  virtual void PushParamToControls(int paramIdx, double value, bool isNormalized) = 0;
  virtual bool CreateDrawSurfaces() = 0;
  virtual void StartEditEndCountdown(int ticks) = 0;
  virtual void StopEditEndCountdown() = 0;
  int FPS() const { return mFPS; }

 protected:
  int mFPS = 24;
};
