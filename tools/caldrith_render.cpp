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
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "raster/raster.h"
#include "tools/audio_output.h"
#include "tools/plugin_host.h"
#include "tools/render_options.h"
#include "tools/session_file.h"
#include "tools/session_plot.h"
#include "tools/session_render.h"
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

bool ReadText(const std::string& path, std::string* out) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return false;
  out->assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
  return !f.bad();
}

struct OutputFormat {
  int format = 0;
  std::string description;
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
  } else if (ext == "ogg") {
    f.format = SF_FORMAT_OGG | SF_FORMAT_VORBIS;
    f.description = "Ogg Vorbis";
  } else if (ext == "opus") {
#ifdef CALDRITH_SNDFILE_OPUS
    f.format = SF_FORMAT_OGG | SF_FORMAT_OPUS;
#endif
    f.description = "Opus";
    if (!OneOf(opts.rate, {8000, 12000, 16000, 24000, 48000})) {
      throw UsageError{"Opus files take 8000, 12000, 16000, 24000 or 48000 Hz, not " +
                       std::to_string(opts.rate) + ": use --rate 48000"};
    }
  } else if (ext == "mp3") {
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
  std::string text;
  if (!ReadText(path, &text)) throw UsageError{"cannot read the session file " + path};
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

// Feeds the audio callback from the renderer; nothing here allocates or locks.
class LiveFill : public caldrith_render::AudioFill {
 public:
  LiveFill(caldrith_render::SessionRenderer& renderer, int block)
      : mRenderer(renderer), mBlock(block) {}
  int Fill(float* out, int frames) override {
    const int channels = mRenderer.Channels();
    int done = 0;
    while (done < frames) {
      int n = mRenderer.Render(std::min(frames - done, mBlock));
      if (n <= 0) break;
      const double* src = mRenderer.Interleaved();
      float* dst = out + static_cast<size_t>(done) * static_cast<size_t>(channels);
      for (int i = 0; i < n * channels; ++i) dst[i] = static_cast<float>(src[i]);
      done += n;
    }
    return done;
  }

 private:
  caldrith_render::SessionRenderer& mRenderer;
  int mBlock;
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
                    const caldrith_session::Catalog& catalog) {
  LiveFill fill(renderer, opts.block);
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
  result.underruns = audio.Underruns();
  result.device = "\"" + audio.DeviceName() + "\" (" + audio.DeviceApi() + ")";
  return result;
}

// Answers whether the user stopped it: what was rendered until then is still a complete,
// playable file.
bool RenderFile(const RenderOptions& opts, const OutputFormat& format,
                caldrith_render::SessionRenderer& renderer) {
  SF_INFO info{};
  info.samplerate = opts.rate;
  info.channels = renderer.Channels();
  info.format = format.format;
  SNDFILE* file = sf_open(opts.output.c_str(), SFM_WRITE, &info);
  if (!file) throw std::runtime_error("cannot write " + opts.output + ": " + sf_strerror(nullptr));
  sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  const double total = static_cast<double>(renderer.TotalFrames());
  Progress progress(total / opts.rate, !opts.quiet && isatty(STDERR_FILENO));
  bool writeOk = true, interrupted = false;
  while (true) {
    if (gInterrupted) {
      interrupted = true;
      break;
    }
    int n = renderer.Render(opts.block);
    if (n <= 0) break;
    if (sf_writef_double(file, renderer.Interleaved(), n) != n) writeOk = false;
    progress.Update(total > 0 ? static_cast<double>(renderer.Position()) / total : 1.0);
  }
  progress.Done();
  if (sf_close(file) != 0 || !writeOk) {
    throw std::runtime_error("writing " + opts.output + " failed");
  }
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

int Render(const RenderOptions& opts) {
  if (opts.listDevices) return ListDevices();
  // From the start, so that a Ctrl-C while the plug-in loads still ends in a clean exit; a file
  // being written is closed with what it has, not left without its header.
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  const bool listing = opts.listParams || opts.listPresets;
  if (opts.play && opts.outputGiven) {
    throw UsageError{"--play plays instead of writing a file: leave out --output"};
  }
  // Validate the file before any work is done.
  OutputFormat format;
  if (!opts.play && !listing) format = ChooseFormat(opts);

  caldrith_render::HostedPlugin plug;
  plug.Open(opts.bundle.empty() ? DefaultBundle() : opts.bundle, opts.hostName);
  if (listing) {
    if (opts.listParams) plug.ListParams();
    if (opts.listPresets) plug.ListPresets();
    return 0;
  }
  caldrith_session::Catalog catalog = plug.BuildCatalog();
  const bool haveSession = !opts.session.empty();
  caldrith_session::Session session;
  double seconds = opts.seconds;
  if (haveSession) {
    session = LoadSession(opts.session, catalog);
    seconds = caldrith_session::SessionSeconds(session, opts.secondsGiven ? opts.seconds : -1.0);
    if (!(seconds > 0.0)) {
      int line = session.actions.empty() ? 1 : session.actions.back().line;
      throw UsageError{opts.session + ":" + std::to_string(line) +
                       ":1: the session lasts no time: end it with a line such as "
                       "\"10:00 end\", or give --seconds"};
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

  if (!opts.stateIn.empty()) plug.RestoreState(opts.stateIn);
  std::vector<caldrith_render::HostChange> initial;
  if (!opts.preset.empty()) initial.push_back(plug.PresetChange(catalog, opts.preset));
  for (const std::string& p : opts.params) initial.push_back(plug.ParamChange(catalog, p));

  const bool f64 = opts.precision == 64;
  plug.Start(opts.rate, opts.block, f64, opts.play);
  const int64 total = static_cast<int64>(std::llround(seconds * opts.rate));
  caldrith_render::SessionRenderer renderer(plug, haveSession ? &session : nullptr, catalog,
                                            opts.rate, opts.block, f64, total, initial);
  std::unique_ptr<caldrith_render::PlotRecorder> plot;
  if (!opts.plot.empty()) {
    plot = std::make_unique<caldrith_render::PlotRecorder>(plug, catalog, total, opts.rate);
    renderer.SetObserver(plot.get());
  }

  PlayResult played;
  bool fileCut = false;
  if (opts.play) {
    played = PlayLive(audio, device, opts, renderer, catalog);
  } else {
    fileCut = RenderFile(opts, format, renderer);
  }
  plug.Stop();

  if (!opts.stateOut.empty()) plug.SaveState(opts.stateOut);
  if (plot) {
    std::string title = haveSession ? "Session " + opts.session : "Caldrith";
    if (!plug.PresetName().empty()) title += ", preset \"" + plug.PresetName() + "\"";
    raster::Bitmap picture;
    if (!caldrith_render::DrawSessionPlot(plot->Finish(title), &picture)) {
      throw std::runtime_error("no font to label the plot with");
    }
    if (!raster::SavePngFile(picture, opts.plot.c_str())) {
      throw std::runtime_error("writing " + opts.plot + " failed");
    }
  }
  if (!opts.editorPng.empty()) {
    using Snapshot = bool (*)(FUnknown*, const char*, const char*, double);
    auto snapshot = reinterpret_cast<Snapshot>(plug.Module().Symbol("CaldrithEditorSnapshotAt"));
    if (!snapshot) throw std::runtime_error("this module cannot draw its editor here");
    if (!snapshot(plug.Component(), opts.hover.c_str(), opts.editorPng.c_str(),
                  opts.editorScale)) {
      if (!opts.hover.empty()) throw UsageError{"no control shows \"" + opts.hover + "\""};
      throw std::runtime_error("writing " + opts.editorPng + " failed");
    }
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
    if (fileCut) summary += ", stopped by the user";
  }
  if (!plug.PresetName().empty()) summary += ", preset \"" + plug.PresetName() + "\"";
  if (haveSession) {
    summary += ", session " + opts.session + " (" + FormatTime(seconds) + ", " +
               std::to_string(session.actions.size()) + " actions)";
  }
  if (opts.play) summary += "; " + std::to_string(played.underruns) + " underruns";
  for (int c = 0; c < renderer.Channels(); ++c) {
    double rms =
        rendered > 0 ? std::sqrt(renderer.SumOfSquares(c) / static_cast<double>(rendered)) : 0.0;
    std::snprintf(part, sizeof(part), "; ch%d peak %.1f dBFS, RMS %.1f dBFS", c + 1,
                  Db(renderer.Peak(c)), Db(rms));
    summary += part;
  }
  std::printf("%s\n", summary.c_str());
  // Stopping live play is how it ends; a file cut short is not the file that was asked for.
  return fileCut ? kExitInterrupted : 0;
}

}  // namespace

int main(int argc, char** argv) {
  RenderOptions opts;
  std::string err = ParseRenderOptions(argc, argv, &opts);
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
