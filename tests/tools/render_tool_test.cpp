// caldrith-render's command line, and the tool run end to end against the built bundle.
#include <gtest/gtest.h>
#include <unistd.h>
#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/render_options.h"

namespace {

std::string Parse(std::vector<std::string> args, RenderOptions* opts) {
  std::vector<char*> argv = {const_cast<char*>("caldrith-render")};
  for (std::string& a : args) argv.push_back(&a[0]);
  return ParseRenderOptions(static_cast<int>(argv.size()), argv.data(), opts);
}

}  // namespace

TEST(RenderOptions, ValuesAndDefaults) {
  RenderOptions o;
  EXPECT_EQ(Parse({"--preset", "Minimal", "--param", "Tones=3", "--param=Wave=Saw", "--seconds",
                   "2.5", "--rate=44100", "--block", "64", "--precision", "64", "-o", "x.flac",
                   "--list-params", "--state-in", "a", "--state-out", "b"},
                  &o),
            "");
  EXPECT_EQ(o.preset, "Minimal");
  EXPECT_EQ(o.params, (std::vector<std::string>{"Tones=3", "Wave=Saw"}));
  EXPECT_EQ(o.seconds, 2.5);
  EXPECT_EQ(o.rate, 44100);
  EXPECT_EQ(o.block, 64);
  EXPECT_EQ(o.precision, 64);
  EXPECT_EQ(o.output, "x.flac");
  EXPECT_TRUE(o.listParams);
  EXPECT_FALSE(o.listPresets);
  EXPECT_EQ(o.stateIn, "a");
  EXPECT_EQ(o.stateOut, "b");
  EXPECT_TRUE(o.secondsGiven);
  EXPECT_TRUE(o.outputGiven);
  RenderOptions live;
  EXPECT_EQ(Parse({"--session", "s.txt", "--play", "--device", "pulse", "--plot", "p.png",
                   "--list-devices"},
                  &live),
            "");
  EXPECT_EQ(live.session, "s.txt");
  EXPECT_TRUE(live.play);
  EXPECT_EQ(live.device, "pulse");
  EXPECT_EQ(live.plot, "p.png");
  EXPECT_TRUE(live.listDevices);
  EXPECT_FALSE(live.secondsGiven);
  EXPECT_FALSE(live.outputGiven);
  RenderOptions d;
  EXPECT_EQ(Parse({}, &d), "");
  EXPECT_EQ(d.output, "caldrith.wav");
  EXPECT_EQ(d.block, 512);
  EXPECT_EQ(d.precision, 32);
}

TEST(RenderOptions, BadArgumentsAreExplained) {
  const std::vector<std::vector<std::string>> bad = {
      {"--seconds", "0"},       {"--seconds", "nan"},  {"--seconds", "1e999"},
      {"--seconds", "3x"},      {"--rate", "0"},       {"--rate", "48000.5"},
      {"--block", "-1"},        {"--block", "100000"}, {"--precision", "16"},
      {"--sample-format", "8"}, {"--param", "Tones"},  {"--param", "=3"},
      {"--param", "Tones="},    {"--preset", ""},      {"--seconds"},
      {"--frobnicate"},         {"--quiet=yes"},       {"stray"},
      {"--plot", "p.jpg"},      {"--plot", ".png"},    {"--session", ""},
      {"--device", ""},         {"--play=1"},          {"-o", ""},
      {"--noise", "pink:3"},    {"--noise", "grey"},   {"--mix-gate", "101"},
      {"--mix-loop", "maybe"},  {"--seed", "-1"},      {"--loudness", "5"},
      {"--ceiling", "1"},       {"--mix", ":-6"},
  };
  for (const auto& args : bad) {
    RenderOptions o;
    EXPECT_NE(Parse(args, &o), "") << args[0];
  }
  RenderOptions o;
  EXPECT_NE(Parse({"--secnods", "3"}, &o).find("--seconds"), std::string::npos);
  // A long bad value is quoted by its start and its length, not whole.
  const std::string msg = Parse({"--seconds", std::string(1 << 20, '9') + "x"}, &o);
  EXPECT_LT(msg.size(), 160u);
  EXPECT_NE(msg.find("(1048577 characters)"), std::string::npos) << msg;
}

