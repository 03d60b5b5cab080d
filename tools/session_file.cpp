#include "tools/session_file.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "tools/render_options.h"

namespace caldrith_session {

namespace {

const char* const kActionsHint =
    "NAME = VALUE, NAME -> VALUE, preset, play, stop, end, noise = ... or mix = ...";

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

std::string Lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

std::string Quoted(const std::string& s) {
  return "\"" + s + "\"";
}

// Length of the well-formed UTF-8 sequence at s[i], or 0 when it is not one.
size_t Utf8Length(const std::string& s, size_t i) {
  auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  unsigned char c = byte(i);
  if (c < 0x80) return 1;
  size_t n = 0;
  uint32_t cp = 0;
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
    cp = c & 0x1Fu;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    cp = c & 0x0Fu;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    cp = c & 0x07u;
  } else {
    return 0;
  }
  if (i + n > s.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    if ((byte(i + k) & 0xC0u) != 0x80u) return 0;
    cp = cp << 6 | (byte(i + k) & 0x3Fu);
  }
  // Overlong forms, surrogates and code points past U+10FFFF.
  if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
      (cp >= 0xD800 && cp <= 0xDFFF)) {
    return 0;
  }
  return n;
}

// Columns count characters, not bytes, so that they match what an editor shows.
int ColumnOf(const std::string& line, size_t byteOffset) {
  int column = 1;
  for (size_t i = 0; i < byteOffset && i < line.size(); ++i) {
    if ((static_cast<unsigned char>(line[i]) & 0xC0u) != 0x80u) ++column;
  }
  return column;
}

struct LineError {
  size_t at = 0;  // byte offset in the line
  std::string message;
};

// Where the operator of NAME = VALUE or NAME -> VALUE is, outside quotes; npos when none.
size_t FindOperator(const std::string& s, size_t from, bool* glide) {
  bool quoted = false;
  for (size_t i = from; i < s.size(); ++i) {
    if (s[i] == '"') quoted = !quoted;
    if (quoted) continue;
    if (s[i] == '=') {
      *glide = false;
      return i;
    }
    if (s[i] == '-' && i + 1 < s.size() && s[i + 1] == '>') {
      *glide = true;
      return i;
    }
  }
  return std::string::npos;
}

std::string ValueChoices(const ParamEntry& p) {
  char range[96];
  std::snprintf(range, sizeof(range), "a number from %g to %g", std::min(p.min, p.max),
                std::max(p.min, p.max));
  std::string out = range;
  bool wordy = false;
  for (const auto& vt : p.valueTexts) {
    double ignored = 0;
    if (!ParseDouble(vt.first, &ignored)) wordy = true;
  }
  if (wordy) {
    out += " or one of";
    for (size_t i = 0; i < p.valueTexts.size(); ++i) {
      out += (i ? ", " : " ") + Quoted(p.valueTexts[i].first);
    }
  }
  return out;
}

class Parser {
 public:
  Parser(const Catalog& catalog, Session* session) : mCatalog(catalog), mSession(session) {
    mLastPoint.assign(catalog.params.size(), LastPoint{});
  }

  bool Line(const std::string& line, int number, ParseError* error) {
    LineError e;
    if (!ParseLine(line, number, &e)) {
      error->line = number;
      error->column = ColumnOf(line, e.at);
      error->message = e.message;
      return false;
    }
    return true;
  }

 private:
  struct LastPoint {
    bool set = false;
    double time = 0.0;
    double value = 0.0;
    int line = 0;
  };

  bool Fail(LineError* e, size_t at, std::string message) {
    e->at = at;
    e->message = std::move(message);
    return false;
  }

