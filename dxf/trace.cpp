#include "dxf/trace.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

#include "acquisition/acquisition.h"
#include "draw/format.h"
#include "draw/overlay.h"
#include "station/workspace.h"
#include "workspace/log.h"
#include "workspace/solutions.h"

namespace orvane {
namespace {

// 3.1415927 / 180, the station's degree, not the exact pi / 180.
constexpr double kRadiansPerDegree = 0.01745329277777778;
constexpr double kSweepRadius = 12.0;
constexpr double kStepRadius = 5.0;
constexpr int32_t kWindowHalf = 4;  // the 9 x 9 erase and centroid windows
constexpr uint32_t kStepLimit = 500000;
constexpr int32_t kSegmentJump = 10;
constexpr int32_t kLogDecimals = 5;

constexpr Rgb kBlue{1, 1, 255};
constexpr Rgb kGreen{1, 255, 1};
constexpr Rgb kYellow{255, 255, 1};
constexpr Rgb kRed{255, 1, 1};

// Truncation toward zero of a coordinate; values far outside any image (and
// NaN) become a position that is outside every image, yet leaves room for
// the small offsets of the marks without overflow.
constexpr int32_t kFarAway = -1000000000;
int32_t Trunc(double v) {
  if (!(v > -1.0e9 && v < 1.0e9)) return kFarAway;
  return static_cast<int32_t>(v);
}

struct Position {
  int32_t x;
  int32_t y;
};

// The pixel at `radius` and `degrees` around (px, py), the sums formed in
// double precision before truncation.
Position Probe(double px, double py, double radius, double degrees) {
  const double a = degrees * kRadiansPerDegree;
  return {Trunc(px + radius * std::cos(a)), Trunc(py + radius * std::sin(a))};
}

void Cross(const OverlayCanvas& canvas, int32_t x, int32_t y, Rgb colour) {
  DrawLine(canvas, x - 2, y, x + 2, y, colour);
  DrawLine(canvas, x, y - 2, x, y + 2, colour);
}

// One search around (cx, cy) at the step radius, for directions from
// angle - spread while at most angle + spread: the mean of the (unreduced)
// directions that hit an edge pixel, or false with no hit.
bool SearchDirections(const OverlayCanvas& canvas, const EdgeMap& edges, double cx, double cy,
                      double angle, double spread, double* mean) {
  double sum = 0.0;
  uint32_t hits = 0;
  const double last = angle + spread;
  for (double d = angle - spread; d <= last; d += 1.0) {
    double reduced = d;
    if (reduced < 0.0) {
      reduced += 360.0;
    } else if (reduced >= 360.0) {
      reduced -= 360.0;
    }
    const Position p = Probe(cx, cy, kStepRadius, reduced);
    if (edges.IsEdge(p.x, p.y)) {
      sum += d;
      ++hits;
      DrawPixel(canvas, p.x, p.y, kYellow);
    }
  }
  if (hits == 0) return false;
  *mean = sum / hits;
  return true;
}

// Two trace points are joined by a LINE only when they are closer than 10
// pixels in both x and y; a larger jump separates two branches.
bool Close(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  return std::llabs(int64_t{x1} - x2) < kSegmentJump && std::llabs(int64_t{y1} - y2) < kSegmentJump;
}

}  // namespace

EdgeMap EdgeMap::Allocate(const ImageState& image) {
  EdgeMap map;
  map.width_ = static_cast<int32_t>(std::min<uint32_t>(image.width, INT32_MAX));
  map.height_ = static_cast<int32_t>(std::min<uint32_t>(image.height, INT32_MAX));
  map.stride_ = image.stride;
  map.bytes_per_pixel_ = image.bytes_per_pixel;
  size_t needed = 0;
  if (map.width_ > 0 && map.height_ > 0) {
    needed = (static_cast<size_t>(map.height_) - 1) * map.stride_ +
             (static_cast<size_t>(map.width_) - 1) * map.bytes_per_pixel_ + 3;
  }
  map.bytes_.assign(std::max<size_t>(needed, image.size), 0);
  return map;
}

void EdgeMap::Set(int64_t x, int64_t y) {
  if (!Inside(x, y)) return;
  uint8_t* p = &bytes_[Offset(x, y) - 2];
  p[0] = p[1] = p[2] = 255;
}

void TraceBranch(Station& station, EdgeMap& edges, int32_t x, int32_t y, double angle) {
  const OverlayCanvas canvas = CanvasOf(station);
  TraceList& list = station.trace;
  bool first = true;
  uint32_t steps = 0;
  for (;;) {
    list.Append(x, y, static_cast<float>(angle));

    // The window around the starting point is left for the other branches
    // that start there.
    if (!first) {
      for (int64_t wy = int64_t{y} - kWindowHalf; wy <= int64_t{y} + kWindowHalf; ++wy) {
        for (int64_t wx = int64_t{x} - kWindowHalf; wx <= int64_t{x} + kWindowHalf; ++wx) {
          if (!edges.Inside(wx, wy)) continue;
          if ((wx & 1) != 0 && (wy & 1) != 0) {
            DrawPixel(canvas, static_cast<int32_t>(wx), static_cast<int32_t>(wy), kBlue);
          }
          edges.Erase(wx, wy);
        }
      }
    }
    first = false;

    const Position predicted = Probe(x, y, kStepRadius, angle);
    double cx = predicted.x;
    double cy = predicted.y;
    int64_t sum_x = 0;
    int64_t sum_y = 0;
    uint32_t found = 0;
    for (int64_t wy = int64_t{predicted.y} - kWindowHalf; wy <= int64_t{predicted.y} + kWindowHalf; ++wy) {
      for (int64_t wx = int64_t{predicted.x} - kWindowHalf; wx <= int64_t{predicted.x} + kWindowHalf; ++wx) {
        if (!edges.IsEdge(wx, wy)) continue;
        sum_x += wx;
        sum_y += wy;
        ++found;
      }
    }
    if (found > 0) {
      cx = static_cast<double>(sum_x) / found;
      cy = static_cast<double>(sum_y) / found;
    }

    x = Trunc(cx);
    y = Trunc(cy);
    Cross(canvas, x, y, kGreen);

    double next = 0.0;
    if (SearchDirections(canvas, edges, cx, cy, angle, 2.0, &next) ||
        SearchDirections(canvas, edges, cx, cy, angle, 120.0, &next)) {
      angle = next;
      if (++steps >= kStepLimit) return;
      continue;
    }

    DrawLine(canvas, x - 2, y + 4, x + 2, y + 4, kRed);
    DrawLine(canvas, x, y + 2, x, y + 6, kRed);
    list.Append(x, y, static_cast<float>(angle));
    return;
  }
}

void TraceOutline(Station& station, EdgeMap& edges, const SolutionRecord& record,
                  uint32_t roi_index, double k, DxfSink& sink) {
  if (roi_index >= kMaxRois) return;
  RoiRecord roi;
  if (!ClampRoiToImage(record.rois[roi_index], station.image.width, station.image.height, &roi)) {
    return;
  }
  const OverlayCanvas canvas = CanvasOf(station);

  // Centre of the edge pixels; (0, 0) when there is none.
  int64_t sum_x = 0;
  int64_t sum_y = 0;
  uint64_t count = 0;
  for (int32_t y = roi.top; y <= roi.bottom; ++y) {
    for (int32_t x = roi.left; x <= roi.right; ++x) {
      if (!edges.IsEdge(x, y)) continue;
      sum_x += x;
      sum_y += y;
      ++count;
    }
  }
  double cx = 0.0;
  double cy = 0.0;
  if (count > 0) {
    cx = static_cast<double>(sum_x) / static_cast<double>(count);
    cy = static_cast<double>(sum_y) / static_cast<double>(count);
  }
  const int32_t ix = Trunc(cx);
  const int32_t iy = Trunc(cy);
  DrawLine(canvas, ix - 2, iy - 4, ix + 2, iy - 4, kBlue);
  DrawLine(canvas, ix, iy - 6, ix, iy - 2, kBlue);

  // Start the sweep where the circle is off the edges, so that no run of
  // hits is cut in two at the start.
  int32_t start = 0;
  for (int32_t a = 0; a < 360; ++a) {
    const Position p = Probe(cx, cy, kSweepRadius, a);
    if (edges.Inside(p.x, p.y) && !edges.IsEdge(p.x, p.y)) {
      start = a;
      break;
    }
  }

  TraceList& list = station.trace;
  list.Clear();
  AppendLog(station, "--\r\n");

  // A run closed by a miss inside the sweep needs 4 hits; the run still open
  // at the end needs 3. Probes outside the image neither hit nor end a run.
  double run_sum = 0.0;
  uint32_t run = 0;
  for (int32_t a = start; a <= start + 360; ++a) {
    const Position p = Probe(cx, cy, kSweepRadius, a >= 360 ? a - 360 : a);
    if (!edges.Inside(p.x, p.y)) continue;
    if (edges.IsEdge(p.x, p.y)) {
      run_sum += a;
      ++run;
      DrawPixel(canvas, p.x, p.y, kGreen);
    } else {
      if (run >= 4) TraceBranch(station, edges, ix, iy, run_sum / run);
      run_sum = 0.0;
      run = 0;
      DrawPixel(canvas, p.x, p.y, kBlue);
    }
  }
  if (run > 2) TraceBranch(station, edges, ix, iy, run_sum / run);

  const uint32_t n = list.count();
  if (station.log_enabled != 0) {
    AppendLog(station, "Points " + std::to_string(n) + "\r\n");
    char number[kNumberTextCapacity];
    for (uint32_t j = 0; j < n; ++j) {
      FormatNumberTo(number, list.angle[j], kLogDecimals);
      AppendLog(station, std::to_string(list.x[j]) + "," + std::to_string(list.y[j]) + "," +
                             number + "\r\n");
    }
  }

  const uint32_t height = station.image.height;
  auto line = [&](uint32_t from, uint32_t to) {
    DxfLine(sink, DxfX(list.x[from], k), DxfY(list.y[from], height, k), 0.0 * k,
            DxfX(list.x[to], k), DxfY(list.y[to], height, k), 0.0 * k);
  };
  for (uint32_t j = 0; j + 1 < n; ++j) {
    if (Close(list.x[j], list.y[j], list.x[j + 1], list.y[j + 1])) line(j, j + 1);
  }
  if (n >= 1 && Close(list.x[0], list.y[0], list.x[n - 1], list.y[n - 1])) line(0, n - 1);
}

} // namespace orvane
