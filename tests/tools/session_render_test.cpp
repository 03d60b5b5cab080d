// caldrith-render with session files, run end to end against the built bundle: the audio is
// what the same changes give when sent by hand through the VST 3 interfaces; glides end on
// their exact values; the transport stops and resumes; --play runs on ALSA's null device.
#include <gtest/gtest.h>

#if defined(CALDRITH_RENDER_TOOL) && defined(CALDRITH_TEST_BUNDLE)
#include <dirent.h>
#include <ebur128.h>
#include <fcntl.h>
#include <sndfile.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivstprocesscontext.h"
#include "alloc_counter.h"
#include "raster/raster.h"
#include "tools/plugin_host.h"
#include "tools/session_render.h"
#include "vst3/host/host_support.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

constexpr ParamID kIsochronicTag = 0, kWaveTag = 8, kVolumeTag = 13;

// ctest runs the cases as processes side by side: each has files of its own.
std::string TempPath(const std::string& name) {
  return std::string(::testing::TempDir()) + "caldrith_session_" + std::to_string(getpid()) + "_" +
         name;
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream f(path, std::ios::binary);
  f << text;
}

std::string ReadText(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// The tool's temporary files beside `target` (.NAME.caldrith-XXXXXX.tmp).
std::vector<std::string> TempFilesOf(const std::string& target) {
  const size_t slash = target.find_last_of('/');
  const std::string folder = target.substr(0, slash + 1);
  const std::string prefix = "." + target.substr(slash + 1) + ".caldrith-";
  std::vector<std::string> found;
  if (DIR* dir = opendir(folder.c_str())) {
    while (dirent* e = readdir(dir)) {
      if (std::string(e->d_name).rfind(prefix, 0) == 0) found.push_back(folder + e->d_name);
    }
    closedir(dir);
  }
  return found;
}

struct ToolRun {
  int code = -1;
  std::string out, err;
};

// Runs the tool with a shell's quoting; `env` is put before the command.
ToolRun RunTool(const std::string& args, const std::string& env = "") {
  std::string out = TempPath("stdout.txt"), err = TempPath("stderr.txt");
  std::string cmd =
      env + " " + CALDRITH_RENDER_TOOL + " " + args + " >" + out + " 2>" + err + " </dev/null";
  int status = std::system(cmd.c_str());
  ToolRun r;
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.out = ReadText(out);
  r.err = ReadText(err);
  return r;
}

// The samples of a 32-bit float WAV file, interleaved; empty when it is not one.
std::vector<float> ReadFloatWav(const std::string& path) {
  std::string bytes = ReadText(path);
  std::vector<float> out;
  if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0) {
    return out;
  }
  size_t pos = 12;
  while (pos + 8 <= bytes.size()) {
    uint32_t size = 0;
    std::memcpy(&size, bytes.data() + pos + 4, 4);
    if (bytes.compare(pos, 4, "data") == 0) {
      size_t n = std::min<size_t>(size, bytes.size() - pos - 8) / sizeof(float);
      out.resize(n);
      std::memcpy(out.data(), bytes.data() + pos + 8, n * sizeof(float));
      return out;
    }
    pos += 8 + size + (size & 1);
  }
  return out;
}

// The component state's value of one parameter (the state is the 23 values in tag order).
double StateValue(const std::string& path, ParamID tag) {
  std::string s = ReadText(path);
  double v = NAN;
  if (s.size() >= (tag + 1) * 8) std::memcpy(&v, s.data() + tag * 8, 8);
  return v;
}

// One instance of the bundle's instrument, driven block by block as the tool must drive it.
class HandHost {
 public:
  HandHost(int rate, int block) : mRate(rate) {
    EXPECT_TRUE(mModule.Load(CALDRITH_TEST_BUNDLE)) << mModule.Error();
    mFactory = mModule.Factory();
    PClassInfo info;
    mFactory->getClassInfo(0, &info);
    mFactory->createInstance(info.cid, IComponent::iid, reinterpret_cast<void**>(&mComponent));
    mComponent->initialize(static_cast<IHostApplication*>(&mHost));
    mComponent->queryInterface(IAudioProcessor::iid, reinterpret_cast<void**>(&mProcessor));
    mComponent->queryInterface(IEditController::iid, reinterpret_cast<void**>(&controller));
    SpeakerArrangement stereo = SpeakerArr::kStereo;
    mProcessor->setBusArrangements(nullptr, 0, &stereo, 1);
    mComponent->activateBus(kAudio, kOutput, 0, true);
    mComponent->activateBus(kEvent, kInput, 0, true);
    ProcessSetup setup{kOffline, kSample32, block, static_cast<double>(rate)};
    mProcessor->setupProcessing(setup);
    mComponent->setActive(true);
    mProcessor->setProcessing(true);
    mLeft.resize(static_cast<size_t>(block));
    mRight.resize(static_cast<size_t>(block));
  }
  ~HandHost() {
    mProcessor->setProcessing(false);
    mComponent->setActive(false);
    controller->release();
    mProcessor->release();
    mComponent->terminate();
    mComponent->release();
    mFactory->release();
  }

