#pragma once
// Reads typed values off the front of a fuzzer's input. Past the end every read answers
// zero, so a target never has to check the length itself.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// A fault the sanitizers cannot see (a wrong answer rather than a bad access): report it
// and abort, so libFuzzer keeps the input.
#define FUZZ_CHECK(cond)                                                            \
  do {                                                                              \
    if (!(cond)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
      std::abort();                                                                 \
    }                                                                               \
  } while (0)

namespace caldrith_fuzz {

class Input {
 public:
  Input(const uint8_t* data, size_t size) : mData(data), mSize(size) {}

  bool Empty() const { return mPos >= mSize; }
  size_t Remaining() const { return mSize - mPos; }

  uint8_t Byte() { return mPos < mSize ? mData[mPos++] : 0; }
  uint16_t U16() { return static_cast<uint16_t>(Byte() | Byte() << 8); }
  uint32_t U32() { return static_cast<uint32_t>(U16()) | static_cast<uint32_t>(U16()) << 16; }
  // Any bit pattern, NaNs and infinities included.
  double Double() {
    uint64_t bits = static_cast<uint64_t>(U32()) | static_cast<uint64_t>(U32()) << 32;
    double d;
    std::memcpy(&d, &bits, sizeof(d));
    return d;
  }
  // A value in [0, n), n > 0.
  uint32_t Below(uint32_t n) { return n ? U32() % n : 0; }
  bool Bool() { return Byte() & 1; }
  // Up to `count` bytes (fewer at the end); returns how many were copied.
  size_t Bytes(void* out, size_t count) {
    size_t n = count < Remaining() ? count : Remaining();
    if (n) std::memcpy(out, mData + mPos, n);
    mPos += n;
    return n;
  }

 private:
  const uint8_t* mData;
  size_t mSize;
  size_t mPos = 0;
};

}  // namespace caldrith_fuzz