TEST(RenderOptions, OptionsThatWouldDoNothingAreRefused) {
  const std::vector<std::vector<std::string>> unused = {
      {"--device", "pulse"},
      {"--play", "-o", "x.wav"},
      {"--play", "--sample-format", "24"},
      {"--hover", "Tones"},
      {"--scale", "2"},
      {"--list-presets", "-o", "x.wav"},
      {"--list-params", "--seconds", "3"},
      {"--list-devices", "--bundle", "b"},
      {"--list-devices", "--list-params"},
      {"--seed", "7"},
      {"--mix-gate", "50"},
  };
  for (const auto& args : unused) {
    RenderOptions o;
    ASSERT_EQ(Parse(args, &o), "");
    EXPECT_NE(UnusedOptionMessage(o), "") << args[0] << " " << args[1];
  }
  const std::vector<std::vector<std::string>> used = {
      {"--play", "--device", "pulse", "--rate", "44100"},
      {"--editor-png", "e.png", "--hover", "Tones", "--scale", "1.5"},
      {"--list-presets", "--list-params", "--bundle", "b", "-q"},
      {"--help", "--device", "x"},
      {"--noise", "pink:-30", "--seed", "7", "--noise-mono"},
      {"--mix", "a.flac:-6", "--mix-gate", "50", "--mix-loop", "off"},
  };
  for (const auto& args : used) {
    RenderOptions o;
    ASSERT_EQ(Parse(args, &o), "");
    EXPECT_EQ(UnusedOptionMessage(o), "") << args[0] << " " << args[1];
  }
}

TEST(RenderOptions, ClosestNames) {
  std::vector<std::string> names = {"Healing - Dental pain (0.2)", "- 132 -", "Minimal",
                                    "Psychic - Euphoria (0.9)", "Psychic - Euphoria (15.0)"};
  std::vector<std::string> near = ClosestNames("euphoria", names, 2);
  ASSERT_EQ(near.size(), 2u);
  EXPECT_EQ(near[0], "Psychic - Euphoria (0.9)");
  EXPECT_EQ(near[1], "Psychic - Euphoria (15.0)");
  EXPECT_EQ(ClosestNames("minmal", names, 1)[0], "Minimal");
  EXPECT_EQ(NameDistance("Tones", "tones"), 0);
  EXPECT_EQ(NameDistance("", "abc"), 3);
}

TEST(RenderOptions, BundleSearchPrefersTheToolsOwnTree) {
  std::vector<std::string> p = BundleSearchPath("/opt/c/bin", "/home/u");
  ASSERT_GE(p.size(), 4u);
  EXPECT_EQ(p[0], "/opt/c/bin/../lib/vst3/Caldrith.vst3");
  EXPECT_EQ(p[1], "/opt/c/bin/../Caldrith.vst3");  // build tree: tools/ beside the bundle
  EXPECT_EQ(p.back(), "/home/u/.vst3/Caldrith.vst3");
  // No home: no "/.vst3" at the file system's root.
  for (const std::string& q : BundleSearchPath("/opt/c/bin", "")) {
    EXPECT_NE(q.rfind("/.vst3", 0), 0u) << q;
  }
  RenderOptions o;
  EXPECT_EQ(Parse({"--version"}, &o), "");
  EXPECT_TRUE(o.version);
}

#ifdef CALDRITH_RENDER_TOOL

