#include "rectify/chessboard_search.h"

#include <algorithm>
#include <cmath>

#include <opencv2/calib3d.hpp>
#include <opencv2/imgproc.hpp>

namespace orvane::rectify {
namespace {

bool Cancelled(const std::atomic<bool>* cancel) { return cancel != nullptr && cancel->load(); }

// The shortest distance between neighbouring corners of the found grid.
double ShortestSpacing(const std::vector<cv::Point2f>& corners, cv::Size pattern) {
  double shortest = INFINITY;
  for (int r = 0; r < pattern.height; ++r) {
    for (int c = 0; c < pattern.width; ++c) {
      const cv::Point2f& p = corners[size_t(r) * pattern.width + c];
      if (c + 1 < pattern.width) shortest = std::min(shortest, cv::norm(corners[size_t(r) * pattern.width + c + 1] - p));
      if (r + 1 < pattern.height) shortest = std::min(shortest, cv::norm(corners[size_t(r + 1) * pattern.width + c] - p));
    }
  }
  return shortest;
}

} // namespace

bool FindChessboard(const cv::Mat& grey, cv::Size pattern, const std::atomic<bool>* cancel,
                    std::vector<cv::Point2f>* corners) {
  corners->clear();
  // The search's time grows steeply with the picture's size (and without a
  // board, with what it takes for squares): it runs on a small copy first,
  // then, for a board of small squares, on a larger one.
  std::vector<cv::Point2f> found;
  double scale = 1.0;
  for (const int side : kChessboardSearchSides) {
    scale = std::min(1.0, double(side) / std::max(grey.cols, grey.rows));
    cv::Mat small = grey;
    if (scale < 1.0) cv::resize(grey, small, cv::Size(), scale, scale, cv::INTER_AREA);
    if (Cancelled(cancel)) return false;
    const int flags = cv::CALIB_CB_ADAPTIVE_THRESH | cv::CALIB_CB_NORMALIZE_IMAGE | cv::CALIB_CB_FAST_CHECK;
    const bool ok = side == kChessboardSearchSides[0] ? cv::findChessboardCorners(small, pattern, found, flags)
                                                      : cv::findChessboardCornersSB(small, pattern, found, cv::CALIB_CB_NORMALIZE_IMAGE);
    if (Cancelled(cancel)) return false;
    if (ok && found.size() == size_t(pattern.width) * pattern.height) break;
    found.clear();
    if (scale == 1.0) break;
  }
  if (found.empty()) return false;
  // Back to the whole picture (pixel centres count from 0 in both), then to
  // sub-pixel precision there, in a window well inside the squares.
  for (cv::Point2f& p : found) p = (p + cv::Point2f(0.5f, 0.5f)) / float(scale) - cv::Point2f(0.5f, 0.5f);
  const int half = std::clamp(static_cast<int>(ShortestSpacing(found, pattern) / 4.0), 2, 5);
  cv::cornerSubPix(grey, found, cv::Size(half, half), cv::Size(-1, -1),
                   cv::TermCriteria(cv::TermCriteria::EPS | cv::TermCriteria::COUNT, 40, 0.001));
  if (Cancelled(cancel)) return false;
  *corners = std::move(found);
  return true;
}

} // namespace orvane::rectify
