// Session files: what a good file means, and where and why a bad one is refused.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/session_file.h"
#include "tools/session_timeline.h"
#include "tools/session_catalog.h"

using caldrith_session::Action;
using caldrith_session::ActionKind;
using caldrith_session::ParseError;
using caldrith_session::Session;
using namespace caldrith_test;

namespace {

// The instrument's parameters, then the bed's settings, as caldrith-render parses sessions.
const caldrith_session::Catalog& SessionCatalog() {
  static const caldrith_session::Catalog catalog = [] {
    caldrith_session::Catalog c = TestCatalog();
    caldrith_session::AddBedParams(&c);
    return c;
  }();
  return catalog;
}

Session Parse(const std::string& text) {
  Session s;
  ParseError e;
  EXPECT_TRUE(caldrith_session::ParseSession(text, SessionCatalog(), &s, &e))
      << e.line << ":" << e.column << ": " << e.message;
  return s;
}

ParseError Fail(const std::string& text) {
  Session s;
  ParseError e;
  EXPECT_FALSE(caldrith_session::ParseSession(text, SessionCatalog(), &s, &e)) << text;
  return e;
}

}  // namespace

TEST(SessionFile, TheEveningExample) {
  Session s = Parse(
      "# Evening wind-down, 25 minutes\n"
      "0:00      preset \"Psychic - Focused alertness (11.0)\"\n"
      "0:00      Play Anyway = Yes\n"
      "0:00      Volume = 0\n"
      "0:10      Volume -> 60          # fade in over the first 10 seconds\n"
      "0:30      Isochronic = 12\n"
      "20:00     Isochronic -> 4.5     # glide from 12 Hz (at 0:30) to 4.5 Hz (at 20:00)\n"
      "20:00     Wave = Gold. Sine Half\n"
      "\n"
      "24:50     Volume = 60\n"
      "25:00     Volume -> 0\n"
      "25:00     end\n");
  ASSERT_EQ(s.actions.size(), 10u);
  const std::vector<Action>& a = s.actions;
  EXPECT_EQ(a[0].kind, ActionKind::kPreset);
  EXPECT_EQ(a[0].preset, 2);
  EXPECT_EQ(a[1].kind, ActionKind::kSet);
  EXPECT_EQ(a[1].param, kPlay);
  EXPECT_EQ(a[1].value, 1.0);
  EXPECT_EQ(a[3].kind, ActionKind::kGlide);
  EXPECT_EQ(a[3].time, 10.0);
  EXPECT_EQ(a[3].value, 60.0);
  EXPECT_EQ(a[3].fromTime, 0.0);
  EXPECT_EQ(a[3].fromValue, 0.0);
  EXPECT_FALSE(a[3].fromStart);
  EXPECT_EQ(a[5].kind, ActionKind::kGlide);
  EXPECT_EQ(a[5].param, kIso);
  EXPECT_EQ(a[5].time, 1200.0);
  EXPECT_EQ(a[5].fromTime, 30.0);
  EXPECT_EQ(a[5].fromValue, 12.0);
  EXPECT_EQ(a[5].value, 4.5);
  EXPECT_EQ(a[6].param, kWave);
  EXPECT_EQ(a[6].value, 4.0);
  // The last glide starts at the set ten seconds before it, not at the first fade.
  EXPECT_EQ(a[8].fromTime, 1490.0);
  EXPECT_EQ(a[8].fromValue, 60.0);
  EXPECT_EQ(a[9].kind, ActionKind::kEnd);
  EXPECT_EQ(a[9].line, 12);
  EXPECT_EQ(a[9].column, 1);
  EXPECT_EQ(s.endTime, 1500.0);
  EXPECT_EQ(s.lastTime, 1500.0);
}

