#pragma once
// The byte buffer that carries the plug-in state and the preset records.
#include <cstddef>
#include <cstdint>
#include <vector>

class StateChunk {
 public:
  // Appends the double as 8 little-endian bytes. Returns the new size.
  int PutDouble(double v);
  // Reads the double at pos into *v; returns the position after it, or -1 when fewer than
  // 8 bytes remain (or pos is negative).
  int GetDouble(double* v, int pos) const;
  int PutBytes(const void* data, int size);
  int Size() const { return static_cast<int>(mBytes.size()); }
  const uint8_t* Data() const { return mBytes.data(); }
  void Clear() { mBytes.clear(); }
  void Reserve(int bytes) { mBytes.reserve(static_cast<size_t>(bytes)); }

 private:
  std::vector<uint8_t> mBytes;
};

constexpr int kPresetNameSize = 256;

struct PresetRecord {
  bool initialised = false;
  char name[kPresetNameSize] = {};
  StateChunk state;
};
