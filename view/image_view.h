// The image view's own state: the format it paints, the pixels it points at,
// the mouse mode and the press and move positions of the mouse code.
#pragma once

#include <cstdint>

namespace orvane {

// What the left button does on the image.
enum class MouseMode : uint32_t {
  Roi = 0,
  Measure = 1,
  Measure2 = 2,
  Circle = 3,
  Line = 4,
  Polyline = 5,
};

struct ImageView {
  int32_t width = 320;
  int32_t height = 240;
  int32_t bits_per_pixel = 24;
  const uint8_t* bits = nullptr; // null: paint nothing
  uint32_t mouse_mode = 0;
  uint32_t set_complete = 1;
  uint32_t cursor_id = 32512; // 0 leaves the cursor to the front end
  int32_t press_x = 0;
  int32_t press_y = 0;
  int32_t move_x = 0;
  int32_t move_y = 0;

  // A new image format: nothing is painted until the next image is shown.
  void SetFormat(int32_t w, int32_t h, int32_t bpp) {
    width = w;
    height = h;
    bits_per_pixel = bpp;
    bits = nullptr;
  }
};

} // namespace orvane
