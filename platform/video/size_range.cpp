#include "platform/video/size_range.h"

#include <algorithm>

namespace orvane::video {
namespace {

constexpr Size kCommonSizes[] = {{160, 120},   {320, 240},   {640, 480},   {800, 600},
                                 {1024, 768},  {1280, 720},  {1280, 960},  {1280, 1024},
                                 {1600, 1200}, {1920, 1080}, {2592, 1944}, {3840, 2160}};

} // namespace

std::vector<Size> SizesOfRange(const SizeRange& r) {
  const uint32_t sx = std::max(1u, r.step_width), sy = std::max(1u, r.step_height);
  std::vector<Size> out;
  for (const Size& s : kCommonSizes) {
    if (s.width < r.min_width || s.width > r.max_width || s.height < r.min_height || s.height > r.max_height) {
      continue;
    }
    if ((s.width - r.min_width) % sx != 0 || (s.height - r.min_height) % sy != 0) continue;
    out.push_back(s);
  }
  const Size largest{r.max_width, r.max_height};
  if (largest.width > 0 && largest.width <= kMaxSide && largest.height > 0 && largest.height <= kMaxSide &&
      std::find(out.begin(), out.end(), largest) == out.end()) {
    out.push_back(largest);
  }
  return out;
}

} // namespace orvane::video