TEST(SessionFile, TheBedUnderTheTones) {
  using namespace caldrith_session;
  const int bed = static_cast<int>(TestCatalog().params.size());
  Session s = Parse(
      "0:00 noise = pink -24\n"
      "0:00 noise gate = 50 %\n"
      "0:00 mix = \"music/rain 1.flac\" -12 dB\n"
      "0:00 mix loop = off\n"
      "1:00 noise level -> -40\n"
      "1:00 mix gate -> 30\n"
      "2:00 mix = \"music/rain 1.flac\"\n"
      "2:00 mix = \"b.mp3\"\n"
      "3:00 noise = off\n"
      "3:00 mix = OFF\n");
  struct Expect {
    int param;
    ActionKind kind;
    double value;
    int column;
  };
  const Expect expect[] = {
      {kBedNoise, ActionKind::kSet, 2, 1},
      {kBedNoiseLevel, ActionKind::kSet, -24, 19},
      {kBedNoiseGate, ActionKind::kSet, 50, 1},
      {kBedMix, ActionKind::kSet, 1, 1},
      {kBedMixLevel, ActionKind::kSet, -12, 32},
      {kBedMixLoop, ActionKind::kSet, 0, 1},
      {kBedNoiseLevel, ActionKind::kGlide, -40, 1},
      {kBedMixGate, ActionKind::kGlide, 30, 1},
      {kBedMix, ActionKind::kSet, 1, 1},
      {kBedMix, ActionKind::kSet, 2, 1},
      {kBedNoise, ActionKind::kSet, 0, 1},
      {kBedMix, ActionKind::kSet, 0, 1},
  };
  ASSERT_EQ(s.actions.size(), std::size(expect));
  for (size_t i = 0; i < s.actions.size(); ++i) {
    EXPECT_EQ(s.actions[i].param, bed + expect[i].param) << i;
    EXPECT_EQ(s.actions[i].kind, expect[i].kind) << i;
    EXPECT_EQ(s.actions[i].value, expect[i].value) << i;
    EXPECT_EQ(s.actions[i].column, expect[i].column) << i;
  }
  // The level given beside the colour is where its glide starts.
  EXPECT_EQ(s.actions[6].fromTime, 0.0);
  EXPECT_EQ(s.actions[6].fromValue, -24.0);
  EXPECT_FALSE(s.actions[6].fromStart);
  // Each file once, where it was first named.
  ASSERT_EQ(s.mixFiles.size(), 2u);
  EXPECT_EQ(s.mixFiles[0].path, "music/rain 1.flac");
  EXPECT_EQ(s.mixFiles[0].line, 3);
  EXPECT_EQ(s.mixFiles[0].column, 12);
  EXPECT_EQ(s.mixFiles[1].path, "b.mp3");
  EXPECT_EQ(s.mixFiles[1].line, 8);
}

TEST(SessionFile, Times) {
  const std::vector<std::pair<std::string, double>> good = {
      {"0", 0.0},        {"90", 90.0},          {"1:30", 90.0},       {"1:02.5", 62.5},
      {"0:00.25", 0.25}, {"1:02:03.5", 3723.5}, {"75:00", 4500.0},    {"24:00:00", 86400.0},
      {"007", 7.0},      {"2:00:00", 7200.0},   {"0:59.999", 59.999},
  };
  for (const auto& g : good) {
    double t = -1;
    ParseError e;
    EXPECT_EQ(caldrith_session::ParseTime(g.first, 0, &t, &e), g.first.size()) << g.first;
    EXPECT_DOUBLE_EQ(t, g.second) << g.first;
  }
  // Text, and the column (1-based, in the text) that the complaint points at.
  const std::vector<std::pair<std::string, int>> bad = {
      {"1:2", 3},    {"1:60", 3},       {"1:00:60", 6}, {"1:60:00", 3},
      {"1.5:00", 4}, {"1:00:00:00", 8}, {"1.", 3},      {"24:00:01", 1},
      {":30", 1},    {"abc", 1},        {"1:234", 3},   {"99999999999999", 1},
  };
  for (const auto& b : bad) {
    double t = -1;
    ParseError e;
    EXPECT_EQ(caldrith_session::ParseTime(b.first, 0, &t, &e), 0u) << b.first;
    EXPECT_EQ(e.column, b.second) << b.first << ": " << e.message;
    EXPECT_FALSE(e.message.empty());
  }
  EXPECT_EQ(caldrith_session::FormatTime(3723.5), "1:02:03.5");
  EXPECT_EQ(caldrith_session::FormatTime(90.0), "1:30");
  EXPECT_EQ(caldrith_session::FormatTime(0.25), "0:00.25");
}

