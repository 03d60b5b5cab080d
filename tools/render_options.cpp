#include "tools/render_options.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>

namespace {

std::string Lower(const std::string& s) {
  std::string r = s;
  for (char& c : r) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return r;
}

std::string IntOption(const std::string& v, int lo, int hi, int* out, const char* what) {
  int x = 0;
  if (!ParseInt(v, &x) || x < lo || x > hi) {
    return std::string(what) + " must be a whole number from " + std::to_string(lo) + " to " +
           std::to_string(hi) + ", not \"" + v + "\"";
  }
  *out = x;
  return "";
}

}  // namespace

bool ParseDouble(const std::string& text, double* out) {
  if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return false;
  char* end = nullptr;
  errno = 0;
  double v = std::strtod(text.c_str(), &end);
  if (*end != '\0' || errno == ERANGE || !std::isfinite(v)) return false;
  *out = v;
  return true;
}

bool ParseInt(const std::string& text, int* out) {
  if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return false;
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0' || errno == ERANGE || v < INT_MIN || v > INT_MAX) return false;
  *out = static_cast<int>(v);
  return true;
}

std::vector<OptionSpec>& RenderOptionTable() {
  static std::vector<OptionSpec> table = {
      {"--bundle", nullptr, "PATH",
       "the .vst3 bundle to load (default: the one installed or built beside this tool, "
       "else /usr/lib/vst3, /usr/local/lib/vst3, ~/.vst3)",
       [](RenderOptions& o, const std::string& v) {
         o.bundle = v;
         return std::string();
       }},
      {"--output", "-o", "FILE",
       "audio file to write: .wav, .flac, .ogg, .opus or .mp3 (default caldrith.wav)",
       [](RenderOptions& o, const std::string& v) {
         if (v.empty()) return std::string("--output needs a file name");
         o.output = v;
         o.outputGiven = true;
         return std::string();
       }},
      {"--session", nullptr, "FILE",
       "render a session: timed lines such as \"0:30 Volume -> 60\" (see the README)",
       [](RenderOptions& o, const std::string& v) {
         if (v.empty()) return std::string("--session needs a file name");
         o.session = v;
         return std::string();
       }},
      {"--play", nullptr, nullptr, "play live on the audio output instead of writing a file",
       [](RenderOptions& o, const std::string&) {
         o.play = true;
         return std::string();
       }},
      {"--device", nullptr, "NAME", "for --play: the output device (default: the system's)",
       [](RenderOptions& o, const std::string& v) {
         if (v.empty()) return std::string("--device needs a name");
         o.device = v;
         return std::string();
       }},
      {"--list-devices", nullptr, nullptr, "print the audio output devices and exit",
       [](RenderOptions& o, const std::string&) {
         o.listDevices = true;
         return std::string();
       }},
      {"--plot", nullptr, "FILE.png",
       "draw the pulse rate, band and level over time into a 1200 x 600 PNG",
       [](RenderOptions& o, const std::string& v) {
         size_t n = v.size();
         if (n < 5 || (v.compare(n - 4, 4, ".png") != 0 && v.compare(n - 4, 4, ".PNG") != 0)) {
           return "--plot writes a PNG picture: give a file name ending in .png, not \"" + v + "\"";
         }
         o.plot = v;
         return std::string();
       }},
      {"--preset", nullptr, "N|NAME", "factory preset by index or exact name",
       [](RenderOptions& o, const std::string& v) {
         if (v.empty()) return std::string("--preset needs an index or a name");
         o.preset = v;
         return std::string();
       }},
      {"--param", nullptr, "NAME=VALUE", "set a parameter to a real value (repeatable)",
       [](RenderOptions& o, const std::string& v) {
         size_t eq = v.find('=');
         if (eq == std::string::npos || eq == 0 || eq + 1 == v.size()) {
           return "--param wants NAME=VALUE, not \"" + v + "\"";
         }
         o.params.push_back(v);
         return std::string();
       }},
      {"--seconds", nullptr, "S",
       "length of the render (default 10; a session's own length when it has one)",
       [](RenderOptions& o, const std::string& v) {
         double s = 0;
         if (!ParseDouble(v, &s) || s <= 0.0 || s > 86400.0) {
           return "--seconds must be a number above 0 and at most 86400, not \"" + v + "\"";
         }
         o.seconds = s;
         o.secondsGiven = true;
         return std::string();
       }},
      {"--rate", nullptr, "HZ", "sample rate (default 48000)",
       [](RenderOptions& o, const std::string& v) {
         return IntOption(v, 8000, 384000, &o.rate, "--rate");
       }},
      {"--block", nullptr, "N", "samples per process call (default 512)",
       [](RenderOptions& o, const std::string& v) {
         return IntOption(v, 1, 65536, &o.block, "--block");
       }},
      {"--precision", nullptr, "32|64", "processing sample size (default 32)",
       [](RenderOptions& o, const std::string& v) {
         if (v != "32" && v != "64") return "--precision must be 32 or 64, not \"" + v + "\"";
         o.precision = v == "32" ? 32 : 64;
         return std::string();
       }},
      {"--sample-format", nullptr, "float|24", "file samples (default float for WAV, 24 for FLAC)",
       [](RenderOptions& o, const std::string& v) {
         if (v != "float" && v != "24") {
           return "--sample-format must be float or 24, not \"" + v + "\"";
         }
         o.sampleFormat = v;
         return std::string();
       }},
      {"--state-in", nullptr, "FILE", "restore this plug-in state before rendering",
       [](RenderOptions& o, const std::string& v) {
         o.stateIn = v;
         return std::string();
       }},
      {"--state-out", nullptr, "FILE", "save the plug-in state after rendering",
       [](RenderOptions& o, const std::string& v) {
         o.stateOut = v;
         return std::string();
       }},
      {"--editor-png", nullptr, "FILE", "after rendering, write a picture of the editor",
       [](RenderOptions& o, const std::string& v) {
         o.editorPng = v;
         return std::string();
       }},
      {"--scale", nullptr, "S",
       "for --editor-png: draw the editor at this scale, 1 to 3 (as on a screen at S x 100 %)",
       [](RenderOptions& o, const std::string& v) {
         double s = 0.0;
         if (!ParseDouble(v, &s) || !(s >= 1.0) || s > 3.0) {
           return "--scale must be a number from 1 to 3, not \"" + v + "\"";
         }
         o.editorScale = s;
         return std::string();
       }},
      {"--hover", nullptr, "NAME",
       "for --editor-png: rest the mouse on this parameter's control first",
       [](RenderOptions& o, const std::string& v) {
         o.hover = v;
         return std::string();
       }},
      {"--list-presets", nullptr, nullptr, "print the preset list and exit",
       [](RenderOptions& o, const std::string&) {
         o.listPresets = true;
         return std::string();
       }},
      {"--list-params", nullptr, nullptr, "print names, ranges, defaults and units, and exit",
       [](RenderOptions& o, const std::string&) {
         o.listParams = true;
         return std::string();
       }},
      {"--quiet", "-q", nullptr, "no progress bar or status line",
       [](RenderOptions& o, const std::string&) {
         o.quiet = true;
         return std::string();
       }},
      {"--help", "-h", nullptr, "show this text",
       [](RenderOptions& o, const std::string&) {
         o.help = true;
         return std::string();
       }},
      {"--version", nullptr, nullptr, "print the version and exit",
       [](RenderOptions& o, const std::string&) {
         o.version = true;
         return std::string();
       }},
  };
  return table;
}