  // Processes one block with these changes at offset 0; appends the output, interleaved.
  void Block(int frames, bool playing, int64 position, int64 continuous,
             caldrith_host::ParamChanges& changes, std::vector<float>* out) {
    float* channels[2] = {mLeft.data(), mRight.data()};
    AudioBusBuffers bus{};
    bus.numChannels = 2;
    bus.channelBuffers32 = channels;
    ProcessContext ctx{};
    ctx.state = ProcessContext::kTempoValid | ProcessContext::kTimeSigValid |
                ProcessContext::kProjectTimeMusicValid | ProcessContext::kContTimeValid |
                (playing ? ProcessContext::kPlaying : 0);
    ctx.sampleRate = mRate;
    ctx.tempo = 120.0;
    ctx.timeSigNumerator = 4;
    ctx.timeSigDenominator = 4;
    ctx.projectTimeSamples = position;
    ctx.continousTimeSamples = continuous;
    ctx.projectTimeMusic = static_cast<double>(position) / mRate * 2.0;
    caldrith_host::EventList events(0);
    ProcessData data{};
    data.processMode = kOffline;
    data.symbolicSampleSize = kSample32;
    data.numSamples = frames;
    data.numOutputs = 1;
    data.outputs = &bus;
    data.inputEvents = &events;
    data.inputParameterChanges = &changes;
    data.processContext = &ctx;
    mProcessor->process(data);
    for (int i = 0; i < frames; ++i) {
      out->push_back(mLeft[static_cast<size_t>(i)]);
      out->push_back(mRight[static_cast<size_t>(i)]);
    }
  }

  double Normalized(ParamID tag, double plain) {
    return controller->plainParamToNormalized(tag, plain);
  }

  IEditController* controller = nullptr;

 private:
  int mRate;
  caldrith_host::Module mModule;
  caldrith_host::HostContext mHost{"caldrith-render"};
  IPluginFactory* mFactory = nullptr;
  IComponent* mComponent = nullptr;
  IAudioProcessor* mProcessor = nullptr;
  std::vector<float> mLeft, mRight;
};

double Rms(const std::vector<float>& v, size_t fromFrame, size_t toFrame) {
  double sum = 0;
  for (size_t i = 2 * fromFrame; i < 2 * toFrame && i < v.size(); ++i) sum += v[i] * v[i];
  return std::sqrt(sum / std::max<double>(1.0, 2.0 * (toFrame - fromFrame)));
}

}  // namespace