  bool ParseLine(const std::string& raw, int number, LineError* e) {
    // Encoding first, so that nothing below meets a broken character.
    for (size_t i = 0; i < raw.size();) {
      unsigned char c = static_cast<unsigned char>(raw[i]);
      if (c < 0x20 && c != '\t' && c != '\r') {
        return Fail(e, i, "control character " + std::to_string(c) + " in the line");
      }
      size_t n = Utf8Length(raw, i);
      if (n == 0) return Fail(e, i, "this is not UTF-8 text");
      i += n;
    }
    // Cut the comment: a '#' outside quotes.
    std::string line = raw;
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
      if (line[i] == '"') quoted = !quoted;
      if (line[i] == '#' && !quoted) {
        line.resize(i);
        break;
      }
    }
    while (!line.empty() && (IsBlank(line.back()) || line.back() == '\r')) line.pop_back();
    size_t pos = 0;
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    if (pos == line.size()) return true;

    if (mSession->endTime >= 0.0) {
      return Fail(e, pos, "nothing may follow \"end\" (line " + std::to_string(mEndLine) + ")");
    }
    Action a;
    a.line = number;
    a.column = ColumnOf(line, pos);
    ParseError timeError;
    size_t used = ParseTime(line, pos, &a.time, &timeError);
    if (used == 0) {
      return Fail(e, timeError.column > 0 ? static_cast<size_t>(timeError.column - 1) : pos,
                  timeError.message);
    }
    if (a.time < mLastTime) {
      return Fail(e, pos,
                  "times never go backwards: " + FormatTime(a.time) + " comes before " +
                      FormatTime(mLastTime) + " (line " + std::to_string(mLastTimeLine) + ")");
    }
    pos += used;
    if (pos < line.size() && !IsBlank(line[pos])) {
      return Fail(e, pos, "expected a space after the time");
    }
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    if (pos == line.size()) {
      return Fail(e, pos, std::string("expected an action after the time: ") + kActionsHint);
    }
    mMore.clear();
    if (!ParseAction(line, pos, &a, e)) return false;
    mLastTime = a.time;
    mLastTimeLine = number;
    mSession->lastTime = a.time;
    if (a.kind == ActionKind::kEnd) {
      mSession->endTime = a.time;
      mEndLine = number;
    }
    mSession->actions.push_back(a);
    for (Action& more : mMore) {
      more.time = a.time;
      more.line = a.line;
      Record(&more);
      mSession->actions.push_back(more);
    }
    return true;
  }

  bool ParseAction(const std::string& line, size_t pos, Action* a, LineError* e) {
    bool glide = false;
    size_t op = FindOperator(line, pos, &glide);
    if (op != std::string::npos) return ParseAssignment(line, pos, op, glide, a, e);

    size_t wordEnd = pos;
    while (wordEnd < line.size() && !IsBlank(line[wordEnd])) ++wordEnd;
    std::string word = Lower(line.substr(pos, wordEnd - pos));
    size_t rest = wordEnd;
    while (rest < line.size() && IsBlank(line[rest])) ++rest;
    if (word == "play" || word == "stop" || word == "end") {
      if (rest < line.size()) {
        return Fail(e, rest, "unexpected text after \"" + word + "\"");
      }
      a->kind = word == "play"   ? ActionKind::kPlay
                : word == "stop" ? ActionKind::kStop
                                 : ActionKind::kEnd;
      return true;
    }
    if (word == "preset") return ParsePreset(line, wordEnd, rest, a, e);

    // A parameter name without its operator, or something unknown.
    std::string all = line.substr(pos);
    for (const ParamEntry& p : mCatalog.params) {
      if (Lower(all).compare(0, p.name.size(), Lower(p.name)) == 0 &&
          (all.size() == p.name.size() || IsBlank(all[p.name.size()]))) {
        size_t after = pos + p.name.size();
        while (after < line.size() && IsBlank(line[after])) ++after;
        return Fail(e, after, "expected \"=\" (set) or \"->\" (glide) after \"" + p.name + "\"");
      }
    }
    std::vector<std::string> candidates = {"preset", "play", "stop", "end"};
    for (const ParamEntry& p : mCatalog.params) candidates.push_back(p.name);
    std::string msg =
        "unknown action " + Excerpt(line.substr(pos, wordEnd - pos)) + ": expected " + kActionsHint;
    std::vector<std::string> near = ClosestNames(all, candidates, 1);
    if (!near.empty() && NameDistance(word, Lower(near[0])) <= 2) {
      msg += " (did you mean \"" + near[0] + "\"?)";
    }
    return Fail(e, pos, msg);
  }

  bool ParsePreset(const std::string& line, size_t wordEnd, size_t arg, Action* a, LineError* e) {
    a->kind = ActionKind::kPreset;
    if (arg == line.size() || arg == wordEnd) {
      return Fail(e, arg == line.size() ? line.size() : wordEnd,
                  "expected a preset number or a quoted name after \"preset\"");
    }
    std::string err;
    size_t end = arg;
    if (line[arg] == '"') {
      size_t close = line.find('"', arg + 1);
      if (close == std::string::npos) return Fail(e, arg, "this quote is never closed");
      err = ResolvePresetName(mCatalog, line.substr(arg + 1, close - arg - 1), &a->preset);
      end = close + 1;
    } else {
      while (end < line.size() && IsDigit(line[end])) ++end;
      if (end == arg) {
        return Fail(e, arg,
                    "expected a preset number or a name in quotes, such as preset \"" +
                        (mCatalog.presets.empty() ? std::string("name") : mCatalog.presets[0]) +
                        "\"");
      }
      if (end < line.size() && !IsBlank(line[end])) {
        return Fail(e, arg, "expected a preset number or a quoted name");
      }
      err = ResolvePreset(mCatalog, line.substr(arg, end - arg), &a->preset);
    }
    if (!err.empty()) return Fail(e, arg, err);
    while (end < line.size() && IsBlank(line[end])) ++end;
    if (end < line.size()) return Fail(e, end, "unexpected text after the preset");
    return true;
  }

  bool ParseAssignment(const std::string& line, size_t pos, size_t op, bool glide, Action* a,
                       LineError* e) {
    const char* opText = glide ? "->" : "=";
    std::string name = Trim(line.substr(pos, op - pos));
    if (name.empty()) {
      return Fail(e, op, std::string("expected a parameter name before \"") + opText + "\"");
    }
    int index = FindParam(mCatalog, name);
    if (index < 0) return Fail(e, pos, UnknownParamMessage(mCatalog, name));
    const ParamEntry& p = mCatalog.params[static_cast<size_t>(index)];
    if (p.bed == kBedNoise || p.bed == kBedMix) {
      if (glide) {
        return Fail(e, op,
                    Quoted(p.name) + " cannot glide: glide its level, as in \"" + p.name +
                        " level -> -40\"");
      }
      return ParseBedSource(line, op + 1, index, a, e);
    }
    if (p.programChange) {
      return Fail(e, pos, "select presets with: preset N, or preset \"name\"");
    }
    size_t valuePos = op + (glide ? 2 : 1);
    while (valuePos < line.size() && IsBlank(line[valuePos])) ++valuePos;
    if (valuePos == line.size()) {
      return Fail(e, valuePos,
                  std::string("expected a value after \"") + opText + "\": " + ValueChoices(p));
    }
    if (glide && !p.CanGlide()) {
      return Fail(e, op,
                  Quoted(p.name) + " has only " + std::to_string(p.stepCount + 1) +
                      " values and cannot glide: set it with \"=\"");
    }
    std::string err = ResolveValue(p, line.substr(valuePos), &a->value);
    if (!err.empty()) return Fail(e, valuePos, err + ": expected " + ValueChoices(p));

    a->kind = glide ? ActionKind::kGlide : ActionKind::kSet;
    a->param = index;
    Record(a);
    return true;
  }

  // Remembers a set or glide as the starting point of the parameter's next glide.
  void Record(Action* a) {
    LastPoint& last = mLastPoint[static_cast<size_t>(a->param)];
    if (a->kind == ActionKind::kGlide) {
      a->fromStart = !last.set;
      a->fromTime = last.set ? last.time : 0.0;
      a->fromValue = last.set ? last.value : 0.0;
    }
    last.set = true;
    last.time = a->time;
    last.value = a->value;
    last.line = a->line;
  }

  // noise = COLOUR [LEVEL], mix = "FILE" [LEVEL], either = off. The level is a second
  // action at the same time, on the setting that follows in the catalog.
  bool ParseBedSource(const std::string& line, size_t valuePos, int index, Action* a,
                      LineError* e) {
    const ParamEntry& p = mCatalog.params[static_cast<size_t>(index)];
    const bool noise = p.bed == kBedNoise;
    while (valuePos < line.size() && IsBlank(line[valuePos])) ++valuePos;
    const std::string usage = noise ? "white, pink, brown or off, and a level such as -24"
                                    : "a file in quotes, such as \"rain.flac\", or off, and a "
                                      "level such as -12";
    if (valuePos == line.size()) return Fail(e, valuePos, "expected " + usage);
    size_t end = valuePos;
    std::string word;
    if (line[valuePos] == '"') {
      size_t close = line.find('"', valuePos + 1);
      if (close == std::string::npos) return Fail(e, valuePos, "this quote is never closed");
      word = line.substr(valuePos + 1, close - valuePos - 1);
      end = close + 1;
    } else {
      while (end < line.size() && !IsBlank(line[end])) ++end;
      word = line.substr(valuePos, end - valuePos);
    }
    a->kind = ActionKind::kSet;
    a->param = index;
    if (noise || Lower(word) == "off") {
      std::string err = ResolveValue(p, word, &a->value);
      if (!err.empty()) return Fail(e, valuePos, err + ": expected " + usage);
    } else {
      if (word.empty()) return Fail(e, valuePos, "expected " + usage);
      size_t k = 0;
      while (k < mSession->mixFiles.size() && mSession->mixFiles[k].path != word) ++k;
      if (k == mSession->mixFiles.size()) {
        mSession->mixFiles.push_back({word, a->line, ColumnOf(line, valuePos)});
      }
      a->value = static_cast<double>(k + 1);
    }
    Record(a);
    while (end < line.size() && IsBlank(line[end])) ++end;
    if (end == line.size()) return true;
    if (a->value == 0.0) return Fail(e, end, "unexpected text after \"off\"");
    Action level;
    level.kind = ActionKind::kSet;
    level.param = index + 1;
    level.column = ColumnOf(line, end);
    const ParamEntry& lp = mCatalog.params[static_cast<size_t>(index + 1)];
    std::string err = ResolveValue(lp, line.substr(end), &level.value);
    if (!err.empty()) return Fail(e, end, err);
    mMore.push_back(level);
    return true;
  }

  const Catalog& mCatalog;
  Session* mSession;
  std::vector<LastPoint> mLastPoint;
  std::vector<Action> mMore;  // further actions of the line being parsed
  double mLastTime = 0.0;
  int mLastTimeLine = 0;
  int mEndLine = 0;
};

}  // namespace