TEST(SessionFile, LayoutCommentsAndNames) {
  // A byte-order mark, CRLF endings, tabs, comments, a '#' inside a preset name, a name in
  // another letter case, and a parameter name that starts with the word "play".
  Session s = Parse(
      "\xEF\xBB\xBF# header\r\n"
      "\t0:01\tpreset \"Mix #2\"   # comment\r\n"
      "   \r\n"
      "0:02 volume=7\r\n"
      "0:03 Play Anyway = No\r\n"
      "0:04 PLAY\r\n"
      "0:05 preset 0\r\n"
      "0:06 Stop");
  ASSERT_EQ(s.actions.size(), 6u);
  EXPECT_EQ(s.actions[0].preset, 3);
  EXPECT_EQ(s.actions[0].line, 2);
  EXPECT_EQ(s.actions[0].column, 2);
  EXPECT_EQ(s.actions[1].param, kVolume);
  EXPECT_EQ(s.actions[1].value, 7.0);
  EXPECT_EQ(s.actions[2].param, kPlay);
  EXPECT_EQ(s.actions[2].value, 0.0);
  EXPECT_EQ(s.actions[3].kind, ActionKind::kPlay);
  EXPECT_EQ(s.actions[4].preset, 0);
  EXPECT_EQ(s.actions[5].kind, ActionKind::kStop);
  EXPECT_EQ(s.endTime, -1.0);
  EXPECT_EQ(s.lastTime, 6.0);
  EXPECT_TRUE(Parse("").actions.empty());
  EXPECT_TRUE(Parse("# only\n\n").actions.empty());
}

TEST(SessionFile, GlideStartingPoints) {
  Session s = Parse(
      "5 Isochronic -> 20\n"  // no earlier point: from the value at the start
      "10 Isochronic -> 8\n"  // from 20 at 5 s
      "10 Volume = 10\n"
      "10 Volume -> 40\n"  // zero length: a jump at 10 s
      "15 Low Freq = 100\n"
      "20 Low Freq -> 200\n"
      "20 Isochronic -> 1\n");  // from 8 at 10 s, over another parameter's points
  const std::vector<Action>& a = s.actions;
  EXPECT_TRUE(a[0].fromStart);
  EXPECT_EQ(a[0].fromTime, 0.0);
  EXPECT_FALSE(a[1].fromStart);
  EXPECT_EQ(a[1].fromTime, 5.0);
  EXPECT_EQ(a[1].fromValue, 20.0);
  EXPECT_EQ(a[3].fromTime, 10.0);
  EXPECT_EQ(a[3].fromValue, 10.0);
  EXPECT_EQ(a[5].fromTime, 15.0);
  EXPECT_EQ(a[5].fromValue, 100.0);
  EXPECT_EQ(a[6].fromTime, 10.0);
  EXPECT_EQ(a[6].fromValue, 8.0);
}

TEST(SessionFile, LengthOfASession) {
  Session ended = Parse("1 Volume = 3\n7.5 end\n");
  EXPECT_EQ(caldrith_session::SessionSeconds(ended, -1.0), 7.5);
  EXPECT_EQ(caldrith_session::SessionSeconds(ended, 3.0), 3.0);  // --seconds shortens it
  Session open = Parse("1 Volume = 3\n4 stop\n");
  EXPECT_EQ(caldrith_session::SessionSeconds(open, -1.0), 4.0);
  EXPECT_EQ(caldrith_session::SessionSeconds(open, 9.0), 9.0);
}