TEST(SessionRender, MatchesTheSameChangesSentByHand) {
  const std::string session = TempPath("hand.txt"), wav = TempPath("hand.wav");
  WriteText(session,
            "0:00    Volume = 30\n"
            "0.0501  Isochronic = 23.5      # sample 2404.8, so 2405\n"
            "0.1     Volume -> 80           # from 30 at 0:00\n"
            "0.15    Wave = Triangle\n"
            "0.2     stop\n"
            "0.25    play\n"
            "0.3     end\n");
  ToolRun r = RunTool("--session " + session + " --rate 48000 --block 256 -o " + wav);
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("session " + session + " (0:00.3, 7 actions)"), std::string::npos) << r.out;
  std::vector<float> tool = ReadFloatWav(wav);
  ASSERT_EQ(tool.size(), 2u * 14400u);

  // The block starts a host must use: its 256-frame buffers, the jumps, the transport
  // changes, and a point of the glide every 240 samples (5 ms) until it ends at 4800.
  std::set<int64> starts;
  for (int64 s = 0; s < 14400; s += 256) starts.insert(s);
  for (int64 s = 240; s < 4800; s += 240) starts.insert(s);
  for (int64 s : {2405, 4800, 7200, 9600, 12000}) starts.insert(s);
  std::vector<int64> order(starts.begin(), starts.end());

  HandHost hand(48000, 256);
  std::vector<float> expected;
  int64 position = 0;
  for (size_t i = 0; i < order.size(); ++i) {
    const int64 s = order[i];
    const int frames = static_cast<int>((i + 1 < order.size() ? order[i + 1] : 14400) - s);
    caldrith_host::ParamChanges changes(8);
    if (s == 0) changes.Add(kVolumeTag, hand.Normalized(kVolumeTag, 30.0));
    if (s == 2405) changes.Add(kIsochronicTag, hand.Normalized(kIsochronicTag, 23.5));
    if (s > 0 && s < 4800) {
      changes.Add(kVolumeTag, hand.Normalized(kVolumeTag, 30.0 + 50.0 * (s / 4800.0)));
    }
    if (s == 4800) changes.Add(kVolumeTag, hand.Normalized(kVolumeTag, 80.0));
    if (s == 7200) changes.Add(kWaveTag, hand.Normalized(kWaveTag, 1.0));
    const bool playing = s < 9600 || s >= 12000;
    hand.Block(frames, playing, position, s, changes, &expected);
    if (playing) position += frames;
  }
  ASSERT_EQ(expected.size(), tool.size());
  size_t differ = 0, first = 0;
  for (size_t i = 0; i < tool.size(); ++i) {
    if (tool[i] != expected[i] && differ++ == 0) first = i / 2;
  }
  EXPECT_EQ(differ, 0u) << "first differing frame " << first;

  // Stopped: the level falls over the block the stop lands on, then the output is silent
  // until play, and sounds again from there.
  EXPECT_GT(Rms(tool, 9600, 9728), 0.0);
  EXPECT_EQ(Rms(tool, 9728, 12000), 0.0);
  EXPECT_GT(Rms(tool, 12000, 12256), 0.0);
  EXPECT_GT(Rms(tool, 12256, 14400), 0.25 * Rms(tool, 7200, 9600));
}

TEST(SessionRender, GlidesEndOnTheirExactValues) {
  // The value a glide reaches is the one a plain setting of it gives, bit for bit: mid-session,
  // and at the very end where no audio follows.
  const std::string glide = TempPath("glide.txt"), a = TempPath("glide_a.bin"),
                    b = TempPath("glide_b.bin"), wav = TempPath("glide.wav");
  WriteText(glide,
            "0 Isochronic = 12\n"
            "0.05 Isochronic -> 4.37\n"
            "0.05 Volume = 10\n"
            "0.1 Volume -> 77\n"
            "0.1 end\n");
  ASSERT_EQ(RunTool("--session " + glide + " --state-out " + a + " -o " + wav).code, 0);
  ASSERT_EQ(RunTool("--param Isochronic=4.37 --param Volume=77 --seconds 0.01 --state-out " + b +
                    " -o " + wav)
                .code,
            0);
  double isoA = StateValue(a, kIsochronicTag), isoB = StateValue(b, kIsochronicTag);
  EXPECT_EQ(std::memcmp(&isoA, &isoB, 8), 0) << isoA << " vs " << isoB;
  EXPECT_EQ(StateValue(a, kVolumeTag), 77.0);

  // A glide with no earlier point starts where the preset left the parameter.
  WriteText(glide,
            "0 preset \"Psychic - Focused alertness (11.0)\"\n"
            "0.1 Isochronic -> 5\n");
  ASSERT_EQ(RunTool("--session " + glide + " --state-out " + a + " -o " + wav).code, 0);
  EXPECT_DOUBLE_EQ(StateValue(a, kIsochronicTag), 5.0);
}

