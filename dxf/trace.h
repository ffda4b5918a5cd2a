// Outline tracing: follows the edges that pass through a Line ROI in 5-pixel
// steps, erasing what it has traced from the edge map, and writes the path as
// a chain of short LINEs. Marks in the overlay show what was traced.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "dxf/writer.h"
#include "station/station.h"
#include "workspace/records.h"

namespace orvane {

// The edge map of one DXF run: a buffer in the frame's layout in which a pixel
// is an edge pixel when its byte 2 is not 0. Every access is bounds checked
// against the image, and the buffer holds every pixel of it (see Allocate).
class EdgeMap {
 public:
  // A zeroed map for the station's current image: at least image.size bytes
  // (what the edge filter writes) and never less than the image's pixels need.
  static EdgeMap Allocate(const ImageState& image);

  bool Inside(int64_t x, int64_t y) const {
    return x >= 0 && y >= 0 && x < width_ && y < height_;
  }
  bool IsEdge(int64_t x, int64_t y) const { return Inside(x, y) && bytes_[Offset(x, y)] != 0; }
  void Erase(int64_t x, int64_t y) {
    if (Inside(x, y)) bytes_[Offset(x, y)] = 0;
  }
  // Marks (x, y) as an edge, as the edge filter does.
  void Set(int64_t x, int64_t y);

  uint8_t* data() { return bytes_.data(); }
  int32_t width() const { return width_; }
  int32_t height() const { return height_; }

 private:
  size_t Offset(int64_t x, int64_t y) const {
    return static_cast<size_t>(y) * stride_ + static_cast<size_t>(x) * bytes_per_pixel_ + 2;
  }
  std::vector<uint8_t> bytes_;
  int32_t width_ = 0;
  int32_t height_ = 0;
  size_t stride_ = 0;
  size_t bytes_per_pixel_ = 3;
};

// Traces ROI `roi_index` of the record (its corners clamped into the image):
// finds the centre of its edge pixels, sweeps a circle of radius 12 around it
// for the runs of edge pixels that leave it, traces a branch for each run,
// logs the trace list and writes its close pairs as LINEs with pixel size k.
// The station's trace list holds this ROI's points afterwards.
void TraceOutline(Station& station, EdgeMap& edges, const SolutionRecord& record,
                  uint32_t roi_index, double k, DxfSink& sink);

// Follows one branch from (x, y) in direction `angle` (degrees, 0 along +x,
// 90 along +y, i.e. down the image) and appends its points to the station's
// trace list, erasing the edge pixels it passes.
void TraceBranch(Station& station, EdgeMap& edges, int32_t x, int32_t y, double angle);

} // namespace orvane
