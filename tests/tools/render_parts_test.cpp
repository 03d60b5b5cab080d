// The picture of a session and the live output's callback, without a plug-in or a sound card.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "raster/raster.h"
#include "tools/audio_output.h"
#include "tools/session_plot.h"

using namespace caldrith_render;

namespace {

// The row of column x (from top to bottom, exclusive) whose pixel is nearest the colour, and
// how near it is (the sum of the channel differences).
int NearestRow(const raster::Bitmap& bmp, int x, uint32_t colour, int top, int bottom,
               int* distance) {
  int best = -1;
  *distance = 1 << 30;
  for (int y = top; y < bottom; ++y) {
    uint32_t p = raster::Unpremultiply(bmp.At(x, y));
    int d =
        std::abs(static_cast<int>(raster::RedOf(p)) - static_cast<int>(raster::RedOf(colour))) +
        std::abs(static_cast<int>(raster::GreenOf(p)) - static_cast<int>(raster::GreenOf(colour))) +
        std::abs(static_cast<int>(raster::BlueOf(p)) - static_cast<int>(raster::BlueOf(colour)));
    if (d < *distance) {
      *distance = d;
      best = y;
    }
  }
  return best;
}

bool HasInk(const raster::Bitmap& bmp, const raster::Rect& r) {
  for (int y = r.T; y < r.B; ++y) {
    for (int x = r.L; x < r.R; ++x) {
      if (raster::RedOf(bmp.At(x, y)) < 128) return true;
    }
  }
  return false;
}

class Ones : public AudioFill {
 public:
  explicit Ones(int frames) : mLeft(frames) {}
  int Fill(float* out, int frames) override {
    int n = std::min(frames, mLeft);
    for (int i = 0; i < 2 * n; ++i) out[i] = 1.0f;
    mLeft -= n;
    return n;
  }

 private:
  int mLeft;
};

}  // namespace

TEST(SessionPlot, AxisTicks) {
  EXPECT_EQ(LinearTicks(0, 10, 6), (std::vector<double>{0, 2, 4, 6, 8, 10}));
  EXPECT_EQ(LinearTicks(4.5, 12, 5), (std::vector<double>{6, 8, 10, 12}));
  EXPECT_EQ(LinearTicks(-60, 0, 7), (std::vector<double>{-60, -50, -40, -30, -20, -10, 0}));
  EXPECT_EQ(LinearTicks(0, 1000, 3), (std::vector<double>{0, 500, 1000}));
  EXPECT_TRUE(LinearTicks(5, 5, 5).empty());
  EXPECT_TRUE(LinearTicks(NAN, 5, 5).empty());
  EXPECT_EQ(TimeTicks(1500, 13),
            (std::vector<double>{0, 300, 600, 900, 1200, 1500}));  // every 5 minutes
  EXPECT_EQ(TimeTicks(3600, 13).size(), 13u);                      // 12 steps of 5 minutes
  EXPECT_EQ(TimeTicks(3601, 13)[1], 600.0);
  EXPECT_EQ(TimeTicks(20, 13)[1], 2.0);
  EXPECT_EQ(TimeTicks(1, 13).size(), 11u);
  EXPECT_TRUE(TimeTicks(0, 13).empty());
}

