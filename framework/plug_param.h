#pragma once
// One automatable setting of the plug-in: a named real value with a range, a step,
// a shaped mapping to the normalised 0..1 position, display texts and a unit label.
#include <atomic>
#include <cstdint>
#include <vector>

enum ParamKind : int32_t {
  kTypeNone = 0,
  kTypeReserved = 1,  // never produced; treated like the integer kinds
  kTypeInt = 2,
  kTypeEnum = 3,
  kTypeDouble = 4,
};

constexpr int kParamTextSize = 32;

struct ValueText {
  int32_t value;
  char text[kParamTextSize];
};

class PlugParam {
 public:
  PlugParam() = default;
  PlugParam(const PlugParam& other) { *this = other; }
  PlugParam& operator=(const PlugParam& other);

  // Definition. Texts longer than 31 bytes are cut.
  void DefineDouble(const char* name, double defaultValue, double minValue, double maxValue,
                    double step, const char* label = "");
  void DefineInt(const char* name, int defaultValue, int minValue, int maxValue,
                 const char* label = "");
  void DefineEnum(const char* name, int defaultValue, int count, const char* label = "");
  void SetShapeExponent(double shape);
  void AddValueText(int value, const char* text);

  // Mapping.
  void AssignNormalized(double normalized);
  double NormalizeValue(double value) const;
  double DenormalizeValue(double normalized) const;
  double NormalizedValue() const { return NormalizeValue(Value()); }

  // Raw access. SetValue stores the value clamped to the range (NaN keeps the old value).
  // The editor reads values without the plug-in mutex; the atomic keeps that well defined.
  double Value() const { return mValue.load(std::memory_order_relaxed); }
  void SetValue(double value);
  int IntValue() const;  // value rounded half away from zero
  bool BoolValue() const { return Value() >= 0.5; }
  double Min() const { return mMin; }
  double Max() const { return mMax; }
  double Step() const { return mStep; }
  double Shape() const { return mShape; }
  double DefaultValue() const { return mDefault; }
  ParamKind Kind() const { return mKind; }
  bool IsIntegerKind() const {
    return mKind == kTypeReserved || mKind == kTypeInt || mKind == kTypeEnum;
  }
  int Decimals() const { return mDecimals; }
  bool Automatable() const { return mAutomatable; }

  // Texts.
  const char* NameText() const { return mName; }
  const char* LabelText() const { return mLabel; }
  const char* GroupText() const { return mGroup; }
  int ValueTextCount() const { return static_cast<int>(mValueTexts.size()); }
  const char* ValueTextFor(int value) const;  // "" when none
  const char* ValueTextAt(int index) const;   // index-th text in order added, "" outside
  bool ValueFromText(const char* text, double* value) const;
  // Writes at most bufferSize bytes (>= 1) including the terminator. 128 is always enough.
  void FormatValue(double x, bool isNormalized, char* out, int bufferSize = 128) const;
  double ParseUserText(const char* text) const;

 private:
  void CommonDefine(const char* name, double defaultValue, double minValue, double maxValue,
                    double step, const char* label);

  ParamKind mKind = kTypeNone;
  std::atomic<double> mValue{0.0};
  double mMin = 0.0;
  double mMax = 1.0;
  double mStep = 1.0;
  double mShape = 1.0;
  double mDefault = 0.0;
  int32_t mDecimals = 0;
  char mName[kParamTextSize] = {};
  char mLabel[kParamTextSize] = {};
  char mGroup[kParamTextSize] = {};
  bool mAutomatable = true;
  std::vector<ValueText> mValueTexts;
};

// Bounded copy: always terminates, never reads past the source's terminator.
void CopyText(char* dst, const char* src, int dstSize);