TEST(SessionRender, RenderingAllocatesNothing) {
  // What the audio callback runs: presets, jumps, glides (one from the start), the transport,
  // and the bed: noise changing colour, a looped song, their levels and pulse depths. (The
  // song is at the render's rate: resampling may grow its buffers now and then, which is why
  // live play with music renders ahead on a thread of its own.)
  const std::string song = TempPath("alloc-song.wav");
  {
    SF_INFO info{};
    info.samplerate = 48000;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* f = sf_open(song.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr);
    std::vector<float> frames(4410, 0.1f);
    sf_writef_float(f, frames.data(), 2205);
    sf_close(f);
  }
  caldrith_render::HostedPlugin plug;
  plug.Open(CALDRITH_TEST_BUNDLE, "caldrith-render");
  caldrith_session::Catalog catalog = plug.BuildCatalog();
  caldrith_session::AddBedParams(&catalog);
  caldrith_session::Session session;
  caldrith_session::ParseError error;
  ASSERT_TRUE(
      caldrith_session::ParseSession("0 preset 20\n"
                                     "0 noise = brown -30\n"
                                     "0 mix = \"" +
                                         song +
                                         "\" -6\n"
                                         "0 mix gate = 50\n"
                                         "0.05 Isochronic -> 3\n"
                                         "0.07 Volume = 20\n"
                                         "0.1 stop\n"
                                         "0.1 noise level -> -20\n"
                                         "0.12 play\n"
                                         "0.15 noise = white\n"
                                         "0.2 Volume -> 90\n"
                                         "0.2 mix gate -> 0\n"
                                         "0.3 Wave = Saw\n"
                                         "0.3 noise = off\n",
                                     catalog, &session, &error))
      << error.message;
  std::string why;
  std::vector<std::unique_ptr<caldrith_render::MusicStream>> mixes;
  mixes.push_back(caldrith_render::MusicStream::Open(song, 48000, &why));
  ASSERT_TRUE(mixes[0]) << why;
  caldrith_render::SessionBed bed(48000, 256, 5, false, std::move(mixes));
  plug.Start(48000, 256, false, true);
  caldrith_render::SessionRenderer renderer(plug, &session, catalog, 48000, 256, false, 19200, {},
                                            &bed);
  EXPECT_TRUE(renderer.HasGate());
  const long before = AllocationCount();
  int64 frames = 0;
  for (int n; (n = renderer.Render(256)) > 0;) frames += n;
  EXPECT_EQ(AllocationCount() - before, 0);
  EXPECT_EQ(frames, 19200);
  plug.Stop();
}

TEST(SessionRender, BadSessionsStopBeforeAnythingIsRendered) {
  const std::string session = TempPath("bad.txt"), wav = TempPath("bad.wav");
  WriteText(session, "# fine\n0:00 Volume = 30\n0:10 Isochronc -> 4\n");
  std::remove(wav.c_str());
  ToolRun r = RunTool("--session " + session + " -o " + wav);
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find(session + ":3:6: no parameter is named \"Isochronc\"; closest: "
                                 "\"Isochronic\""),
            std::string::npos)
      << r.err;
  struct stat st {};
  EXPECT_NE(stat(wav.c_str(), &st), 0) << "nothing may be written";

  EXPECT_EQ(RunTool("--session " + TempPath("missing.txt") + " -o " + wav).code, 2);
  WriteText(session, "0:00 Volume = 30\n");
  r = RunTool("--session " + session + " -o " + wav);
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("lasts no time"), std::string::npos) << r.err;
  EXPECT_EQ(RunTool("--session " + session + " --seconds 0.05 -o " + wav).code, 0);
  // A stop that Play Anyway makes void is reported with what turned it on.
  WriteText(session, "0:00 preset 40\n0:00.02 stop\n0:00.05 end\n");
  r = RunTool("--session " + session + " -o " + wav);
  EXPECT_EQ(r.code, 0);
  EXPECT_NE(r.err.find(session + ":2: stop has no effect: Play Anyway is Yes (set by preset 40 at "
                                 "0:00)"),
            std::string::npos)
      << r.err;
  // --seconds shortens a session that ends, and says so; it cannot lengthen it.
  WriteText(session, "0:00 Volume = 30\n0:20 end\n");
  EXPECT_EQ(RunTool("--session " + session + " --seconds 21 -o " + wav).code, 2);
  r = RunTool("--session " + session + " --seconds 0.05 -o " + wav);
  EXPECT_NE(r.out.find("(0:00.05 of 0:20, shortened by --seconds"), std::string::npos) << r.out;
}

