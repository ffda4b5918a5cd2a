// The rectifying remap: for every output pixel the camera pixel it shows,
// held as fixed-point tables (whole pixel plus a 1/32 sub-pixel step) and
// applied with bilinear interpolation. Output pixels whose camera pixel lies
// outside the picture are black.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "rectify/lens_model.h"

namespace orvane::rectify {

class RemapTables {
 public:
  RemapTables();
  ~RemapTables();
  RemapTables(RemapTables&&) noexcept;
  RemapTables& operator=(RemapTables&&) noexcept;

  // Tables for the model's picture size; false (and empty tables) when the
  // model is unusable or its centre does not see the plane.
  bool Build(const LensModel& model);
  bool empty() const;
  uint32_t width() const { return width_; }
  uint32_t height() const { return height_; }

  // Rectifies one picture of the tables' size: `source` and `dest` hold
  // width x height pixels of `channels` bytes (3 or 4), `stride` bytes a row,
  // rows top-down. They must not overlap. Runs on the caller's thread only.
  void Apply(const uint8_t* source, uint8_t* dest, size_t stride, int channels) const;

 private:
  struct Tables;
  std::unique_ptr<Tables> tables_;
  uint32_t width_ = 0;
  uint32_t height_ = 0;
};

} // namespace orvane::rectify