TEST(SessionPlot, EachSeriesWhereItsAxisPutsIt) {
  PlotData d;
  d.title = "Session test";
  d.seconds = 60;
  const int n = 100;
  for (int i = 0; i < n; ++i) {
    d.pulseHz.push_back(4.0 + 8.0 * i / (n - 1));  // axis 4 to 12
    d.lowHz.push_back(20.0);
    d.highHz.push_back(2000.0);  // log axis 10 to 10000
    d.levelDb.push_back(i < 50 ? -20.0 : -INFINITY);
    d.playing.push_back(i >= 60 && i < 70 ? 0.0 : 1.0);  // the transport stopped for 6 s
  }
  raster::Bitmap bmp;
  ASSERT_TRUE(DrawSessionPlot(d, &bmp));
  ASSERT_EQ(bmp.Width(), 1200);
  ASSERT_EQ(bmp.Height(), 600);
  // Panels 157 pixels high from y = 40, 16 apart, x from 96 to 1176.
  const int top[3] = {40, 213, 386}, h = 157, left = 96, width = 1080;
  const int i = 24;  // a column of the data
  const int x = left + static_cast<int>((i + 0.5) / n * width);
  auto expectRow = [&](int panel, double fraction, uint32_t colour, const char* what) {
    int y = top[panel] + h - 1 - static_cast<int>(std::lround(fraction * (h - 1)));
    int distance = 0;
    // The frame's rows are left out: only the series has these colours.
    int row = NearestRow(bmp, x, colour, top[panel] + 1, top[panel] + h - 1, &distance);
    EXPECT_LT(distance, 200) << what;
    EXPECT_LE(std::abs(row - y), 2) << what << " at " << row << ", not " << y;
  };
  expectRow(0, (8.0 * i / (n - 1)) / 8.0, 0xFF1F5FBF, "pulse rate");
  expectRow(1, (std::log10(20.0) - 1.0) / 3.0, 0xFF2E8B57, "low frequency");
  expectRow(1, (std::log10(2000.0) - 1.0) / 3.0, 0xFFD2691E, "high frequency");
  expectRow(2, 40.0 / 60.0, 0xFFB22222, "level");
  // Silence sits on the floor of the level axis.
  {
    const int xs = left + static_cast<int>((80 + 0.5) / n * width);
    int distance = 0;
    int row = NearestRow(bmp, xs, 0xFFB22222, top[2] + 1, top[2] + h, &distance);
    EXPECT_LT(distance, 200);
    EXPECT_GE(row, top[2] + h - 3);
  }
  // The stretch where the transport stood still is shaded in every panel, the rest is not.
  for (int p = 0; p < 3; ++p) {
    EXPECT_EQ(bmp.At(left + static_cast<int>(65.5 / n * width), top[p] + 5), 0xFFE4E4E4u) << p;
    EXPECT_EQ(bmp.At(left + static_cast<int>(30.5 / n * width), top[p] + 5), 0xFFFFFFFFu) << p;
  }
  // Labels: the title, the tick values left of each panel, the times under the last one.
  EXPECT_TRUE(HasInk(bmp, raster::Rect(left, 8, left + 200, 32)));
  for (int p = 0; p < 3; ++p) {
    EXPECT_TRUE(HasInk(bmp, raster::Rect(40, top[p], left - 4, top[p] + h))) << p;
    EXPECT_TRUE(HasInk(bmp, raster::Rect(0, top[p], 30, top[p] + h))) << p;  // axis title
  }
  EXPECT_TRUE(HasInk(bmp, raster::Rect(left - 20, 545, left + 20, 565)));  // "0:00"
  // Time ticks every 5 s: marks five pixels long under the last panel, nothing beside them.
  const int bottom = top[2] + h;
  for (int t = 0; t <= 60; t += 5) {
    const int tx = left + static_cast<int>(std::lround(t / 60.0 * width));
    for (int yy = bottom; yy <= bottom + 4; ++yy) {
      EXPECT_EQ(bmp.At(tx, yy), 0xFF909090u) << "tick at " << t << " s, row " << yy;
    }
    EXPECT_EQ(bmp.At(tx, bottom + 5), 0xFFFFFFFFu) << "below the tick at " << t << " s";
    if (t > 0 && t < 60) {
      EXPECT_EQ(bmp.At(tx - 1, bottom + 2), 0xFFFFFFFFu) << t;
      EXPECT_EQ(bmp.At(tx + 1, bottom + 2), 0xFFFFFFFFu) << t;
    }
  }
  EXPECT_TRUE(HasInk(bmp, raster::Rect(1176 - 20, 545, 1176 + 20, 565)));  // "1:00"
}

TEST(AudioOutput, FadesOutOverOneBufferThenStops) {
  AudioOutput out;
  Ones ones(1000);
  out.SetFill(&ones, 2);
  float buf[16];
  EXPECT_TRUE(out.Run(buf, 8, false));
  for (float v : buf) EXPECT_EQ(v, 1.0f);
  out.RequestFade();
  EXPECT_FALSE(out.Run(buf, 8, false));
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(buf[2 * i], 1.0f - (i + 1) / 8.0f) << i;
    EXPECT_EQ(buf[2 * i + 1], buf[2 * i]);
  }
  EXPECT_EQ(buf[15], 0.0f);
  EXPECT_TRUE(out.Faded());
  EXPECT_FALSE(out.Run(buf, 8, true));
  for (float v : buf) EXPECT_EQ(v, 0.0f);
  EXPECT_EQ(out.FramesPlayed(), 16);
  EXPECT_EQ(out.Underruns(), 1);
}

