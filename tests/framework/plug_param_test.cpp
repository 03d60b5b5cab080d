#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "framework/plug_param.h"

namespace {

PlugParam MakeIsochronic() {
  PlugParam p;
  p.DefineDouble("Isochronic", 11., 0.01, 1000., 0.01, "Hz");
  p.SetShapeExponent(2.);
  return p;
}

PlugParam MakeWave() {
  PlugParam p;
  p.DefineEnum("Wave", 0, 7, "");
  const char* names[] = {"Sine",           "Triangle",    "Saw", "Golden Sine", "Gold. Sine Half",
                         "Gold. Triangle", "Gold. Square"};
  for (int i = 0; i < 7; ++i) p.AddValueText(i, names[i]);
  return p;
}

std::string Format(const PlugParam& p, double x, bool normalized) {
  char buf[128];
  p.FormatValue(x, normalized, buf);
  return buf;
}

TEST(PlugParam, DefinitionFixesRangeDecimalsAndKind) {
  PlugParam iso = MakeIsochronic();
  EXPECT_EQ(iso.Kind(), kTypeDouble);
  EXPECT_EQ(iso.Decimals(), 2);
  EXPECT_DOUBLE_EQ(iso.Value(), 11.);

  PlugParam lowFreq;
  lowFreq.DefineDouble("Low Freq", 10., 5., 10000., 0.1, "Hz");
  EXPECT_EQ(lowFreq.Decimals(), 1);

  PlugParam odd;
  odd.DefineDouble("Odd", 0., 0., 1., 1. / 3., "");
  EXPECT_EQ(odd.Decimals(), 6);  // never more than six digits

  PlugParam narrow;
  narrow.DefineDouble("Narrow", 5., 5., 4., 0.5, "");
  EXPECT_DOUBLE_EQ(narrow.Max(), 5.5);  // max is at least min + step

  PlugParam tones;
  tones.DefineInt("Tones", 7, 1, 16, "");
  EXPECT_EQ(tones.Kind(), kTypeInt);
  tones.DefineDouble("Tones", 7, 1, 16, 1, "");
  EXPECT_EQ(tones.Kind(), kTypeInt);  // the first definition fixes the kind

  PlugParam shaped = MakeIsochronic();
  shaped.SetShapeExponent(0.);
  shaped.SetShapeExponent(std::nan(""));
  EXPECT_DOUBLE_EQ(shaped.Shape(), 2.);
}

TEST(PlugParam, LongTextsAreCut) {
  PlugParam p;
  std::string longName(100, 'x');
  p.DefineInt(longName.c_str(), 0, 0, 1, longName.c_str());
  p.AddValueText(0, longName.c_str());
  EXPECT_EQ(std::strlen(p.NameText()), 31u);
  EXPECT_EQ(std::strlen(p.LabelText()), 31u);
  EXPECT_EQ(std::strlen(p.ValueTextFor(0)), 31u);
}

TEST(PlugParam, AssignNormalizedRoundsIntegerKindsOnly) {
  PlugParam tones;
  tones.DefineInt("Tones", 7, 1, 16, "");
  tones.AssignNormalized(0.5);
  EXPECT_DOUBLE_EQ(tones.Value(), 9.);  // 8.5 rounds up

  PlugParam wave = MakeWave();
  wave.AssignNormalized(0.5);
  EXPECT_DOUBLE_EQ(wave.Value(), 3.);

  PlugParam iso = MakeIsochronic();
  iso.AssignNormalized(1.);
  EXPECT_EQ(iso.Value(), 1000.);
  iso.AssignNormalized(0.3);
  EXPECT_EQ(iso.Value(), std::pow(0.3, 2.) * (1000. - 0.01) + 0.01);  // not stepped
}

TEST(PlugParam, AssignNormalizedHoldsBadInput) {
  PlugParam iso = MakeIsochronic();
  iso.AssignNormalized(std::nan(""));
  EXPECT_DOUBLE_EQ(iso.Value(), 11.);
  iso.AssignNormalized(-3.);
  EXPECT_DOUBLE_EQ(iso.Value(), 0.01);
  iso.AssignNormalized(std::numeric_limits<double>::infinity());
  EXPECT_DOUBLE_EQ(iso.Value(), 1000.);
  iso.AssignNormalized(7.);
  EXPECT_DOUBLE_EQ(iso.Value(), 1000.);
}

TEST(PlugParam, NormalizeClampsAndUsesShape) {
  PlugParam iso = MakeIsochronic();
  EXPECT_EQ(iso.NormalizeValue(-5.), 0.);
  EXPECT_EQ(iso.NormalizeValue(5000.), 1.);
  EXPECT_DOUBLE_EQ(iso.NormalizeValue((1000. + 0.01) / 2.), std::sqrt(0.5));
  EXPECT_EQ(iso.NormalizeValue(std::nan("")), 0.);
  EXPECT_DOUBLE_EQ(iso.DenormalizeValue(iso.NormalizeValue(440.)), 440.);
}

TEST(PlugParam, CopiesCarryEveryProperty) {
  PlugParam iso = MakeIsochronic();
  iso.SetValue(123.456);
  const PlugParam wave = MakeWave();
  for (const PlugParam* src : {static_cast<const PlugParam*>(&iso), &wave}) {
    const PlugParam constructed(*src);
    PlugParam assigned;
    assigned.DefineInt("Something else", 3, 0, 9, "x");
    assigned.AddValueText(1, "one");
    assigned = *src;
    for (const PlugParam* c : {&constructed, static_cast<const PlugParam*>(&assigned)}) {
      EXPECT_EQ(c->Kind(), src->Kind());
      EXPECT_EQ(c->Value(), src->Value());
      EXPECT_EQ(c->Min(), src->Min());
      EXPECT_EQ(c->Max(), src->Max());
      EXPECT_EQ(c->Step(), src->Step());
      EXPECT_EQ(c->Shape(), src->Shape());
      EXPECT_EQ(c->DefaultValue(), src->DefaultValue());
      EXPECT_EQ(c->Decimals(), src->Decimals());
      EXPECT_EQ(c->Automatable(), src->Automatable());
      EXPECT_STREQ(c->NameText(), src->NameText());
      EXPECT_STREQ(c->LabelText(), src->LabelText());
      EXPECT_STREQ(c->GroupText(), src->GroupText());
      ASSERT_EQ(c->ValueTextCount(), src->ValueTextCount());
      for (int i = 0; i < src->ValueTextCount(); ++i)
        EXPECT_STREQ(c->ValueTextAt(i), src->ValueTextAt(i));
      for (double x : {0.0, 0.3, 1.0}) EXPECT_EQ(Format(*c, x, true), Format(*src, x, true));
    }
  }
  // What the copies are checked against is not all defaults.
  EXPECT_EQ(iso.Decimals(), 2);
  EXPECT_EQ(iso.Shape(), 2.);
  EXPECT_STREQ(iso.LabelText(), "Hz");
  EXPECT_EQ(wave.ValueTextCount(), 7);
  EXPECT_EQ(Format(PlugParam(iso), 123.456, false), "123.46");
}

TEST(PlugParam, FormatValue) {
  PlugParam wave = MakeWave();
  EXPECT_EQ(Format(wave, 3., false), "Golden Sine");
  EXPECT_EQ(Format(wave, 0.5, true), "Golden Sine");

  PlugParam iso = MakeIsochronic();
  EXPECT_EQ(Format(iso, 1., true), "1000.00");
  EXPECT_EQ(Format(iso, 11., false), "11.00");

  PlugParam rate;
  rate.DefineDouble("Rate", 60., 0., 180., 0.1, "s");
  EXPECT_EQ(Format(rate, 0., false), "0");

  PlugParam q;
  q.DefineInt("Qfreq", 18, -90, 90, "%");
  EXPECT_EQ(Format(q, -18., false), "-18");
  EXPECT_EQ(Format(q, -17.6, false), "-18");
  EXPECT_EQ(Format(q, 17.5, false), "18");
  EXPECT_EQ(Format(q, 1e300, false), "2147483647");  // saturates instead of overflowing

  char tiny[4];
  iso.FormatValue(123.456, false, tiny, sizeof tiny);
  EXPECT_STREQ(tiny, "123");
}

TEST(PlugParam, TextLookupAndUserText) {
  PlugParam wave = MakeWave();
  double v = -1.;
  EXPECT_TRUE(wave.ValueFromText("Gold. Square", &v));
  EXPECT_EQ(v, 6.);
  v = -1.;
  EXPECT_FALSE(wave.ValueFromText("golden sine", &v));
  EXPECT_EQ(v, -1.);
  EXPECT_STREQ(wave.ValueTextFor(9), "");
  EXPECT_EQ(wave.ParseUserText("golden sine"), 0.);
  EXPECT_EQ(wave.ParseUserText("Saw"), 2.);

  PlugParam iso = MakeIsochronic();
  EXPECT_EQ(iso.ParseUserText("  440.5Hz"), 440.5);
  EXPECT_EQ(iso.ParseUserText("abc"), 0.);
  EXPECT_EQ(iso.ParseUserText(""), 0.);
  EXPECT_EQ(iso.ParseUserText("nan"), 11.);  // keeps the current value
  EXPECT_EQ(iso.NormalizeValue(iso.ParseUserText("1e999")), 1.);
  EXPECT_EQ(iso.NormalizeValue(iso.ParseUserText("-inf")), 0.);
  EXPECT_EQ(iso.ParseUserText(nullptr), 11.);
}

}  // namespace
