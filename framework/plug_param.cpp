#include "framework/plug_param.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

void CopyText(char* dst, const char* src, int dstSize) {
  if (!dst || dstSize <= 0) return;
  if (!src) src = "";
  int i = 0;
  for (; i < dstSize - 1 && src[i]; ++i) dst[i] = src[i];
  dst[i] = '\0';
}

namespace {

// Rounds half away from zero into an int, saturating instead of overflowing.
int RoundToInt(double x) {
  if (std::isnan(x)) return 0;
  double r = x >= 0.0 ? x + 0.5 : x - 0.5;
  if (r >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (r <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(r);
}

}  // namespace

PlugParam& PlugParam::operator=(const PlugParam& other) {
  if (this == &other) return *this;
  mKind = other.mKind;
  mValue.store(other.Value(), std::memory_order_relaxed);
  mMin = other.mMin;
  mMax = other.mMax;
  mStep = other.mStep;
  mShape = other.mShape;
  mDefault = other.mDefault;
  mDecimals = other.mDecimals;
  std::memcpy(mName, other.mName, sizeof mName);
  std::memcpy(mLabel, other.mLabel, sizeof mLabel);
  std::memcpy(mGroup, other.mGroup, sizeof mGroup);
  mAutomatable = other.mAutomatable;
  mValueTexts = other.mValueTexts;
  return *this;
}

void PlugParam::CommonDefine(const char* name, double defaultValue, double minValue,
                             double maxValue, double step, const char* label) {
  CopyText(mName, name, kParamTextSize);
  CopyText(mLabel, label, kParamTextSize);
  mMin = minValue;
  mValue.store(defaultValue, std::memory_order_relaxed);
  mDefault = defaultValue;
  mMax = maxValue >= minValue + step ? maxValue : minValue + step;
  mStep = step;
  mDecimals = 0;
  double t = step;
  while (t != std::floor(t)) {
    ++mDecimals;
    t *= 10.0;
    if (mDecimals >= 6) break;
  }
}

void PlugParam::DefineDouble(const char* name, double defaultValue, double minValue,
                             double maxValue, double step, const char* label) {
  if (mKind == kTypeNone) mKind = kTypeDouble;
  CommonDefine(name, defaultValue, minValue, maxValue, step, label);
}

void PlugParam::DefineInt(const char* name, int defaultValue, int minValue, int maxValue,
                          const char* label) {
  if (mKind == kTypeNone) mKind = kTypeInt;
  CommonDefine(name, defaultValue, minValue, maxValue, 1.0, label);
}

void PlugParam::DefineEnum(const char* name, int defaultValue, int count, const char* label) {
  if (mKind == kTypeNone) mKind = kTypeEnum;
  CommonDefine(name, defaultValue, 0.0, count - 1, 1.0, label);
}

void PlugParam::SetShapeExponent(double shape) {
  if (shape == 0.0 || std::isnan(shape)) return;
  mShape = shape;
}

void PlugParam::AddValueText(int value, const char* text) {
  ValueText vt;
  vt.value = value;
  CopyText(vt.text, text, kParamTextSize);
  mValueTexts.push_back(vt);
}

void PlugParam::AssignNormalized(double normalized) {
  // A host or control may hand over anything; NaN is ignored and the rest is held to 0..1.
  if (std::isnan(normalized)) return;
  if (normalized < 0.0) normalized = 0.0;
  if (normalized > 1.0) normalized = 1.0;
  double v = std::pow(normalized, mShape) * (mMax - mMin) + mMin;
  if (mKind != kTypeDouble) v = std::floor(v / mStep + 0.5) * mStep;
  if (v >= mMax) v = mMax;
  if (std::isnan(v)) return;
  mValue.store(v, std::memory_order_relaxed);
}

double PlugParam::NormalizeValue(double x) const {
  if (std::isnan(x)) x = mMin;
  if (x < mMin) {
    x = mMin;
  } else if (x > mMax) {
    x = mMax;
  }
  return std::pow((x - mMin) / (mMax - mMin), 1.0 / mShape);
}

double PlugParam::DenormalizeValue(double normalized) const {
  if (std::isnan(normalized)) return mMin;
  return std::pow(normalized, mShape) * (mMax - mMin) + mMin;
}

void PlugParam::SetValue(double value) {
  if (std::isnan(value)) return;
  if (value < mMin) value = mMin;
  if (value > mMax) value = mMax;
  mValue.store(value, std::memory_order_relaxed);
}

int PlugParam::IntValue() const {
  return RoundToInt(Value());
}

const char* PlugParam::ValueTextFor(int value) const {
  for (const ValueText& vt : mValueTexts) {
    if (vt.value == value) return vt.text;
  }
  return "";
}

const char* PlugParam::ValueTextAt(int index) const {
  if (index < 0 || index >= ValueTextCount()) return "";
  return mValueTexts[static_cast<size_t>(index)].text;
}

bool PlugParam::ValueFromText(const char* text, double* value) const {
  if (!text || !value) return false;
  for (const ValueText& vt : mValueTexts) {
    if (std::strcmp(vt.text, text) == 0) {
      *value = vt.value;
      return true;
    }
  }
  return false;
}

void PlugParam::FormatValue(double x, bool isNormalized, char* out, int bufferSize) const {
  if (!out || bufferSize <= 0) return;
  if (isNormalized) x = DenormalizeValue(x);
  int k = RoundToInt(x);
  const char* text = ValueTextFor(k);
  if (ValueTextCount() > 0 && text[0]) {
    CopyText(out, text, bufferSize);
  } else if (x == 0.0 || std::isnan(x)) {
    CopyText(out, "0", bufferSize);
  } else if (mDecimals == 0) {
    std::snprintf(out, static_cast<size_t>(bufferSize), "%d", k);
  } else {
    std::snprintf(out, static_cast<size_t>(bufferSize), "%.*f", mDecimals, x);
  }
}

double PlugParam::ParseUserText(const char* text) const {
  if (!text) return Value();
  double v = 0.0;
  if (ValueTextCount() > 0 && ValueFromText(text, &v)) return v;
  v = std::strtod(text, nullptr);
  // "nan" typed by a user means nothing; keep what the parameter holds.
  if (std::isnan(v)) return Value();
  return v;
}