int AddBedParams(Catalog* catalog) {
  const int first = static_cast<int>(catalog->params.size());
  auto add = [&](const char* name, const char* unit, double lo, double hi, int steps,
                 std::vector<std::pair<std::string, double>> texts) {
    ParamEntry p;
    p.name = name;
    p.unit = unit;
    p.min = lo;
    p.max = hi;
    p.stepCount = steps;
    p.valueTexts = std::move(texts);
    p.bed = static_cast<int>(catalog->params.size()) - first;
    catalog->params.push_back(std::move(p));
  };
  // In BedParam order.
  add("noise", "", 0, 3, 3, {{"off", 0}, {"white", 1}, {"pink", 2}, {"brown", 3}});
  add("noise level", "dBFS", kLowestBedLevel, kLoudestNoiseLevel, 0, {});
  add("noise gate", "%", 0, 100, 0, {});
  add("mix", "", 0, 1e6, 1000000, {{"off", 0}});
  add("mix level", "dB", kLowestBedLevel, kLoudestMixLevel, 0, {});
  add("mix gate", "%", 0, 100, 0, {});
  add("mix loop", "", 0, 1, 1, {{"off", 0}, {"on", 1}});
  return first;
}

double BedDefault(int bedParam) {
  switch (bedParam) {
    case kBedNoiseLevel:
      return kDefaultNoiseLevel;
    case kBedMixLevel:
      return kDefaultMixLevel;
    case kBedMixLoop:
      return 1.0;
    default:
      return 0.0;
  }
}

