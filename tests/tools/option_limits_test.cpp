// caldrith-render's limits: every numeric option accepted at its limit and refused just past
// it, the strict number parsing, the name suggestions, and the exact length of a render.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstdint>
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

bool Accepts(const std::string& option, const std::string& value) {
  RenderOptions o;
  return Parse({option, value}, &o).empty();
}

}  // namespace

TEST(OptionLimits, NumbersAreTakenAtTheirLimitsAndRefusedJustPast) {
  struct Limit {
    const char* option;
    const char* inside;
    const char* outside;
  } limits[] = {
      {"--rate", "8000", "7999"},
      {"--rate", "384000", "384001"},
      {"--block", "1", "0"},
      {"--block", "65536", "65537"},
      {"--seconds", "86400", "86400.001"},
      {"--seconds", "1e-6", "0"},
      {"--seconds", "0.000001", "-0.000001"},
  };
  for (const Limit& l : limits) {
    EXPECT_TRUE(Accepts(l.option, l.inside)) << l.option << " " << l.inside;
    EXPECT_FALSE(Accepts(l.option, l.outside)) << l.option << " " << l.outside;
  }
  RenderOptions o;
  ASSERT_EQ(Parse({"--rate", "8000", "--block", "65536", "--seconds", "86400"}, &o), "");
  EXPECT_EQ(o.rate, 8000);
  EXPECT_EQ(o.block, 65536);
  EXPECT_EQ(o.seconds, 86400.0);
  ASSERT_EQ(Parse({"--rate=384000", "--block=1"}, &o), "");
  EXPECT_EQ(o.rate, 384000);
  EXPECT_EQ(o.block, 1);
  // A refused value leaves what was there and names the range.
  const std::string why = Parse({"--rate", "384001"}, &o);
  EXPECT_EQ(o.rate, 384000);
  EXPECT_NE(why.find("8000 to 384000"), std::string::npos) << why;
  for (const char* p : {"32", "64"}) EXPECT_TRUE(Accepts("--precision", p));
  for (const char* p : {"16", "63", "65", "64 ", "032"}) EXPECT_FALSE(Accepts("--precision", p));
}

TEST(OptionLimits, NumberParsingIsStrict) {
  double d = 0;
  EXPECT_TRUE(ParseDouble("2.5", &d));
  EXPECT_EQ(d, 2.5);
  EXPECT_TRUE(ParseDouble("1e308", &d));
  EXPECT_EQ(d, 1e308);
  for (const char* bad : {"", " 2", "\t2", "2 ", "2x", "1e309", "-1e309", "nan", "inf", "-inf"}) {
    d = 7.0;
    EXPECT_FALSE(ParseDouble(bad, &d)) << "\"" << bad << "\"";
    EXPECT_EQ(d, 7.0) << "\"" << bad << "\"";
  }
  int i = 0;
  EXPECT_TRUE(ParseInt("2147483647", &i));
  EXPECT_EQ(i, 2147483647);
  EXPECT_TRUE(ParseInt("-2147483648", &i));
  EXPECT_EQ(i, -2147483647 - 1);
  for (const char* bad : {"2147483648", "-2147483649", "", " 5", "5 ", "5.0", "0x10", "5e2"}) {
    i = 9;
    EXPECT_FALSE(ParseInt(bad, &i)) << "\"" << bad << "\"";
    EXPECT_EQ(i, 9) << "\"" << bad << "\"";
  }
}

TEST(OptionLimits, SuggestionsFollowEditDistance) {
  // Textbook distances: one edit per substitution, insertion or deletion, case ignored.
  EXPECT_EQ(NameDistance("kitten", "sitting"), 3);
  EXPECT_EQ(NameDistance("abc", "abd"), 1);
  EXPECT_EQ(NameDistance("abc", "ABC"), 0);
  EXPECT_EQ(NameDistance("flaw", "lawn"), 2);
  EXPECT_EQ(NameDistance("abc", ""), 3);
  // A name containing what was typed comes before a short near miss.
  const std::vector<std::string> names = {"bone", "Tones of the high band"};
  EXPECT_EQ(ClosestNames("tone", names, 1), std::vector<std::string>{"Tones of the high band"});
  EXPECT_EQ(ClosestNames("bonne", names, 2),
            (std::vector<std::string>{"bone", "Tones of the high band"}));
  EXPECT_TRUE(ClosestNames("x", names, 0).empty());
  // Unknown options get a suggestion up to three edits away, none beyond.
  RenderOptions o;
  EXPECT_NE(Parse({"--secondsxyz"}, &o).find("did you mean --seconds?"), std::string::npos);
  EXPECT_EQ(Parse({"--secondswxyz"}, &o).find("did you mean"), std::string::npos);
}

TEST(OptionLimits, ParamAssignmentsNeedANameAndAValue) {
  for (const char* good : {"A=1", "Wave=Golden Sine", "x==", "Low Freq=5"}) {
    RenderOptions o;
    EXPECT_EQ(Parse({"--param", good}, &o), "") << good;
    EXPECT_EQ(o.params, std::vector<std::string>{good});
  }
  for (const char* bad : {"=", "=1", "A=", "A", ""}) {
    RenderOptions o;
    EXPECT_NE(Parse({"--param", bad}, &o), "") << bad;
    EXPECT_TRUE(o.params.empty()) << bad;
  }
}

