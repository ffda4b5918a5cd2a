// The trace list: the points that outline tracing visits, shared by every
// branch of one Line ROI and kept by the station for the whole run of the
// program (the last Line ROI's list stays until the next one clears it).
#pragma once

#include <cstdint>
#include <vector>

namespace orvane {

struct TraceList {
  static constexpr uint32_t kCapacity = 1000000;

  std::vector<int32_t> x;     // image column of each entry
  std::vector<int32_t> y;     // image row
  std::vector<float> angle;   // direction of travel in degrees, not reduced to 0..360

  uint32_t count() const { return static_cast<uint32_t>(x.size()); }

  void Clear() {
    x.clear();
    y.clear();
    angle.clear();
  }

  // Appends one entry; an entry beyond the capacity is dropped (false).
  bool Append(int32_t px, int32_t py, float a) {
    if (x.size() >= kCapacity) return false;
    x.push_back(px);
    y.push_back(py);
    angle.push_back(a);
    return true;
  }
};

} // namespace orvane