TEST(SessionRender, FormatsAndThePicture) {
  const std::string base = TempPath("fmt");
  for (const char* ext : {".ogg", ".opus", ".mp3"}) {
    std::string file = base + ext;
    ToolRun r = RunTool("--seconds 0.3 -o " + file);
    ASSERT_EQ(r.code, 0) << ext << ": " << r.err;
    std::string head = ReadText(file).substr(0, 4);
    if (std::string(ext) == ".mp3") {
      // An ID3 tag or straight into an MPEG frame.
      EXPECT_TRUE(head.compare(0, 3, "ID3") == 0 ||
                  (static_cast<unsigned char>(head[0]) == 0xFF &&
                   (static_cast<unsigned char>(head[1]) & 0xE0) == 0xE0))
          << ext;
    } else {
      EXPECT_EQ(head, "OggS") << ext;
    }
  }
  EXPECT_EQ(RunTool("--rate 44100 -o " + base + ".opus").code, 2);
  EXPECT_EQ(RunTool("--sample-format 24 -o " + base + ".ogg").code, 2);
  EXPECT_EQ(RunTool("-o " + base + ".aiff").code, 2);

  const std::string png = TempPath("plot.png");
  ASSERT_EQ(RunTool("--seconds 0.5 --param Isochronic=7 -o " + base + ".wav --plot " + png).code,
            0);
  raster::Bitmap picture;
  ASSERT_TRUE(raster::LoadPngFile(png.c_str(), &picture));
  EXPECT_EQ(picture.Width(), 1200);
  EXPECT_EQ(picture.Height(), 600);
  EXPECT_EQ(RunTool("--seconds 0.5 -o " + base + ".wav --plot " + base + ".jpg").code, 2);
}

// ALSA's null device, declared in the user's configuration of a home of our own: PortAudio
// lists it like any card, and it takes whatever it is given at once, so a second plays fast.
class NullDevice : public ::testing::Test {
 protected:
  void SetUp() override {
    home = TempPath("home");
    mkdir(home.c_str(), 0700);
    WriteText(home + "/.asoundrc", "pcm.caldrith_null {\n  type null\n}\n");
  }
  std::string Env() const { return "HOME=" + home; }
  std::string home;
};

TEST_F(NullDevice, PlaysASecondWithoutUnderruns) {
  ToolRun list = RunTool("--list-devices", Env());
  ASSERT_EQ(list.code, 0) << list.err;
  ASSERT_NE(list.out.find("caldrith_null"), std::string::npos) << list.out;
  ToolRun r = RunTool("--play --device caldrith_null --seconds 1", Env());
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("played 1.00 s on \"caldrith_null\" (ALSA), 48000 Hz"), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("; 0 underruns"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("peak -inf"), std::string::npos) << r.out;

  // With music the plug-in renders ahead on a thread of its own, the callback only copies.
  const std::string song = TempPath("play-song.wav");
  WriteText(song, "");
  SF_INFO info{48000, 48000, 2, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 0, 0};
  SNDFILE* f = sf_open(song.c_str(), SFM_WRITE, &info);
  ASSERT_NE(f, nullptr);
  std::vector<float> half(48000, 0.1f);
  sf_writef_float(f, half.data(), 24000);
  sf_close(f);
  // (The null device drains faster than anything renders: what the feeder has not made yet
  // plays as silence, so only the end and the loudness are checked here.)
  r = RunTool("--play --device caldrith_null --seconds 1 --mix " + song + " --loudness -20", Env());
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("(+"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("in the first minute"), std::string::npos) << r.out;

  EXPECT_EQ(RunTool("--play --device no-such-device --seconds 1", Env()).code, 2);
  EXPECT_EQ(RunTool("--play -o x.wav", Env()).code, 2);
}

// Starts the tool with `args` (its standard output to `out`), sends it a Ctrl-C after 700 ms,
// or once `growing` holds 64 KB when given (a loaded machine may take longer to start), and
// answers its exit code: -1 when it did not exit by itself within 10 s, -2 when it died of a
// signal.
// Bytes written so far to the temporary file the tool writes `target` through, or to `target`.
off_t WrittenSoFar(const std::string& target) {
  struct stat st {};
  for (const std::string& temp : TempFilesOf(target)) {
    if (stat(temp.c_str(), &st) == 0) return st.st_size;
  }
  return stat(target.c_str(), &st) == 0 ? st.st_size : 0;
}