TEST(SessionFile, EveryErrorNamesLineAndColumn) {
  struct Case {
    std::string text;
    int line, column;
    std::string says;
  };
  const std::vector<Case> cases = {
      {"0:00 Volume = 0\n0:10 Volume -> 60\n0:05 Volume = 3", 3, 1, "backwards"},
      {"  1:75 play", 1, 5, "00 to 59"},
      {"0:10play", 1, 5, "space after the time"},
      {"0:10  ", 1, 5, "expected an action"},
      {"x:10 play", 1, 1, "expected a time"},
      {"0:10  Volme = 3", 1, 7, "no parameter is named \"Volme\"; closest: \"Volume\""},
      {"0:10 Volume 60", 1, 13, "expected \"=\" (set) or \"->\" (glide) after \"Volume\""},
      {"0:10 Volume =", 1, 14, "expected a value"},
      {"0:10 Volume = loud", 1, 15, "\"loud\" is not a value of \"Volume\""},
      {"0:10 Wave = Square", 1, 13, "\"Gold. Square\""},
      {"0:10 Volume = 101", 1, 15, "takes values from 0 to 100"},
      {"0:10 Isochronic -> 0", 1, 20, "takes values from 0.01 to 1000"},
      {"0:10 Wave -> Saw", 1, 11, "cannot glide"},
      {"0:10 Tones -> 3", 1, 12, "has only 16 values"},
      {"0:10 Play Anyway -> Yes", 1, 18, "cannot glide"},
      {"0:10 Presets = 2", 1, 6, "preset N"},
      {"0:10 = 3", 1, 6, "expected a parameter name"},
      {"0:10 preset \"Nope\"", 1, 13, "no preset is named \"Nope\""},
      {"0:10 preset 5", 1, 13, "outside 0..4"},
      {"0:10 preset \"Minimal", 1, 13, "never closed"},
      {"0:10 preset", 1, 12, "expected a preset number"},
      {"0:10 preset Minimal", 1, 13, "quotes"},
      {"0:10 preset 2x", 1, 13, "expected a preset number"},
      {"0:10 preset \"Mix #2\" again", 1, 22, "unexpected text after the preset"},
      {"0:10 play now", 1, 11, "unexpected text after \"play\""},
      {"0:10 stop 1", 1, 11, "unexpected text"},
      {"0:10 end\n\n# fine\n0:20 play", 4, 1, "nothing may follow \"end\" (line 1)"},
      {"0:10 jump", 1, 6, "unknown action \"jump\""},
      {"0:10 paly", 1, 6, "did you mean \"play\"?"},
      {"0:10 Wave = Sin\xFF", 1, 16, "not UTF-8"},
      {"0:10 Wave = Sin\xC3", 1, 16, "not UTF-8"},
      {"0:10 Wave = \xED\xA0\x80", 1, 13, "not UTF-8"},  // a surrogate
      {"0:10 play\x01", 1, 10, "control character"},
      // Columns count characters: the name before the fault holds a two-byte letter.
      {"0:10 preset \"Caf\xC3\xA9\" x", 1, 20, "unexpected text after the preset"},
      {"25:00:01 end", 1, 1, "up to 24:00:00"},
      // The bed under the tones.
      {"0:10 noise = purple", 1, 14, "\"purple\" is not a value of \"noise\""},
      {"0:10 noise = pink 3", 1, 19, "\"noise level\" takes values from -96 to 0"},
      {"0:10 noise = pink -24 dBFS x", 1, 19, "not a value"},
      {"0:10 noise -> pink", 1, 12, "glide its level"},
      {"0:10 noise = off -20", 1, 18, "unexpected text after \"off\""},
      {"0:10 noise gate = 101 %", 1, 19, "takes values from 0 to 100"},
      {"0:10 mix gate -> -5", 1, 18, "takes values from 0 to 100"},
      {"0:10 mix =", 1, 11, "expected a file in quotes"},
      {"0:10 mix = \"a.flac", 1, 12, "never closed"},
      {"0:10 mix = \"\"", 1, 12, "expected a file"},
      {"0:10 mix = \"a.flac\" 30", 1, 21, "\"mix level\" takes values from -96 to 24"},
      {"0:10 mix loop = maybe", 1, 17, "not a value of \"mix loop\""},
  };
  for (const Case& c : cases) {
    ParseError e = Fail(c.text);
    EXPECT_EQ(e.line, c.line) << c.text << " -> " << e.message;
    EXPECT_EQ(e.column, c.column) << c.text << " -> " << e.message;
    EXPECT_NE(e.message.find(c.says), std::string::npos) << c.text << " -> " << e.message;
  }
  ParseError e{3, 14, "expected a value"};
  EXPECT_EQ(caldrith_session::FormatParseError("a.txt", e), "a.txt:3:14: expected a value");
}

