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

double Sine(int n, int rate) {
  return 0.5 * std::sin(2 * kPi * 1000.0 * n / rate);
}

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
    for (size_t i = 0; i < buf.size(); ++i) buf[i] = sample(i / channels, i % channels);
    sf_writef_float(f, buf.data(), frames);
    sf_close(f);
    return path;
  }
  std::string Put(const std::string& name, const std::string& bytes) {
    const std::string path = mDir + "/" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return path;
  }
  std::unique_ptr<MusicStream> Open(const std::string& path) {
    mError.clear();
    return MusicStream::Open(path, 48000, &mError);
  }

  std::string mDir, mError;
};

// Reads in odd-sized blocks, as a host would; both sides are checked equal where they must be.
std::vector<float> ReadAll(MusicStream& m, int frames, std::vector<float>* right = nullptr) {
  std::vector<float> l(static_cast<size_t>(frames)), r(l.size());
  for (int at = 0; at < frames; at += 997) m.Read(&l[at], &r[at], std::min(997, frames - at));
  if (right) *right = r;
  return l;
}

// The largest difference from the 1 kHz sine at 48 kHz over [from, to).
double SineError(const std::vector<float>& x, int from, int to) {
  double worst = 0.0;
  for (int n = from; n < to; ++n) worst = std::fmax(worst, std::fabs(x[n] - Sine(n, 48000)));
  return worst;
}

}  // namespace

TEST_F(MusicStreamTest, ResampledSineKeepsPitchLevelAndLength) {
  auto m = Open(Write("a.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 44100, 1, 44100,
                      [](int n, int) { return Sine(n, 44100); }));
  ASSERT_TRUE(m) << mError;
  EXPECT_DOUBLE_EQ(m->Seconds(), 1.0);
  std::vector<float> r, l = ReadAll(*m, 50000, &r);
  EXPECT_TRUE(m->Ended());
  // In step with an ideal 1 kHz at 48 kHz: pitch, level and phase right, no click at the start
  // beyond the filter's settling.
  EXPECT_LT(SineError(l, 0, 100), 5e-3);
  EXPECT_LT(SineError(l, 100, 47900), 1e-4);
  EXPECT_EQ(l, r);
  // Exactly one second long, then silence.
  EXPECT_NE(l[47999], 0.0f);
  for (int n = 48000; n < 50000; ++n) ASSERT_EQ(l[n], 0.0f) << n;
}

TEST_F(MusicStreamTest, DownmixesToStereo) {
  const float c = 0.70710678f, nan = std::nanf("");
  const int wav = SF_FORMAT_WAV | SF_FORMAT_FLOAT, wavex = SF_FORMAT_WAVEX | SF_FORMAT_FLOAT;
  const std::vector<int> quad = {SF_CHANNEL_MAP_FRONT_LEFT, SF_CHANNEL_MAP_FRONT_RIGHT,
                                 SF_CHANNEL_MAP_REAR_LEFT, SF_CHANNEL_MAP_REAR_RIGHT};
  struct Case {
    int format;
    std::vector<float> values;  // one per channel, held for the whole file
    std::vector<int> map;
    float left, right;
  } cases[] = {
      {wav, {0.25f}, {}, 0.25f, 0.25f},
      {wav, {0.125f, -0.5f}, {}, 0.125f, -0.5f},
      // 5.1 in the WAVE order: L R C LFE Ls Rs, the LFE dropped.
      {wav, {.1f, .2f, .3f, .9f, .4f, .5f}, {}, .1f + c * (.3f + .4f), .2f + c * (.3f + .5f)},
      // A map in the header puts the channels where it says: quad, not L R C LFE.
      {wavex, {.1f, .2f, .3f, .4f}, quad, .1f + c * .3f, .2f + c * .4f},
      // Garbage in a float file becomes silence, not a blast.
      {wav, {nan, INFINITY}, {}, 0.0f, 8.0f},
  };
  for (const Case& k : cases) {
    const int channels = static_cast<int>(k.values.size());
    auto m = Open(Write(
        "d.wav", k.format, 48000, channels, 4800, [&](int, int ch) { return k.values[ch]; },
        k.map));
    ASSERT_TRUE(m) << mError;
    std::vector<float> r, l = ReadAll(*m, 4800, &r);
    SCOPED_TRACE(channels);
    EXPECT_NEAR(l[4000], k.left, 1e-6);
    EXPECT_NEAR(r[4000], k.right, 1e-6);
  }
}

