// Mouse input on the image view: ROI editing (mode 0), measurement sets
// (modes 1 and 2) and drawn circles, lines and polylines (modes 3 to 5).
//
// The front end calls one entry point per mouse message with the position in
// the view's client pixels and the message's key flags. Every handler maps the
// position to image pixels by the image and view sizes, changes the working
// record in place, redraws the overlay and composes the display as the
// picture needs it, and sets the view's cursor_id for the front end to show.
//
// The view does not capture the mouse: a message whose position lies outside
// the view's client area (view_width x view_height) is ignored, so every mapped
// position lies within the image.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "station/station.h"

namespace orvane {

// The cursor_id value of a cursor.
constexpr uint32_t CursorValue(CursorId id) { return static_cast<uint32_t>(id); }

// Key flags of a mouse message.
inline constexpr uint32_t kKeyLeftButton = 0x0001;
inline constexpr uint32_t kKeyRightButton = 0x0002;
inline constexpr uint32_t kKeyShift = 0x0004;
inline constexpr uint32_t kKeyControl = 0x0008;
inline constexpr uint32_t kKeyMiddleButton = 0x0010;
// Alt held: in the measuring modes the click is a diameter gauge point.
inline constexpr uint32_t kKeyAlt = 0x0020;

enum class MouseEvent : uint32_t { LeftDown, LeftUp, Move, RightDown, RightUp };

// The part of an ROI under the mouse, in the order they are tested.
enum class RoiPart : uint32_t {
  None = 0,
  TopLeft = 1,
  BottomRight = 2,
  BottomLeft = 3,
  TopRight = 4,
  Left = 5,
  Right = 6,
  Top = 7,
  Bottom = 8,
  Centre = 9,
};

// EditTarget kinds of the measuring and drawing modes.
inline constexpr uint32_t kGrabPoint = 1;        // modes 1, 2: a measurement point
inline constexpr uint32_t kGrabCentre = 1;       // mode 3: a circle's centre
inline constexpr uint32_t kGrabRim = 2;          // mode 3: a rim, or a new circle sized
inline constexpr uint32_t kGrabLineStart = 3;    // mode 4: point 0
inline constexpr uint32_t kGrabLineEnd = 4;      // mode 4: point 1, or a new line drawn
inline constexpr uint32_t kGrabVertex = 1;       // mode 5: a vertex was hit
inline constexpr uint32_t kBuildingPolyline = 5; // mode 5: presses add vertices

// Distance below which a press grabs a corner, an edge, a point or an end:
// image pixels at fit, view pixels zoomed in (GrabReach).
inline constexpr int32_t kGrabDistance = 8;
// Half the size of an ROI's centre handle.
inline constexpr int32_t kCentreGrabDistance = 12;
// Smallest ROI side kept; anything smaller is not drawn or is deleted.
inline constexpr int32_t kMinRoiSide = 8;

// One mouse message with its client position and key flags. Zoomed in, the
// position maps through the view's zoom (one view pixel, one device pixel).
void OnMouse(Station& station, MouseEvent event, int32_t x, int32_t y, uint32_t keys);

// One mouse message at an image pixel, for a front end that maps a zoomed
// view itself (at its screen's device pixels); a pixel outside the image is
// not seen, as a position outside the view is not.
void OnMouseAtImage(Station& station, MouseEvent event, int32_t image_x, int32_t image_y,
                    uint32_t keys);

void OnLeftButtonDown(Station& station, int32_t x, int32_t y, uint32_t keys);
void OnLeftButtonUp(Station& station, int32_t x, int32_t y, uint32_t keys);
void OnMouseMove(Station& station, int32_t x, int32_t y, uint32_t keys);
void OnRightButtonDown(Station& station, int32_t x, int32_t y, uint32_t keys);
void OnRightButtonUp(Station& station, int32_t x, int32_t y, uint32_t keys);

struct ImagePoint {
  int32_t x = 0;
  int32_t y = 0;
};

// A client position in image pixels (at fit scaled by image size / view size
// and truncated; zoomed, the pixel the zoomed view shows there), or nothing
// when it lies outside the view or the image, or there is no image.
bool MapToImage(const Station& station, int32_t client_x, int32_t client_y, ImagePoint* out);

// One axis of the fit mapping: client position x image size / view size,
// truncated.
int32_t MapAxis(int32_t client, uint32_t image_size, uint32_t view_size);

// (x, y) as an image point when it lies within the image.
bool InImage(const Station& station, int64_t x, int64_t y, ImagePoint* out);

// The frame pixel at (x, y) as "(x,y) R,G,B" (the pixel probe's text), or
// nothing outside the image or without a frame.
std::optional<std::string> PixelProbeText(const ImageState& image, int32_t x, int32_t y);

// The Ctrl-click: the next mouse mode of the current solution (3, 4, 5, 3 ...
// for DXF Trace Output; 0, 1, 2, 0 ... for the others), with its cursor and
// legend.
void SwitchMouseMode(Station& station);

struct RoiHit {
  uint32_t index = 0;
  RoiPart part = RoiPart::None;
};
struct PointHit {
  uint32_t set = 0;
  uint32_t point = 0;
  uint32_t kind = 0; // kGrabPoint on a hit
};
struct EntityHit {
  uint32_t index = 0;
  uint32_t kind = 0; // 0, or the grab kind of the part hit
};

// The first ROI part within reach of (x, y); sets cursor_id to the part's
// sizing cursor, or to the image's view cursor when nothing is hit.
RoiHit HitTestRoi(Station& station, int32_t x, int32_t y);

// The first measurement point within reach; cursor four-way on a hit, else cross.
PointHit HitTestPoint(Station& station, int32_t x, int32_t y);

// The first entity of the current mode's type with its centre, rim, end or
// vertex within reach; cursor four-way on a hit, else cross.
EntityHit HitTestEntity(Station& station, int32_t x, int32_t y);

} // namespace orvane
