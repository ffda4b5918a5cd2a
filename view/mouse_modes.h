// The mode handlers behind the mouse entry points, and what they share.
#pragma once

#include <cmath>
#include <cstdint>

#include "view/mouse.h"

namespace orvane::mouse {

// |a - b| < limit without overflow for any stored values.
inline bool Near(int64_t a, int64_t b, double limit) {
  const auto d = static_cast<double>(a - b);
  return d < limit && -d < limit;
}

// The picture after a change: overlay rebuilt from the working record, then
// laid over the frame and shown.
void Refresh(Station& station);

// Mode 0 (ROI editing).
void RoiLeftDown(Station& station);
void RoiMove(Station& station, uint32_t keys);
void RoiLeftUp(Station& station);

// Modes 1 to 5 (measurement sets and drawn entities).
void DrawLeftDown(Station& station, uint32_t keys);
void DrawMove(Station& station, uint32_t keys);
void DrawLeftUp(Station& station);
void DrawRightDown(Station& station, bool mapped);
void DrawRightUp(Station& station);

} // namespace orvane::mouse
