// caldrith-render: a command-line VST 3 host that renders the instrument to an audio file.
// It loads the bundle and drives the plug-in only through the interfaces a host uses.
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivstprocesscontext.h"
#include "pluginterfaces/vst/ivstunits.h"
#include "public.sdk/source/common/memorystream.h"
#include "tools/render_options.h"
#include "vst3/host/host_support.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

struct UsageError {
  std::string message;
};

std::string Narrow(const TChar* text) {
  std::string s;
  for (int i = 0; i < 128 && text[i]; ++i) s += static_cast<char>(text[i] & 0xFF);
  return s;
}

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

bool ReadFile(const std::string& path, std::vector<char>* out) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return false;
  out->assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
  return !f.bad();
}

// The plug-in seen through its host interfaces.
class Session {
 public:
  ~Session() { Close(); }

  void Open(const RenderOptions& opts) {
    std::string bundle = opts.bundle.empty() ? DefaultBundle() : opts.bundle;
    if (!mModule.Load(bundle))
      throw std::runtime_error("cannot load " + bundle + ": " + mModule.Error());
    mFactory = mModule.Factory();
    if (!mFactory) throw std::runtime_error("the module gave no plug-in factory");
    mHost = std::make_unique<caldrith_host::HostContext>(opts.hostName.c_str());
    IPluginFactory3* f3 = nullptr;
    if (mFactory->queryInterface(IPluginFactory3::iid, reinterpret_cast<void**>(&f3)) ==
            kResultOk &&
        f3) {
      f3->setHostContext(static_cast<IHostApplication*>(mHost.get()));
      f3->release();
    }
    for (int32 i = 0; i < mFactory->countClasses(); ++i) {
      PClassInfo info;
      if (mFactory->getClassInfo(i, &info) != kResultOk) continue;
      if (std::strcmp(info.category, kVstAudioEffectClass) != 0) continue;
      if (mFactory->createInstance(info.cid, IComponent::iid,
                                   reinterpret_cast<void**>(&mComponent)) == kResultOk) {
        mName = info.name;
        break;
      }
    }
    if (!mComponent) throw std::runtime_error("the module offers no audio plug-in class");
    if (mComponent->initialize(static_cast<IHostApplication*>(mHost.get())) != kResultOk) {
      throw std::runtime_error("the plug-in refused to initialize");
    }
    mInitialized = true;
    if (mComponent->queryInterface(IAudioProcessor::iid, reinterpret_cast<void**>(&mProcessor)) !=
        kResultOk) {
      throw std::runtime_error("the plug-in has no audio processor");
    }
    if (mComponent->queryInterface(IEditController::iid, reinterpret_cast<void**>(&mController)) !=
        kResultOk) {
      // A separate controller class: create and initialize it as hosts do.
      TUID cid;
      if (mComponent->getControllerClassId(cid) == kResultOk &&
          mFactory->createInstance(cid, IEditController::iid,
                                   reinterpret_cast<void**>(&mController)) == kResultOk) {
        mController->initialize(static_cast<IHostApplication*>(mHost.get()));
        mSeparateController = true;
      } else {
        throw std::runtime_error("the plug-in has no edit controller");
      }
    }
    mController->queryInterface(IUnitInfo::iid, reinterpret_cast<void**>(&mUnits));
  }

  void Close() {
    if (mActive) mComponent->setActive(false);
    mActive = false;
    if (mUnits) mUnits->release();
    mUnits = nullptr;
    if (mController) {
      if (mSeparateController) mController->terminate();
      mController->release();
    }
    mController = nullptr;
    if (mProcessor) mProcessor->release();
    mProcessor = nullptr;
    if (mComponent) {
      if (mInitialized) mComponent->terminate();
      mComponent->release();
    }
    mComponent = nullptr;
    mInitialized = false;
    if (mFactory) mFactory->release();
    mFactory = nullptr;
    mModule.Unload();
  }

  struct Param {
    ParameterInfo info;
    std::string title;
  };

