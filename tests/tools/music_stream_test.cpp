// Music files as the render hears them: pitch, level and length through the resampler, the
// downmix, the loop's seam, and each way a file can be wrong.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "tools/music_stream.h"

using caldrith_render::MusicStream;

namespace {

const double kPi = 3.14159265358979323846;

class MusicStreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/caldrith-music-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    mDir = tmpl;
  }
  void TearDown() override { std::system(("rm -rf '" + mDir + "'").c_str()); }

  // Writes frames of sample(frame, channel); a map, when given, goes into the header.
  std::string Write(const std::string& name, int format, int rate, int channels, int frames,
                    const std::function<double(int, int)>& sample, std::vector<int> map = {}) {
    const std::string path = mDir + "/" + name;
    SF_INFO info{};
    info.samplerate = rate, info.channels = channels, info.format = format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    EXPECT_NE(f, nullptr) << sf_strerror(nullptr);
    // Answers false even when it keeps the map.
    if (!map.empty()) sf_command(f, SFC_SET_CHANNEL_MAP_INFO, map.data(), int(map.size() * 4));
    std::vector<float> buf(static_cast<size_t>(frames * channels));
    for (int i = 0; i < frames; ++i) {
      for (int c = 0; c < channels; ++c) buf[static_cast<size_t>(i * channels + c)] = sample(i, c);
    }
    sf_writef_float(f, buf.data(), frames);
    sf_close(f);
    return path;
  }

  std::string mDir;
};

struct Stereo {
  std::vector<float> l, r;
};

// Reads in odd-sized blocks, as a host would.
Stereo ReadAll(MusicStream& m, int frames) {
  Stereo s{std::vector<float>(static_cast<size_t>(frames)),
           std::vector<float>(static_cast<size_t>(frames))};
  for (int at = 0; at < frames; at += 997) m.Read(&s.l[at], &s.r[at], std::min(997, frames - at));
  return s;
}

// The largest difference from amp * sin(2 pi f n / rate) over [from, to).
double SineError(const std::vector<float>& x, double amp, double f, int rate, int from, int to) {
  double worst = 0.0;
  for (int n = from; n < to; ++n) {
    worst = std::fmax(worst, std::fabs(x[n] - amp * std::sin(2 * kPi * f * n / rate)));
  }
  return worst;
}

std::string Opened(const std::string& path, std::unique_ptr<MusicStream>* m) {
  std::string error;
  *m = MusicStream::Open(path, 48000, &error);
  return error;
}

}  // namespace

