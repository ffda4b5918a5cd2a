// The three DXF solutions, run by the dispatcher when Process is pressed:
// 201 DXF Auto Output, 202 DXF Simple Output, 203 DXF Trace Output. Each
// writes the station's drawing file "DXF/FILE.DXF" in the user's unit, at the
// distance given by the solution's "Distance" parameter (slot 0), and returns
// 0. Without a scale (not calibrated, or a distance of 0) they stop silently
// before the file is touched.
#pragma once

#include <cstdint>
#include <vector>

#include "dxf/writer.h"
#include "station/station.h"
#include "workspace/records.h"

namespace orvane {

// An ordered list of distinct image positions, in the order first added,
// holding at most `capacity` of them; later new positions are dropped.
class DxfPointList {
 public:
  static constexpr uint32_t kCapacity = 1000000;

  DxfPointList(uint32_t width, uint32_t height, uint32_t capacity = kCapacity);
  // Adds (x, y), which must lie inside the image, unless it is already listed
  // or the list is full.
  void Add(int32_t x, int32_t y);
  size_t size() const { return x_.size(); }
  int32_t x(size_t i) const { return x_[i]; }
  int32_t y(size_t i) const { return y_[i]; }

 private:
  uint32_t width_;
  uint32_t capacity_;
  std::vector<uint8_t> seen_; // one byte a pixel of the image
  std::vector<int32_t> x_;
  std::vector<int32_t> y_;
};

// 201: for each ROI by its entity type, its edge pixels as POINTs (1, Points,
// written after all ROIs, each position once), the traced edges through it as
// LINEs (2, Line) or a CIRCLE of the area of the largest blob in it (3, Circle).
int32_t DxfAutoOutput(Station& station, SolutionRecord& record);

// 202: every edge pixel of every ROI as a POINT, in ROI order (a pixel in two
// ROIs is written twice). Leaves the edge image in the frame buffer.
int32_t DxfSimpleOutput(Station& station, SolutionRecord& record);

// 203: the lines, polylines and circles drawn on the image, as LINEs and
// CIRCLEs. Needs no ROI and does not look at the image.
int32_t DxfTraceOutput(Station& station, SolutionRecord& record);

// The drawing of 203 into any sink, at k drawing units a pixel, for an image
// `height` rows high: begin, the record's entities, end.
void WriteTraceDrawing(DxfSink& sink, const SolutionRecord& record, double k, uint32_t height);

} // namespace orvane