  std::vector<Param> Params() {
    std::vector<Param> out;
    for (int32 i = 0; i < mController->getParameterCount(); ++i) {
      Param p{};
      if (mController->getParameterInfo(i, p.info) != kResultOk) continue;
      p.title = Narrow(p.info.title);
      out.push_back(p);
    }
    return out;
  }

  std::string ValueText(ParamID id, double normalized) {
    String128 text = {};
    if (mController->getParamStringByValue(id, normalized, text) != kResultOk) return "";
    return Narrow(text);
  }

  std::vector<std::string> PresetNames() {
    std::vector<std::string> names;
    if (!mUnits || mUnits->getProgramListCount() < 1) return names;
    ProgramListInfo list{};
    if (mUnits->getProgramListInfo(0, list) != kResultOk) return names;
    mPresetList = list.id;
    for (int32 i = 0; i < list.programCount; ++i) {
      String128 name = {};
      names.push_back(mUnits->getProgramName(list.id, i, name) == kResultOk ? Narrow(name) : "");
    }
    return names;
  }

  void ListParams() {
    std::printf("%-18s %10s %10s %10s  %-16s %s\n", "name", "min", "max", "default", "default text",
                "unit");
    for (const Param& p : Params()) {
      ParamID id = p.info.id;
      double lo = mController->normalizedParamToPlain(id, 0.0);
      double hi = mController->normalizedParamToPlain(id, 1.0);
      double def = mController->normalizedParamToPlain(id, p.info.defaultNormalizedValue);
      std::string defText = ValueText(id, p.info.defaultNormalizedValue);
      std::string kind = (p.info.flags & ParameterInfo::kIsProgramChange) ? "program change" : "";
      std::printf("%-18s %10g %10g %10g  %-16s %s%s\n", p.title.c_str(), lo, hi, def,
                  defText.c_str(), Narrow(p.info.units).c_str(), kind.c_str());
    }
  }

  void ListPresets() {
    std::vector<std::string> names = PresetNames();
    if (names.empty()) {
      std::printf("(the plug-in has no preset list)\n");
      return;
    }
    for (size_t i = 0; i < names.size(); ++i) std::printf("%3zu  %s\n", i, names[i].c_str());
  }

  void RestoreState(const std::string& path) {
    std::vector<char> bytes;
    if (!ReadFile(path, &bytes)) throw std::runtime_error("cannot read state file " + path);
    MemoryStream stream(bytes.data(), static_cast<TSize>(bytes.size()));
    if (mComponent->setState(&stream) != kResultOk) {
      std::fprintf(stderr, "warning: the plug-in did not accept all of %s\n", path.c_str());
    }
    stream.seek(0, IBStream::kIBSeekSet, nullptr);
    mController->setComponentState(&stream);
  }

  void SaveState(const std::string& path) {
    MemoryStream stream;
    if (mComponent->getState(&stream) != kResultOk)
      throw std::runtime_error("the plug-in gave no state");
    std::ofstream f(path, std::ios::binary);
    f.write(stream.getData(), static_cast<std::streamsize>(stream.getSize()));
    if (!f) throw std::runtime_error("cannot write state file " + path);
  }

  // The preset as the program-change parameter's normalized value.
  void QueuePreset(const std::string& preset, caldrith_host::ParamChanges* changes) {
    std::vector<std::string> names = PresetNames();
    const Param* program = nullptr;
    std::vector<Param> params = Params();
    for (const Param& p : params) {
      if (p.info.flags & ParameterInfo::kIsProgramChange) program = &p;
    }
    if (!program || names.empty()) throw UsageError{"the plug-in has no presets"};
    int index = -1;
    if (!ParseInt(preset, &index)) {
      for (size_t i = 0; i < names.size(); ++i) {
        if (names[i] == preset) {
          index = static_cast<int>(i);
          break;
        }
      }
      if (index < 0) {
        std::string msg = "no preset is named \"" + preset + "\"; closest:";
        for (const std::string& n : ClosestNames(preset, names, 5)) msg += "\n  \"" + n + "\"";
        throw UsageError{msg};
      }
    } else if (index < 0 || index >= static_cast<int>(names.size())) {
      throw UsageError{"preset index " + preset + " is outside 0.." +
                       std::to_string(names.size() - 1)};
    }
    double normalized = mController->plainParamToNormalized(program->info.id, index);
    mController->setParamNormalized(program->info.id, normalized);
    changes->Add(program->info.id, normalized);
    mPresetName = names[static_cast<size_t>(index)];
  }