int FindParam(const Catalog& catalog, const std::string& name0) {
  const std::string name = Trim(name0);
  for (size_t i = 0; i < catalog.params.size(); ++i) {
    if (catalog.params[i].name == name) return static_cast<int>(i);
  }
  for (size_t i = 0; i < catalog.params.size(); ++i) {
    if (Lower(catalog.params[i].name) == Lower(name)) return static_cast<int>(i);
  }
  return -1;
}

std::string UnknownParamMessage(const Catalog& catalog, const std::string& name) {
  std::vector<std::string> titles;
  for (const ParamEntry& p : catalog.params) titles.push_back(p.name);
  std::string msg = "no parameter is named " + Excerpt(Trim(name)) + "; closest:";
  for (const std::string& n : ClosestNames(name, titles, 3)) msg += " " + Quoted(n);
  return msg;
}

std::string ResolveValue(const ParamEntry& param, const std::string& text0, double* plain) {
  std::string text = Trim(text0);
  const bool quoted = text.size() >= 2 && text.front() == '"' && text.back() == '"';
  if (quoted) text = Trim(text.substr(1, text.size() - 2));
  const double lo = std::min(param.min, param.max), hi = std::max(param.min, param.max);
  double value = 0.0;
  // A number may carry its unit ("50 %", "-24 dBFS"; dBFS also as dB).
  if (!quoted && !param.unit.empty() && !ParseDouble(text, &value)) {
    for (std::string unit : {param.unit, param.unit == "dBFS" ? std::string("dB") : param.unit}) {
      if (text.size() > unit.size() &&
          Lower(text.substr(text.size() - unit.size())) == Lower(unit)) {
        std::string number = Trim(text.substr(0, text.size() - unit.size()));
        if (ParseDouble(number, &value)) {
          text = number;
          break;
        }
      }
    }
  }
  if (!quoted && ParseDouble(text, &value)) {
    if (value < lo || value > hi) {
      char msg[128];
      std::snprintf(msg, sizeof(msg), " takes values from %g to %g, not ", lo, hi);
      return Quoted(param.name) + msg + Excerpt(text);
    }
    // Stepped parameters take their steps only: 7.5 tones is no setting.
    if (param.stepCount > 0 && hi > lo) {
      const double step = (value - lo) / (hi - lo) * param.stepCount;
      if (std::fabs(step - std::round(step)) > 1e-9) {
        char msg[128];
        const double size = (hi - lo) / param.stepCount;
        if (size == 1.0 && lo == std::round(lo)) {
          std::snprintf(msg, sizeof(msg), " takes whole numbers, not ");
        } else {
          std::snprintf(msg, sizeof(msg), " takes steps of %g from %g, not ", size, lo);
        }
        return Quoted(param.name) + msg + Excerpt(text);
      }
    }
    *plain = value;
    return "";
  }
  // Display texts as names are taken: exact first, then in any letter case.
  for (int pass = 0; pass < 2; ++pass) {
    for (const auto& vt : param.valueTexts) {
      if (pass == 0 ? vt.first == text : Lower(vt.first) == Lower(text)) {
        *plain = vt.second;
        return "";
      }
    }
  }
  return Excerpt(text) + " is not a value of " + Quoted(param.name);
}

