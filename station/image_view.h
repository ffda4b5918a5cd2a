// The image view's own state: the format it paints, the pixels it points at,
// the mouse mode and the press and move positions of the mouse code.
#pragma once

#include <cstdint>
#include <optional>

namespace orvane {

struct ImageState;

// What the left button does on the image.
enum class MouseMode : uint32_t {
  Roi = 0,
  Measure = 1,
  Measure2 = 2,
  Circle = 3,
  Line = 4,
  Polyline = 5,
};

// The view's zoom (view/zoom.h has its rules): at fit the whole image
// stretched over the view; zoomed in, one scale for both axes and the image
// position at the view's top-left corner.
struct ViewZoom {
  double scale = 0.0;    // view pixels per image pixel; 0: fit
  double origin_x = 0.0; // image position at the view's left edge
  double origin_y = 0.0; // ... and at its top edge
  bool fit() const { return scale <= 0.0; }
};

// What the last left press grabbed, shared by every mouse handler. In the ROI
// mode `kind` is the RoiPart; in the other modes it is one of the grab kinds
// of view/mouse.h.
struct EditTarget {
  uint32_t kind = 0; // 0: nothing grabbed
  uint32_t index = 0; // ROI, measurement set or entity
  uint32_t point = 0; // point within a measurement set
};

// The 40-byte bitmap information header that describes `bits` to a painter:
// a negative height declares top-down rows.
struct BitmapInfoHeader {
  uint32_t size = 40;
  int32_t width = 0;
  int32_t height = 0;
  uint16_t planes = 1;
  uint16_t bit_count = 24;
  uint32_t compression = 0; // uncompressed RGB
  uint32_t size_image = 0;
  int32_t x_pels_per_meter = 0;
  int32_t y_pels_per_meter = 0;
  uint32_t colours_used = 0;
  uint32_t colours_important = 0;
};
static_assert(sizeof(BitmapInfoHeader) == 40);

// One paint of the view: the whole image stretched over the whole client
// area, x and y independently, rows and columns dropped or repeated (nearest
// neighbour, never blended).
struct PaintPlan {
  const uint8_t* bits = nullptr; // B, G, R rows top-down, as `header` says
  BitmapInfoHeader header;
  int32_t dest_width = 0;  // the client area
  int32_t dest_height = 0;
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
  EditTarget edit;
  ViewZoom zoom; // fit until the user zooms in

  // A new image format: nothing is painted until the next image is shown.
  // An image of another size starts at fit.
  void SetFormat(int32_t w, int32_t h, int32_t bpp) {
    if (w != width || h != height) zoom = {};
    width = w;
    height = h;
    bits_per_pixel = bpp;
    bits = nullptr;
  }

  // The view as it is created for the current image: its format, nothing to
  // paint yet, the image's cursor, ROI mode, and no measurement set open.
  void Create(const ImageState& image);

  // The header that describes `bits` at the current format.
  BitmapInfoHeader Header() const;

  // What a paint of a client area of the given size draws; nothing (nullopt)
  // while no image has been shown since the last SetFormat.
  std::optional<PaintPlan> Paint(int32_t client_width, int32_t client_height) const;

  // The cursor the front end shows over the view; nullopt leaves it to the
  // front end's default.
  std::optional<uint32_t> Cursor() const {
    if (cursor_id == 0) return std::nullopt;
    return cursor_id;
  }
};

// The image column (or row) that a stretched paint shows at destination
// column `dest` of `dest_size`, for an image `source_size` wide: the nearest-
// neighbour rule of the paint, for front ends that stretch by hand.
int32_t StretchSource(int32_t dest, int32_t dest_size, int32_t source_size);

} // namespace orvane
