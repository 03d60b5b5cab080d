// Session files of any bytes, against the instrument's own parameters and presets. The parser
// answers with a session or with an error that points inside the text; a session it accepts
// has ordered times and values inside their ranges, and plans into blocks that cover its whole
// length exactly with every value sent inside its parameter's range.
#include <cmath>
#include <string>

#include "fuzz_host.h"
#include "tools/plugin_host.h"
#include "tools/session_file.h"
#include "tools/session_timeline.h"

using namespace caldrith_session;

namespace {

const Catalog& TheCatalog() {
  static Catalog* catalog = [] {
    caldrith_fuzz::HostedInstrument& h = caldrith_fuzz::Instance();
    std::vector<Steinberg::Vst::ParamID> tags;
    Catalog* c = new Catalog(caldrith_render::CatalogOf(h.controller, h.units, &tags));
    AddBedParams(c);  // as caldrith-render parses sessions
    return c;
  }();
  return *catalog;
}

// The start of a glide with no earlier point: each parameter's lowest value.
class Lowest : public StartValueSource {
 public:
  double CurrentValue(int param) override {
    const ParamEntry& p = TheCatalog().params[static_cast<size_t>(param)];
    return std::fmin(p.min, p.max);
  }
};

bool Inside(const ParamEntry& p, double v) {
  return v >= std::fmin(p.min, p.max) && v <= std::fmax(p.min, p.max);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  TheCatalog();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const Catalog& catalog = TheCatalog();
  Session s;
  ParseError e;
  if (!ParseSession(text, catalog, &s, &e)) {
    int lines = 1;
    for (char c : text) lines += c == '\n';
    FUZZ_CHECK(e.line >= 1 && e.line <= lines);
    FUZZ_CHECK(e.column >= 1 && static_cast<size_t>(e.column) <= text.size() + 1);
    FUZZ_CHECK(!e.message.empty());
    return 0;
  }
  double last = 0.0;
  for (const Action& a : s.actions) {
    FUZZ_CHECK(a.time >= last && a.time <= kMaxSessionSeconds);
    last = a.time;
    if (a.kind == ActionKind::kSet || a.kind == ActionKind::kGlide) {
      FUZZ_CHECK(a.param >= 0 && static_cast<size_t>(a.param) < catalog.params.size());
      const ParamEntry& p = catalog.params[static_cast<size_t>(a.param)];
      FUZZ_CHECK(!p.programChange && Inside(p, a.value));
      // A stepped parameter is set to one of its steps only.
      const double lo = std::fmin(p.min, p.max), hi = std::fmax(p.min, p.max);
      const double step = hi > lo ? (a.value - lo) / (hi - lo) * p.stepCount : 0.0;
      FUZZ_CHECK(p.stepCount == 0 || std::fabs(step - std::round(step)) <= 1e-9);
      // A music file is one the session names; the sources themselves never glide.
      if (p.bed == kBedMix) FUZZ_CHECK(a.value <= static_cast<double>(s.mixFiles.size()));
      if (a.kind == ActionKind::kGlide) {
        FUZZ_CHECK(p.bed != kBedMix && p.bed != kBedNoise);
        FUZZ_CHECK(p.CanGlide() && a.fromTime <= a.time);
        FUZZ_CHECK(a.fromStart || Inside(p, a.fromValue));
      }
    }
    if (a.kind == ActionKind::kPreset) {
      FUZZ_CHECK(a.preset >= 0 && static_cast<size_t>(a.preset) < catalog.presets.size());
    }
  }

  // Play Anyway on throughout (every preset turns it on): each stop, and only a stop, is
  // reported.
  size_t stops = 0;
  for (const Action& a : s.actions) stops += a.kind == ActionKind::kStop;
  const int play = FindParam(catalog, "Play Anyway");
  std::vector<SwitchEffect> presets(catalog.presets.size(), SwitchEffect::kOn);
  std::vector<std::string> warnings = StopsWithoutEffect(s, catalog, play, {true, "by x"}, presets,
                                                         "f");
  bool turnedOff = false;
  for (const Action& a : s.actions) turnedOff |= a.kind == ActionKind::kSet && a.param == play;
  FUZZ_CHECK(warnings.size() <= stops && (turnedOff || warnings.size() == stops));

  // Planned at 50 Hz (a glide point every sample) and cut at 20 minutes to stay quick.
  const double rate = 50.0;
  const double seconds = std::fmin(SessionSeconds(s, 60.0), 1200.0);
  const int64_t total = SampleOf(seconds, rate);
  Timeline timeline(s, catalog.params.size(), rate, total, 16);
  Lowest lowest;
  PlannedBlock b;
  int64_t covered = 0;
  bool ended = false;
  while (timeline.Next(7, &lowest, &b)) {
    FUZZ_CHECK(!ended);
    FUZZ_CHECK(b.start == covered && b.frames >= 0 && b.frames <= 7);
    if (b.frames == 0) {
      FUZZ_CHECK(b.start == total);
      ended = true;
    }
    covered += b.frames;
    for (int i = 0; i < b.changeCount; ++i) {
      FUZZ_CHECK(
          Inside(catalog.params[static_cast<size_t>(b.changes[i].param)], b.changes[i].plain));
    }
  }
  FUZZ_CHECK(covered == total);
  return 0;
}