std::string ParseRenderOptions(int argc, char** argv, RenderOptions* opts) {
  std::vector<OptionSpec>& table = RenderOptionTable();
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    std::string value;
    bool hasInlineValue = false;
    if (arg.rfind("--", 0) == 0) {
      size_t eq = arg.find('=');
      if (eq != std::string::npos) {
        value = arg.substr(eq + 1);
        arg.resize(eq);
        hasInlineValue = true;
      }
    }
    const OptionSpec* option = nullptr;
    for (const OptionSpec& s : table) {
      if (arg == s.longName || (s.shortName && arg == s.shortName)) option = &s;
    }
    if (!option) {
      std::vector<std::string> names;
      for (const OptionSpec& s : table) names.push_back(s.longName);
      std::vector<std::string> near = ClosestNames(arg, names, 1);
      std::string msg = "unknown option \"" + arg + "\"";
      if (!near.empty() && NameDistance(arg, near[0]) <= 3)
        msg += " (did you mean " + near[0] + "?)";
      return msg;
    }
    if (option->valueName) {
      if (!hasInlineValue) {
        if (i + 1 >= argc)
          return std::string(option->longName) + " needs a value (" + option->valueName + ")";
        value = argv[++i];
      }
    } else if (hasInlineValue) {
      return std::string(option->longName) + " takes no value";
    }
    std::string err = option->apply(*opts, value);
    if (!err.empty()) return err;
  }
  return "";
}

std::vector<std::string> BundleSearchPath(const std::string& exeDir, const std::string& home) {
  const std::string name = "/Caldrith.vst3";
  std::vector<std::string> path = {exeDir + "/../lib/vst3" + name, exeDir + "/.." + name,
                                   exeDir + name, "/usr/lib/vst3" + name,
                                   "/usr/local/lib/vst3" + name};
  if (!home.empty()) path.push_back(home + "/.vst3" + name);
  return path;
}

std::string RenderUsage(const char* program) {
  std::string text = std::string("Usage: ") + program +
                     " [options]\n\nRenders the instrument "
                     "through its VST 3 module to an audio file, or plays it live.\n\n";
  for (const OptionSpec& s : RenderOptionTable()) {
    std::string left = "  ";
    if (s.shortName) left += std::string(s.shortName) + ", ";
    left += s.longName;
    if (s.valueName) left += std::string(" ") + s.valueName;
    if (left.size() < 30) left.resize(30, ' ');
    text += left + " " + s.help + "\n";
  }
  return text;
}

int NameDistance(const std::string& a0, const std::string& b0) {
  std::string a = Lower(a0), b = Lower(b0);
  std::vector<int> prev(b.size() + 1), cur(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) prev[j] = static_cast<int>(j);
  for (size_t i = 1; i <= a.size(); ++i) {
    cur[0] = static_cast<int>(i);
    for (size_t j = 1; j <= b.size(); ++j) {
      int sub = prev[j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1);
      cur[j] = std::min({prev[j] + 1, cur[j - 1] + 1, sub});
    }
    std::swap(prev, cur);
  }
  return prev[b.size()];
}

std::vector<std::string> ClosestNames(const std::string& name,
                                      const std::vector<std::string>& candidates, size_t count) {
  std::string key = Lower(name);
  std::vector<std::pair<double, std::string>> scored;
  for (const std::string& c : candidates) {
    // Edits relative to length, so that short names do not win by being short; a candidate
    // that contains what was typed ranks before every near miss.
    double d = static_cast<double>(NameDistance(name, c)) /
               static_cast<double>(std::max<size_t>(1, std::max(name.size(), c.size())));
    if (!key.empty() && Lower(c).find(key) != std::string::npos) d -= 1.0;
    scored.emplace_back(d, c);
  }
  std::stable_sort(scored.begin(), scored.end(),
                   [](const auto& x, const auto& y) { return x.first < y.first; });
  std::vector<std::string> out;
  for (size_t i = 0; i < scored.size() && out.size() < count; ++i) out.push_back(scored[i].second);
  return out;
}
