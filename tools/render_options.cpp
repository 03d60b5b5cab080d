#include "tools/render_options.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

std::string Lower(const std::string& s) {
  std::string r = s;
  for (char& c : r) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return r;
}

std::string NumberOption(const std::string& v, double lo, double hi, double* out,
                         const std::string& what, const char* unit) {
  std::string text = v;
  // The unit may follow the number, as in a session.
  const std::string u = unit;
  if (!u.empty() && text.size() > u.size() &&
      Lower(text.substr(text.size() - u.size())) == Lower(u)) {
    text.resize(text.size() - u.size());
    while (!text.empty() && text.back() == ' ') text.pop_back();
  }
  double x = 0.0;
  if (!ParseDouble(text, &x) || x < lo || x > hi) {
    char range[96];
    std::snprintf(range, sizeof(range), " must be a number from %g to %g%s%s, not ", lo, hi,
                  u.empty() ? "" : " ", unit);
    return what + range + Excerpt(v);
  }
  *out = x;
  return "";
}

// FILE:LEVEL or FILE: a level after the last colon, when it reads as a number.
std::string SourceWithLevel(const std::string& v, double lo, double hi, std::string* what,
                            double* level, const char* option, const char* unit) {
  size_t colon = v.find_last_of(':');
  std::string name = v;
  if (colon != std::string::npos) {
    double x = 0.0;
    std::string levelText = v.substr(colon + 1);
    std::string bare = levelText;
    while (!bare.empty() &&
           (std::isalpha(static_cast<unsigned char>(bare.back())) || bare.back() == ' '))
      bare.pop_back();
    if (ParseDouble(bare, &x)) {
      std::string err =
          NumberOption(levelText, lo, hi, level, std::string(option) + "'s level", unit);
      if (!err.empty()) return err;
      name = v.substr(0, colon);
    }
  }
  if (name.empty()) return std::string(option) + " needs a name before the level: " + Excerpt(v);
  *what = name;
  return "";
}

std::string IntOption(const std::string& v, int lo, int hi, int* out, const char* what) {
  int x = 0;
  if (!ParseInt(v, &x) || x < lo || x > hi) {
    return std::string(what) + " must be a whole number from " + std::to_string(lo) + " to " +
           std::to_string(hi) + ", not " + Excerpt(v);
  }
  *out = x;
  return "";
}

}  // namespace

namespace {

bool Given(const RenderOptions& o, const char* name) {
  return std::find(o.given.begin(), o.given.end(), name) != o.given.end();
}

}  // namespace

std::string UnusedOptionMessage(const RenderOptions& o) {
  if (o.help || o.version) return "";
  const char* lister = o.listDevices   ? "--list-devices"
                       : o.listPresets ? "--list-presets"
                       : o.listParams  ? "--list-params"
                                       : nullptr;
  if (lister) {
    // Listing prints and exits: only the bundle to list and the other lists count.
    for (const std::string& name : o.given) {
      bool lists = name == "--list-devices" || name == "--list-presets" || name == "--list-params";
      if (lists && o.listDevices && name != "--list-devices") {
        return "--list-devices and " + name + " are separate runs";
      }
      if (!lists && name != "--quiet" && !(name == "--bundle" && !o.listDevices)) {
        return std::string(lister) + " prints a list and exits: " + name + " does nothing with it";
      }
    }
    return "";
  }
  struct Need {
    const char* option;
    bool ok;
    const char* why;
  };
  const Need needs[] = {
      {"--device", o.play, "--device chooses the output of --play: add --play, or leave it out"},
      {"--output", !o.play, "--play plays instead of writing a file: leave out --output"},
      {"--sample-format", !o.play, "--sample-format is for files: --play leaves it unused"},
      {"--hover", !o.editorPng.empty(),
       "--hover is for --editor-png: add it, or leave out --hover"},
      {"--scale", !o.editorPng.empty(),
       "--scale is for --editor-png: add it, or leave out --scale"},
      {"--mix-gate", !o.mix.empty() || !o.session.empty(),
       "--mix-gate is for music: add --mix or a session with a mix line"},
      {"--mix-loop", !o.mix.empty() || !o.session.empty(),
       "--mix-loop is for music: add --mix or a session with a mix line"},
      {"--noise-mono", !o.noise.empty() || !o.session.empty(),
       "--noise-mono is for noise: add --noise or a session with a noise line"},
      {"--noise-gate", !o.noise.empty() || !o.session.empty(),
       "--noise-gate is for noise: add --noise or a session with a noise line"},
      {"--seed", !o.noise.empty() || !o.session.empty(),
       "--seed is for noise: add --noise or a session with a noise line"},
  };
  for (const Need& n : needs) {
    if (!n.ok && Given(o, n.option)) return n.why;
  }
  return "";
}

