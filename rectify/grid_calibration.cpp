#include "rectify/grid_calibration.h"

#include <algorithm>
#include <cmath>

#include <opencv2/calib3d.hpp>
#include <opencv2/core.hpp>
#include <opencv2/features2d.hpp>
#include <opencv2/imgproc.hpp>

#include "rectify/chessboard_search.h"

namespace orvane::rectify {

std::optional<std::string> CheckGridSpec(const GridSpec& s) {
  if (s.rows < kMinGridSide || s.cols < kMinGridSide || s.rows > kMaxGridSide || s.cols > kMaxGridSide) {
    return "The grid needs 3 to 100 rows and columns.";
  }
  if (!std::isfinite(s.pitch) || !(s.pitch > 0.0) || s.pitch > 1e6) return "The pitch must be a positive length.";
  return std::nullopt;
}

const char* GridKindName(GridKind kind) { return kind == GridKind::Chessboard ? "chessboard" : "dots"; }

std::optional<GridKind> GridKindByName(const std::string& name) {
  if (name == "dots") return GridKind::Dots;
  if (name == "chessboard") return GridKind::Chessboard;
  return std::nullopt;
}

bool IsHeldOut(uint32_t row, uint32_t col) { return (row + 2 * col) % 4 == 1; }

bool DetectGrid(const uint8_t* bgrx, uint32_t width, uint32_t height, size_t stride, const GridSpec& spec,
                std::vector<Point2>* points, const std::atomic<bool>* cancel) {
  points->clear();
  if (CheckGridSpec(spec) || width == 0 || height == 0 || bgrx == nullptr) return false;
  const int w = static_cast<int>(width), h = static_cast<int>(height);
  const cv::Mat picture(h, w, CV_8UC4, const_cast<uint8_t*>(bgrx), stride);
  cv::Mat grey;
  cv::cvtColor(picture, grey, cv::COLOR_BGRA2GRAY);
  const cv::Size pattern(static_cast<int>(spec.cols), static_cast<int>(spec.rows));
  std::vector<cv::Point2f> found;
  bool ok = false;
  if (spec.kind == GridKind::Dots) {
    cv::SimpleBlobDetector::Params params;
    params.minArea = 10.0f;
    // A dot is smaller than its cell of the grid, which is smaller than the picture.
    params.maxArea = static_cast<float>(double(width) * height / (double(spec.rows) * spec.cols));
    params.minDistBetweenBlobs = 4.0f;
    const cv::Ptr<cv::FeatureDetector> detector = cv::SimpleBlobDetector::create(params);
    ok = cv::findCirclesGrid(grey, pattern, found, cv::CALIB_CB_SYMMETRIC_GRID, detector);
  } else {
    ok = FindChessboard(grey, pattern, cancel, &found);
  }
  if (!ok || found.size() != size_t{spec.rows} * spec.cols || (cancel != nullptr && *cancel)) return false;
  points->reserve(found.size());
  for (const cv::Point2f& p : found) points->push_back({p.x, p.y});
  return true;
}

namespace {

// The pose of view (rvec, tvec) as the model's rotation and translation.
void SetPose(const cv::Mat& rvec, const cv::Mat& tvec, LensModel* m) {
  cv::Mat rotation;
  cv::Rodrigues(rvec, rotation);
  for (int i = 0; i < 9; ++i) m->rotation[i] = rotation.at<double>(i / 3, i % 3);
  for (int i = 0; i < 3; ++i) m->translation[i] = tvec.at<double>(i);
}

// The fit's figures, every view through its own pose.
GridFigures FiguresOf(const GridSpec& spec, const std::vector<std::vector<Point2>>& views, const LensModel& m,
                      const std::vector<cv::Mat>& rvecs, const std::vector<cv::Mat>& tvecs) {
  double fitted2 = 0.0, held2 = 0.0;
  GridFigures g;
  g.views = static_cast<uint32_t>(views.size());
  for (size_t v = 0; v < views.size(); ++v) {
    LensModel view = m;
    SetPose(rvecs[v], tvecs[v], &view);
    for (uint32_t r = 0; r < spec.rows; ++r) {
      for (uint32_t c = 0; c < spec.cols; ++c) {
        const Point2 seen = views[v][size_t{r} * spec.cols + c];
        const Point2 model = ProjectPlanePoint(view, {c * spec.pitch, r * spec.pitch});
        const double e2 = (seen.x - model.x) * (seen.x - model.x) + (seen.y - model.y) * (seen.y - model.y);
        g.largest = std::max(g.largest, std::sqrt(e2));
        if (IsHeldOut(r, c)) {
          held2 += e2;
          ++g.held_out;
        } else {
          fitted2 += e2;
          ++g.fitted;
        }
      }
    }
  }
  g.rms = std::sqrt(fitted2 / std::max<uint32_t>(g.fitted, 1));
  g.held_out_rms = std::sqrt(held2 / std::max<uint32_t>(g.held_out, 1));
  return g;
}

} // namespace

std::optional<GridFit> FitGrid(const GridSpec& spec, const std::vector<std::vector<Point2>>& views, uint32_t width,
                               uint32_t height, std::string* error) {
  if (auto bad = CheckGridSpec(spec)) {
    *error = *bad;
    return std::nullopt;
  }
  const size_t count = size_t{spec.rows} * spec.cols;
  if (views.empty() || width == 0 || height == 0) {
    *error = "No view of the grid to fit.";
    return std::nullopt;
  }
  std::vector<std::vector<cv::Point3f>> object(views.size());
  std::vector<std::vector<cv::Point2f>> image(views.size());
  for (size_t v = 0; v < views.size(); ++v) {
    if (views[v].size() != count) {
      *error = "A view does not hold the whole grid.";
      return std::nullopt;
    }
    for (uint32_t r = 0; r < spec.rows; ++r) {
      for (uint32_t c = 0; c < spec.cols; ++c) {
        if (IsHeldOut(r, c)) continue;
        const Point2& p = views[v][size_t{r} * spec.cols + c];
        object[v].emplace_back(float(c * spec.pitch), float(r * spec.pitch), 0.0f);
        image[v].emplace_back(float(p.x), float(p.y));
      }
    }
  }
  const cv::Size size(static_cast<int>(width), static_cast<int>(height));
  // A first guess of a common webcam: a horizontal field of about 53 degrees.
  const double f = std::max(width, height);
  cv::Mat k = (cv::Mat_<double>(3, 3) << f, 0, (width - 1) / 2.0, 0, f, (height - 1) / 2.0, 0, 0, 1);
  cv::Mat dist = cv::Mat::zeros(5, 1, CV_64F);
  int flags = cv::CALIB_USE_INTRINSIC_GUESS | cv::CALIB_FIX_ASPECT_RATIO;
  if (views.size() == 1) flags |= cv::CALIB_FIX_PRINCIPAL_POINT;
  if (views.size() < 3) flags |= cv::CALIB_ZERO_TANGENT_DIST | cv::CALIB_FIX_K3;
  std::vector<cv::Mat> rvecs, tvecs;
  try {
    cv::calibrateCamera(object, image, size, k, dist, rvecs, tvecs, flags,
                        cv::TermCriteria(cv::TermCriteria::COUNT | cv::TermCriteria::EPS, 100, 1e-12));
  } catch (const cv::Exception&) {
    *error = "The lens model could not be fitted to the grid.";
    return std::nullopt;
  }

  GridFit fit;
  LensModel& m = fit.model;
  m.width = width;
  m.height = height;
  m.fx = k.at<double>(0, 0);
  m.fy = k.at<double>(1, 1);
  m.cx = k.at<double>(0, 2);
  m.cy = k.at<double>(1, 2);
  const double* d = dist.ptr<double>();
  m.k1 = d[0];
  m.k2 = d[1];
  m.p1 = d[2];
  m.p2 = d[3];
  m.k3 = d[4];
  SetPose(rvecs.back(), tvecs.back(), &m);
  fit.figures = FiguresOf(spec, views, m, rvecs, tvecs);
  const GridFigures& g = fit.figures;
  OutputFrame frame;
  if (!IsUsable(m) || !FrameOf(m, &frame) || !std::isfinite(g.rms) || !std::isfinite(g.largest)) {
    *error = "The lens model could not be fitted to the grid.";
    return std::nullopt;
  }
  if (const char* problem = PictureMappingProblem(m)) {
    *error = std::string("The fitted lens model cannot rectify the picture: ") + problem + ".";
    return std::nullopt;
  }
  return fit;
}

} // namespace orvane::rectify