std::string ResolvePreset(const Catalog& catalog, const std::string& text, int* index) {
  if (catalog.presets.empty()) return "the plug-in has no presets";
  int n = -1;
  bool digits = !text.empty() && std::all_of(text.begin(), text.end(), IsDigit);
  if (digits || ParseInt(text, &n)) {
    if (!ParseInt(text, &n) || n < 0 || n >= static_cast<int>(catalog.presets.size())) {
      return "preset " + Excerpt(text) + " is outside 0.." +
             std::to_string(catalog.presets.size() - 1);
    }
    *index = n;
    return "";
  }
  return ResolvePresetName(catalog, text, index);
}

std::string ResolvePresetName(const Catalog& catalog, const std::string& name, int* index) {
  if (catalog.presets.empty()) return "the plug-in has no presets";
  for (size_t i = 0; i < catalog.presets.size(); ++i) {
    if (catalog.presets[i] == name) {
      *index = static_cast<int>(i);
      return "";
    }
  }
  std::string msg = "no preset is named " + Excerpt(name) + "; closest:";
  for (const std::string& n : ClosestNames(name, catalog.presets, 3)) msg += " " + Quoted(n);
  return msg;
}

size_t ParseTime(const std::string& text, size_t pos, double* seconds, ParseError* error) {
  auto fail = [&](size_t at, const std::string& message) -> size_t {
    error->line = 0;
    error->column = static_cast<int>(at) + 1;
    error->message = message;
    return 0;
  };
  const std::string expected =
      "expected a time (S, M:SS or H:MM:SS, such as 90, 1:30 or 1:02:03.5)";
  size_t i = pos;
  double fields[3] = {0, 0, 0};
  size_t starts[3] = {0, 0, 0};
  int count = 0;
  while (true) {
    starts[count] = i;
    size_t digits = 0;
    double v = 0.0;
    while (i < text.size() && IsDigit(text[i])) {
      if (digits < 12) v = v * 10.0 + (text[i] - '0');
      ++digits;
      ++i;
    }
    if (digits == 0) return fail(i, expected);
    if (count > 0 && digits != 2) {
      return fail(starts[count], "expected two digits here (00 to 59)");
    }
    if (digits > 12) return fail(starts[count], "this time is too large");
    fields[count++] = v;
    if (i < text.size() && text[i] == ':' && count < 3) {
      ++i;
      continue;
    }
    break;
  }
  double fraction = 0.0;
  if (i < text.size() && text[i] == '.') {
    size_t dot = i++;
    double scale = 0.1;
    size_t digits = 0;
    while (i < text.size() && IsDigit(text[i])) {
      fraction += (text[i] - '0') * scale;
      scale *= 0.1;
      ++digits;
      ++i;
    }
    if (digits == 0) return fail(dot + 1, "expected digits after the decimal point");
  }
  if (i < text.size() && text[i] == ':') {
    return fail(i, count == 3 ? "a time has at most three fields, H:MM:SS"
                              : "decimals belong to the last field of a time");
  }
  for (int k = 1; k < count; ++k) {
    if (fields[k] >= 60.0) {
      return fail(starts[k],
                  std::string(k == count - 1 ? "seconds" : "minutes") + " go from 00 to 59 here");
    }
  }
  double t = 0.0;
  for (int k = 0; k < count; ++k) t = t * 60.0 + fields[k];
  t += fraction;
  if (t > kMaxSessionSeconds) return fail(pos, "times go up to 24:00:00");
  *seconds = t;
  return i - pos;
}