TEST(AudioOutput, TheEndOfTheAudioEndsTheStream) {
  AudioOutput out;
  Ones ones(5);
  out.SetFill(&ones, 2);
  float buf[16];
  EXPECT_FALSE(out.Run(buf, 8, false));
  for (int i = 0; i < 16; ++i) EXPECT_EQ(buf[i], i < 10 ? 1.0f : 0.0f) << i;
  EXPECT_EQ(out.FramesPlayed(), 5);
  EXPECT_FALSE(out.Faded());
}

TEST(AudioOutput, ChoosingADevice) {
  std::vector<AudioDevice> devices = {
      {0, "HDA Intel PCH: ALC3246 Analog (hw:0,0)", "ALSA", 2, 48000, false},
      {1, "pulse", "ALSA", 32, 44100, false},
      {2, "default", "ALSA", 32, 44100, true},
      {3, "HDA Intel PCH: HDMI 0 (hw:0,3)", "ALSA", 8, 44100, false},
      {4, "USB Mic", "ALSA", 0, 48000, false},
  };
  int index = -1;
  EXPECT_EQ(ChooseDevice(devices, "pulse", &index), "");
  EXPECT_EQ(index, 1);
  EXPECT_EQ(ChooseDevice(devices, "alc3246", &index), "");
  EXPECT_EQ(index, 0);
  EXPECT_EQ(ChooseDevice(devices, "DEFAULT", &index), "");
  EXPECT_EQ(index, 2);
  EXPECT_NE(ChooseDevice(devices, "hw:0", &index).find("more than one"), std::string::npos);
  std::string none = ChooseDevice(devices, "USB Mic", &index);  // no outputs
  EXPECT_NE(none.find("no output device is named"), std::string::npos) << none;
  EXPECT_NE(ChooseDevice(devices, "defualt", &index).find("\"default\""), std::string::npos);
  EXPECT_EQ(ChooseDevice({}, "pulse", &index), "there is no audio output device");
}

TEST(SessionPlot, TheBedGetsItsLevelsAndAPanelForItsPulseDepth) {
  PlotData d;
  d.seconds = 60;
  const int n = 100;
  const double nan = std::nan("");
  for (int i = 0; i < n; ++i) {
    d.pulseHz.push_back(8.0);
    d.lowHz.push_back(20.0);
    d.highHz.push_back(2000.0);
    d.levelDb.push_back(-20.0);
    d.noiseDb.push_back(-30.0);
    d.mixDb.push_back(i < 50 ? -10.0 : nan);  // the music ends halfway
    d.noiseGate.push_back(50.0);
    d.mixGate.push_back(i < 50 ? 80.0 : nan);
  }
  raster::Bitmap bmp;
  ASSERT_TRUE(DrawSessionPlot(d, &bmp));
  // Four panels of 114 pixels from y = 40, 16 apart; the level axis runs from -60 to 0 dB.
  const int top[4] = {40, 170, 300, 430}, h = 114, left = 96, width = 1080;
  auto rowOf = [&](int i, int panel, uint32_t colour, int* distance) {
    const int x = left + static_cast<int>((i + 0.5) / n * width);
    return NearestRow(bmp, x, colour, top[panel] + 1, top[panel] + h - 1, distance);
  };
  auto expectAt = [&](int i, int panel, double fraction, uint32_t colour, const char* what) {
    int distance = 0;
    const int row = rowOf(i, panel, colour, &distance);
    EXPECT_LT(distance, 200) << what;
    EXPECT_LE(
        std::abs(row - (top[panel] + h - 1 - static_cast<int>(std::lround(fraction * (h - 1))))), 2)
        << what << " at " << row;
  };
  expectAt(20, 2, 30.0 / 60.0, 0xFF2A9D8F, "noise level");
  expectAt(20, 2, 50.0 / 60.0, 0xFF7B3FA0, "music level");
  expectAt(20, 3, 0.5, 0xFF2A9D8F, "noise depth");
  expectAt(20, 3, 0.8, 0xFF7B3FA0, "music depth");
  int distance = 0;
  rowOf(80, 2, 0xFF7B3FA0, &distance);
  EXPECT_GT(distance, 60) << "no music line after the music ended";
}
