// An hour-long session rendered through the bundle and encoded to FLAC, as caldrith-render
// does it, on one thread: the tones alone, then over a bed of pink noise and a song. The encoder
// writes into a sink that keeps nothing, so the disk does not take part; x_realtime is the hour
// over the CPU time it took.
#include <benchmark/benchmark.h>
#include <sndfile.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "tools/plugin_host.h"
#include "tools/session_file.h"
#include "tools/session_render.h"

namespace {

// An evening wind-down stretched to an hour: fades, a long glide of the pulse rate, a second
// one of the band, a wave change, and a pause of the transport.
const char* const kHourSession =
    "0:00     preset \"Psychic - Focused alertness (11.0)\"\n"
    "0:00     Volume = 0\n"
    "0:20     Volume -> 60\n"
    "1:00     Isochronic = 12\n"
    "40:00    Isochronic -> 4.5\n"
    "1:00:00  end\n";

// Counts what the encoder writes and answers its seeks; the bytes go nowhere.
struct NullSink {
  sf_count_t size = 0, pos = 0;
};

SF_VIRTUAL_IO NullIo() {
  SF_VIRTUAL_IO io{};
  io.get_filelen = [](void* u) { return static_cast<NullSink*>(u)->size; };
  io.seek = [](sf_count_t offset, int whence, void* u) {
    NullSink* s = static_cast<NullSink*>(u);
    s->pos = whence == SEEK_SET ? offset : whence == SEEK_CUR ? s->pos + offset : s->size + offset;
    return s->pos;
  };
  io.read = [](void*, sf_count_t, void*) { return sf_count_t{0}; };
  io.write = [](const void*, sf_count_t count, void* u) {
    NullSink* s = static_cast<NullSink*>(u);
    s->pos += count;
    if (s->pos > s->size) s->size = s->pos;
    return count;
  };
  io.tell = [](void* u) { return static_cast<NullSink*>(u)->pos; };
  return io;
}

// Three minutes of a 44.1 kHz stereo song (two slow tones and a little noise), to be looped
// and resampled under the hour.
std::string WriteSong() {
  const std::string path = "/tmp/caldrith-bench-song.flac";
  SF_INFO info{};
  info.samplerate = 44100;
  info.channels = 2;
  info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!f) return "";
  std::vector<float> buf(44100 * 2);
  uint32_t x = 1;
  for (int s = 0; s < 180; ++s) {
    for (int i = 0; i < 44100; ++i) {
      const double t = (s * 44100.0 + i) / 44100.0;
      x = x * 1664525u + 1013904223u;
      const float n = static_cast<float>(x >> 8) / 16777216.0f - 0.5f;
      buf[static_cast<size_t>(i) * 2] =
          static_cast<float>(0.3 * std::sin(2 * M_PI * 220 * t)) + 0.05f * n;
      buf[static_cast<size_t>(i) * 2 + 1] =
          static_cast<float>(0.3 * std::sin(2 * M_PI * 331 * t)) - 0.05f * n;
    }
    sf_writef_float(f, buf.data(), 44100);
  }
  sf_close(f);
  return path;
}

// The tones alone (0), or over pink noise and a looped, resampled song, both pulsed (1).
void BM_HourLongSessionToFlac(benchmark::State& state) {
  const int rate = 48000, block = 512;
  const double seconds = 3600.0;
  const bool withBed = state.range(0) != 0;
  std::string session = kHourSession;
  std::string song;
  if (withBed) {
    song = WriteSong();
    session = "0:00 noise = pink -30\n0:00 noise gate = 50\n0:00 mix = \"" + song +
              "\" -12\n0:00 mix gate = 80\n" + session;
  }
  caldrith_render::HostedPlugin plug;
  plug.Open(CALDRITH_BENCH_BUNDLE, "caldrith-render");
  caldrith_session::Catalog catalog = plug.BuildCatalog();
  if (withBed) caldrith_session::AddBedParams(&catalog);
  caldrith_session::Session parsed;
  caldrith_session::ParseError error;
  if (!caldrith_session::ParseSession(session, catalog, &parsed, &error)) {
    state.SkipWithError(error.message.c_str());
    return;
  }
  plug.Start(rate, block, false, false);
  sf_count_t bytes = 0;
  for (auto _ : state) {
    std::unique_ptr<caldrith_render::SessionBed> bed;
    if (withBed) {
      std::string why;
      std::vector<std::unique_ptr<caldrith_render::MusicStream>> mixes;
      mixes.push_back(caldrith_render::MusicStream::Open(song, rate, &why));
      if (!mixes.back()) {
        state.SkipWithError(why.c_str());
        break;
      }
      bed = std::make_unique<caldrith_render::SessionBed>(rate, block, 1, false, std::move(mixes));
    }
    caldrith_render::SessionRenderer renderer(plug, &parsed, catalog, rate, block, false,
                                              static_cast<int64_t>(seconds * rate), {}, bed.get());
    NullSink sink;
    SF_VIRTUAL_IO io = NullIo();
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = renderer.Channels();
    info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_24;
    SNDFILE* file = sf_open_virtual(&io, SFM_WRITE, &info, &sink);
    if (!file) {
      state.SkipWithError(sf_strerror(nullptr));
      break;
    }
    int n = 0;
    while ((n = renderer.Render(block)) > 0) sf_writef_double(file, renderer.Interleaved(), n);
    sf_close(file);
    bytes = sink.size;
  }
  plug.Stop();
  state.counters["x_realtime"] =
      benchmark::Counter(seconds, benchmark::Counter::kIsIterationInvariantRate);
  state.counters["flac_MB"] = static_cast<double>(bytes) / 1e6;
}

}  // namespace

BENCHMARK(BM_HourLongSessionToFlac)->Arg(0)->Arg(1)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK_MAIN();
