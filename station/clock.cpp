#include "station/clock.h"

#include <chrono>

namespace orvane {

uint32_t SteadyClock::TickMs() {
  auto since = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

} // namespace orvane
