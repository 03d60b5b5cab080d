#pragma once
// A picture of a rendered session: the pulse rate, the band and the output level over time,
// shaded where the host transport stood still, drawn with the project's raster layer.
#include <cstdint>
#include <string>
#include <vector>

#include "raster/raster.h"
#include "tools/session_render.h"

namespace caldrith_render {

struct PlotData {
  std::string title;
  double seconds = 0.0;  // length of the time axis
  // One entry per column of time, evenly spaced over `seconds`; NaN where unknown.
  std::vector<double> pulseHz, lowHz, highHz, levelDb;
  // The host transport: 1 playing, 0 stopped (shaded), NaN unknown; empty when not recorded.
  std::vector<double> playing;
  // The bed under the tones, empty without one: the noise's level (dBFS RMS) and the music's
  // (dB), NaN while off, and how deeply each follows the pulse (%).
  std::vector<double> noiseDb, mixDb, noiseGate, mixGate;
};

constexpr int kPlotWidth = 1200;
constexpr int kPlotHeight = 600;

// Draws the picture into `out` (created at kPlotWidth x kPlotHeight). False when no font can
// be had for the labels.
bool DrawSessionPlot(const PlotData& data, raster::Bitmap* out);

// "Nice" axis ticks from lo to hi: steps of 1, 2 or 5 times a power of ten, at most maxTicks.
std::vector<double> LinearTicks(double lo, double hi, int maxTicks);
// Ticks of a time axis in seconds: steps of whole seconds, minutes or hours that suit a clock.
std::vector<double> TimeTicks(double seconds, int maxTicks);

// Collects PlotData while a session renders: the level of each column from the audio, the
// pulse rate and the band from the plug-in's parameters as the host sees them.
class PlotRecorder : public RenderObserver {
 public:
  PlotRecorder(HostedPlugin& plugin, const caldrith_session::Catalog& catalog, int64_t totalFrames,
               int rate, int columns = 1100);
  void Rendered(int64_t start, int frames, const double* interleaved, int channels,
                bool playing) override;
  PlotData Finish(const std::string& title) const;
  // Records the bed's settings too.
  void SetBed(const SessionBed* bed);

 private:
  HostedPlugin& mPlugin;
  int mTags[3] = {-1, -1, -1};  // catalog indices of the pulse rate and the band ends
  int64_t mTotal;
  int mRate;
  int64_t mColumnFrames;
  std::vector<double> mSumSq, mCount, mPulse, mLow, mHigh, mPlaying;
  const SessionBed* mBed = nullptr;
  std::vector<double> mNoiseDb, mMixDb, mNoiseGate, mMixGate;
};

}  // namespace caldrith_render
