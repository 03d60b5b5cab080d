// An hour of music under the tones: a minute of 44.1 kHz stereo, FLAC or MP3, looped for an hour
// and decoded, mixed and resampled to 48 kHz as the render asks for it, block by block on one
// thread. x_realtime is the hour over the CPU time it took.
#include <benchmark/benchmark.h>
#include <sndfile.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/music_stream.h"

namespace {

// Chords and a little noise, so that the encoder has real work and the decoder too.
std::string WriteMinute(int format, const char* name) {
  const std::string path = "/tmp/caldrith-music-bench-" + std::to_string(getpid()) + name;
  SF_INFO info{};
  info.samplerate = 44100, info.channels = 2, info.format = format;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!f) return "";
  std::vector<float> buf(2 * 44100);
  uint32_t noise = 1;
  for (int second = 0; second < 60; ++second) {
    for (int i = 0; i < 44100; ++i) {
      const double t = second + i / 44100.0;
      noise = noise * 1664525u + 1013904223u;
      const double n = (static_cast<int32_t>(noise) / 2147483648.0) * 0.02;
      buf[2 * i] = static_cast<float>(0.2 * std::sin(2 * M_PI * 220 * t) +
                                      0.15 * std::sin(2 * M_PI * 277.2 * t) + n);
      buf[2 * i + 1] =
          static_cast<float>(0.2 * std::sin(2 * M_PI * 329.6 * t) +
                             0.15 * std::sin(2 * M_PI * 440 * t * (1 + 0.001 * std::sin(t))) - n);
    }
    sf_writef_float(f, buf.data(), 44100);
  }
  sf_close(f);
  return path;
}

void BM_HourOfMusicTo48k(benchmark::State& state, int format, const char* name) {
  const std::string path = WriteMinute(format, name);
  std::string error;
  std::unique_ptr<caldrith_render::MusicStream> music =
      path.empty() ? nullptr : caldrith_render::MusicStream::Open(path, 48000, &error);
  if (!music) {
    state.SkipWithError(error.c_str());
    return;
  }
  music->SetLoop(true);
  const int block = 512;
  const int64_t hour = int64_t{3600} * 48000;
  std::vector<float> left(block), right(block);
  for (auto _ : state) {
    music->Restart();
    for (int64_t done = 0; done < hour; done += block)
      music->Read(left.data(), right.data(), block);
    benchmark::DoNotOptimize(left.data());
  }
  if (music->ReadFailed()) state.SkipWithError(music->FailureMessage().c_str());
  unlink(path.c_str());
  state.counters["x_realtime"] =
      benchmark::Counter(3600.0, benchmark::Counter::kIsIterationInvariantRate);
}

BENCHMARK_CAPTURE(BM_HourOfMusicTo48k, flac, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, ".flac")
    ->Unit(benchmark::kSecond)
    ->Iterations(1);
BENCHMARK_CAPTURE(BM_HourOfMusicTo48k, mp3, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, ".mp3")
    ->Unit(benchmark::kSecond)
    ->Iterations(1);

}  // namespace