namespace {

int RunTool(const std::string& args) {
  std::string cmd = std::string(CALDRITH_RENDER_TOOL) + " " + args + " >/dev/null 2>&1";
  int status = std::system(cmd.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<char> Slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<char>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// ctest runs the cases as processes side by side: each has files of its own.
std::string TempPath(const char* name) {
  return std::string(::testing::TempDir()) + "caldrith_" + std::to_string(getpid()) + "_" + name;
}

}  // namespace

TEST(RenderTool, ExitCodes) {
  EXPECT_EQ(RunTool("--help"), 0);
  EXPECT_EQ(RunTool("--version"), 0);
  EXPECT_EQ(RunTool("--list-presets"), 0);
  EXPECT_EQ(RunTool("--list-params"), 0);
  EXPECT_EQ(RunTool("--bogus"), 2);
  EXPECT_EQ(RunTool("--preset 'No such preset' -o " + TempPath("x.wav")), 2);
  EXPECT_EQ(RunTool("--preset 150 -o " + TempPath("x.wav")), 2);
  EXPECT_EQ(RunTool("--param 'Nope=1' -o " + TempPath("x.wav")), 2);
  EXPECT_EQ(RunTool("--param 'Tones=17' -o " + TempPath("x.wav")), 2);
  EXPECT_EQ(RunTool("--param 'Wave=Square wave' -o " + TempPath("x.wav")), 2);
  EXPECT_EQ(RunTool("-o " + TempPath("x.aiff")), 2);
  EXPECT_EQ(RunTool("-o " + TempPath("x.flac") + " --sample-format float"), 2);
  EXPECT_EQ(RunTool("--bundle /nonexistent/Caldrith.vst3"), 1);
  // Names and value texts in any letter case, with spaces around and optional quotes.
  EXPECT_EQ(RunTool("--param 'Isochronic = 7' --param 'isochronic type= golden' --param "
                    "'Wave = \"Golden Sine\"' --seconds 0.05 -o " +
                    TempPath("x.wav")),
            0);
  EXPECT_EQ(RunTool("--param 'Tones=7.5' -o " + TempPath("x.wav")), 2);
  EXPECT_EQ(RunTool("--session " + std::string(::testing::TempDir()) + " -o " + TempPath("x.wav")),
            2);
  EXPECT_EQ(RunTool("--device pulse -o " + TempPath("x.wav")), 2);
}

TEST(RenderTool, RendersAndCarriesStateThroughFiles) {
  std::string wav = TempPath("a.wav"), flac = TempPath("a.flac");
  std::string s1 = TempPath("s1.bin"), s2 = TempPath("s2.bin");
  ASSERT_EQ(RunTool("--preset 'Minimal (lock another params)' --param 'Wave=Golden Sine' --param "
                    "Isochronic=7.83 --seconds 0.5 --rate 44100 --block 100 -o " +
                    wav + " --state-out " + s1),
            0);
  // 0.5 s of stereo float at 44.1 kHz: 22050 frames of 8 bytes after the header.
  std::vector<char> audio = Slurp(wav);
  EXPECT_GE(audio.size(), 22050u * 8u);
  EXPECT_LT(audio.size(), 22050u * 8u + 200u);
  std::vector<char> state = Slurp(s1);
  ASSERT_EQ(state.size(), 184u);
  double iso = 0, wave = 0;
  std::memcpy(&iso, state.data(), 8);
  std::memcpy(&wave, state.data() + 8 * 8, 8);
  EXPECT_DOUBLE_EQ(iso, 7.83);
  EXPECT_EQ(wave, 3.0);

  // What is not a state of this plug-in is refused before anything is written.
  std::string bad = TempPath("bad.bin");
  auto withValue = [&](size_t index, double v) {
    std::string b(state.begin(), state.end());
    std::memcpy(&b[index * 8], &v, 8);
    return b;
  };
  std::remove(flac.c_str());
  for (const std::string& content :
       {std::string("Tones = 7\n"), std::string(), std::string(state.begin(), state.end() - 1),
        withValue(3, 40.0), withValue(0, std::nan(""))}) {
    std::ofstream(bad, std::ios::binary) << content;
    EXPECT_EQ(RunTool("--state-in " + bad + " --seconds 0.1 -o " + flac), 2) << content.size();
  }
  EXPECT_TRUE(Slurp(flac).empty());

  ASSERT_EQ(RunTool("--state-in " + s1 + " --state-out " + s2 +
                    " --seconds 0.1 --precision 64 -o " + flac),
            0);
  EXPECT_EQ(Slurp(s2), state);
  EXPECT_GT(Slurp(flac).size(), 100u);
}

#endif  // CALDRITH_RENDER_TOOL
