// The picture the simulated camera serves in Mono8 at its default exposure
// and gain: a diagonal ramp that moves with the frame, byte (x + y + k) mod
// 255 for the frame's own k, the same k over the whole picture.
#pragma once

#include <cstdint>

namespace orvane::testing {

inline uint8_t ServedByte(uint32_t x, uint32_t y, uint32_t k) { return static_cast<uint8_t>((x + y + k) % 255); }

} // namespace orvane::testing
