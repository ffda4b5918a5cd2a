#include "view/mouse.h"

#include "acquisition/acquisition.h"
#include "solutions/measurement.h"
#include "view/mouse_modes.h"

namespace orvane {
namespace {

constexpr uint32_t kTraceSolutionId = 203;
constexpr uint32_t kTraceFirstMode = 3;
constexpr uint32_t kTraceModeEnd = 6;
constexpr uint32_t kModeEnd = 3;

bool IsMode(const Station& st, MouseMode mode) {
  return st.view.mouse_mode == static_cast<uint32_t>(mode);
}

bool IsDrawingMode(uint32_t mode) {
  return mode >= static_cast<uint32_t>(MouseMode::Measure) &&
         mode <= static_cast<uint32_t>(MouseMode::Polyline);
}

int32_t MapAxis(int32_t client, uint32_t image_size, uint32_t view_size) {
  const double scale = static_cast<double>(image_size) / static_cast<double>(view_size);
  return static_cast<int32_t>(client * scale);
}

} // namespace

namespace mouse {

void Refresh(Station& st) {
  RedrawOverlay(st);
  ComposeDisplay(st, st.image.frame);
}

} // namespace mouse

bool MapToImage(const Station& st, int32_t cx, int32_t cy, ImagePoint* out) {
  const ImageState& im = st.image;
  if (im.width == 0 || im.height == 0) return false;
  if (cx < 0 || cy < 0 || static_cast<uint32_t>(cx) >= im.view_width ||
      static_cast<uint32_t>(cy) >= im.view_height) {
    return false;
  }
  out->x = MapAxis(cx, im.width, im.view_width);
  out->y = MapAxis(cy, im.height, im.view_height);
  // Rounding of the scale must not carry the last client pixel past the image.
  if (static_cast<uint32_t>(out->x) >= im.width) out->x = static_cast<int32_t>(im.width) - 1;
  if (static_cast<uint32_t>(out->y) >= im.height) out->y = static_cast<int32_t>(im.height) - 1;
  return true;
}

void SwitchMouseMode(Station& st) {
  uint32_t mode = st.view.mouse_mode + 1;
  if (st.working->id == kTraceSolutionId) {
    if (mode >= kTraceModeEnd) mode = kTraceFirstMode;
  } else if (mode >= kModeEnd) {
    mode = 0;
  }
  st.view.mouse_mode = mode;
  st.view.cursor_id =
      mode == static_cast<uint32_t>(MouseMode::Roi) ? st.image.view_cursor : CursorValue(CursorId::Cross);
  mouse::Refresh(st);
}

void OnLeftButtonDown(Station& st, int32_t x, int32_t y, uint32_t keys) {
  ImagePoint p;
  if (!MapToImage(st, x, y, &p)) return;
  ImageView& view = st.view;
  view.press_x = p.x;
  view.press_y = p.y;
  if ((keys & kKeyShift) && !IsMode(st, MouseMode::Polyline)) {
    uint32_t& cursor = st.image.view_cursor;
    cursor = cursor == CursorValue(CursorId::Arrow) ? CursorValue(CursorId::Cross) : CursorValue(CursorId::Arrow);
    view.cursor_id = cursor;
  }
  if (keys & kKeyControl) {
    SwitchMouseMode(st);
    return;
  }
  if (IsMode(st, MouseMode::Roi)) {
    mouse::RoiLeftDown(st);
  } else if (IsDrawingMode(view.mouse_mode)) {
    mouse::DrawLeftDown(st, keys);
  }
}

void OnMouseMove(Station& st, int32_t x, int32_t y, uint32_t keys) {
  ImagePoint p;
  if (!MapToImage(st, x, y, &p)) return;
  st.view.move_x = p.x;
  st.view.move_y = p.y;
  if (IsMode(st, MouseMode::Roi)) {
    mouse::RoiMove(st, keys);
  } else if (IsDrawingMode(st.view.mouse_mode)) {
    mouse::DrawMove(st, keys);
  }
}

void OnLeftButtonUp(Station& st, int32_t x, int32_t y, uint32_t /*keys*/) {
  ImagePoint p;
  if (!MapToImage(st, x, y, &p)) return;
  st.view.move_x = p.x;
  st.view.move_y = p.y;
  if (IsMode(st, MouseMode::Roi)) {
    mouse::RoiLeftUp(st);
  } else if (IsDrawingMode(st.view.mouse_mode)) {
    mouse::DrawLeftUp(st);
  }
}

void OnRightButtonDown(Station& st, int32_t x, int32_t y, uint32_t /*keys*/) {
  ImagePoint p;
  if (!MapToImage(st, x, y, &p)) return;
  const uint32_t mode = st.view.mouse_mode;
  // Only the drawing modes place the right press; the others leave press_x
  // and press_y to the last left press.
  const bool places = mode >= static_cast<uint32_t>(MouseMode::Circle) &&
                      mode <= static_cast<uint32_t>(MouseMode::Polyline);
  if (places) {
    st.view.press_x = p.x;
    st.view.press_y = p.y;
  }
  mouse::DrawRightDown(st, places);
}

void OnRightButtonUp(Station& st, int32_t x, int32_t y, uint32_t /*keys*/) {
  ImagePoint p;
  if (!MapToImage(st, x, y, &p)) return;
  mouse::DrawRightUp(st);
}

void OnMouse(Station& st, MouseEvent event, int32_t x, int32_t y, uint32_t keys) {
  switch (event) {
    case MouseEvent::LeftDown:
      OnLeftButtonDown(st, x, y, keys);
      break;
    case MouseEvent::LeftUp:
      OnLeftButtonUp(st, x, y, keys);
      break;
    case MouseEvent::Move:
      OnMouseMove(st, x, y, keys);
      break;
    case MouseEvent::RightDown:
      OnRightButtonDown(st, x, y, keys);
      break;
    case MouseEvent::RightUp:
      OnRightButtonUp(st, x, y, keys);
      break;
  }
}

} // namespace orvane
