// The picture sizes offered from a range of widths and heights (a camera that
// takes any size in steps): the common sizes that fit the range and its
// steps, then its largest size.
#pragma once

#include <cstdint>
#include <vector>

namespace orvane::video {

struct SizeRange {
  uint32_t min_width = 0, max_width = 0, step_width = 1;
  uint32_t min_height = 0, max_height = 0, step_height = 1;
};

struct Size {
  uint32_t width = 0;
  uint32_t height = 0;
  bool operator==(const Size&) const = default;
};

// The largest side a device may offer; anything larger is not listed.
inline constexpr uint32_t kMaxSide = 16384;

// Common sizes in ascending order where they fit, then the range's largest
// size when it is not one of them and its sides are 1 to kMaxSide. A step of
// 0 counts as 1.
std::vector<Size> SizesOfRange(const SizeRange& range);

} // namespace orvane::video