TEST(OptionLimits, UsageLinesLineTheirHelpUpInOneColumn) {
  const std::string usage = RenderUsage("caldrith-render");
  EXPECT_EQ(0u, usage.find("Usage: caldrith-render [options]\n"));
  int lines = 0;
  for (const OptionSpec& o : RenderOptionTable()) {
    const size_t at = usage.find(std::string(o.longName) + (o.valueName ? " " : ""));
    ASSERT_NE(std::string::npos, at) << o.longName;
    const size_t start = usage.rfind('\n', at) + 1;
    const size_t end = usage.find('\n', at);
    const std::string line = usage.substr(start, end - start);
    // Names padded to 30 columns, one space, then the help from column 31.
    if (line.find(o.help) == std::string::npos) continue;  // a longer name sharing a prefix
    EXPECT_EQ(31u, line.find(o.help)) << line;
    EXPECT_EQ(' ', line[30]) << line;
    ++lines;
  }
  EXPECT_EQ(static_cast<int>(RenderOptionTable().size()), lines);
}

#if defined(CALDRITH_RENDER_TOOL) && defined(CALDRITH_TEST_BUNDLE) && !defined(_WIN32)
#include "tools/output_file.h"

namespace {

std::string TempPath(const std::string& name) {
  return std::string(::testing::TempDir()) + "caldrith_limits_" + std::to_string(getpid()) + "_" +
         name;
}

int RunTool(const std::string& args) {
  std::string cmd = std::string(CALDRITH_RENDER_TOOL) + " --bundle " + CALDRITH_TEST_BUNDLE + " " +
                    args + " >/dev/null 2>&1";
  int status = std::system(cmd.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

uint32_t Le32(const std::vector<char>& b, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(b[at + static_cast<size_t>(i)]);
  return v;
}

// Bytes of the "data" chunk of a RIFF WAVE file; -1 when there is none.
int64_t WavDataBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::vector<char> b((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0) return -1;
  for (size_t at = 12; at + 8 <= b.size();) {
    const uint32_t size = Le32(b, at + 4);
    if (std::memcmp(&b[at], "data", 4) == 0) return size;
    at += 8 + size + (size & 1);
  }
  return -1;
}

}  // namespace

TEST(RenderLength, FramesAreTheLengthTimesTheRateRoundedToNearest) {
  // 0.0007 s at 8000 Hz is 5.6 frames: six are written; 0.0006 s is 4.8: five.
  // Stereo float: 8 bytes a frame.
  struct Case {
    const char* seconds;
    int rate;
    int block;
    int64_t frames;
  } cases[] = {{"0.0007", 8000, 4, 6},
               {"0.0006", 8000, 512, 5},
               {"0.001", 44100, 16, 44},
               {"0.00102", 44100, 45, 45}};
  for (const Case& c : cases) {
    const std::string wav = TempPath("length.wav");
    ASSERT_EQ(
        RunTool(std::string("--quiet --seconds ") + c.seconds + " --rate " +
                std::to_string(c.rate) + " --block " + std::to_string(c.block) + " -o " + wav),
        0)
        << c.seconds;
    EXPECT_EQ(WavDataBytes(wav), c.frames * 8) << c.seconds << " s at " << c.rate;
    std::remove(wav.c_str());
  }
}

TEST(RenderLength, WavPastItsThirtyTwoBitSizesBecomesRf64) {
  using caldrith_render::Container;
  using caldrith_render::ContainerFor;
  struct Case {
    const char* ext;
    int64_t frames;
    int bytesPerSample;
    Container container;
  } cases[] = {
      // 3 h 15 min of stereo float at 48 kHz: 4.49 GB, past what RIFF's sizes count.
      {"wav", 11700LL * 48000, 4, Container::kRf64},
      {"wav", 515LL * 48000, 4, Container::kAsIs},  // the 8 min 35 s the wrapped header told
      {"wav", 536870000, 4, Container::kAsIs},      // 4 GiB less a few hundred bytes: too close
      {"wav", 536870912, 4, Container::kRf64},      // exactly 4 GiB of samples
      {"wav", 86400LL * 384000, 3, Container::kRf64},
      {"flac", 86400LL * 384000, 3, Container::kAsIs},
      {"flac", 1LL << 36, 3, Container::kRefused},  // past its 36-bit sample count
      {"ogg", 86400LL * 384000, 0, Container::kAsIs},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ContainerFor(c.ext, c.frames, 2, c.bytesPerSample), c.container)
        << c.ext << " " << c.frames;
  }
}

TEST(RenderLength, FileTypesAreKnownWhateverTheirLetterCase) {
  const std::string upper = TempPath("LOUD.WAV");
  ASSERT_EQ(0, RunTool("--quiet --seconds 0.001 --rate 8000 -o " + upper));
  EXPECT_EQ(8 * 8, WavDataBytes(upper));
  std::remove(upper.c_str());
  EXPECT_EQ(2, RunTool("--quiet --seconds 0.001 -o " + TempPath("x.wave")));
}

#endif