int CtrlCAfterAWhile(std::vector<std::string> args, const std::string& out,
                     const std::string& home = "", const std::string& growing = "",
                     int sig = SIGINT) {
  pid_t pid = fork();
  if (pid < 0) return -3;
  if (pid == 0) {
    if (!home.empty()) setenv("HOME", home.c_str(), 1);
    int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fd, STDOUT_FILENO);
    std::vector<char*> argv = {const_cast<char*>(CALDRITH_RENDER_TOOL)};
    for (std::string& a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    execv(CALDRITH_RENDER_TOOL, argv.data());
    _exit(127);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  for (int i = 0; !growing.empty() && i < 300; ++i) {
    if (WrittenSoFar(growing) >= 65536) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  kill(pid, sig);
  int status = 0;
  bool exited = false;
  for (int i = 0; i < 200 && !exited; ++i) {
    exited = waitpid(pid, &status, WNOHANG) == pid;
    if (!exited) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  if (!exited) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
}

TEST_F(NullDevice, CtrlCFadesOutAndExitsCleanly) {
  // An hour on the null device: far longer than the test waits.
  const std::string out = TempPath("ctrlc.txt");
  EXPECT_EQ(
      0, CtrlCAfterAWhile({"--play", "--device", "caldrith_null", "--seconds", "3600"}, out, home))
      << "playing on 10 s after Ctrl-C, or not stopped cleanly";
  std::string text = ReadText(out);
  EXPECT_NE(text.find("stopped by the user"), std::string::npos) << text;
}

TEST(RenderTool, CtrlCClosesTheFileWithWhatItHas) {
  // More audio than the tool writes before the Ctrl-C arrives: a plain WAV, and one long
  // enough to be begun as RF64, which falls back to plain WAV at the length it has.
  for (const char* rate : {"8000", "48000"}) {
    const std::string wav = TempPath("cut.wav"), out = TempPath("cut.txt");
    const char* seconds = std::string(rate) == "8000" ? "3600" : "86400";
    EXPECT_EQ(130,
              CtrlCAfterAWhile({"--seconds", seconds, "--rate", rate, "-o", wav}, out, "", wav));
    std::string text = ReadText(out);
    EXPECT_NE(text.find("stopped by the user"), std::string::npos) << text;
    EXPECT_TRUE(TempFilesOf(wav).empty());

    // The header tells the length that is there: RIFF's size, and the data chunk's, which
    // ends the file.
    const std::string bytes = ReadText(wav);
    ASSERT_GE(bytes.size(), 44u);
    ASSERT_EQ(bytes.compare(0, 4, "RIFF"), 0) << rate;
    uint32_t riff = 0;
    std::memcpy(&riff, bytes.data() + 4, 4);
    EXPECT_EQ(riff, bytes.size() - 8);
    size_t pos = 12;
    uint32_t size = 0;
    while (pos + 8 <= bytes.size()) {
      std::memcpy(&size, bytes.data() + pos + 4, 4);
      if (bytes.compare(pos, 4, "data") == 0) break;
      pos += 8 + size + (size & 1);
    }
    ASSERT_LE(pos + 8, bytes.size()) << "no data chunk";
    EXPECT_EQ(size, bytes.size() - pos - 8);
    const size_t frames = size / (2 * sizeof(float));
    EXPECT_GT(frames, 0u);
    EXPECT_LT(frames, 3600u * 8000u);
    std::remove(wav.c_str());
  }
}

TEST(RenderTool, AKilledRenderOrAFullDiskKeepsThePreviousFile) {
  const std::string wav = TempPath("keep.wav"), out = TempPath("keep.txt");
  WriteText(wav, "the take of last night");
  EXPECT_EQ(-2, CtrlCAfterAWhile({"--seconds", "3600", "-o", wav}, out, "", wav, SIGKILL));
  EXPECT_EQ(ReadText(wav), "the take of last night");
  std::vector<std::string> stray = TempFilesOf(wav);
  EXPECT_EQ(stray.size(), 1u) << "a killed render leaves its temporary file, named as such";
  for (const std::string& t : stray) std::remove(t.c_str());

  // A small file system of our own, filled by the render.
  const std::string dir = TempPath("full");
  mkdir(dir.c_str(), 0700);
  if (std::system(("unshare -rm sh -c 'mount -t tmpfs -o size=64k none " + dir + "' 2>/dev/null")
                      .c_str()) != 0) {
    GTEST_SKIP() << "cannot mount a small tmpfs here (unshare -rm, mount -t tmpfs)";
  }
  for (const char* name : {"big.wav", "big.flac"}) {
    const std::string target = dir + "/" + name;
    const std::string script = "mount -t tmpfs -o size=256k none " + dir + " && printf old >" +
                               target + " && " + CALDRITH_RENDER_TOOL + " --seconds 10 -o " +
                               target + " 2>" + out + "; echo $?; cat " + target + "; ls -A " + dir;
    FILE* pipe = popen(("unshare -rm sh -c '" + script + "'").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char buf[512] = {};
    size_t n = fread(buf, 1, sizeof(buf) - 1, pipe);
    pclose(pipe);
    // WAV is refused before rendering (its size is known), FLAC fails while writing: either
    // way exit code 1, the old file as it was and nothing else left in the folder.
    EXPECT_EQ(std::string(buf, n), "1\nold" + std::string(name) + "\n") << name;
    EXPECT_NE(ReadText(out).find(target + ": No space left on device"), std::string::npos)
        << ReadText(out);
  }
}

// ---- the bed under the tones: noise, music, loudness ----

namespace {

// A float WAV of `seconds` at `rate`, each frame from f(frame index, channel).
template <typename F>
void WriteWav(const std::string& path, int rate, int channels, double seconds, F f) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = channels;
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
  const int64 frames = static_cast<int64>(seconds * rate);
  std::vector<float> frame(static_cast<size_t>(channels));
  for (int64 i = 0; i < frames; ++i) {
    for (int c = 0; c < channels; ++c) frame[static_cast<size_t>(c)] = static_cast<float>(f(i, c));
    sf_writef_float(file, frame.data(), 1);
  }
  sf_close(file);
}

}  // namespace

TEST(SessionBed, NoiseAndMusicReachTheFileAtTheirLevels) {
  // The slopes and the resampling are the generator's and the reader's own tests; here the
  // options reach them. The transport stopped: the tones are silent, the file is the bed.
  const std::string bedAlone = TempPath("bed-alone.txt"), wav = TempPath("bed.wav");
  const std::string song = TempPath("tone44.wav");
  WriteText(bedAlone, "0:00 stop\n");
  WriteWav(song, 44100, 1, 3.0,
           [](int64 i, int) { return 0.5 * std::sin(2 * M_PI * 1000.0 * i / 44100.0); });
  struct Case {
    std::string args;
    double rmsDb;
    bool alike;  // the same on both sides
  };
  const Case cases[] = {{"--noise pink:-20", -20.0, false},
                        {"--noise brown:-30 --noise-mono", -30.0, true},
                        {"--mix " + song + ":-6", 20 * std::log10(0.5 / std::sqrt(2.0)) - 6, true}};
  for (const Case& c : cases) {
    ToolRun r = RunTool("--session " + bedAlone + " --seconds 4 " + c.args + " -o " + wav);
    ASSERT_EQ(r.code, 0) << r.err;
    const std::vector<float> out = ReadFloatWav(wav);
    ASSERT_EQ(out.size(), 2u * 4u * 48000u) << c.args;
    double sl = 0, sr = 0, slr = 0;
    for (size_t i = 2 * 4800; i < out.size(); i += 2) {
      sl += out[i] * out[i], sr += out[i + 1] * out[i + 1], slr += out[i] * out[i + 1];
    }
    EXPECT_NEAR(10 * std::log10(sl / (out.size() / 2 - 4800)), c.rmsDb, 0.5) << c.args;
    EXPECT_NEAR(slr / std::sqrt(sl * sr), c.alike ? 1.0 : 0.0, 0.1) << c.args;
  }
}

TEST(SessionBed, MusicPulsesOnTheTonesOwnEdges) {
  // A steady music (a constant at the render's rate, so it passes unresampled) pulsed fully,
  // against one tone of a square wave pulsed fully: both are the gate's value times a level
  // that is never 0, so each falls silent and sounds again on the very samples the other does.
  const std::string song = TempPath("steady.wav"), base = TempPath("edges");
  WriteWav(song, 48000, 1, 2.0, [](int64, int) { return 0.25; });
  const std::string tones =
      "0:00 Isochronic Mix = 100\n0:00 Isochronic = 7\n0:00 Tones = 1\n"
      "0:00 Wave = Gold. Square\n0:00 Play Anyway = Yes\n";
  WriteText(base + "-tones.txt", tones + "0:01.5 end\n");
  WriteText(base + "-both.txt",
            tones + "0:00 mix = \"" + song + "\"\n0:00 mix gate = 100 %\n0:01.5 end\n");
  ASSERT_EQ(RunTool("--session " + base + "-tones.txt -o " + base + "-tones.wav").code, 0);
  ToolRun r = RunTool("--session " + base + "-both.txt -o " + base + "-both.wav");
  ASSERT_EQ(r.code, 0) << r.err;
  const std::vector<float> t = ReadFloatWav(base + "-tones.wav"),
                           b = ReadFloatWav(base + "-both.wav");
  ASSERT_EQ(t.size(), 2u * 72000u);
  ASSERT_EQ(b.size(), t.size());
  int pauses = 0, mismatches = 0;
  bool wasSilent = false;
  for (size_t i = 480; i < t.size() / 2; ++i) {
    const double music = static_cast<double>(b[2 * i]) - t[2 * i];
    EXPECT_GE(music, 0.0);
    EXPECT_LE(music, 0.25 + 1e-6);
    const bool silent = music == 0.0;
    if (silent != (t[2 * i] == 0.0f)) ++mismatches;
    if (silent && !wasSilent) ++pauses;
    wasSilent = silent;
  }
  EXPECT_GE(pauses, 9) << "a pause per pulse, 7 a second";
  EXPECT_EQ(mismatches, 0);
}

TEST(SessionBed, LoudnessIsReachedAndTheCeilingHeld) {
  // A song hot enough that reaching -14 LUFS takes the limiter: a loud tone with
  // inter-sample peaks (near a quarter of the rate) under bursts.
  const std::string song = TempPath("hot.wav"), wav = TempPath("loud.wav");
  WriteWav(song, 48000, 2, 8.0, [](int64 i, int c) {
    const double burst = (i / 4800) % 3 == 0 ? 1.0 : 0.2;
    return burst * 0.9 * std::sin(2 * M_PI * 11990.0 * i / 48000.0 + 0.7 + c);
  });
  struct Case {
    std::string args;
    double target, ceiling;
  };
  const Case cases[] = {
      {"--preset 39 --loudness -20", -20.0, -1.0},
      {"--preset 39 --mix " + song + ":-6 --mix-gate 60 --loudness -14 --ceiling -2", -14.0, -2.0}};
  for (const Case& c : cases) {
    ToolRun r = RunTool(c.args + " --seconds 8 -o " + wav);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("written: loudness"), std::string::npos) << r.out;
    const std::vector<float> out = ReadFloatWav(wav);
    ASSERT_EQ(out.size(), 2u * 8u * 48000u);
    ebur128_state* st = ebur128_init(2, 48000, EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK);
    ebur128_add_frames_float(st, out.data(), out.size() / 2);
    double loudness = 0, peak = 0, p1 = 0;
    ebur128_loudness_global(st, &loudness);
    ebur128_true_peak(st, 0, &peak);
    ebur128_true_peak(st, 1, &p1);
    ebur128_destroy(&st);
    EXPECT_NEAR(loudness, c.target, 0.5) << c.args << "\n" << r.out;
    EXPECT_LE(20 * std::log10(std::max(peak, p1)), c.ceiling) << c.args << "\n" << r.out;
  }
}

TEST(SessionBed, BadMusicAndSettingsAreRefusedBeforeRendering) {
  const std::string dir = TempPath("bad-mix"), wav = TempPath("bad-mix.wav");
  mkdir(dir.c_str(), 0700);
  WriteWav(dir + "/short.wav", 48000, 2, 0.1, [](int64, int) { return 0.1; });
  struct Case {
    std::string session;  // its mix line
    std::string args;
    std::string says;
  };
  const Case cases[] = {
      {"0:00 mix = \"gone.flac\"", "", "session.txt:1:12: cannot mix \"" + dir + "/gone.flac\": "},
      {"", "--mix " + dir + "/gone.flac", "--mix: cannot mix"},
      {"", "--mix " + wav, "is also the output"},
  };
  for (const Case& c : cases) {
    WriteText(dir + "/session.txt", c.session + "\n0:00.2 end\n");
    WriteText(wav, "keep");
    ToolRun r =
        RunTool((c.session.empty() ? "--seconds 0.2 " : "--session " + dir + "/session.txt ") +
                c.args + " -o " + wav);
    EXPECT_EQ(r.code, 2) << c.session << c.args << ": " << r.err;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << c.session << c.args << ": " << r.err;
    EXPECT_EQ(ReadText(wav), "keep") << c.session << c.args;
  }
  // A song shorter than the session, not looped: said before rendering, then silence.
  WriteText(dir + "/session.txt",
            "0:00 mix = \"short.wav\"\n0:00 mix loop = off\n0:00 stop\n0:00.5 end\n");
  ToolRun r = RunTool("--session " + dir + "/session.txt -o " + wav);
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.err.find("session.txt:1:12: note: \"" + dir + "/short.wav\" lasts 0:00.1"),
            std::string::npos)
      << r.err;
  const std::vector<float> out = ReadFloatWav(wav);
  ASSERT_EQ(out.size(), 2u * 24000u);
  EXPECT_NEAR(out[2 * 2400], 0.1f, 1e-6f);
  EXPECT_EQ(out[2 * 12000], 0.0f);
}

#endif
