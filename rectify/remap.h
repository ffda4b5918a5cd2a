// The rectifying remap: for every output pixel the camera pixel it shows,
// held as fixed-point tables (whole pixel plus a 1/32 sub-pixel step) and
// applied with bilinear interpolation. Output pixels whose camera pixel lies
// outside the picture are black.
//
// The arithmetic is the usual one of 8-bit fixed-point remapping: with the
// sub-pixel steps fx, fy (0..31) the four neighbours weigh
// (32-fx)(32-fy), fx(32-fy), (32-fx)fy and fx*fy, a neighbour outside the
// picture counts as black, and the sum is rounded as (sum + 512) >> 10.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "rectify/lens_model.h"

namespace orvane::rectify {

// The ways to run the remap, each giving the same bytes; the vector ones are
// used when the processor has them.
enum class RemapKernel : uint32_t { Scalar = 0, Sse2 = 1, Avx2 = 2 };

bool HaveRemapKernel(RemapKernel kernel);
// The fastest kernel this processor runs.
RemapKernel BestRemapKernel();

// For every output pixel of the model's picture (row by row, top-down) the
// camera position it shows; positions far outside the picture are given as
// (-10, -10). Empty when the model is unusable or its centre does not see
// the plane.
struct CameraMap {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<float> x;
  std::vector<float> y;
};
bool MapOfModel(const LensModel& model, CameraMap* map);

class RemapTables {
 public:
  RemapTables();
  ~RemapTables();
  RemapTables(RemapTables&&) noexcept;
  RemapTables& operator=(RemapTables&&) noexcept;

  // Tables for the model's picture size; false (and empty tables) when the
  // model is unusable or its centre does not see the plane.
  bool Build(const LensModel& model);
  // Tables from a map of camera positions (rounded to 1/32 pixel, halves to
  // even); false (and empty tables) when the map is empty, its positions are
  // not width x height, or a side is 32767 pixels or more.
  bool Build(const CameraMap& map);
  bool empty() const;
  uint32_t width() const { return width_; }
  uint32_t height() const { return height_; }

  // Rectifies one picture of the tables' size: `source` and `dest` each hold
  // width x height pixels of 4 bytes (B, G, R, x), rows top-down with no
  // gap between them; all four bytes are interpolated. They must not
  // overlap. Runs on the caller's thread only, with the best kernel or the
  // one asked for (the plain one when the processor lacks it).
  void Apply(const uint8_t* source, uint8_t* dest) const;
  void Apply(const uint8_t* source, uint8_t* dest, RemapKernel kernel) const;

 private:
  struct Tables;
  std::unique_ptr<Tables> tables_;
  uint32_t width_ = 0;
  uint32_t height_ = 0;
};

} // namespace orvane::rectify
