#include "rectify/remap.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

namespace orvane::rectify {

struct RemapTables::Tables {
  cv::Mat whole;    // CV_16SC2: whole pixel of the top-left neighbour
  cv::Mat fraction; // CV_16UC1: index of the 1/32 x 1/32 interpolation step
};

RemapTables::RemapTables() = default;
RemapTables::~RemapTables() = default;
RemapTables::RemapTables(RemapTables&&) noexcept = default;
RemapTables& RemapTables::operator=(RemapTables&&) noexcept = default;

bool RemapTables::Build(const LensModel& model) {
  tables_.reset();
  width_ = height_ = 0;
  OutputFrame frame;
  if (!IsUsable(model) || !FrameOf(model, &frame)) return false;
  const int w = static_cast<int>(model.width), h = static_cast<int>(model.height);
  cv::Mat map_x(h, w, CV_32FC1), map_y(h, w, CV_32FC1);
  for (int y = 0; y < h; ++y) {
    float* mx = map_x.ptr<float>(y);
    float* my = map_y.ptr<float>(y);
    for (int x = 0; x < w; ++x) {
      const Point2 camera = ProjectPlanePoint(model, PlaneOfOutput(model, frame, {double(x), double(y)}));
      // Far outside the picture (and beyond what the fixed-point tables
      // hold) is as good as just outside it: black.
      const bool inside = camera.x > -2.0 && camera.x < w + 1.0 && camera.y > -2.0 && camera.y < h + 1.0;
      mx[x] = inside ? static_cast<float>(camera.x) : -10.0f;
      my[x] = inside ? static_cast<float>(camera.y) : -10.0f;
    }
  }
  auto tables = std::make_unique<Tables>();
  cv::convertMaps(map_x, map_y, tables->whole, tables->fraction, CV_16SC2, false);
  tables_ = std::move(tables);
  width_ = model.width;
  height_ = model.height;
  return true;
}

bool RemapTables::empty() const { return tables_ == nullptr; }

void RemapTables::Apply(const uint8_t* source, uint8_t* dest, size_t stride, int channels) const {
  if (!tables_) return;
  const int type = channels == 4 ? CV_8UC4 : CV_8UC3;
  const int w = static_cast<int>(width_), h = static_cast<int>(height_);
  const cv::Mat src(h, w, type, const_cast<uint8_t*>(source), stride);
  cv::Mat dst(h, w, type, dest, stride);
  cv::remap(src, dst, tables_->whole, tables_->fraction, cv::INTER_LINEAR, cv::BORDER_CONSTANT, cv::Scalar::all(0));
}

} // namespace orvane::rectify
