#include "instrument/ready_gate.h"

#include <atomic>
#include <cstdint>

namespace caldrith {

namespace {
std::atomic<int16_t> gMarks[ReadyGateTable::kSize];
std::atomic<int16_t> gCountdown{ReadyGateTable::kSize};
}  // namespace

void ReadyGateTable::Rearm() {
  for (auto& m : gMarks) m.store(0, std::memory_order_relaxed);
  gCountdown.store(kSize, std::memory_order_release);
}

bool ReadyGateTable::MarkApplied(int idx) {
  if (idx >= 0 && idx < kSize && gMarks[idx].exchange(1, std::memory_order_acq_rel) == 0) {
    gCountdown.fetch_sub(1, std::memory_order_acq_rel);
  }
  return gCountdown.load(std::memory_order_acquire) <= 0;
}

int ReadyGateTable::Countdown() {
  return gCountdown.load(std::memory_order_acquire);
}

}  // namespace caldrith