TEST(SessionFile, NamesAndValuesAsTheCommandLineTakesThem) {
  caldrith_session::Catalog c = TestCatalog();
  EXPECT_EQ(caldrith_session::FindParam(c, "Volume"), kVolume);
  EXPECT_EQ(caldrith_session::FindParam(c, "LOW FREQ"), kLowFreq);
  EXPECT_EQ(caldrith_session::FindParam(c, "Volum"), -1);
  double v = -1;
  EXPECT_EQ(caldrith_session::ResolveValue(c.params[kWave], "Gold. Triangle", &v), "");
  EXPECT_EQ(v, 5.0);
  EXPECT_EQ(caldrith_session::ResolveValue(c.params[kWave], " 2 ", &v), "");
  EXPECT_EQ(v, 2.0);
  // Value texts match as names do: any letter case, spaces around, optional quotes.
  for (const char* text : {"gold. triangle", " \"Gold. Triangle\" ", "\" GOLD. TRIANGLE\""}) {
    v = -1;
    EXPECT_EQ(caldrith_session::ResolveValue(c.params[kWave], text, &v), "") << text;
    EXPECT_EQ(v, 5.0) << text;
  }
  EXPECT_NE(caldrith_session::ResolveValue(c.params[kTones], "7.5", &v), "");
  EXPECT_EQ(caldrith_session::ResolveValue(c.params[kTones], "7.0", &v), "");
  EXPECT_LT(caldrith_session::ResolveValue(c.params[kWave], std::string(1 << 20, 'x'), &v).size(),
            160u);
  EXPECT_NE(caldrith_session::ResolveValue(c.params[kIso], "nan", &v), "");
  EXPECT_NE(caldrith_session::ResolveValue(c.params[kIso], "0.0099", &v), "");
  EXPECT_EQ(caldrith_session::ResolveValue(c.params[kIso], "0.01", &v), "");
  EXPECT_EQ(caldrith_session::ResolveValue(c.params[kIso], "1000", &v), "");
  EXPECT_NE(caldrith_session::ResolveValue(c.params[kIso], "1000.001", &v), "");
  int p = -1;
  EXPECT_EQ(caldrith_session::ResolvePreset(c, "4", &p), "");
  EXPECT_EQ(p, 4);
  EXPECT_EQ(caldrith_session::ResolvePreset(c, "Mix #2", &p), "");
  EXPECT_EQ(p, 3);
  EXPECT_NE(caldrith_session::ResolvePreset(c, "-1", &p), "");
  EXPECT_NE(caldrith_session::ResolvePreset(c, "99999999999", &p), "");
  EXPECT_NE(caldrith_session::ResolvePresetName(c, "0", &p), "");
}
