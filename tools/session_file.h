#pragma once
// Session files for caldrith-render: timed parameter changes, glides, preset selections and
// transport changes, one per line. Parsing is a pure function of the text and a catalog of
// the plug-in's parameters and presets, so it can be tested and fuzzed without the plug-in.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace caldrith_session {

// The longest session (and the latest time a line may name), in seconds.
constexpr double kMaxSessionSeconds = 86400.0;
// Parameters with fewer values than this (switches, the wave, the tone count) only jump.
constexpr int kFewestGlidingValues = 20;

struct ParamEntry {
  std::string name;
  std::string unit;
  double min = 0.0;
  double max = 1.0;
  int stepCount = 0;  // 0: continuous
  bool programChange = false;
  // Display texts of the stepped values with their real values, in step order.
  std::vector<std::pair<std::string, double>> valueTexts;
  int bed = -1;  // a part of the bed under the tones (BedParam), not the plug-in's

  bool CanGlide() const { return stepCount == 0 || stepCount + 1 >= kFewestGlidingValues; }
};

struct Catalog {
  std::vector<ParamEntry> params;
  std::vector<std::string> presets;
};

// The bed that caldrith-render lays under the plug-in's tones: a noise and a music file, each
// with its level and how deeply the tones' pulse gate works on it. Its settings sit in the
// catalog after the plug-in's parameters, so that session lines set and glide them as they
// do parameters:
//   noise = pink -24     noise level -> -40     noise gate = 50 %     noise = off
//   mix = "rain.flac" -12     mix level -> -20     mix gate = 30 %     mix loop = off
enum BedParam {
  kBedNoise,       // 0 off, 1 white, 2 pink, 3 brown
  kBedNoiseLevel,  // dBFS RMS
  kBedNoiseGate,   // %: how deeply the tones' gate pulses it
  kBedMix,         // 0 off, k: Session::mixFiles[k - 1]
  kBedMixLevel,    // dB, applied to the file as it is
  kBedMixGate,     // %
  kBedMixLoop,     // 0 off: silence after its end; 1 on: it starts again
  kBedParamCount
};
constexpr double kDefaultNoiseLevel = -24.0;
constexpr double kDefaultMixLevel = 0.0;
constexpr double kLowestBedLevel = -96.0;  // quieter is off
constexpr double kLoudestNoiseLevel = 0.0;
constexpr double kLoudestMixLevel = 24.0;
// Appends the bed's settings to a plug-in's catalog; answers the index of the first.
int AddBedParams(Catalog* catalog);
// The value each bed setting has before anything sets it.
double BedDefault(int bedParam);

// A music file a session names, with where it was named (its path as written, resolved
// against the session file's folder by the caller).
struct MixFile {
  std::string path;
  int line = 0;
  int column = 0;
};

// Name and value lookup shared by --param and the session files. Each answers "" on success
// or the message for the user.
//
// Exact name first, then the one that differs in letter case only.
int FindParam(const Catalog& catalog, const std::string& name);
std::string UnknownParamMessage(const Catalog& catalog, const std::string& name);
// A real value inside the range (the unit may follow it: "50 %", "-24 dBFS"), or one of the
// display texts.
std::string ResolveValue(const ParamEntry& param, const std::string& text, double* plain);
// An index, or an exact name.
std::string ResolvePreset(const Catalog& catalog, const std::string& text, int* index);
// The same name test for a name that came in quotes: never read as an index.
std::string ResolvePresetName(const Catalog& catalog, const std::string& name, int* index);

enum class ActionKind { kSet, kGlide, kPreset, kPlay, kStop, kEnd };

struct Action {
  ActionKind kind = ActionKind::kSet;
  double time = 0.0;  // seconds from the start
  int line = 0;       // where the action was written, 1-based
  int column = 0;
  int param = -1;      // kSet, kGlide: index into Catalog::params
  double value = 0.0;  // kSet, kGlide: the real value set or reached
  int preset = -1;     // kPreset
  // kGlide: where it starts. Without an earlier point of the same parameter in the file it
  // starts at time 0 from whatever value the parameter has then (fromStart).
  double fromTime = 0.0;
  double fromValue = 0.0;
  bool fromStart = false;
};

struct Session {
  std::vector<Action> actions;    // in file order; times never decrease
  double endTime = -1.0;          // time of `end`, or -1 when the file has none
  double lastTime = 0.0;          // time of the last action
  std::vector<MixFile> mixFiles;  // each file once, in the order first named
};

struct ParseError {
  int line = 0;
  int column = 0;
  std::string message;
};

// Parses the text of a session file. On failure answers false and fills `error`.
bool ParseSession(const std::string& text, const Catalog& catalog, Session* session,
                  ParseError* error);
// "FILE:LINE:COLUMN: message"
std::string FormatParseError(const std::string& file, const ParseError& error);

// Parses a time of the form S, M:SS or H:MM:SS, each with optional decimals. Answers the
// number of bytes used (0 when there is no time there) and fills either seconds or, when the
// text is a time with a fault, error (with the column inside `text`, 1-based).
size_t ParseTime(const std::string& text, size_t pos, double* seconds, ParseError* error);
// "1:02:03.5", "2:05", "0:00.25": the shortest form that shows the time to the millisecond.
std::string FormatTime(double seconds);

}  // namespace caldrith_session
