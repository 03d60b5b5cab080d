#include "tools/session_plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "raster/text.h"

namespace caldrith_render {

namespace {

constexpr uint32_t kInk = 0xFF202020;
constexpr uint32_t kGrid = 0xFFDDDDDD;
constexpr uint32_t kFrame = 0xFF909090;
constexpr uint32_t kPulseColour = 0xFF1F5FBF;
constexpr uint32_t kLowColour = 0xFF2E8B57;
constexpr uint32_t kHighColour = 0xFFD2691E;
constexpr uint32_t kLevelColour = 0xFFB22222;
constexpr uint32_t kStoppedColour = 0xFFE4E4E4;
constexpr uint32_t kNoiseColour = 0xFF2A9D8F;
constexpr uint32_t kMusicColour = 0xFF7B3FA0;

constexpr int kLeft = 96, kRight = 24, kTop = 40, kBottom = 56, kGap = 16;
constexpr double kLevelFloorDb = -60.0;

struct Axis {
  double lo = 0.0, hi = 1.0;
  bool log = false;
  std::vector<double> ticks;
  double Map(double v) const {
    if (log) return (std::log10(v) - std::log10(lo)) / (std::log10(hi) - std::log10(lo));
    return (v - lo) / (hi - lo);
  }
};

std::string TickText(double v, double step) {
  char buf[32];
  if (std::fabs(v) >= 1000.0 && std::fmod(v, 1000.0) == 0.0) {
    std::snprintf(buf, sizeof(buf), "%gk", v / 1000.0);
  } else if (step >= 1.0 || step <= 0.0) {
    std::snprintf(buf, sizeof(buf), "%.0f", v);
  } else {
    int decimals = static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
    std::snprintf(buf, sizeof(buf), "%.*f", std::min(decimals, 4), v);
  }
  return buf;
}

std::string ClockText(double seconds, double step) {
  long long s = std::llround(step < 1.0 ? seconds * 10.0 : seconds);
  char buf[32];
  if (step < 1.0) {
    std::snprintf(buf, sizeof(buf), "%lld:%02lld.%lld", s / 600, s / 10 % 60, s % 10);
  } else if (seconds >= 3600.0) {
    std::snprintf(buf, sizeof(buf), "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
  } else {
    std::snprintf(buf, sizeof(buf), "%lld:%02lld", s / 60, s % 60);
  }
  return buf;
}

void Range(const std::vector<double>& a, const std::vector<double>& b, double* lo, double* hi) {
  *lo = std::numeric_limits<double>::infinity();
  *hi = -*lo;
  for (const auto* v : {&a, &b}) {
    for (double x : *v) {
      if (std::isfinite(x)) {
        *lo = std::min(*lo, x);
        *hi = std::max(*hi, x);
      }
    }
  }
}

Axis LinearAxis(double lo, double hi) {
  Axis axis;
  if (!std::isfinite(lo) || !std::isfinite(hi)) {
    lo = 0.0;
    hi = 1.0;
  }
  if (hi - lo < 1e-9) {
    double pad = std::max(std::fabs(lo) * 0.1, 0.5);
    lo -= pad;
    hi += pad;
    if (lo < 0.0 && hi - pad >= 0.0) lo = 0.0;
  }
  std::vector<double> ticks = LinearTicks(lo, hi, 5);
  double step = ticks.size() > 1 ? ticks[1] - ticks[0] : hi - lo;
  axis.lo = std::floor(lo / step + 1e-9) * step;
  axis.hi = std::ceil(hi / step - 1e-9) * step;
  axis.ticks = LinearTicks(axis.lo, axis.hi, 6);
  return axis;
}

Axis LogAxis(double lo, double hi) {
  Axis axis;
  axis.log = true;
  if (!std::isfinite(lo) || !std::isfinite(hi) || lo <= 0.0) {
    lo = 10.0;
    hi = 10000.0;
  }
  axis.lo = std::pow(10.0, std::floor(std::log10(lo) + 1e-9));
  axis.hi = std::pow(10.0, std::ceil(std::log10(std::max(hi, lo * 1.0001)) - 1e-9));
  if (axis.hi <= axis.lo) axis.hi = axis.lo * 10.0;
  int decades = static_cast<int>(std::lround(std::log10(axis.hi / axis.lo)));
  for (double d = axis.lo; d <= axis.hi * 1.0001; d *= 10.0) {
    for (double m : {1.0, 2.0, 5.0}) {
      if (decades > 2 && m != 1.0) continue;
      if (d * m <= axis.hi * 1.0001) axis.ticks.push_back(d * m);
    }
  }
  return axis;
}

class Painter {
 public:
  Painter(raster::Bitmap& bmp, raster::Font* font, raster::Font* bold, raster::Font* upright)
      : mBmp(bmp), mFont(font), mBold(bold), mUpright(upright) {}

  // One panel: frame, horizontal grid with labels, the vertical axis title, the series.
  void Panel(const raster::Rect& r, const Axis& axis, const char* title,
             const std::vector<std::pair<const std::vector<double>*, uint32_t>>& series,
             const std::vector<double>& timeTicks, double seconds) {
    for (double t : timeTicks) {
      int x = r.L + static_cast<int>(std::lround(t / seconds * r.W()));
      raster::DrawLine(mBmp, x, r.T, x, r.B - 1, kGrid, 1.f, false);
    }
    double step = axis.ticks.size() > 1 ? axis.ticks[1] - axis.ticks[0] : 1.0;
    for (double v : axis.ticks) {
      int y = Y(r, axis, v);
      if (y < r.T || y >= r.B) continue;
      raster::DrawLine(mBmp, r.L, y, r.R - 1, y, kGrid, 1.f, false);
      std::string text = TickText(v, axis.log ? v : step);
      raster::DrawText(mBmp, mFont, text.c_str(), raster::Rect(0, y - 8, r.L - 6, y + 8), kInk, 1.f,
                       raster::TextAlign::kRight);
    }
    raster::DrawLine(mBmp, r.L, r.T, r.R - 1, r.T, kFrame, 1.f, false);
    raster::DrawLine(mBmp, r.L, r.B - 1, r.R - 1, r.B - 1, kFrame, 1.f, false);
    raster::DrawLine(mBmp, r.L, r.T, r.L, r.B - 1, kFrame, 1.f, false);
    raster::DrawLine(mBmp, r.R - 1, r.T, r.R - 1, r.B - 1, kFrame, 1.f, false);
    // The axis title reads upwards, centred on the panel.
    raster::TextExtent ext;
    if (mUpright && raster::MeasureText(mUpright, title, &ext)) {
      int y = (r.T + r.B) / 2 + ext.width / 2;
      raster::DrawText(mBmp, mUpright, title, raster::Rect(8, y, 8 + ext.height, y + ext.width),
                       kInk, 1.f, raster::TextAlign::kLeft);
    }
    for (const auto& s : series) Series(r, axis, *s.first, s.second);
  }

  void Series(const raster::Rect& r, const Axis& axis, const std::vector<double>& v,
              uint32_t colour) {
    const double n = static_cast<double>(v.size());
    bool have = false;
    float px = 0, py = 0;
    for (size_t i = 0; i < v.size(); ++i) {
      if (!std::isfinite(v[i]) || (axis.log && v[i] <= 0.0)) {
        have = false;
        continue;
      }
      double f = std::clamp(axis.Map(v[i]), 0.0, 1.0);
      float x = static_cast<float>(r.L + (static_cast<double>(i) + 0.5) / n * r.W());
      float y = static_cast<float>(r.B - 1 - f * (r.H() - 1));
      if (have) {
        raster::DrawLineF(mBmp, px, py, x, y, colour, 1.f, true);
        raster::DrawLineF(mBmp, px, py + 1.f, x, y + 1.f, colour, 0.5f, true);
      }
      px = x;
      py = y;
      have = true;
    }
  }

  void Legend(const raster::Rect& r, int slot, const char* text, uint32_t colour) {
    int x = r.R - 150 + slot * 70, y = r.T + 8;
    raster::FillRect(mBmp, raster::Rect(x, y + 6, x + 18, y + 9), colour, 1.f);
    raster::DrawText(mBmp, mFont, text, raster::Rect(x + 22, y, x + 80, y + 16), kInk, 1.f,
                     raster::TextAlign::kLeft);
  }

  void Text(const std::string& s, const raster::Rect& box, raster::TextAlign align, bool bold) {
    raster::DrawText(mBmp, bold ? mBold : mFont, s.c_str(), box, kInk, 1.f, align);
  }

  static int Y(const raster::Rect& r, const Axis& axis, double v) {
    return r.B - 1 - static_cast<int>(std::lround(axis.Map(v) * (r.H() - 1)));
  }

 private:
  raster::Bitmap& mBmp;
  raster::Font* mFont;
  raster::Font* mBold;
  raster::Font* mUpright;
};

}  // namespace

std::vector<double> LinearTicks(double lo, double hi, int maxTicks) {
  std::vector<double> ticks;
  if (!(hi > lo) || !std::isfinite(lo) || !std::isfinite(hi) || maxTicks < 2) return ticks;
  double raw = (hi - lo) / (maxTicks - 1);
  double base = std::pow(10.0, std::floor(std::log10(raw)));
  double step = base * 10.0;
  for (double m : {1.0, 2.0, 5.0, 10.0}) {
    if (base * m >= raw * (1.0 - 1e-9)) {
      step = base * m;
      break;
    }
  }
  for (double k = std::ceil(lo / step - 1e-9); k * step <= hi + step * 1e-9; k += 1.0) {
    double v = k * step;
    ticks.push_back(std::fabs(v) < step * 1e-9 ? 0.0 : v);
  }
  return ticks;
}

std::vector<double> TimeTicks(double seconds, int maxTicks) {
  static const double kSteps[] = {0.1, 0.2, 0.5, 1,    2,    5,    10,    15,    30,    60,   120,
                                  300, 600, 900, 1800, 3600, 7200, 10800, 21600, 43200, 86400};
  std::vector<double> ticks;
  if (!(seconds > 0.0) || maxTicks < 2) return ticks;
  double step = kSteps[sizeof(kSteps) / sizeof(kSteps[0]) - 1];
  for (double s : kSteps) {
    if (seconds / s <= maxTicks - 1) {
      step = s;
      break;
    }
  }
  for (double k = 0; k * step <= seconds * (1.0 + 1e-9); k += 1.0) ticks.push_back(k * step);
  return ticks;
}

bool DrawSessionPlot(const PlotData& data, raster::Bitmap* out) {
  raster::Font* font = raster::FontCache::Instance().Get("Arial", 14);
  raster::Font* bold = raster::FontCache::Instance().Get("Arial", 16, raster::kFontBold);
  raster::Font* upright = raster::FontCache::Instance().Get("Arial", 14, 0, 90);
  if (!font || !bold) return false;
  if (!out->Create(kPlotWidth, kPlotHeight)) return false;
  out->Clear(raster::Premultiply(0xFFFFFFFF));
  Painter paint(*out, font, bold, upright);

  // A bed adds a panel for the depth of its pulse.
  const int count = data.noiseGate.empty() ? 3 : 4;
  const int panelH = (kPlotHeight - kTop - kBottom - (count - 1) * kGap) / count;
  raster::Rect panels[4];
  for (int i = 0; i < count; ++i) {
    int top = kTop + i * (panelH + kGap);
    panels[i] = raster::Rect(kLeft, top, kPlotWidth - kRight, top + panelH);
  }
  const double seconds = data.seconds > 0.0 ? data.seconds : 1.0;
  std::vector<double> timeTicks = TimeTicks(seconds, 13);
  double tickStep = timeTicks.size() > 1 ? timeTicks[1] - timeTicks[0] : seconds;

  paint.Text(data.title, raster::Rect(kLeft, 10, kPlotWidth - kRight, 30), raster::TextAlign::kLeft,
             true);

  // Where the transport stood still, behind everything else.
  const double columns = static_cast<double>(data.playing.size());
  bool stopped = false;
  for (size_t i = 0; i < data.playing.size(); ++i) {
    if (data.playing[i] != 0.0) continue;
    stopped = true;
    for (int k = 0; k < count; ++k) {
      const raster::Rect& r = panels[k];
      int x0 = r.L + static_cast<int>(std::lround(static_cast<double>(i) / columns * r.W()));
      int x1 = r.L + static_cast<int>(std::lround(static_cast<double>(i + 1) / columns * r.W()));
      raster::FillRect(*out, raster::Rect(x0, r.T, std::max(x1, x0 + 1), r.B), kStoppedColour, 1.f);
    }
  }

  double lo = 0, hi = 0;
  Range(data.pulseHz, {}, &lo, &hi);
  paint.Panel(panels[0], LinearAxis(lo, hi), "Pulse rate (Hz)", {{&data.pulseHz, kPulseColour}},
              timeTicks, seconds);

  Range(data.lowHz, data.highHz, &lo, &hi);
  paint.Panel(panels[1], LogAxis(lo, hi), "Band (Hz)",
              {{&data.lowHz, kLowColour}, {&data.highHz, kHighColour}}, timeTicks, seconds);
  paint.Legend(panels[1], 0, "low", kLowColour);
  paint.Legend(panels[1], 1, "high", kHighColour);

  Axis level;
  Range(data.levelDb, {}, &lo, &hi);
  level.lo = kLevelFloorDb;
  level.hi = std::isfinite(hi) && hi > 0.0 ? std::ceil(hi / 10.0) * 10.0 : 0.0;
  level.ticks = LinearTicks(level.lo, level.hi, 7);
  auto floored = [](std::vector<double> v) {
    for (double& x : v) {
      if (!std::isnan(x)) x = std::max(x, kLevelFloorDb);
    }
    return v;
  };
  const std::vector<double> clamped = floored(data.levelDb), noise = floored(data.noiseDb),
                            music = floored(data.mixDb);
  if (count == 4) {
    Range(noise, music, &lo, &hi);
    if (std::isfinite(hi) && hi > level.hi) level.hi = std::ceil(hi / 10.0) * 10.0;
    level.ticks = LinearTicks(level.lo, level.hi, 7);
  }
  paint.Panel(panels[2], level, "Level (dB)",
              {{&noise, kNoiseColour}, {&music, kMusicColour}, {&clamped, kLevelColour}}, timeTicks,
              seconds);
  if (count == 4) {
    paint.Legend(panels[2], 0, "noise", kNoiseColour);
    paint.Legend(panels[2], 1, "music", kMusicColour);
    Axis depth;
    depth.lo = 0.0;
    depth.hi = 100.0;
    depth.ticks = LinearTicks(0.0, 100.0, 6);
    paint.Panel(panels[3], depth, "Pulse depth (%)",
                {{&data.noiseGate, kNoiseColour}, {&data.mixGate, kMusicColour}}, timeTicks,
                seconds);
    paint.Legend(panels[3], 0, "noise", kNoiseColour);
    paint.Legend(panels[3], 1, "music", kMusicColour);
  }
  if (stopped) paint.Legend(panels[count == 4 ? 3 : 2], count == 4 ? -1 : 0, "stopped", 0xFFA0A0A0);

  const raster::Rect& bottom = panels[count - 1];
  for (double t : timeTicks) {
    int x = bottom.L + static_cast<int>(std::lround(t / seconds * bottom.W()));
    raster::DrawLine(*out, x, bottom.B, x, bottom.B + 4, kFrame, 1.f, false);
    paint.Text(ClockText(t, tickStep), raster::Rect(x - 40, bottom.B + 6, x + 40, bottom.B + 22),
               raster::TextAlign::kCentre, false);
  }
  paint.Text("time (min:s)", raster::Rect(bottom.L, bottom.B + 28, bottom.R, bottom.B + 46),
             raster::TextAlign::kCentre, false);
  return true;
}

PlotRecorder::PlotRecorder(HostedPlugin& plugin, const caldrith_session::Catalog& catalog,
                           int64_t totalFrames, int rate, int columns)
    : mPlugin(plugin), mTotal(std::max<int64_t>(1, totalFrames)), mRate(rate) {
  const char* names[3] = {"Isochronic", "Low Freq", "High Freq"};
  for (int i = 0; i < 3; ++i) mTags[i] = caldrith_session::FindParam(catalog, names[i]);
  columns = static_cast<int>(std::max<int64_t>(1, std::min<int64_t>(columns, mTotal)));
  mColumnFrames = (mTotal + columns - 1) / columns;
  size_t n = static_cast<size_t>((mTotal + mColumnFrames - 1) / mColumnFrames);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  mSumSq.assign(n, 0.0);
  mCount.assign(n, 0.0);
  mPulse.assign(n, nan);
  mLow.assign(n, nan);
  mHigh.assign(n, nan);
  mPlaying.assign(n, nan);
}

void PlotRecorder::Rendered(int64_t start, int frames, const double* interleaved, int channels,
                            bool playing) {
  double values[3];
  for (int i = 0; i < 3; ++i) {
    values[i] = mTags[i] >= 0 ? mPlugin.PlainValue(mPlugin.TagOf(mTags[i]))
                              : std::numeric_limits<double>::quiet_NaN();
  }
  for (int i = 0; i < frames; ++i) {
    size_t col = static_cast<size_t>((start + i) / mColumnFrames);
    if (col >= mSumSq.size()) break;
    double sq = 0.0;
    for (int c = 0; c < channels; ++c) {
      double v = interleaved[static_cast<size_t>(i) * static_cast<size_t>(channels) +
                             static_cast<size_t>(c)];
      sq += v * v;
    }
    mSumSq[col] += sq / channels;
    mCount[col] += 1.0;
    mPulse[col] = values[0];
    mLow[col] = values[1];
    mHigh[col] = values[2];
    mPlaying[col] = playing ? 1.0 : 0.0;
    if (mBed) {
      using namespace caldrith_session;
      const double nan = std::numeric_limits<double>::quiet_NaN();
      const bool noise = mBed->Value(kBedNoise) > 0.5, music = mBed->Value(kBedMix) > 0.5;
      mNoiseDb[col] = noise ? mBed->Value(kBedNoiseLevel) : nan;
      mMixDb[col] = music ? mBed->Value(kBedMixLevel) : nan;
      mNoiseGate[col] = noise ? mBed->Value(kBedNoiseGate) : nan;
      mMixGate[col] = music ? mBed->Value(kBedMixGate) : nan;
    }
  }
}

void PlotRecorder::SetBed(const SessionBed* bed) {
  mBed = bed;
  const size_t n = bed ? mSumSq.size() : 0;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (auto* v : {&mNoiseDb, &mMixDb, &mNoiseGate, &mMixGate}) v->assign(n, nan);
}

PlotData PlotRecorder::Finish(const std::string& title) const {
  PlotData d;
  d.title = title;
  d.seconds = static_cast<double>(mTotal) / mRate;
  d.pulseHz = mPulse;
  d.lowHz = mLow;
  d.highHz = mHigh;
  d.playing = mPlaying;
  d.noiseDb = mNoiseDb;
  d.mixDb = mMixDb;
  d.noiseGate = mNoiseGate;
  d.mixGate = mMixGate;
  d.levelDb.resize(mSumSq.size());
  for (size_t i = 0; i < mSumSq.size(); ++i) {
    double mean = mCount[i] > 0.0 ? mSumSq[i] / mCount[i] : 0.0;
    d.levelDb[i] = mCount[i] == 0.0 ? std::numeric_limits<double>::quiet_NaN()
                   : mean > 0.0     ? 10.0 * std::log10(mean)
                                    : -std::numeric_limits<double>::infinity();
  }
  return d;
}

}  // namespace caldrith_render
