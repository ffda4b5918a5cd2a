// Grid calibration: finds a calibration grid (a symmetric grid of dark dots on
// a light ground, or a chessboard's inner corners) in a picture, and fits the
// lens model to one or more views of it.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "rectify/lens_model.h"

namespace orvane::rectify {

enum class GridKind : uint32_t { Dots = 0, Chessboard = 1 };

struct GridSpec {
  GridKind kind = GridKind::Dots;
  uint32_t rows = 0;   // dots, or inner corners, down the grid
  uint32_t cols = 0;   // across the grid
  double pitch = 0.0;  // centre to centre, in the user's length unit
};

// Grids smaller than 3 x 3 cannot show a lens; larger than 100 x 100 are no
// calibration grid anyone prints.
inline constexpr uint32_t kMinGridSide = 3;
inline constexpr uint32_t kMaxGridSide = 100;

// The text that says what is wrong with the spec, or nothing when it is
// usable.
std::optional<std::string> CheckGridSpec(const GridSpec& spec);

// "dots" / "chessboard".
const char* GridKindName(GridKind kind);
std::optional<GridKind> GridKindByName(const std::string& name);

// Finds the grid in a picture of width x height pixels of 4 bytes (B, G, R,
// x), `stride` bytes a row, rows top-down. The points come row by row, rows
// x cols of them, to sub-pixel precision. False when the whole grid was not
// found, or when `cancel` was set while the search ran (another thread may
// set it).
bool DetectGrid(const uint8_t* bgrx, uint32_t width, uint32_t height, size_t stride,
                const GridSpec& spec, std::vector<Point2>* points,
                const std::atomic<bool>* cancel = nullptr);

// What a fit achieved, in camera pixels.
struct GridFigures {
  double rms = 0.0;          // reprojection error of the points the fit used
  double held_out_rms = 0.0; // of the points left out of the fit
  double largest = 0.0;      // the largest error of any grid point
  uint32_t fitted = 0;       // how many points the fit used
  uint32_t held_out = 0;     // how many it left out
  uint32_t views = 0;
};

struct GridFit {
  LensModel model; // the measuring plane is the one of the newest view
  GridFigures figures;
};

// Whether grid point (row, col) is left out of the fit to check it: about
// one in four, spread evenly over the grid.
bool IsHeldOut(uint32_t row, uint32_t col);

// Fits the lens model to the views (each as DetectGrid gives it) of a picture
// of width x height. One view fits k1 and k2 with the principal point at the
// centre and square pixels; two views also free the principal point; three
// or more fit the whole model (k1, k2, k3, p1, p2). Nothing, with the reason
// in `error`, when the fit fails.
std::optional<GridFit> FitGrid(const GridSpec& spec, const std::vector<std::vector<Point2>>& views,
                               uint32_t width, uint32_t height, std::string* error);

} // namespace orvane::rectify