  void QueueParam(const std::string& assignment, caldrith_host::ParamChanges* changes) {
    size_t eq = assignment.find('=');
    std::string name = assignment.substr(0, eq), text = assignment.substr(eq + 1);
    std::vector<Param> params = Params();
    const Param* found = nullptr;
    for (const Param& p : params) {
      if (p.title == name) found = &p;
    }
    if (!found) {
      for (const Param& p : params) {
        if (NameDistance(p.title, name) == 0) found = &p;  // differs in letter case only
      }
    }
    if (!found) {
      std::vector<std::string> titles;
      for (const Param& p : params) titles.push_back(p.title);
      std::string msg = "no parameter is named \"" + name + "\"; closest:";
      for (const std::string& n : ClosestNames(name, titles, 3)) msg += " \"" + n + "\"";
      throw UsageError{msg};
    }
    ParamID id = found->info.id;
    double lo = mController->normalizedParamToPlain(id, 0.0);
    double hi = mController->normalizedParamToPlain(id, 1.0);
    double value = 0.0;
    double normalized = 0.0;
    if (ParseDouble(text, &value)) {
      if (value < std::min(lo, hi) || value > std::max(lo, hi)) {
        char range[160];
        std::snprintf(range, sizeof(range), "\"%s\" takes values from %g to %g, not %s",
                      name.c_str(), lo, hi, text.c_str());
        throw UsageError{range};
      }
      normalized = mController->plainParamToNormalized(id, value);
    } else {
      // A display text such as a wave name: look for the step that shows it.
      int32 steps = found->info.stepCount;
      bool matched = false;
      for (int32 s = 0; steps > 0 && s <= steps && !matched; ++s) {
        double n = static_cast<double>(s) / steps;
        if (ValueText(id, n) == text) {
          normalized = n;
          matched = true;
        }
      }
      if (!matched) throw UsageError{"\"" + text + "\" is not a value of \"" + name + "\""};
    }
    mController->setParamNormalized(id, normalized);
    changes->Add(id, normalized);
  }

  caldrith_host::Module mModule;
  IPluginFactory* mFactory = nullptr;
  std::unique_ptr<caldrith_host::HostContext> mHost;
  IComponent* mComponent = nullptr;
  IAudioProcessor* mProcessor = nullptr;
  IEditController* mController = nullptr;
  IUnitInfo* mUnits = nullptr;
  bool mSeparateController = false;
  bool mInitialized = false;
  bool mActive = false;
  ProgramListID mPresetList = kNoProgramListId;
  std::string mName;
  std::string mPresetName;
};

class Progress {
 public:
  Progress(double seconds, bool enabled) : mEnabled(enabled && seconds > 3.0) {}
  void Update(double fraction) {
    if (!mEnabled) return;
    int filled = static_cast<int>(fraction * 40.0);
    if (filled == mLast) return;
    mLast = filled;
    std::fprintf(stderr, "\r[%s%s] %3d%%", std::string(static_cast<size_t>(filled), '#').c_str(),
                 std::string(static_cast<size_t>(40 - filled), '.').c_str(),
                 static_cast<int>(fraction * 100.0 + 0.5));
    std::fflush(stderr);
  }
  void Done() {
    if (mEnabled) std::fprintf(stderr, "\n");
  }

 private:
  bool mEnabled;
  int mLast = -1;
};

double Db(double linear) {
  return linear > 0.0 ? 20.0 * std::log10(linear) : -INFINITY;
}