TEST_F(MusicStreamTest, ResampledSineKeepsPitchLevelAndLength) {
  const auto sine = [](int n, int) { return 0.5 * std::sin(2 * kPi * 1000.0 * n / 44100); };
  std::unique_ptr<MusicStream> m;
  ASSERT_EQ(Opened(Write("a.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 44100, 1, 44100, sine), &m),
            "");
  EXPECT_DOUBLE_EQ(m->Seconds(), 1.0);
  Stereo s = ReadAll(*m, 50000);
  EXPECT_TRUE(m->Ended());
  // In step with an ideal 1 kHz at 48 kHz: pitch, level and phase right, no click at the start
  // beyond the filter's settling.
  EXPECT_LT(SineError(s.l, 0.5, 1000.0, 48000, 0, 100), 5e-3);
  EXPECT_LT(SineError(s.l, 0.5, 1000.0, 48000, 100, 47900), 1e-4);
  EXPECT_EQ(s.l, s.r);
  // Exactly one second long, then silence.
  EXPECT_NE(s.l[47999], 0.0f);
  for (int n = 48000; n < 50000; ++n) ASSERT_EQ(s.l[n], 0.0f) << n;
}

TEST_F(MusicStreamTest, DownmixesToStereo) {
  const float c = 0.70710678f, nan = std::nanf("");
  struct Case {
    int channels, format;
    std::vector<float> values;  // one per channel, held for the whole file
    std::vector<int> map;
    float left, right;
  } cases[] = {
      {1, SF_FORMAT_WAV | SF_FORMAT_FLOAT, {0.25f}, {}, 0.25f, 0.25f},
      {2, SF_FORMAT_WAV | SF_FORMAT_FLOAT, {0.125f, -0.5f}, {}, 0.125f, -0.5f},
      // 5.1 in the WAVE order: L R C LFE Ls Rs, the LFE dropped.
      {6,
       SF_FORMAT_WAV | SF_FORMAT_FLOAT,
       {0.1f, 0.2f, 0.3f, 0.9f, 0.4f, 0.5f},
       {},
       0.1f + c * 0.3f + c * 0.4f,
       0.2f + c * 0.3f + c * 0.5f},
      // A map in the header puts the channels where it says: quad, not L R C LFE.
      {4,
       SF_FORMAT_WAVEX | SF_FORMAT_FLOAT,
       {0.1f, 0.2f, 0.3f, 0.4f},
       {SF_CHANNEL_MAP_FRONT_LEFT, SF_CHANNEL_MAP_FRONT_RIGHT, SF_CHANNEL_MAP_REAR_LEFT,
        SF_CHANNEL_MAP_REAR_RIGHT},
       0.1f + c * 0.3f,
       0.2f + c * 0.4f},
      // Garbage in a float file becomes silence, not a blast.
      {2, SF_FORMAT_WAV | SF_FORMAT_FLOAT, {nan, INFINITY}, {}, 0.0f, 8.0f},
  };
  for (const Case& k : cases) {
    std::unique_ptr<MusicStream> m;
    ASSERT_EQ(Opened(Write(
                         "d.wav", k.format, 48000, k.channels, 4800,
                         [&](int, int ch) { return k.values[ch]; }, k.map),
                     &m),
              "");
    Stereo s = ReadAll(*m, 4800);
    SCOPED_TRACE(k.channels);
    EXPECT_NEAR(s.l[4000], k.left, 1e-6);
    EXPECT_NEAR(s.r[4000], k.right, 1e-6);
  }
}

TEST_F(MusicStreamTest, LoopsWithoutGapOrDriftAndEndsWithoutLoop) {
  // Ten periods of 1 kHz at 44.1 kHz, looped for 20 s: still one clean 1 kHz at 48 kHz.
  const auto sine = [](int n, int) { return 0.5 * std::sin(2 * kPi * 1000.0 * n / 44100); };
  std::unique_ptr<MusicStream> m;
  ASSERT_EQ(Opened(Write("l.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 1, 441, sine), &m), "");
  m->SetLoop(true);
  Stereo s = ReadAll(*m, 20 * 48000);
  EXPECT_LT(SineError(s.l, 0.5, 1000.0, 48000, 100, 20 * 48000), 1e-4);
  EXPECT_FALSE(m->Ended());

  // Three frames at the render's rate: each sample in its place, pass after pass.
  ASSERT_EQ(Opened(Write("t.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 48000, 1, 3,
                         [](int n, int) { return 0.25 * (n + 1); }),
                   &m),
            "");
  m->SetLoop(true);
  s = ReadAll(*m, 30000);
  for (int n = 0; n < 30000; ++n) ASSERT_EQ(s.l[n], 0.25f * (n % 3 + 1)) << n;

  // Without the loop: the file once, then zeros for ever; a restart plays it again.
  m->SetLoop(false);
  m->Restart();
  s = ReadAll(*m, 10);
  EXPECT_EQ(s.l, (std::vector<float>{0.25f, 0.5f, 0.75f, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_TRUE(m->Ended());
}

TEST_F(MusicStreamTest, PlaysAnMp3ToItsRealEnd) {
  // Three seconds at a variable bit rate, its header frame (which holds the length) cut off:
  // what the length is then guessed from must not end the music early.
  const std::string path = Write("v.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 44100, 2,
                                 3 * 44100, [](int n, int) { return 0.3 * std::sin(n * 0.06); });
  std::vector<unsigned char> bytes(1 << 20);
  FILE* f = std::fopen(path.c_str(), "rb");
  bytes.resize(std::fread(bytes.data(), 1, bytes.size(), f));
  std::fclose(f);
  ASSERT_TRUE(bytes.size() > 4 && bytes[0] == 0xFF && (bytes[1] & 0xFE) == 0xFA);
  static const int kKbps[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
  const size_t first = 144000 * kKbps[bytes[2] >> 4 & 15] / 44100 + (bytes[2] >> 1 & 1);
  f = std::fopen(path.c_str(), "wb");
  std::fwrite(bytes.data() + first, 1, bytes.size() - first, f);
  std::fclose(f);

  std::unique_ptr<MusicStream> m;
  ASSERT_EQ(Opened(path, &m), "");
  EXPECT_NEAR(m->Seconds(), 3.0, 0.1);
  Stereo s = ReadAll(*m, 4 * 48000);
  EXPECT_NE(s.l[int(2.9 * 48000)], 0.0f);
  EXPECT_FALSE(m->ReadFailed()) << m->FailureMessage();
}

TEST_F(MusicStreamTest, ExplainsWhatIsWrongWithAFile) {
  const auto none = [](int, int) { return 0.0; };
  std::string text = mDir + "/notes.txt";
  FILE* f = std::fopen(text.c_str(), "w");
  std::fputs("0:00 preset \"Focus\"\n", f);
  std::fclose(f);
  std::string blank = mDir + "/blank.wav";
  std::fclose(std::fopen(blank.c_str(), "w"));
  const struct {
    std::string path, error;
  } cases[] = {
      {mDir + "/missing.flac", "no such file"},
      {mDir, "a folder, not an audio file"},
      {text, "not an audio file libsndfile can read ("},
      {blank, "an empty file, no audio in it"},
      {Write("silent.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 2, 0, none),
       "no audio in it (no frames)"},
  };
  for (const auto& k : cases) {
    std::unique_ptr<MusicStream> m;
    EXPECT_EQ(Opened(k.path, &m).rfind(k.error, 0), 0u) << k.path << ": " << Opened(k.path, &m);
    EXPECT_EQ(m, nullptr);
  }

  // Cut in the middle: plays what is there, then silence and a note of what happened.
  const std::string cut = Write("cut.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 48000, 2, 96000,
                                [](int n, int) { return 0.5 * std::sin(n * 0.05); });
  struct stat st {};
  stat(cut.c_str(), &st);
  ASSERT_EQ(truncate(cut.c_str(), st.st_size / 2), 0);
  std::unique_ptr<MusicStream> m;
  ASSERT_EQ(Opened(cut, &m), "");
  Stereo s = ReadAll(*m, 96000);
  EXPECT_TRUE(m->ReadFailed());
  EXPECT_NE(m->FailureMessage().find("breaks off"), std::string::npos) << m->FailureMessage();
  EXPECT_NE(s.l[1000], 0.0f);
  EXPECT_EQ(s.l[95999], 0.0f);
  EXPECT_TRUE(m->Ended());
}