std::string Excerpt(const std::string& text) {
  const size_t kShown = 40;
  size_t chars = 0, cut = text.size();
  for (size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0u) == 0x80u) continue;
    if (chars++ == kShown) cut = i;
  }
  if (cut == text.size()) return "\"" + text + "\"";
  return "\"" + text.substr(0, cut) + "...\" (" + std::to_string(chars) + " characters)";
}

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
           return "--plot writes a PNG picture: give a file name ending in .png, not " + Excerpt(v);
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
      {"--param", nullptr, "NAME=VALUE",
       "set a parameter to a real value or one of its texts (repeatable)",
       [](RenderOptions& o, const std::string& v) {
         size_t eq = v.find('=');
         auto blank = [](const std::string& t) {
           return t.find_first_not_of(" \t") == std::string::npos;
         };
         if (eq == std::string::npos || blank(v.substr(0, eq)) || blank(v.substr(eq + 1))) {
           return "--param wants NAME=VALUE, not " + Excerpt(v);
         }
         o.params.push_back(v);
         return std::string();
       }},
      {"--seconds", nullptr, "S",
       "length of the render (default 10; a session that ends lasts until its end, "
       "which this may bring forward)",
       [](RenderOptions& o, const std::string& v) {
         double s = 0;
         if (!ParseDouble(v, &s) || s <= 0.0 || s > 86400.0) {
           return "--seconds must be a number above 0 and at most 86400, not " + Excerpt(v);
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
         if (v != "32" && v != "64") return "--precision must be 32 or 64, not " + Excerpt(v);
         o.precision = v == "32" ? 32 : 64;
         return std::string();
       }},
      {"--sample-format", nullptr, "float|24", "file samples (default float for WAV, 24 for FLAC)",
       [](RenderOptions& o, const std::string& v) {
         if (v != "float" && v != "24") {
           return "--sample-format must be float or 24, not " + Excerpt(v);
         }
         o.sampleFormat = v;
         return std::string();
       }},
      {"--state-in", nullptr, "FILE", "restore a state saved by --state-out, before rendering",
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
           return "--scale must be a number from 1 to 3, not " + Excerpt(v);
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
      {"--noise", nullptr, "COLOUR[:LEVEL]",
       "lay white, pink or brown noise under the tones at LEVEL dBFS RMS (default -24)",
       [](RenderOptions& o, const std::string& v) {
         std::string colour;
         std::string err =
             SourceWithLevel(v, -96.0, 0.0, &colour, &o.noiseLevel, "--noise", "dBFS");
         if (!err.empty()) return err;
         colour = Lower(colour);
         if (colour != "white" && colour != "pink" && colour != "brown") {
           return "--noise takes white, pink or brown (and :LEVEL), not " + Excerpt(v);
         }
         o.noise = colour;
         return std::string();
       }},
      {"--noise-mono", nullptr, nullptr, "the same noise on both channels (default: independent)",
       [](RenderOptions& o, const std::string&) {
         o.noiseMono = true;
         return std::string();
       }},
      {"--noise-gate", nullptr, "PCT",
       "how deeply the tones' pulse gates the noise, 0 to 100 (default 0)",
       [](RenderOptions& o, const std::string& v) {
         return NumberOption(v, 0.0, 100.0, &o.noiseGate, "--noise-gate", "%");
       }},
      {"--seed", nullptr, "N", "seed of the noise: the same seed gives the same file (default 1)",
       [](RenderOptions& o, const std::string& v) {
         errno = 0;
         char* end = nullptr;
         unsigned long long x = std::strtoull(v.c_str(), &end, 10);
         if (v.empty() || !std::isdigit(static_cast<unsigned char>(v[0])) || *end || errno) {
           return "--seed must be a whole number from 0 to 18446744073709551615, not " + Excerpt(v);
         }
         o.seed = x;
         return std::string();
       }},
      {"--mix", nullptr, "FILE[:LEVEL]",
       "lay a music file under the tones, LEVEL dB as it is (default 0); any format libsndfile "
       "reads",
       [](RenderOptions& o, const std::string& v) {
         return SourceWithLevel(v, -96.0, 24.0, &o.mix, &o.mixLevel, "--mix", "dB");
       }},
      {"--mix-gate", nullptr, "PCT",
       "how deeply the tones' pulse gates the music, 0 to 100 (default 0)",
       [](RenderOptions& o, const std::string& v) {
         return NumberOption(v, 0.0, 100.0, &o.mixGate, "--mix-gate", "%");
       }},
      {"--mix-loop", nullptr, "on|off", "start the music again at its end (default on)",
       [](RenderOptions& o, const std::string& v) {
         std::string w = Lower(v);
         if (w != "on" && w != "off") return "--mix-loop must be on or off, not " + Excerpt(v);
         o.mixLoop = w == "on";
         return std::string();
       }},
      {"--loudness", nullptr, "LUFS",
       "bring the file to this integrated loudness (EBU R128), measured in a first pass",
       [](RenderOptions& o, const std::string& v) {
         o.loudnessGiven = true;
         return NumberOption(v, -60.0, 0.0, &o.loudness, "--loudness", "LUFS");
       }},
      {"--ceiling", nullptr, "DBTP",
       "highest true peak the file may reach (default -1 with --loudness)",
       [](RenderOptions& o, const std::string& v) {
         o.ceilingGiven = true;
         return NumberOption(v, -30.0, 0.0, &o.ceiling, "--ceiling", "dBTP");
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
      std::string msg = "unknown option " + Excerpt(arg);
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
    opts->given.push_back(option->longName);
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