int Render(const RenderOptions& opts) {
  // Validate the file before any work is done.
  std::string ext = Extension(opts.output);
  int major = 0;
  if (ext == "wav") {
    major = SF_FORMAT_WAV;
  } else if (ext == "flac") {
    major = SF_FORMAT_FLAC;
  } else if (!opts.listParams && !opts.listPresets) {
    throw UsageError{"cannot tell the file type of \"" + opts.output + "\": use .wav or .flac"};
  }
  std::string sampleFormat =
      opts.sampleFormat.empty() ? (ext == "flac" ? "24" : "float") : opts.sampleFormat;
  if (ext == "flac" && sampleFormat == "float")
    throw UsageError{"FLAC files hold no float samples: use --sample-format 24"};

  Session s;
  s.Open(opts);
  if (opts.listParams || opts.listPresets) {
    if (opts.listParams) s.ListParams();
    if (opts.listPresets) s.ListPresets();
    return 0;
  }

  if (!opts.stateIn.empty()) s.RestoreState(opts.stateIn);
  caldrith_host::ParamChanges changes(256);
  if (!opts.preset.empty()) s.QueuePreset(opts.preset, &changes);
  for (const std::string& p : opts.params) s.QueueParam(p, &changes);

  SpeakerArrangement stereo = SpeakerArr::kStereo;
  if (s.mProcessor->setBusArrangements(nullptr, 0, &stereo, 1) != kResultOk) {
    throw std::runtime_error("the plug-in refused a stereo output");
  }
  BusInfo bus{};
  int channels = 2;
  if (s.mComponent->getBusInfo(kAudio, kOutput, 0, bus) == kResultOk) channels = bus.channelCount;
  if (channels < 1 || channels > 8) throw std::runtime_error("unexpected output channel count");
  s.mComponent->activateBus(kAudio, kOutput, 0, true);
  if (s.mComponent->getBusCount(kEvent, kInput) > 0)
    s.mComponent->activateBus(kEvent, kInput, 0, true);
  const bool f64 = opts.precision == 64;
  if (s.mProcessor->canProcessSampleSize(f64 ? kSample64 : kSample32) != kResultTrue) {
    throw std::runtime_error("the plug-in cannot process " + std::to_string(opts.precision) +
                             "-bit samples");
  }
  ProcessSetup setup{kOffline, f64 ? kSample64 : kSample32, opts.block,
                     static_cast<SampleRate>(opts.rate)};
  if (s.mProcessor->setupProcessing(setup) != kResultOk)
    throw std::runtime_error("processing set-up refused");
  s.mComponent->setActive(true);
  s.mActive = true;
  s.mProcessor->setProcessing(true);

  SF_INFO info{};
  info.samplerate = opts.rate;
  info.channels = channels;
  info.format = major | (sampleFormat == "float" ? SF_FORMAT_FLOAT : SF_FORMAT_PCM_24);
  SNDFILE* file = sf_open(opts.output.c_str(), SFM_WRITE, &info);
  if (!file) throw std::runtime_error("cannot write " + opts.output + ": " + sf_strerror(nullptr));
  sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);

  const int64 total = static_cast<int64>(std::llround(opts.seconds * opts.rate));
  const int block = opts.block;
  std::vector<std::vector<float>> buf32(static_cast<size_t>(channels),
                                        std::vector<float>(static_cast<size_t>(block)));
  std::vector<std::vector<double>> buf64(static_cast<size_t>(channels),
                                         std::vector<double>(static_cast<size_t>(block)));
  std::vector<float*> ptr32;
  std::vector<double*> ptr64;
  for (int c = 0; c < channels; ++c) {
    ptr32.push_back(buf32[static_cast<size_t>(c)].data());
    ptr64.push_back(buf64[static_cast<size_t>(c)].data());
  }
  std::vector<double> interleaved(static_cast<size_t>(block * channels));
  std::vector<double> peak(static_cast<size_t>(channels), 0.0),
      sumSq(static_cast<size_t>(channels), 0.0);

  AudioBusBuffers out{};
  out.numChannels = channels;
  if (f64) {
    out.channelBuffers64 = ptr64.data();
  } else {
    out.channelBuffers32 = ptr32.data();
  }
  ProcessContext ctx{};
  ctx.state = ProcessContext::kPlaying | ProcessContext::kTempoValid |
              ProcessContext::kTimeSigValid | ProcessContext::kProjectTimeMusicValid |
              ProcessContext::kContTimeValid;
  ctx.sampleRate = opts.rate;
  ctx.tempo = 120.0;
  ctx.timeSigNumerator = 4;
  ctx.timeSigDenominator = 4;
  caldrith_host::EventList events(0);
  caldrith_host::ParamChanges none(1);
  ProcessData data{};
  data.processMode = kOffline;
  data.symbolicSampleSize = f64 ? kSample64 : kSample32;
  data.numOutputs = 1;
  data.outputs = &out;
  data.inputEvents = &events;
  data.processContext = &ctx;

  Progress progress(opts.seconds, !opts.quiet && isatty(STDERR_FILENO));
  bool writeOk = true;
  for (int64 pos = 0; pos < total; pos += block) {
    int n = static_cast<int>(std::min<int64>(block, total - pos));
    ctx.projectTimeSamples = pos;
    ctx.continousTimeSamples = pos;
    ctx.projectTimeMusic = static_cast<double>(pos) / opts.rate * ctx.tempo / 60.0;
    data.numSamples = n;
    data.inputParameterChanges = pos == 0 ? static_cast<IParameterChanges*>(&changes) : &none;
    s.mProcessor->process(data);
    for (int i = 0; i < n; ++i) {
      for (int c = 0; c < channels; ++c) {
        double v = f64 ? buf64[static_cast<size_t>(c)][static_cast<size_t>(i)]
                       : buf32[static_cast<size_t>(c)][static_cast<size_t>(i)];
        interleaved[static_cast<size_t>(i * channels + c)] = v;
        peak[static_cast<size_t>(c)] = std::max(peak[static_cast<size_t>(c)], std::fabs(v));
        sumSq[static_cast<size_t>(c)] += v * v;
      }
    }
    if (sf_writef_double(file, interleaved.data(), n) != n) writeOk = false;
    progress.Update(static_cast<double>(pos + n) / static_cast<double>(total));
  }
  progress.Done();
  s.mProcessor->setProcessing(false);
  s.mComponent->setActive(false);
  s.mActive = false;
  if (sf_close(file) != 0 || !writeOk)
    throw std::runtime_error("writing " + opts.output + " failed");
  if (!opts.stateOut.empty()) s.SaveState(opts.stateOut);
  if (!opts.editorPng.empty()) {
    using Snapshot = bool (*)(FUnknown*, const char*, const char*);
    auto snapshot = reinterpret_cast<Snapshot>(s.mModule.Symbol("CaldrithEditorSnapshot"));
    if (!snapshot) throw std::runtime_error("this module cannot draw its editor here");
    if (!snapshot(s.mComponent, opts.hover.c_str(), opts.editorPng.c_str())) {
      if (!opts.hover.empty()) throw UsageError{"no control shows \"" + opts.hover + "\""};
      throw std::runtime_error("writing " + opts.editorPng + " failed");
    }
  }

  std::string summary = opts.output;
  char part[96];
  std::snprintf(part, sizeof(part), ": %.2f s, %d Hz, %s", static_cast<double>(total) / opts.rate,
                opts.rate, sampleFormat == "float" ? "float" : "24-bit");
  summary += part;
  if (!s.mPresetName.empty()) summary += ", preset \"" + s.mPresetName + "\"";
  for (int c = 0; c < channels; ++c) {
    double rms =
        total > 0 ? std::sqrt(sumSq[static_cast<size_t>(c)] / static_cast<double>(total)) : 0.0;
    std::snprintf(part, sizeof(part), "; ch%d peak %.1f dBFS, RMS %.1f dBFS", c + 1,
                  Db(peak[static_cast<size_t>(c)]), Db(rms));
    summary += part;
  }
  std::printf("%s\n", summary.c_str());
  return 0;
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
