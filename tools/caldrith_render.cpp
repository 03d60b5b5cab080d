// caldrith-render: a command-line VST 3 host that renders the instrument to an audio file or
// plays it live, with one fixed setting or a session of timed changes. It loads the bundle and
// drives the plug-in only through the interfaces a host uses.
#include <sndfile.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cerrno>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

#include "raster/raster.h"
#include "tools/audio_output.h"
#include "tools/finish_stage.h"
#include "tools/loudness.h"
#include "tools/music_stream.h"
#include "tools/output_file.h"
#include "tools/plugin_host.h"
#include "tools/render_options.h"
#include "tools/session_file.h"
#include "tools/session_plot.h"
#include "tools/session_render.h"
#include "tools/session_timeline.h"
#include "vst3/host/host_support.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kExitInterrupted = 130;  // 128 + SIGINT, as shells report it

using caldrith_render::UsageError;
using caldrith_session::FormatTime;

std::string Extension(const std::string& path) {
  size_t dot = path.find_last_of('.');
  size_t slash = path.find_last_of('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string ext = path.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

std::string ExecutableDir() {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
  if (n <= 0) return ".";
  buf[n] = 0;
  std::string p(buf);
  return p.substr(0, p.find_last_of('/'));
}

bool Exists(const std::string& p) {
  return access(p.c_str(), F_OK) == 0;
}

std::string DefaultBundle() {
  const char* home = std::getenv("HOME");
  std::vector<std::string> places = BundleSearchPath(ExecutableDir(), home ? home : "");
  for (const std::string& candidate : places) {
    if (Exists(caldrith_host::BundleLibraryPath(candidate))) return candidate;
  }
  std::string msg = "no Caldrith.vst3 bundle found; looked for";
  for (const std::string& p : places) msg += "\n  " + p;
  throw std::runtime_error(msg + "\n(name one with --bundle)");
}

// A file the user named: missing or a folder is theirs to mend (exit 2), anything else the
// system's (exit 1). A file far larger than any of its kind (an audio file given by mistake)
// is refused without reading it all.
std::string ReadInput(const std::string& path, const std::string& what, size_t limit) {
  std::string text;
  int error = caldrith_render::ReadWholeFile(path, &text, limit);
  if (error == 0) return text;
  std::string msg = caldrith_render::SystemMessage("cannot read " + what, path, error);
  if (error == EFBIG) {
    throw UsageError{"cannot read " + what + " " + path + ": larger than " +
                     std::to_string(limit >> 20) + " MB"};
  }
  if (error == ENOENT || error == ENOTDIR || error == EISDIR || error == ENAMETOOLONG) {
    throw UsageError{msg};
  }
  throw std::runtime_error(msg);
}

struct OutputFormat {
  int format = 0;
  std::string description;
  int bytesPerSample = 4;  // in the file, for the length check; 0 for compressed formats
  bool rf64 = false;
};

bool OneOf(int rate, std::initializer_list<int> rates) {
  return std::find(rates.begin(), rates.end(), rate) != rates.end();
}

OutputFormat ChooseFormat(const RenderOptions& opts) {
  const std::string ext = Extension(opts.output);
  OutputFormat f;
  if (ext == "wav" || ext == "flac") {
    std::string sample =
        opts.sampleFormat.empty() ? (ext == "flac" ? "24" : "float") : opts.sampleFormat;
    if (ext == "flac" && sample == "float") {
      throw UsageError{"FLAC files hold no float samples: use --sample-format 24"};
    }
    f.format = (ext == "wav" ? SF_FORMAT_WAV : SF_FORMAT_FLAC) |
               (sample == "float" ? SF_FORMAT_FLOAT : SF_FORMAT_PCM_24);
    f.description = sample == "float" ? "float" : "24-bit";
    f.bytesPerSample = sample == "float" ? 4 : 3;
  } else if (ext == "ogg") {
    f.bytesPerSample = 0;
    f.format = SF_FORMAT_OGG | SF_FORMAT_VORBIS;
    f.description = "Ogg Vorbis";
  } else if (ext == "opus") {
    f.bytesPerSample = 0;
#ifdef CALDRITH_SNDFILE_OPUS
    f.format = SF_FORMAT_OGG | SF_FORMAT_OPUS;
#endif
    f.description = "Opus";
    if (!OneOf(opts.rate, {8000, 12000, 16000, 24000, 48000})) {
      throw UsageError{"Opus files take 8000, 12000, 16000, 24000 or 48000 Hz, not " +
                       std::to_string(opts.rate) + ": use --rate 48000"};
    }
  } else if (ext == "mp3") {
    f.bytesPerSample = 0;
#ifdef CALDRITH_SNDFILE_MPEG
    f.format = SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;
#endif
    f.description = "MP3";
    if (!OneOf(opts.rate, {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000})) {
      throw UsageError{"MP3 files take rates from 8000 to 48000 Hz (such as 44100 or 48000), not " +
                       std::to_string(opts.rate)};
    }
  } else {
    throw UsageError{"cannot tell the file type of \"" + opts.output +
                     "\": use .wav, .flac, .ogg, .opus or .mp3"};
  }
  if ((ext == "ogg" || ext == "opus" || ext == "mp3") && !opts.sampleFormat.empty()) {
    throw UsageError{"--sample-format applies to .wav and .flac files only"};
  }
  SF_INFO info{};
  info.samplerate = opts.rate;
  info.channels = 2;
  info.format = f.format;
  if (f.format == 0 || !sf_format_check(&info)) {
    throw UsageError{std::string("this system's sound file library (") + sf_version_string() +
                     ") cannot write ." + ext + " files: use .wav or .flac"};
  }
  return f;
}

// Decided before rendering: WAV past its 32-bit sizes becomes RF64; a type that cannot hold
// the length is refused.
void CheckLength(const RenderOptions& opts, int64 frames, int channels, OutputFormat* f) {
  const std::string ext = Extension(opts.output);
  switch (caldrith_render::ContainerFor(ext, frames, channels, f->bytesPerSample)) {
    case caldrith_render::Container::kRf64:
      f->rf64 = true;
      f->description += ", RF64";
      break;
    case caldrith_render::Container::kRefused:
      throw UsageError{"." + ext + " files cannot hold " +
                       FormatTime(static_cast<double>(frames) / opts.rate) + " at " +
                       std::to_string(opts.rate) + " Hz: use .wav (RF64)"};
    case caldrith_render::Container::kAsIs:
      break;
  }
  // A WAV file's size is known ahead: hours of rendering must not end on a full disk.
  if (ext == "wav") {
    const double needed = static_cast<double>(frames) * channels * f->bytesPerSample + 4096.0;
    const int64 free = caldrith_render::FreeBytesFor(opts.output);
    if (free >= 0 && static_cast<double>(free) < needed) {
      char sizes[96];
      std::snprintf(sizes, sizeof(sizes), " (%.1f MB needed, %.1f MB free)", needed / 1e6,
                    static_cast<double>(free) / 1e6);
      throw std::runtime_error(caldrith_render::SystemMessage("cannot write", opts.output, ENOSPC) +
                               sizes);
    }
  }
}

// A bar with the share done and, once it can be estimated, the time left.
class Progress {
 public:
  using Clock = std::chrono::steady_clock;
  Progress(double seconds, bool enabled)
      : mEnabled(enabled && seconds > 3.0), mStart(Clock::now()), mShown(mStart) {}
  void Update(double fraction) {
    if (!mEnabled) return;
    Clock::time_point now = Clock::now();
    int filled = std::clamp(static_cast<int>(fraction * 40.0), 0, 40);
    if (filled == mLast && now - mShown < std::chrono::milliseconds(500)) return;
    mLast = filled;
    mShown = now;
    double elapsed = std::chrono::duration<double>(now - mStart).count();
    std::string left = "";
    if (fraction >= 0.01 && fraction < 1.0 && elapsed > 0.5) {
      left = "  " + FormatTime(std::ceil(elapsed * (1.0 - fraction) / fraction)) + " left";
    }
    std::fprintf(stderr, "\r[%s%s] %3d%%%-14s",
                 std::string(static_cast<size_t>(filled), '#').c_str(),
                 std::string(static_cast<size_t>(40 - filled), '.').c_str(),
                 static_cast<int>(fraction * 100.0 + 0.5), left.c_str());
    std::fflush(stderr);
  }
  void Done() {
    if (mEnabled) std::fprintf(stderr, "\n");
  }

 private:
  bool mEnabled;
  int mLast = -1;
  Clock::time_point mStart, mShown;
};

double Db(double linear) {
  return linear > 0.0 ? 20.0 * std::log10(linear) : -INFINITY;
}

caldrith_session::Session LoadSession(const std::string& path,
                                      const caldrith_session::Catalog& catalog) {
  const std::string text = ReadInput(path, "the session file", 16u << 20);
  caldrith_session::Session session;
  caldrith_session::ParseError error;
  if (!caldrith_session::ParseSession(text, catalog, &session, &error)) {
    throw UsageError{caldrith_session::FormatParseError(path, error)};
  }
  return session;
}

// A value as the status line shows it: the display text of a named step, else the number.
std::string ShowValue(const caldrith_session::ParamEntry& p, double v) {
  for (const auto& vt : p.valueTexts) {
    double number = 0;
    if (vt.second == v && !ParseDouble(vt.first, &number)) return vt.first;
  }
  char buf[48];
  std::snprintf(buf, sizeof(buf), p.stepCount > 0 ? "%.0f" : "%.2f", v);
  std::string out = buf;
  if (!p.unit.empty()) out += (p.unit == "%" ? "" : " ") + p.unit;
  return out;
}

volatile std::sig_atomic_t gInterrupted = 0;

void OnInterrupt(int) {
  gInterrupted = 1;
}

// A `stop` does nothing while Play Anyway is on, and most presets turn it on: each such stop
// is reported before rendering, with what turned the switch on. What a preset does to it is
// tried out on a second instance, started from the same state, so that the one that renders
// is not touched.
void WarnAboutStops(caldrith_render::HostedPlugin& plug, const caldrith_session::Catalog& catalog,
                    const caldrith_session::Session& session, const RenderOptions& opts,
                    const std::vector<char>& stateIn) {
  using caldrith_session::SwitchEffect;
  const int param = caldrith_session::FindParam(catalog, "Play Anyway");
  const bool stops = std::any_of(session.actions.begin(), session.actions.end(), [](const auto& a) {
    return a.kind == caldrith_session::ActionKind::kStop;
  });
  if (param < 0 || !stops) return;
  caldrith_render::HostedPlugin probe;
  probe.OpenBeside(plug, opts.hostName);
  probe.BuildCatalog();
  if (!stateIn.empty()) probe.RestoreState(stateIn, opts.stateIn);
  probe.Start(opts.rate, 1, false, false);
  const Steinberg::Vst::ParamID tag = probe.TagOf(param);
  IEditController* controller = probe.Controller();
  std::vector<SwitchEffect> effects(catalog.presets.size(), SwitchEffect::kLeaves);
  std::vector<bool> tried(catalog.presets.size(), false);
  auto effectOf = [&](int preset) {
    if (tried[static_cast<size_t>(preset)] || !probe.HasPresets()) {
      return effects[static_cast<size_t>(preset)];
    }
    const caldrith_render::HostChange select{
        probe.PresetTag(), controller->plainParamToNormalized(probe.PresetTag(), preset)};
    SwitchEffect effect = SwitchEffect::kOn;
    probe.ProcessChanges({{tag, 0.0}});
    probe.ProcessChanges({select});
    if (probe.PlainValue(tag) <= 0.5) {
      probe.ProcessChanges({{tag, 1.0}});
      probe.ProcessChanges({select});
      effect = probe.PlainValue(tag) > 0.5 ? SwitchEffect::kLeaves : SwitchEffect::kOff;
    }
    tried[static_cast<size_t>(preset)] = true;
    return effects[static_cast<size_t>(preset)] = effect;
  };

  caldrith_session::SwitchState initial{
      probe.PlainValue(tag) > 0.5,
      stateIn.empty() ? "by default" : "by the state in " + opts.stateIn};
  int preset = -1;
  if (!opts.preset.empty() &&
      caldrith_session::ResolvePreset(catalog, opts.preset, &preset).empty()) {
    SwitchEffect effect = effectOf(preset);
    if (effect != SwitchEffect::kLeaves) {
      initial = {effect == SwitchEffect::kOn, "by --preset " + opts.preset};
    }
  }
  for (const std::string& p : opts.params) {
    size_t eq = p.find('=');
    double value = 0.0;
    if (caldrith_session::FindParam(catalog, p.substr(0, eq)) == param &&
        caldrith_session::ResolveValue(catalog.params[static_cast<size_t>(param)], p.substr(eq + 1),
                                       &value)
            .empty()) {
      initial = {value > 0.5, "by --param"};
    }
  }
  for (const auto& a : session.actions) {
    if (a.kind == caldrith_session::ActionKind::kPreset) effectOf(a.preset);
  }
  for (const std::string& w : caldrith_session::StopsWithoutEffect(session, catalog, param, initial,
                                                                   effects, opts.session)) {
    std::fprintf(stderr, "%s\n", w.c_str());
  }
}

// Feeds the audio callback from the renderer; nothing here allocates or locks. With music in
// the bed, files are read: a thread of its own then renders ahead into a ring, so the callback
// never waits on a disk.
class LiveFill : public caldrith_render::AudioFill {
 public:
  LiveFill(caldrith_render::SessionRenderer& renderer, caldrith_render::FinishStage& finish,
           int block, bool ahead, int rate)
      : mRenderer(renderer), mFinish(finish), mBlock(block) {
    if (!ahead) return;
    // Half a second ahead, and at least two blocks.
    mRing.assign(static_cast<size_t>(std::max(rate / 2, 2 * block)) * 2, 0.0f);
    mFeeder = std::thread([this] { Feed(); });
    // Full before the device starts asking.
    const size_t want = mRing.size() / 2 - static_cast<size_t>(block);
    for (int i = 0; i < 400 && !mDone.load() && mWrite.load() < want; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  ~LiveFill() override {
    mStop.store(true);
    if (mFeeder.joinable()) mFeeder.join();
  }
  int Fill(float* out, int frames) override {
    if (mRing.empty()) return Render(out, frames);
    const size_t capacity = mRing.size() / 2;
    const size_t r = mRead.load(std::memory_order_relaxed);
    const size_t w = mWrite.load(std::memory_order_acquire);
    const size_t n = std::min(static_cast<size_t>(frames), w - r);
    for (size_t i = 0; i < n; ++i) {
      const size_t at = (r + i) % capacity * 2;
      out[i * 2] = mRing[at];
      out[i * 2 + 1] = mRing[at + 1];
    }
    mRead.store(r + n, std::memory_order_release);
    if (n < static_cast<size_t>(frames) && !mDone.load(std::memory_order_acquire)) {
      // The feeder fell behind: silence rather than the end.
      std::fill(out + n * 2, out + static_cast<size_t>(frames) * 2, 0.0f);
      mLate.fetch_add(1, std::memory_order_relaxed);
      return frames;
    }
    return static_cast<int>(n);
  }
  int Late() const { return mLate.load(); }

 private:
  // Renders up to `frames` frames, finished, into out (2 channels); fewer at the end.
  int Render(float* out, int frames) {
    int done = 0;
    while (done < frames) {
      const double* src = nullptr;
      int n = 0;
      if (!mRendered) {
        n = mRenderer.Render(std::min(frames - done, mBlock));
        if (n <= 0) {
          mRendered = true;
          continue;
        }
        n = mFinish.Push(mRenderer.Interleaved(), n, &src);
      } else {
        n = mFinish.Flush(&src);
        if (n <= 0) break;
      }
      float* dst = out + static_cast<size_t>(done) * 2;
      for (int i = 0; i < n * 2; ++i) dst[i] = static_cast<float>(src[i]);
      done += n;
    }
    return done;
  }
  void Feed() {
    const size_t capacity = mRing.size() / 2;
    std::vector<float> chunk(static_cast<size_t>(mBlock) * 2);
    while (!mStop.load()) {
      const size_t w = mWrite.load(std::memory_order_relaxed);
      const size_t r = mRead.load(std::memory_order_acquire);
      if (capacity - (w - r) < static_cast<size_t>(mBlock)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        continue;
      }
      const int n = Render(chunk.data(), mBlock);
      for (size_t i = 0; i < static_cast<size_t>(n); ++i) {
        const size_t at = (w + i) % capacity * 2;
        mRing[at] = chunk[i * 2];
        mRing[at + 1] = chunk[i * 2 + 1];
      }
      mWrite.store(w + static_cast<size_t>(n), std::memory_order_release);
      if (n < mBlock) break;
    }
    mDone.store(true, std::memory_order_release);
  }

  caldrith_render::SessionRenderer& mRenderer;
  caldrith_render::FinishStage& mFinish;
  int mBlock;
  bool mRendered = false;
  std::vector<float> mRing;
  std::atomic<size_t> mRead{0}, mWrite{0};
  std::atomic<bool> mStop{false}, mDone{false};
  std::atomic<int> mLate{0};
  std::thread mFeeder;
};

int TerminalWidth() {
  winsize ws{};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col >= 20) return ws.ws_col;
  return 80;
}

std::string StatusLine(const caldrith_render::SessionRenderer& renderer,
                       const caldrith_session::Catalog& catalog, double elapsed, double total) {
  std::string line = "  " + FormatTime(std::floor(elapsed)) + " / " + FormatTime(total) + "  " +
                     (renderer.LivePlaying() ? "playing" : "stopped");
  const std::vector<int>& touched = renderer.TouchedParams();
  for (size_t i = 0; i < touched.size(); ++i) {
    const caldrith_session::ParamEntry& p = catalog.params[static_cast<size_t>(touched[i])];
    line += "  " + p.name + " " + ShowValue(p, renderer.LiveValue(i));
  }
  return line;
}

struct PlayResult {
  double seconds = 0.0;
  int underruns = 0;
  bool interrupted = false;
  std::string device;
};

PlayResult PlayLive(caldrith_render::AudioOutput& audio, int device, const RenderOptions& opts,
                    caldrith_render::SessionRenderer& renderer,
                    caldrith_render::FinishStage& finish, bool ahead,
                    const caldrith_session::Catalog& catalog) {
  LiveFill fill(renderer, finish, opts.block, ahead, opts.rate);
  std::string error;
  if (!audio.Open(device, opts.rate, renderer.Channels(), opts.block, &fill, &error)) {
    throw std::runtime_error(error);
  }
  if (!audio.Start(&error)) throw std::runtime_error(error);

  const bool status = !opts.quiet && isatty(STDERR_FILENO);
  const double total = static_cast<double>(renderer.TotalFrames()) / opts.rate;
  const int width = TerminalWidth();
  PlayResult result;
  std::chrono::steady_clock::time_point fadeDeadline;
  bool hung = false;
  while (!audio.Finished()) {
    if (gInterrupted && !result.interrupted) {
      result.interrupted = true;
      audio.RequestFade();
      fadeDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    }
    // A device that stopped calling back must not hold the exit.
    if (result.interrupted && std::chrono::steady_clock::now() > fadeDeadline) {
      hung = true;
      break;
    }
    if (status) {
      std::string line = StatusLine(renderer, catalog,
                                    static_cast<double>(audio.FramesPlayed()) / opts.rate, total);
      line.resize(static_cast<size_t>(width - 1), ' ');
      std::fprintf(stderr, "\r%s", line.c_str());
      std::fflush(stderr);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  audio.Close(hung);
  if (status) std::fprintf(stderr, "\n");
  result.seconds = static_cast<double>(audio.FramesPlayed()) / opts.rate;
  result.underruns = audio.Underruns() + fill.Late();
  result.device = "\"" + audio.DeviceName() + "\" (" + audio.DeviceApi() + ")";
  return result;
}

// Answers whether the user stopped it: what was rendered until then is still a complete,
// playable file, and replaces the target like a finished one.
bool RenderFile(const RenderOptions& opts, const OutputFormat& format,
                caldrith_render::SessionRenderer& renderer, caldrith_render::FinishStage& finish) {
  caldrith_render::AudioFileWriter file(opts.output, format.format, format.rf64, opts.rate,
                                        renderer.Channels());
  const double total = static_cast<double>(renderer.TotalFrames());
  Progress progress(total / opts.rate, !opts.quiet && isatty(STDERR_FILENO));
  bool interrupted = false;
  bool written = true;
  while (written) {
    if (gInterrupted) {
      interrupted = true;
      break;
    }
    const int rendered = renderer.Render(opts.block);
    const double* out = nullptr;
    const int n =
        rendered > 0 ? finish.Push(renderer.Interleaved(), rendered, &out) : finish.Flush(&out);
    if (rendered <= 0 && n <= 0) break;
    // A full disk ends the render at once: the rest would go nowhere.
    if (n > 0) written = file.Write(out, n);
    progress.Update(total > 0 ? static_cast<double>(renderer.Position()) / total : 1.0);
  }
  progress.Done();
  // Stopped before the first block: the file that was there stays.
  file.Finish(!interrupted || file.Frames() > 0);
  return interrupted;
}

int ListDevices() {
  caldrith_render::AudioOutput audio;
  std::string error;
  if (!audio.Init(&error)) throw std::runtime_error(error);
  int shown = 0;
  for (const caldrith_render::AudioDevice& d : audio.Devices()) {
    if (d.outputs <= 0) continue;
    std::printf("%s %-40s %-6s %3d outputs, %g Hz\n", d.isDefault ? "*" : " ", d.name.c_str(),
                d.api.c_str(), d.outputs, d.defaultRate);
    ++shown;
  }
  if (shown == 0) std::printf("(no audio output devices)\n");
  return 0;
}

// What the bed under the tones needs: the music files in the order the session's `mix`
// values count them (the session's own, then --mix), and whether noise and music are used.
struct BedPlan {
  bool used = false;
  bool noise = false, music = false, gated = false, loopOff = false;
  std::vector<std::string> paths;  // per mix value 1, 2, ...
  std::vector<std::string> where;  // "FILE:LINE:COLUMN" or "--mix", for messages
  int cliMix = 0;                  // the value of --mix's file, 0 when not given
};

BedPlan PlanBed(const RenderOptions& opts, const caldrith_session::Session& session,
                const caldrith_session::Catalog& catalog) {
  using namespace caldrith_session;
  BedPlan plan;
  plan.noise = !opts.noise.empty();
  plan.music = !opts.mix.empty();
  plan.gated = opts.noiseGate > 0.0 || opts.mixGate > 0.0;
  plan.loopOff = !opts.mixLoop;
  for (const Action& a : session.actions) {
    if (a.param < 0) continue;
    const int bed = catalog.params[static_cast<size_t>(a.param)].bed;
    if (bed < 0) continue;
    if (bed <= kBedNoiseGate) plan.noise = true;
    if (bed >= kBedMix) plan.music = true;
    if ((bed == kBedNoiseGate || bed == kBedMixGate) && a.value > 0.0) plan.gated = true;
    if (bed == kBedMixLoop && a.value < 0.5) plan.loopOff = true;
  }
  // A session's files are named from where the session is.
  std::string dir;
  const size_t slash = opts.session.find_last_of('/');
  if (slash != std::string::npos) dir = opts.session.substr(0, slash + 1);
  for (const MixFile& f : session.mixFiles) {
    plan.paths.push_back(!f.path.empty() && f.path[0] == '/' ? f.path : dir + f.path);
    plan.where.push_back(opts.session + ":" + std::to_string(f.line) + ":" +
                         std::to_string(f.column));
  }
  if (!opts.mix.empty()) {
    plan.paths.push_back(opts.mix);
    plan.where.push_back("--mix");
    plan.cliMix = static_cast<int>(plan.paths.size());
  }
  plan.used = plan.noise || plan.music;
  return plan;
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {
  }, sb{};
  return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

std::vector<std::unique_ptr<caldrith_render::MusicStream>> OpenMixes(const BedPlan& plan,
                                                                     int rate) {
  std::vector<std::unique_ptr<caldrith_render::MusicStream>> mixes;
  for (size_t i = 0; i < plan.paths.size(); ++i) {
    std::string error;
    mixes.push_back(caldrith_render::MusicStream::Open(plan.paths[i], rate, &error));
    if (!mixes.back()) {
      throw UsageError{plan.where[i] + ": cannot mix \"" + plan.paths[i] + "\": " + error};
    }
  }
  return mixes;
}

// The bed with the command line's settings, before the session's first changes; with the
// streams already opened (each render needs its own, at its start), or new ones.
std::unique_ptr<caldrith_render::SessionBed> MakeBed(
    const BedPlan& plan, const RenderOptions& opts, int block,
    std::vector<std::unique_ptr<caldrith_render::MusicStream>> mixes = {}) {
  using namespace caldrith_session;
  if (!plan.used) return nullptr;
  if (mixes.empty()) mixes = OpenMixes(plan, opts.rate);
  auto bed = std::make_unique<caldrith_render::SessionBed>(opts.rate, block, opts.seed,
                                                           opts.noiseMono, std::move(mixes));
  if (!opts.noise.empty()) {
    bed->Set(kBedNoise, opts.noise == "white" ? 1.0 : opts.noise == "pink" ? 2.0 : 3.0);
  }
  bed->Set(kBedNoiseLevel, opts.noiseLevel);
  bed->Set(kBedNoiseGate, opts.noiseGate);
  bed->Set(kBedMixLoop, opts.mixLoop ? 1.0 : 0.0);
  bed->Set(kBedMixLevel, opts.mixLevel);
  bed->Set(kBedMixGate, opts.mixGate);
  if (plan.cliMix > 0) bed->Set(kBedMix, plan.cliMix);
  return bed;
}

// Everything one render needs, on its own plug-in instance.
struct Pass {
  std::unique_ptr<caldrith_render::SessionBed> bed;
  std::unique_ptr<caldrith_render::SessionRenderer> renderer;
};

struct Interrupted {};

struct Measured {
  double loudness = -INFINITY;  // LUFS
  double truePeak = -INFINITY;  // dBTP
  bool interrupted = false;
};

// A measuring pass: the whole render (or, for --play, its first minute) on a second instance,
// at this gain and through the ceiling's limiter when one is given, measured and thrown away.
Measured MeasurePass(caldrith_render::HostedPlugin& plug, const RenderOptions& opts,
                     const caldrith_session::Catalog& catalog,
                     const caldrith_session::Session* session, const std::vector<char>& stateIn,
                     const std::vector<caldrith_render::HostChange>& initial, const BedPlan& plan,
                     int64 frames, double gainDb, double ceilingDb, const char* what) {
  caldrith_render::HostedPlugin probe;
  probe.OpenBeside(plug, opts.hostName);
  probe.BuildCatalog();
  if (!stateIn.empty()) probe.RestoreState(stateIn, opts.stateIn);
  const bool f64 = opts.precision == 64;
  probe.Start(opts.rate, opts.block, f64, false);
  auto bed = MakeBed(plan, opts, opts.block);
  caldrith_render::SessionRenderer renderer(probe, session, catalog, opts.rate, opts.block, f64,
                                            frames, initial, bed.get());
  renderer.SetGain(std::pow(10.0, gainDb / 20.0));
  caldrith_render::FinishStage finish(opts.rate, opts.block, ceilingDb, true);
  const double total = static_cast<double>(frames);
  const bool shown = !opts.quiet && isatty(STDERR_FILENO) && total / opts.rate > 3.0;
  if (shown) std::fprintf(stderr, "%s\n", what);
  Progress progress(total / opts.rate, shown);
  Measured m;
  while (!(m.interrupted = gInterrupted != 0)) {
    const int n = renderer.Render(opts.block);
    const double* out = nullptr;
    if ((n > 0 ? finish.Push(renderer.Interleaved(), n, &out) : finish.Flush(&out)) <= 0 &&
        n <= 0) {
      break;
    }
    progress.Update(total > 0 ? static_cast<double>(renderer.Position()) / total : 1.0);
  }
  progress.Done();
  probe.Stop();
  m.loudness = finish.Meter()->Integrated();
  m.truePeak = finish.Meter()->TruePeakDb();
  return m;
}

int Render(const RenderOptions& opts) {
  if (opts.listDevices) return ListDevices();
  // From the start, so that a Ctrl-C while the plug-in loads still ends in a clean exit; a file
  // being written is closed with what it has, not left without its header.
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  // Past a file size limit a write should fail with its cause, not kill the tool.
  signal(SIGXFSZ, SIG_IGN);
  const bool listing = opts.listParams || opts.listPresets;
  // Validate the files before any work is done.
  OutputFormat format;
  if (!opts.play && !listing) format = ChooseFormat(opts);
  std::vector<char> stateIn;
  if (!opts.stateIn.empty()) {
    std::string bytes = ReadInput(opts.stateIn, "the state file", 1u << 20);
    stateIn.assign(bytes.begin(), bytes.end());
  }

  caldrith_render::HostedPlugin plug;
  plug.Open(opts.bundle.empty() ? DefaultBundle() : opts.bundle, opts.hostName);
  if (listing) {
    if (opts.listParams) plug.ListParams();
    if (opts.listPresets) plug.ListPresets();
    return 0;
  }
  caldrith_session::Catalog catalog = plug.BuildCatalog();
  // Sessions also set the bed under the tones, after the plug-in's parameters.
  caldrith_session::Catalog sessionCatalog = catalog;
  caldrith_session::AddBedParams(&sessionCatalog);
  const bool haveSession = !opts.session.empty();
  caldrith_session::Session session;
  double seconds = opts.seconds;
  if (haveSession) {
    session = LoadSession(opts.session, sessionCatalog);
    if (opts.secondsGiven && session.endTime >= 0.0 && opts.seconds > session.endTime) {
      throw UsageError{opts.session + ":" + std::to_string(session.actions.back().line) +
                       ":1: the session ends at " + FormatTime(session.endTime) +
                       ": --seconds may shorten it, not lengthen it"};
    }
    seconds = caldrith_session::SessionSeconds(session, opts.secondsGiven ? opts.seconds : -1.0);
    if (!(seconds > 0.0)) {
      int line = session.actions.empty() ? 1 : session.actions.back().line;
      throw UsageError{opts.session + ":" + std::to_string(line) +
                       ":1: the session lasts no time: end it with a line such as "
                       "\"10:00 end\", or give --seconds"};
    }
  }

  const BedPlan bedPlan = PlanBed(opts, session, sessionCatalog);
  if (haveSession) {
    // Options for a part of the bed that nothing plays would do nothing.
    const std::pair<const char*, bool> unused[] = {{"--noise-mono", bedPlan.noise},
                                                   {"--noise-gate", bedPlan.noise},
                                                   {"--seed", bedPlan.noise},
                                                   {"--mix-gate", bedPlan.music},
                                                   {"--mix-loop", bedPlan.music}};
    for (const auto& u : unused) {
      if (!u.second &&
          std::find(opts.given.begin(), opts.given.end(), u.first) != opts.given.end()) {
        const bool music = std::string(u.first).find("mix") != std::string::npos;
        throw UsageError{std::string(u.first) + " does nothing: neither the command line nor " +
                         opts.session + " lays " + (music ? "music" : "noise") +
                         " under the tones"};
      }
    }
  }
  // Music files are read whole before anything renders, so a bad one is found at once; and
  // none may be the file being written.
  for (size_t i = 0; i < bedPlan.paths.size(); ++i) {
    if (!opts.play && SameFile(bedPlan.paths[i], opts.output)) {
      throw UsageError{bedPlan.where[i] + ": \"" + bedPlan.paths[i] +
                       "\" is also the output: the render would replace the music it mixes"};
    }
  }
  // Opened once here and kept for the written pass (a long MP3 is scanned to its end).
  std::vector<std::unique_ptr<caldrith_render::MusicStream>> mixes = OpenMixes(bedPlan, opts.rate);
  std::vector<double> mixSeconds;
  for (const auto& m : mixes) mixSeconds.push_back(m->Seconds());
  for (size_t i = 0; i < bedPlan.paths.size(); ++i) {
    if (bedPlan.loopOff && mixSeconds[i] < seconds) {
      std::fprintf(stderr,
                   "%s: note: \"%s\" lasts %s of the %s: with mix loop off, silence "
                   "follows its end\n",
                   bedPlan.where[i].c_str(), bedPlan.paths[i].c_str(),
                   FormatTime(mixSeconds[i]).c_str(), FormatTime(seconds).c_str());
    }
  }

  // The device is chosen before anything runs, so that a wrong name is the user's fault.
  caldrith_render::AudioOutput audio;
  int device = -1;
  if (opts.play) {
    std::string error;
    if (!audio.Init(&error)) throw std::runtime_error(error);
    if (!opts.device.empty()) {
      error = caldrith_render::ChooseDevice(audio.Devices(), opts.device, &device);
      if (!error.empty()) throw UsageError{error};
    } else {
      device = audio.DefaultDevice();
      if (device < 0) {
        throw std::runtime_error("there is no default audio output (see --list-devices)");
      }
    }
  }

  if (!opts.stateIn.empty()) {
    std::string why = caldrith_render::CheckState(catalog, stateIn);
    if (!why.empty()) throw UsageError{opts.stateIn + ": " + why};
    plug.RestoreState(stateIn, opts.stateIn);
  }
  std::vector<caldrith_render::HostChange> initial;
  if (!opts.preset.empty()) initial.push_back(plug.PresetChange(catalog, opts.preset));
  for (const std::string& p : opts.params) initial.push_back(plug.ParamChange(catalog, p));
  if (haveSession) WarnAboutStops(plug, sessionCatalog, session, opts, stateIn);

  const bool f64 = opts.precision == 64;
  const int64 total = static_cast<int64>(std::llround(seconds * opts.rate));
  if (!opts.play) CheckLength(opts, total, plug.Channels(), &format);

  // Loudness takes a first pass that measures; live play measures its first minute only.
  double gainDb = 0.0, firstLoudness = NAN;
  std::string loudnessNote;
  if (opts.loudnessGiven) {
    const int64 measured = opts.play ? std::min<int64>(total, 60LL * opts.rate) : total;
    auto measure = [&](double gain, double ceiling, const char* what) {
      Measured m = MeasurePass(plug, opts, sessionCatalog, haveSession ? &session : nullptr,
                               stateIn, initial, bedPlan, measured, gain, ceiling, what);
      if (m.interrupted) throw Interrupted{};
      return m;
    };
    try {
      const Measured first = measure(0.0, NAN, "measuring the loudness");
      firstLoudness = first.loudness;
      if (firstLoudness > -70.0) {
        gainDb = opts.loudness - firstLoudness;
        // Where the ceiling will take peaks down it takes some loudness with them: one more
        // pass, through the limiter, finds how much, and the written pass makes up for it.
        if (!opts.play && first.truePeak + gainDb > opts.ceiling) {
          const Measured limited = measure(gainDb, opts.ceiling, "measuring it under the ceiling");
          if (limited.loudness > -70.0) gainDb += opts.loudness - limited.loudness;
        }
      } else {
        loudnessNote = "too short or too quiet to measure: left at its own level";
      }
    } catch (const Interrupted&) {
      std::printf("stopped by the user while measuring the loudness: %s was left as it was\n",
                  opts.play ? "nothing played" : opts.output.c_str());
      return kExitInterrupted;
    }
  }
  const bool finishing = opts.loudnessGiven || opts.ceilingGiven;
  caldrith_render::FinishStage finish(opts.rate, opts.block, finishing ? opts.ceiling : NAN,
                                      finishing);

  plug.Start(opts.rate, opts.block, f64, opts.play);
  std::unique_ptr<caldrith_render::SessionBed> bed =
      MakeBed(bedPlan, opts, opts.block, std::move(mixes));
  caldrith_render::SessionRenderer renderer(plug, haveSession ? &session : nullptr, sessionCatalog,
                                            opts.rate, opts.block, f64, total, initial, bed.get());
  if (bedPlan.gated && !renderer.HasGate()) {
    throw std::runtime_error(
        "this Caldrith module does not share its pulse gate: noise gate and "
        "mix gate need the module of this release");
  }
  renderer.SetGain(std::pow(10.0, gainDb / 20.0));
  std::unique_ptr<caldrith_render::PlotRecorder> plot;
  if (!opts.plot.empty()) {
    plot = std::make_unique<caldrith_render::PlotRecorder>(plug, catalog, total, opts.rate);
    plot->SetBed(bed.get());
    renderer.SetObserver(plot.get());
  }

  PlayResult played;
  bool fileCut = false;
  if (opts.play) {
    played = PlayLive(audio, device, opts, renderer, finish, bedPlan.music, catalog);
  } else {
    fileCut = RenderFile(opts, format, renderer, finish);
  }
  plug.Stop();

  if (!opts.stateOut.empty()) {
    std::vector<char> state = plug.State();
    caldrith_render::WriteWholeFile(opts.stateOut, state.data(), state.size());
  }
  if (plot) {
    std::string title = haveSession ? "Session " + opts.session : "Caldrith";
    if (!plug.PresetName().empty()) title += ", preset \"" + plug.PresetName() + "\"";
    raster::Bitmap picture;
    if (!caldrith_render::DrawSessionPlot(plot->Finish(title), &picture)) {
      throw std::runtime_error("no font to label the plot with");
    }
    caldrith_render::ReplacingFile file(opts.plot);
    if (!raster::SavePngFile(picture, file.Path().c_str())) {
      throw std::runtime_error(caldrith_render::SystemMessage("cannot write", opts.plot, errno));
    }
    file.Commit();
  }
  if (!opts.editorPng.empty()) {
    using Snapshot = bool (*)(FUnknown*, const char*, const char*, double);
    auto snapshot = reinterpret_cast<Snapshot>(plug.Module().Symbol("CaldrithEditorSnapshotAt"));
    if (!snapshot) throw std::runtime_error("this module cannot draw its editor here");
    caldrith_render::ReplacingFile file(opts.editorPng);
    if (!snapshot(plug.Component(), opts.hover.c_str(), file.Path().c_str(), opts.editorScale)) {
      if (!opts.hover.empty()) throw UsageError{"no control shows " + Excerpt(opts.hover)};
      throw std::runtime_error("cannot write " + opts.editorPng);
    }
    file.Commit();
  }

  const int64 rendered = renderer.Position();
  std::string summary;
  char part[160];
  if (opts.play) {
    std::snprintf(part, sizeof(part), "played %.2f s on %s, %d Hz", played.seconds,
                  played.device.c_str(), opts.rate);
    summary = part;
    if (played.interrupted) summary += ", stopped by the user";
  } else {
    std::snprintf(part, sizeof(part), ": %.2f s, %d Hz, %s",
                  static_cast<double>(rendered) / opts.rate, opts.rate, format.description.c_str());
    summary = opts.output + part;
    if (fileCut) {
      summary += rendered > 0
                     ? ", stopped by the user"
                     : ", stopped by the user before any audio: the file was left as it was";
    }
  }
  if (!plug.PresetName().empty()) summary += ", preset \"" + plug.PresetName() + "\"";
  if (haveSession) {
    summary += ", session " + opts.session + " (" + FormatTime(seconds);
    if (session.endTime > seconds) {
      summary += " of " + FormatTime(session.endTime) + ", shortened by --seconds";
    }
    summary += ", " + std::to_string(session.actions.size()) + " actions)";
  }
  if (opts.play) summary += "; " + std::to_string(played.underruns) + " underruns";
  for (int c = 0; c < renderer.Channels(); ++c) {
    double rms =
        rendered > 0 ? std::sqrt(renderer.SumOfSquares(c) / static_cast<double>(rendered)) : 0.0;
    std::snprintf(part, sizeof(part), "; ch%d peak %.1f dBFS, RMS %.1f dBFS", c + 1,
                  Db(renderer.Peak(c)), Db(rms));
    summary += part;
  }
  if (const caldrith_render::LoudnessMeter* meter = finish.Meter()) {
    std::snprintf(part, sizeof(part), "; written: loudness %.1f LUFS, true peak %.1f dBTP",
                  meter->Integrated(), meter->TruePeakDb());
    summary += part;
    if (opts.loudnessGiven && loudnessNote.empty()) {
      std::snprintf(part, sizeof(part), " (%+.1f dB from %.1f LUFS%s)", gainDb, firstLoudness,
                    opts.play ? " in the first minute" : "");
      summary += part;
    }
    const double limited = finish.Limiter() ? finish.Limiter()->MaxReductionDb() : 0.0;
    if (limited > 0.05) {
      std::snprintf(part, sizeof(part), "; the ceiling took up to %.1f dB off peaks", limited);
      summary += part;
    }
    if (!loudnessNote.empty()) summary += "; loudness " + loudnessNote;
  }
  std::printf("%s\n", summary.c_str());
  if (opts.loudnessGiven && loudnessNote.empty() && !fileCut && finish.Meter() &&
      std::fabs(finish.Meter()->Integrated() - opts.loudness) > 0.5) {
    std::fprintf(stderr,
                 "note: %.1f LUFS was written, not %.1f: the ceiling of %.1f dBTP took "
                 "off more than the loudness allows\n",
                 finish.Meter()->Integrated(), opts.loudness, opts.ceiling);
  }
  bool clipped = false;
  for (int c = 0; c < renderer.Channels(); ++c) clipped = clipped || renderer.Peak(c) > 1.0;
  if (clipped && !finishing && !opts.play && format.description != "float") {
    std::fprintf(stderr,
                 "warning: the peak passes 0 dBFS and this file clips it: lower the "
                 "levels, or give --ceiling -1 or --loudness\n");
  }
  if (bed && !bed->MusicFailure().empty()) {
    std::fprintf(stderr, "caldrith-render: %s: the music is silent from there on\n",
                 bed->MusicFailure().c_str());
    return fileCut ? kExitInterrupted : kExitFailure;
  }
  // Stopping live play is how it ends; a file cut short is not the file that was asked for.
  return fileCut ? kExitInterrupted : 0;
}

}  // namespace

int main(int argc, char** argv) {
  RenderOptions opts;
  std::string err = ParseRenderOptions(argc, argv, &opts);
  if (err.empty()) err = UnusedOptionMessage(opts);
  if (!err.empty()) {
    std::fprintf(stderr, "caldrith-render: %s\n(try --help)\n", err.c_str());
    return kExitUsage;
  }
  if (opts.help) {
    std::printf("%s", RenderUsage("caldrith-render").c_str());
    return 0;
  }
  if (opts.version) {
    std::printf("caldrith-render %s\n", CALDRITH_VERSION);
    return 0;
  }
  try {
    return Render(opts);
  } catch (const UsageError& e) {
    std::fprintf(stderr, "caldrith-render: %s\n", e.message.c_str());
    return kExitUsage;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "caldrith-render: %s\n", e.what());
    return kExitFailure;
  }
}
