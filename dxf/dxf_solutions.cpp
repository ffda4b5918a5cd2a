#include "dxf/dxf_solutions.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <optional>

#include "algorithms/include/quellix.h"
#include "dxf/dxf_options.h"
#include "dxf/trace.h"
#include "dxf/writer.h"
#include "results/session.h"
#include "station/workspace.h"
#include "workspace/solutions.h"

namespace orvane {
namespace {

// Parameter slots of the DXF solutions.
constexpr uint32_t kParamDistance = 0;
constexpr uint32_t kParamEdgeThreshold = 1;
constexpr uint32_t kParamBackground = 2; // 0 "Dark", 1 "Light"
constexpr uint32_t kParamThreshold = 3;

constexpr uint32_t kMaxBlobs = 1000;
constexpr uint32_t kMinBlobPixels = 100;
constexpr uint32_t kMaxBlobPixels = 2000000000;
constexpr uint32_t kSortLargestFirst = 1;
constexpr double kInversePi = 0.31830988148145367; // 1 / 3.1415927

std::optional<double> RunScale(const Station& station, const SolutionRecord& record) {
  const EngineSettings& e = station.engine;
  return DxfScale(record.params[kParamDistance].value, e.scale_x, e.calibration_distance,
                  e.unit_factor);
}

uint32_t RoiCount(const SolutionRecord& record) { return std::min(record.roi_count, kMaxRois); }

// 201 and 202 need an ROI; they say so and stop.
bool HasRois(Station& station, const SolutionRecord& record) {
  if (record.roi_count != 0) return true;
  station.surface().MessageBox(kNoRoiMessage, "", MessageButtons::Ok);
  return false;
}

// A parameter as an unsigned intensity: truncated, and held inside u32 so
// that a damaged value cannot make the conversion undefined.
uint32_t TruncatedParam(float value) {
  if (!(value > 0.0f)) return 0;
  if (value >= 4294967295.0f) return UINT32_MAX;
  return static_cast<uint32_t>(value);
}

// The written drawing as a row of the results table: its entity count, and
// the file with the count of each kind of entity.
void RecordDxfExport(Station& station, const DxfSink& sink) {
  ResultRow row;
  row.kind = kKindDxf;
  row.value = double(sink.points) + sink.lines + sink.circles;
  row.unit = "entities";
  row.note = std::filesystem::path(station.PathOf(kDxfFileName)).lexically_relative(station.folder()).generic_string() +
             ": " + std::to_string(sink.points) + " points, " + std::to_string(sink.lines) +
             " lines, " + std::to_string(sink.circles) + " circles";
  AddResult(station, std::move(row));
}

// Says once per session that the drawing could not be written.
void ReportDrawingFailure(Station& station, const DxfFileSink& sink) {
  if (sink.error() != 0) ReportFileFailure(station, sink.path(), sink.error(), true);
}

} // namespace

DxfPointList::DxfPointList(uint32_t width, uint32_t height, uint32_t capacity)
    : width_(width), capacity_(capacity), seen_(static_cast<size_t>(width) * height, 0) {}

void DxfPointList::Add(int32_t x, int32_t y) {
  if (x_.size() >= capacity_) return;
  uint8_t& seen = seen_[static_cast<size_t>(y) * width_ + static_cast<size_t>(x)];
  if (seen != 0) return;
  seen = 1;
  x_.push_back(x);
  y_.push_back(y);
}

int32_t DxfAutoOutput(Station& station, SolutionRecord& record) {
  if (!HasRois(station, record)) return 0;
  const std::optional<double> scale = RunScale(station, record);
  if (!scale) return 0;
  const double k = *scale;
  ImageState& image = station.image;
  const uint32_t width = image.width;
  const uint32_t height = image.height;

  const uint32_t t = TruncatedParam(record.params[kParamThreshold].value);
  const bool dark_background = record.params[kParamBackground].value == 0.0f;
  const uint32_t low = dark_background ? t : 0;
  const uint32_t high = dark_background ? 255 : t;

  EdgeMap edges = EdgeMap::Allocate(image);
  RoiRecord whole{};
  const bool has_image = image.frame != nullptr &&
                         ClampRoiToImage(RoiRecord{0, 0, INT32_MAX, INT32_MAX, 0, 0, 0, 0, 0, 0, 0},
                                         width, height, &whole);
  if (has_image) {
    qlxSobel3(image.frame, image.size, 1, &whole, record.params[kParamEdgeThreshold].value,
              edges.data(), 0);
  }

  DxfFileSink sink(station.PathOf(kDxfFileName));
  ApplyDxfOptions(station, sink);
  DxfBegin(sink);

  std::optional<DxfPointList> points;
  for (uint32_t i = 0; i < RoiCount(record); ++i) {
    RoiRecord roi;
    if (!has_image || !ClampRoiToImage(record.rois[i], width, height, &roi)) continue;
    switch (static_cast<RoiEntity>(record.rois[i].entity_type)) {
      case RoiEntity::Points:
        if (!points) points.emplace(width, height);
        for (int32_t y = roi.top; y <= roi.bottom; ++y) {
          for (int32_t x = roi.left; x <= roi.right; ++x) {
            if (edges.IsEdge(x, y)) points->Add(x, y);
          }
        }
        break;
      case RoiEntity::Line:
        TraceOutline(station, edges, record, i, k, sink);
        break;
      case RoiEntity::Circle: {
        std::vector<BlobRecord> blobs(kMaxBlobs);
        uint32_t found = 0;
        qlxFindBlobs(image.frame, image.size, 1, &roi, low, high, kMinBlobPixels, kMaxBlobPixels, 1,
                     blobs.data(), &found, kMaxBlobs);
        found = std::min(found, kMaxBlobs);
        qlxSortBlobList(kSortLargestFirst, blobs.data(), found);
        if (found > 0) {
          const BlobRecord& largest = blobs[0];
          // The radius of a disc with the blob's area.
          DxfCircle(sink, DxfX(largest.cogX, k), DxfY(largest.cogY, height, k), 0.0 * k,
                    std::sqrt(largest.pixelCount * kInversePi) * k);
        }
        break;
      }
      default:
        break;
    }
  }

  if (points) {
    for (size_t j = 0; j < points->size(); ++j) {
      DxfPoint(sink, DxfX(points->x(j), k), DxfY(points->y(j), height, k), 0.0 * k);
    }
  }
  DxfEnd(sink);
  ReportDrawingFailure(station, sink);
  if (sink.error() == 0) RecordDxfExport(station, sink);
  return 0;
}

int32_t DxfSimpleOutput(Station& station, SolutionRecord& record) {
  if (!HasRois(station, record)) return 0;
  const std::optional<double> scale = RunScale(station, record);
  if (!scale) return 0;
  const double k = *scale;
  ImageState& image = station.image;
  const uint32_t height = image.height;

  std::vector<RoiRecord> rois;
  for (uint32_t i = 0; i < RoiCount(record); ++i) {
    RoiRecord roi;
    if (ClampRoiToImage(record.rois[i], image.width, height, &roi)) rois.push_back(roi);
  }

  EdgeMap edges = EdgeMap::Allocate(image);
  // An empty region list would mean the whole image to the library.
  if (image.frame != nullptr && !rois.empty()) {
    qlxSobel3(image.frame, image.size, static_cast<uint32_t>(rois.size()), rois.data(),
              record.params[kParamEdgeThreshold].value, edges.data(), 0);
    // The view shows the edge image until the next frame is acquired.
    std::memcpy(image.frame, edges.data(), image.size);
  }

  DxfFileSink sink(station.PathOf(kDxfFileName));
  ApplyDxfOptions(station, sink);
  DxfBegin(sink);
  for (const RoiRecord& roi : rois) {
    for (int32_t y = roi.top; y <= roi.bottom; ++y) {
      const double dy = DxfY(y, height, k);
      for (int32_t x = roi.left; x <= roi.right; ++x) {
        if (edges.IsEdge(x, y)) DxfPoint(sink, DxfX(x, k), dy, 0.0 * k);
      }
    }
  }
  DxfEnd(sink);
  ReportDrawingFailure(station, sink);
  if (sink.error() == 0) RecordDxfExport(station, sink);
  return 0;
}

void WriteTraceDrawing(DxfSink& sink, const SolutionRecord& record, double k, uint32_t height) {
  DxfBegin(sink);
  const int32_t count = std::min(static_cast<int32_t>(record.entity_count),
                                 static_cast<int32_t>(kMaxEntities));
  // A damaged stored point (NaN, infinite, or so large that it overflows once
  // scaled) would put "nan" or "inf" into the drawing; such records are left out.
  auto finite = [](std::initializer_list<double> values) {
    return std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
  };
  auto line = [&](const EntityPoint& a, const EntityPoint& b) {
    const double x1 = DxfX(a.x, k), y1 = DxfY(a.y, height, k);
    const double x2 = DxfX(b.x, k), y2 = DxfY(b.y, height, k);
    if (!finite({x1, y1, x2, y2})) return;
    DxfLine(sink, x1, y1, 0.0 * k, x2, y2, 0.0 * k);
  };
  for (int32_t e = 0; e < count; ++e) {
    const DrawEntity& entity = record.entities[e];
    switch (static_cast<EntityType>(entity.type)) {
      case EntityType::Polyline: {
        const uint32_t n = std::min(entity.point_count, kMaxEntityPoints);
        for (uint32_t j = 0; j + 1 < n; ++j) line(entity.points[j], entity.points[j + 1]);
        break;
      }
      case EntityType::Line:
        line(entity.points[0], entity.points[1]);
        break;
      case EntityType::Circle: {
        const double x = DxfX(entity.points[0].x, k), y = DxfY(entity.points[0].y, height, k);
        const double radius = entity.points[1].x * k;
        if (finite({x, y, radius})) DxfCircle(sink, x, y, 0.0 * k, radius);
        break;
      }
      default:
        break;
    }
  }
  DxfEnd(sink);
}

int32_t DxfTraceOutput(Station& station, SolutionRecord& record) {
  const std::optional<double> scale = RunScale(station, record);
  if (!scale) return 0;
  DxfFileSink sink(station.PathOf(kDxfFileName));
  ApplyDxfOptions(station, sink);
  WriteTraceDrawing(sink, record, *scale, station.image.height);
  ReportDrawingFailure(station, sink);
  if (sink.error() == 0) RecordDxfExport(station, sink);
  return 0;
}

} // namespace orvane