TEST_F(MusicStreamTest, LoopsWithoutGapOrDriftAndEndsWithoutLoop) {
  // Ten periods of 1 kHz at 44.1 kHz, looped for 20 s: still one clean 1 kHz at 48 kHz.
  auto m = Open(Write("l.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 1, 441,
                      [](int n, int) { return Sine(n, 44100); }));
  ASSERT_TRUE(m) << mError;
  m->SetLoop(true);
  EXPECT_LT(SineError(ReadAll(*m, 20 * 48000), 100, 20 * 48000), 1e-4);
  EXPECT_FALSE(m->Ended());

  // Three frames at the render's rate: each sample in its place, pass after pass.
  m = Open(Write("t.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 48000, 1, 3,
                 [](int n, int) { return 0.25 * (n + 1); }));
  ASSERT_TRUE(m) << mError;
  m->SetLoop(true);
  std::vector<float> l = ReadAll(*m, 30000);
  for (int n = 0; n < 30000; ++n) ASSERT_EQ(l[n], 0.25f * (n % 3 + 1)) << n;

  // Without the loop: the file once, then zeros for ever; a restart plays it again.
  m->SetLoop(false);
  m->Restart();
  EXPECT_EQ(ReadAll(*m, 6), (std::vector<float>{0.25f, 0.5f, 0.75f, 0, 0, 0}));
  EXPECT_TRUE(m->Ended());
}

TEST_F(MusicStreamTest, PlaysAnMp3ToItsRealEnd) {
  // Three seconds at a variable bit rate, its header frame (which holds the length) cut off:
  // what the length is then guessed from must not end the music early.
  const std::string path = Write("v.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 44100, 2,
                                 3 * 44100, [](int n, int) { return 0.3 * std::sin(n * 0.06); });
  std::string bytes(1 << 20, '\0');
  FILE* f = std::fopen(path.c_str(), "rb");
  bytes.resize(std::fread(&bytes[0], 1, bytes.size(), f));
  std::fclose(f);
  ASSERT_TRUE(bytes.size() > 4 && uint8_t(bytes[0]) == 0xFF && (bytes[1] & 0xFE) == 0xFA);
  static const int kKbps[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
  Put("v.mp3", bytes.substr(144000 * kKbps[bytes[2] >> 4 & 15] / 44100 + (bytes[2] >> 1 & 1)));

  auto m = Open(path);
  ASSERT_TRUE(m) << mError;
  EXPECT_NEAR(m->Seconds(), 3.0, 0.1);
  EXPECT_NE(ReadAll(*m, 4 * 48000)[int(2.9 * 48000)], 0.0f);
  EXPECT_FALSE(m->ReadFailed()) << m->FailureMessage();
}

TEST_F(MusicStreamTest, ExplainsWhatIsWrongWithAFile) {
  const struct {
    std::string path, error;
  } cases[] = {
      {mDir + "/missing.flac", "no such file"},
      {mDir, "a folder, not an audio file"},
      {Put("notes.txt", "0:00 preset \"Focus\"\n"), "not an audio file libsndfile can read ("},
      {Put("blank.wav", ""), "an empty file, no audio in it"},
      {Write("silent.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 2, 0, nullptr),
       "no audio in it (no frames)"},
  };
  for (const auto& k : cases) {
    EXPECT_EQ(Open(k.path), nullptr);
    EXPECT_EQ(mError.rfind(k.error, 0), 0u) << k.path << ": " << mError;
  }

  // Cut in the middle: plays what is there, then silence and a note of what happened.
  const std::string cut = Write("cut.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 48000, 2, 96000,
                                [](int n, int) { return Sine(n, 48000); });
  struct stat st {};
  ASSERT_EQ(stat(cut.c_str(), &st), 0);
  ASSERT_EQ(truncate(cut.c_str(), st.st_size / 2), 0);
  auto m = Open(cut);
  ASSERT_TRUE(m) << mError;
  std::vector<float> l = ReadAll(*m, 96000);
  EXPECT_TRUE(m->ReadFailed());
  EXPECT_NE(m->FailureMessage().find("breaks off"), std::string::npos) << m->FailureMessage();
  EXPECT_NE(l[1000], 0.0f);
  EXPECT_EQ(l[95999], 0.0f);
  EXPECT_TRUE(m->Ended());
}
