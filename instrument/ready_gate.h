#pragma once
// Process-wide record of which parameters have been applied at least once. Audio
// processing waits until every parameter has been applied; the record is shared by all
// instances and re-armed whenever one is constructed. Lock-free, so instances on
// different threads may mark it at the same time.
namespace caldrith {

class ReadyGateTable {
 public:
  static constexpr int kSize = 23;
  // Clears every mark and restarts the countdown.
  static void Rearm();
  // Marks idx (once); answers whether the countdown has reached zero.
  static bool MarkApplied(int idx);
  static int Countdown();
};

}  // namespace caldrith
