#pragma once
// Command line of caldrith-render: a table of options, each with its own handler, so that a new
// option is one more table entry.
#include <functional>
#include <string>
#include <vector>

struct RenderOptions {
  std::string bundle;  // empty: the bundle built beside the tool
  std::string output = "caldrith.wav";
  std::string preset;               // index or exact name; empty: keep the plug-in's own
  std::vector<std::string> params;  // "Name=value", applied after the preset
  double seconds = 10.0;
  bool secondsGiven = false;  // a session's own length wins over the default
  bool outputGiven = false;
  std::string session;  // session file of timed changes
  bool play = false;    // play live instead of writing a file
  std::string device;   // output device for --play; empty: the system's default
  bool listDevices = false;
  std::string plot;  // picture of the rendered session
  int rate = 48000;
  int block = 512;
  int precision = 32;
  std::string sampleFormat;  // "float" or "24"; empty: float for WAV, 24 for FLAC
  bool listPresets = false;
  bool listParams = false;
  bool quiet = false;
  bool help = false;
  bool version = false;
  std::string stateIn;
  std::string stateOut;
  std::string editorPng;     // picture of the editor after the render
  std::string hover;         // parameter whose control the mouse rests on for that picture
  double editorScale = 1.0;  // scale of that picture (1 to 3)
  // The bed under the tones; a session may set and change all of it too.
  std::string noise;          // "white", "pink" or "brown"; empty: none
  double noiseLevel = -24.0;  // dBFS RMS
  bool noiseMono = false;
  double noiseGate = 0.0;  // % of the tones' pulse that the noise follows
  std::string mix;         // music file
  double mixLevel = 0.0;   // dB
  double mixGate = 0.0;    // %
  bool mixLoop = true;
  unsigned long long seed = 1;
  // Loudness of what is written: an integrated target (LUFS) and a true-peak ceiling (dBTP).
  double loudness = 0.0;
  bool loudnessGiven = false;
  double ceiling = -1.0;
  bool ceilingGiven = false;
  std::string hostName = "caldrith-render";
  std::vector<std::string> given;  // long names of the options given, in order
};

struct OptionSpec {
  const char* longName;   // "--seconds"
  const char* shortName;  // "-o" or nullptr
  const char* valueName;  // nullptr for a flag
  const char* help;
  // Stores the value; returns an error message, or "" when the value is good.
  std::function<std::string(RenderOptions&, const std::string&)> apply;
};

// The tool's options in the order the usage text lists them.
std::vector<OptionSpec>& RenderOptionTable();

// Parses argv into opts. Returns "" on success, else the message for the user.
std::string ParseRenderOptions(int argc, char** argv, RenderOptions* opts);
// "" when every option given does something in the mode chosen, else the message for the user
// (such as for --device without --play).
std::string UnusedOptionMessage(const RenderOptions& opts);
std::string RenderUsage(const char* program);

// Where to look for the bundle when --bundle is not given, in order: beside the executable
// (an installed tree's lib/vst3, then the build tree's layout), then the folders hosts scan.
// An empty home leaves out the user's folder.
std::vector<std::string> BundleSearchPath(const std::string& exeDir, const std::string& home);

// Strict number parsing: the whole text must be the number.
bool ParseDouble(const std::string& text, double* out);
bool ParseInt(const std::string& text, int* out);

// Text from the user as a message quotes it: whole when short, else its first characters and
// how long it was.
std::string Excerpt(const std::string& text);

// Edit distance on lower-cased text, for suggesting names.
int NameDistance(const std::string& a, const std::string& b);
// Up to `count` candidates nearest to `name`, nearest first; substrings count as near.
std::vector<std::string> ClosestNames(const std::string& name,
                                      const std::vector<std::string>& candidates, size_t count);
