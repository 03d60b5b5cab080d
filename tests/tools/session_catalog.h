#pragma once
// A catalog shaped like the instrument's, written out by hand so that the parser's tests do
// not depend on the plug-in.
#include "tools/session_file.h"

namespace caldrith_test {

inline caldrith_session::Catalog TestCatalog() {
  using caldrith_session::ParamEntry;
  caldrith_session::Catalog c;
  ParamEntry presets;
  presets.name = "Presets";
  presets.max = 4;
  presets.stepCount = 4;
  presets.programChange = true;
  c.params.push_back(presets);
  ParamEntry iso;
  iso.name = "Isochronic";
  iso.unit = "Hz";
  iso.min = 0.01;
  iso.max = 1000;
  c.params.push_back(iso);
  ParamEntry tones;
  tones.name = "Tones";
  tones.min = 1;
  tones.max = 16;
  tones.stepCount = 15;
  for (int i = 1; i <= 16; ++i) tones.valueTexts.emplace_back(std::to_string(i), i);
  c.params.push_back(tones);
  ParamEntry wave;
  wave.name = "Wave";
  wave.max = 6;
  wave.stepCount = 6;
  const char* waves[] = {"Sine",           "Triangle",    "Saw", "Golden Sine", "Gold. Sine Half",
                         "Gold. Triangle", "Gold. Square"};
  for (int i = 0; i < 7; ++i) wave.valueTexts.emplace_back(waves[i], i);
  c.params.push_back(wave);
  ParamEntry play;
  play.name = "Play Anyway";
  play.max = 1;
  play.stepCount = 1;
  play.valueTexts = {{"No", 0.0}, {"Yes", 1.0}};
  c.params.push_back(play);
  ParamEntry volume;
  volume.name = "Volume";
  volume.unit = "%";
  volume.max = 100;
  volume.stepCount = 100;
  c.params.push_back(volume);
  ParamEntry low;
  low.name = "Low Freq";
  low.unit = "Hz";
  low.min = 5;
  low.max = 10000;
  c.params.push_back(low);
  c.presets = {"---- default ----", "Minimal (lock another params)",
               "Psychic - Focused alertness (11.0)", "Mix #2", "Caf\xC3\xA9"};
  return c;
}

// Indices of the entries above.
enum TestParam { kPresets, kIso, kTones, kWave, kPlay, kVolume, kLowFreq };

}  // namespace caldrith_test