std::string FormatTime(double seconds) {
  if (!(seconds >= 0.0)) seconds = 0.0;
  long long ms = std::llround(seconds * 1000.0);
  long long h = ms / 3600000, m = ms / 60000 % 60, s = ms / 1000 % 60, frac = ms % 1000;
  char buf[64];
  if (h > 0) {
    std::snprintf(buf, sizeof(buf), "%lld:%02lld:%02lld", h, m, s);
  } else {
    std::snprintf(buf, sizeof(buf), "%lld:%02lld", m, s);
  }
  std::string out = buf;
  if (frac != 0) {
    std::snprintf(buf, sizeof(buf), ".%03lld", frac);
    std::string f = buf;
    while (f.back() == '0') f.pop_back();
    out += f;
  }
  return out;
}

bool ParseSession(const std::string& text, const Catalog& catalog, Session* session,
                  ParseError* error) {
  *session = Session{};
  Parser parser(catalog, session);
  size_t start = 0;
  // A byte-order mark is not part of the first line.
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) start = 3;
  int number = 1;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    if (!parser.Line(text.substr(start, end - start), number, error)) return false;
    start = end + 1;
    ++number;
  }
  return true;
}

std::string FormatParseError(const std::string& file, const ParseError& error) {
  return file + ":" + std::to_string(error.line) + ":" + std::to_string(error.column) + ": " +
         error.message;
}

}  // namespace caldrith_session
