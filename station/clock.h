// The station's millisecond tick source; tests replace it.
#pragma once

#include <cstdint>

namespace orvane {

class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds since an arbitrary start; wraps like a 32-bit tick count.
  virtual uint32_t TickMs() = 0;
};

// Monotonic time of the machine.
class SteadyClock final : public Clock {
 public:
  uint32_t TickMs() override;
};

// Time that moves only when told: each tick read first adds `step` ms.
class ManualClock final : public Clock {
 public:
  explicit ManualClock(uint32_t start = 0, uint32_t step = 0) : now_(start), step_(step) {}
  uint32_t TickMs() override { return now_ += step_; }
  void Advance(uint32_t ms) { now_ += ms; }
  void set_step(uint32_t step) { step_ = step; }

 private:
  uint32_t now_;
  uint32_t step_;
};

} // namespace orvane
