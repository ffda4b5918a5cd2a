// The rectification file: the accepted grid calibration, bound to the camera
// and picture size it was made for, and whether rectification is on. A short
// text, one item a line:
//
//   ORVANE rectification 1
//   camera Virtual camera
//   size 1280 720
//   state on
//   grid dots 9 15 2
//   figures 0.031 0.035 0.092 102 33 1
//   intrinsics fx fy cx cy
//   distortion k1 k2 k3 p1 p2
//   rotation r11 r12 r13 r21 r22 r23 r31 r32 r33
//   translation tx ty tz
//
// Numbers are written with every digit they need and read back exactly,
// whatever the locale.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "rectify/grid_calibration.h"
#include "rectify/lens_model.h"

namespace orvane::rectify {

inline constexpr const char* kRectificationFile = "RECTIFY.CFG";
// A longer file is no rectification file.
inline constexpr size_t kMaxRectificationFileBytes = 4096;

struct RectificationRecord {
  std::string camera; // the device name; no line breaks, at most 255 bytes
  bool on = true;
  GridSpec grid;
  GridFigures figures;
  LensModel model; // its width and height are the picture size
};

std::string FormatRectification(const RectificationRecord& record);

// The record the text holds; nothing, with the reason in `error`, when the
// text is not exactly a rectification file with a usable model.
std::optional<RectificationRecord> ParseRectification(std::string_view text, std::string* error);

// What reading the file found. Unreadable: something is there that is no
// regular file or cannot be read (the reason in the error).
enum class FileState : uint32_t { Missing = 0, Loaded = 1, Damaged = 2, Unreadable = 3 };

} // namespace orvane::rectify
