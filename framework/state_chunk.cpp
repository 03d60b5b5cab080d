#include "framework/state_chunk.h"

#include <cstring>

namespace {
constexpr size_t kGrowStep = 4096;
}

int StateChunk::PutBytes(const void* data, int size) {
  if (!data || size <= 0) return Size();
  size_t need = mBytes.size() + static_cast<size_t>(size);
  if (need > mBytes.capacity()) mBytes.reserve((need + kGrowStep - 1) / kGrowStep * kGrowStep);
  const uint8_t* p = static_cast<const uint8_t*>(data);
  mBytes.insert(mBytes.end(), p, p + size);
  return Size();
}

int StateChunk::PutDouble(double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  uint8_t le[8];
  for (int i = 0; i < 8; ++i) le[i] = static_cast<uint8_t>(bits >> (8 * i));
  return PutBytes(le, 8);
}

int StateChunk::GetDouble(double* v, int pos) const {
  if (!v || pos < 0 || static_cast<size_t>(pos) + 8 > mBytes.size()) return -1;
  uint64_t bits = 0;
  for (int i = 0; i < 8; ++i)
    bits |= static_cast<uint64_t>(mBytes[static_cast<size_t>(pos + i)]) << (8 * i);
  std::memcpy(v, &bits, sizeof bits);
  return pos + 8;
}
