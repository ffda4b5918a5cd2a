// The chessboard search of the grid calibration, in bounded time: the board
// is looked for on copies of the picture no larger than each of
// kChessboardSearchSides pixels in turn, a quick check first turning away a
// picture without one, and the corners found are then refined on the whole
// picture.
#pragma once

#include <atomic>
#include <vector>

#include <opencv2/core.hpp>

namespace orvane::rectify {

inline constexpr int kChessboardSearchSides[] = {640, 1280};

// The inner corners (pattern: across x down) of the chessboard in the grey
// picture, row by row to sub-pixel precision; false when there is none, or
// when `cancel` was set (it is looked at between the steps of the search).
bool FindChessboard(const cv::Mat& grey, cv::Size pattern, const std::atomic<bool>* cancel,
                    std::vector<cv::Point2f>* corners);

} // namespace orvane::rectify
