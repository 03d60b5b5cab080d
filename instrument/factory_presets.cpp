// The factory preset library: the default entry, eleven presets that change only a few
// parameters (the instrument's preset locks decide which), and the frequency presets.
#include "instrument/caldrith.h"

namespace {

struct LockPreset {
  const char* name;
  // Parameter index and value pairs that differ from the common set; -1 ends the list.
  struct {
    int idx;
    double value;
  } changes[4];
};

const LockPreset kLockPresets[] = {
    {"Power of golden waves (lock another params)", {{kWave, 3}, {-1, 0}}},
    {"Another powerful golden waves (lock another params)", {{kWave, 4}, {-1, 0}}},
    {"Minimal (lock another params)", {{kTones, 3}, {kSpread, 0}, {-1, 0}}},
    {"Minimal with golden waves (lock another params)",
     {{kTones, 3}, {kSpread, 0}, {kWave, 3}, {-1, 0}}},
    {"Descendent frequencies (lock another params)",
     {{kLowFreq, 1500.0}, {kHighFreq, 10.0}, {kPlayAnyway, 0}, {-1, 0}}},
    {"Enlarge frequencies band (lock another params)",
     {{kPlayAnyway, 0}, {kXvol1, 15.0}, {kXvol3, 85.0}, {-1, 0}}},
    {"Reduce the frequency band (lock another params)",
     {{kPlayAnyway, 0}, {kXvol1, 35.0}, {kXvol3, 65.0}, {-1, 0}}},
    {"Increase the volume on low frequencies (l.a.p.)",
     {{kPlayAnyway, 0}, {kXvol1, 12.5}, {kXvol2, 37.5}, {kXvol3, 62.5}}},
    {"Increase the volume on high frequencies (l.a.p.)",
     {{kPlayAnyway, 0}, {kXvol1, 37.5}, {kXvol2, 62.5}, {kXvol3, 87.5}}},
    {"Focus on low frequencies (lock another params)", {{kPlayAnyway, 0}, {kQfreq, 36}, {-1, 0}}},
    {"Focus on high frequencies (lock another params)", {{kPlayAnyway, 0}, {kQfreq, -36}, {-1, 0}}},
};

struct FrequencyPreset {
  const char* name;
  double rate;
};

const FrequencyPreset kFrequencyPresets[] = {
    {"Healing - Dental pain (0.2)", 0.2},
    {"Healing - Arthritis (0.28)", 0.28},
    {"Psychic - Depression (0.3)", 0.3},
    {"Healing - Drug addiction (0.37)", 0.37},
    {"Psychic - Confusion (0.4)", 0.4},
    {"Psychic - Post traumatics (0.5)", 0.5},
    {"Psychic - Euphoria (0.9)", 0.9},
    {"Psychic - Feeling of well-being, pituitary stimulation (1)", 1.0},
    {"Healing - Tri-thalamic entrainment, Alzheimer (1.45)", 1.45},
    {"Healing - Abrahams universal healing rate (1.5)", 1.5},
    {"Healing - Sinus congestion (1.8)", 1.8},
    {"Healing - Nerve regeneration (2.0)", 2.0},
    {"Healing - Associated with coccyx (2.06)", 2.06},
    {"Psychic - Dreamless sleep, trance state (2.2)", 2.2},
    {"Healing - Associated with genitals (2.3)", 2.3},
    {"Healing - Associated with bladder (2.57)", 2.57},
    {"Healing - Associated with intestines (2.67)", 2.67},
    {"Psychic - Increased Reaction Time (3.0)", 3.0},
    {"Psychic - Sound sleep (3.4)", 3.4},
    {"Healing - Associated with ovaries (3.44)", 3.44},
    {"Psychic - Feeling of unity with everythin (3.5)", 3.5},
    {"Psychic - Remedy for anger & irritability (3.6)", 3.6},
    {"Healing - Associated with the liver & pancreas (3.84)", 3.84},
    {"Psychic - Extrasensory perception, astral Projection (4.0)", 4.0},
    {"Healing - Associated with kidneys (4.11)", 4.11},
    {"Psychic - Shamanic & Tibetan state of consciousness (4.5)", 4.5},
    {"Healing - Associated with spleen & blood (4.6)", 4.6},
    {"Psychic - Relaxation & meditation (4.9)", 4.9},
    {"Psychic - Relaxed states, pain-relief (5.0)", 5.0},
    {"Healing - Associated with stomach (5.14)", 5.14},
    {"Healing - Associated with lungs (5.35)", 5.35},
    {"Psychic - Beyond knowledge to knowing (5.5)", 5.5},
    {"Psychic - Reduce fear, absent-mindedness (5.8)", 5.8},
    {"Psychic - Creative visualization (6.0)", 6.0},
    {"Healing - Associated with heart (6.15)", 6.15},
    {"Psychic - Mental & astral projection (6.3)", 6.3},
    {"Psychic - Mental & astral projection 2 (7.0)", 7.0},
    {"Psychic - Inter-awareness of self (7.5)", 7.5},
    {"Psychic - Stimulates ESP, paranormal (7.8)", 7.8},
    {"Psychic - Learning new information (8.0)", 8.0},
    {"Psychic - Induces sleep, tingling sensations (8.6)", 8.6},
    {"Psychic - Awareness of causes of body imbalance (9.0)", 9.0},
    {"Psychic - Pyramid vr.frequency (9.41)", 9.41},
    {"Psychic - Earth's magnetic field (9.6)", 9.6},
    {"Psychic - Relaxed & alert (10.6)", 10.6},
    {"Psychic - Focused alertness (11.0)", 11.0},
    {"Psychic - Earth Resonance (14.1)", 14.1},
    {"Psychic - Euphoria (15.0)", 15.0},
    {"Psychic - Earth Resonance (20.3)", 20.3},
    {"Psychic - Serotonin (22.02)", 22.02},
    {"Psychic - Earth Resonance (26.4)", 26.4},
    {"Psychic - Associated with marijuana (30.0)", 30.0},
    {"Healing - Pituitary stimulation to release growth hormone (31.32)", 31.32},
    {"Psychic - Desensitizer; enhanced vigour & alertnes (32.0)", 32.0},
    {"Psychic - Christ consciousness (33.0)", 33.0},
    {"Psychic - Awakening of mid-chakras, balance of chakras (35.0)", 35.0},
    {"Psychic - Endorphin release (38.0)", 38.0},
    {"Psychic - Useful for weird effects (46.98)", 46.98},
    {"Psychic - Tantric yoga, stimulates the kundalini (55.0)", 55.0},
    {"Psychic - Astral projection (63.5)", 63.5},
    {"Psychic - Mental & astral projection (70.0)", 70.0},
    {"Psychic - Third eye opening (83.0)", 83.0},
    {"Psychic - Pleasure, producing beta-endorphins (90.0)", 90.0},
    {"Psychic - Overall view of complete situation (105.0)", 105.0},
    {"Psychic - Total knowing (108.0)", 108.0},
    {"Psychic - Beta endorphins (111.0)", 111.0},
    {"Healing - Associated with colon (176.0)", 176.0},
    {"Psychic - Kundalini velmarine (55.0)", 55.0},
    {"Psychic - Muladhara chakra (8.0)", 8.0},
    {"Psychic - Svadhisthana chakra (9.0)", 9.0},
    {"Psychic - Manipura chakra (10.0)", 10.0},
    {"Psychic - Anahata chakra (10.5)", 10.5},
    {"Psychic - Vishuddha chakra (12.0)", 12.0},
    {"Psychic - Ajna chakra (13.0)", 13.0},
    {"Psychic - Sahasrara chakra (15.0)", 15.0},
    {"Psychic - Schumann Resonance (7.83)", 7.83},
    {"Psychic - Schumann Resonance (14.3)", 14.3},
    {"Psychic - Schumann Resonance (20.8)", 20.8},
    {"Psychic - Schumann Resonance (27.3)", 27.3},
    {"Psychic - Schumann Resonance (33.8)", 33.8},
    {"Psychic - Sun: light, warmth, joy, animus (126.22)", 126.22},
    {"Psychic - Earth: resonates with the earth year (136.1)", 136.1},
    {"Psychic - Pluto: power, crisis & changes (140.25)", 140.25},
    {"Psychic - Mercury: intellectuality, mobility (141.27)", 141.27},
    {"Psychic - Mars: activity, energy, freedom, humor (144.72)", 144.72},
    {"Psychic - Saturn: separation, sorrow, death (147.85)", 147.85},
    {"Psychic - Jupiter: growth, success, justice, spirituality (183.58)", 183.58},
    {"Psychic - Earth: stability, grounding (194.71)", 194.71},
    {"Psychic - Uranus: spontaneity, independence, originality (207.36)", 207.36},
    {"Psychic - Neptune: the unconscious, imagination, spiritual (211.44)", 211.44},
    {"Psychic - Venus: beauty, love, sexuality, sensuality, harmony (221.23)", 221.23},
    {"Healing - Stomach (110)", 110.0},
    {"Healing - Pancreas (117.3)", 117.3},
    {"Healing - Gall Bladder (164.3)", 164.3},
    {"Healing - Colon (176)", 176.0},
    {"Healing - Lungs (220)", 220.0},
    {"Healing - Personality (264)", 264.0},
    {"Healing - Small Intestine (281.6)", 281.6},
    {"Healing - Fat Cells (295.8)", 295.8},
    {"Healing - Liver (317.8)", 317.8},
    {"Healing - Kidneys (319.9)", 319.9},
    {"Healing - Blood (321.9)", 321.9},
    {"Healing - Muscles (324)", 324.0},
    {"Healing - Bladder (352)", 352.0},
    {"Healing - Bones (418.3)", 418.3},
    {"Healing - Natural, harmonic intonation of nature (432)", 432.0},
    {"Healing - Spleen (492)", 492.0},
    {"Healing - Adrenals, thyroid & parathyroid (492.8)", 492.8},
    {"Healing - Circulation  & sex (586)", 586.0},
    {"Solfeggio UT - (Turning grief into joy, liberating Guilt and Fear) 396 Hz", 396.0},
    {"Solfeggio RE - (Undoing Situations and Facilitating Change) 417 Hz", 417.0},
    {"Solfeggio MI - (Transformation and Miracles, DNA Repair) 528 Hz", 528.0},
    {"Solfeggio FA - (Relationship, connecting with spiritual family) 639 Hz", 639.0},
    {"Solfeggio SOL - (Solving problems, expressions & solutions) 741 Hz", 741.0},
    {"Solfeggio LA - (Awakening Intuition, returning to Spiritual Order) 852 Hz", 852.0},
    {"Solfeggio SI - (Awakens any system to its original, perfect state) 963 Hz", 963.0},
    {"Solfeggio - (Natural anaesthetic, reduce pain) 174 Hz", 174.0},
    {"Solfeggio - (Return tissue into its original form) 285 Hz", 285.0},
    {"Solfeggio - (Pineal Gland Activator) 936 Hz", 936.0},
};

// Every factory preset starts from these values (the parameter defaults, but playing
// with the transport stopped).
void CommonValues(double* v, double isochronic) {
  const double common[kNumParams] = {isochronic, 10.0, 1500.0, 7,   25,   50,   50,  50,
                                     0,          60.0, 1,      60,  1,    50,   0,   18,
                                     24,         -24,  24,     -24, 25.0, 50.0, 75.0};
  for (int i = 0; i < kNumParams; ++i) v[i] = common[i];
}

constexpr int kKundaliniSlot = 79;

}  // namespace

void CLS_CALDRITH::CreateFactoryPresets() {
  AddDefaultPreset("---- default ----", 1);
  double v[kNumParams];
  for (const LockPreset& p : kLockPresets) {
    CommonValues(v, 11.0);
    for (const auto& c : p.changes) {
      if (c.idx < 0) break;
      v[c.idx] = c.value;
    }
    AddFactoryPresetValues(p.name, v, kNumParams);
  }
  int slot = 12;
  for (const FrequencyPreset& p : kFrequencyPresets) {
    CommonValues(v, p.rate);
    if (slot == kKundaliniSlot) v[kWave] = 3;
    AddFactoryPresetValues(p.name, v, kNumParams);
    ++slot;
  }
}
