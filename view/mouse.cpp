#include "view/mouse.h"

#include "acquisition/acquisition.h"
#include "solutions/measurement.h"
#include "view/mouse_modes.h"
#include "view/undo.h"
#include "view/zoom.h"

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

} // namespace

namespace mouse {

void Refresh(Station& st) {
  RedrawOverlay(st);
  ComposeDisplay(st, st.image.frame);
}

} // namespace mouse

int32_t MapAxis(int32_t client, uint32_t image_size, uint32_t view_size) {
  const double scale = static_cast<double>(image_size) / static_cast<double>(view_size);
  return static_cast<int32_t>(client * scale);
}

bool MapToImage(const Station& st, int32_t cx, int32_t cy, ImagePoint* out) {
  const ImageState& im = st.image;
  if (im.width == 0 || im.height == 0) return false;
  if (cx < 0 || cy < 0 || static_cast<uint32_t>(cx) >= im.view_width ||
      static_cast<uint32_t>(cy) >= im.view_height) {
    return false;
  }
  const ViewZoom zoom = Settled(AreaOf(im), st.view.zoom);
  if (!zoom.fit()) {
    return InImage(st, ZoomedPixel(zoom.origin_x, cx, zoom.scale),
                   ZoomedPixel(zoom.origin_y, cy, zoom.scale), out);
  }
  out->x = MapAxis(cx, im.width, im.view_width);
  out->y = MapAxis(cy, im.height, im.view_height);
  // Rounding of the scale must not carry the last client pixel past the image.
  if (static_cast<uint32_t>(out->x) >= im.width) out->x = static_cast<int32_t>(im.width) - 1;
  if (static_cast<uint32_t>(out->y) >= im.height) out->y = static_cast<int32_t>(im.height) - 1;
  return true;
}

bool InImage(const Station& st, int64_t x, int64_t y, ImagePoint* out) {
  if (x < 0 || y < 0 || x >= st.image.width || y >= st.image.height) return false;
  out->x = static_cast<int32_t>(x);
  out->y = static_cast<int32_t>(y);
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

namespace {

void LeftDownAt(Station& st, ImagePoint p, uint32_t keys) {
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

void MoveAt(Station& st, ImagePoint p, uint32_t keys) {
  st.view.move_x = p.x;
  st.view.move_y = p.y;
  if (IsMode(st, MouseMode::Roi)) {
    mouse::RoiMove(st, keys);
  } else if (IsDrawingMode(st.view.mouse_mode)) {
    mouse::DrawMove(st, keys);
  }
}

void LeftUpAt(Station& st, ImagePoint p, uint32_t /*keys*/) {
  st.view.move_x = p.x;
  st.view.move_y = p.y;
  if (IsMode(st, MouseMode::Roi)) {
    mouse::RoiLeftUp(st);
  } else if (IsDrawingMode(st.view.mouse_mode)) {
    mouse::DrawLeftUp(st);
  }
}

void RightDownAt(Station& st, ImagePoint p, uint32_t /*keys*/) {
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

void RightUpAt(Station& st, ImagePoint /*p*/, uint32_t /*keys*/) {
  mouse::DrawRightUp(st);
}

void Dispatch(Station& st, MouseEvent event, ImagePoint p, uint32_t keys) {
  switch (event) {
    case MouseEvent::LeftDown:
      LeftDownAt(st, p, keys);
      break;
    case MouseEvent::LeftUp:
      LeftUpAt(st, p, keys);
      break;
    case MouseEvent::Move:
      MoveAt(st, p, keys);
      break;
    case MouseEvent::RightDown:
      RightDownAt(st, p, keys);
      break;
    case MouseEvent::RightUp:
      RightUpAt(st, p, keys);
      break;
  }
}

// A press opens an edit for the undo history and its release closes it,
// wherever they land; a move without a button closes one whose release was
// lost (to a dialog the press opened, or outside the view).
void BeforeMouse(Station& st, MouseEvent event) {
  if (event == MouseEvent::LeftDown || event == MouseEvent::RightDown) BeginViewEdit(st);
}

void AfterMouse(Station& st, MouseEvent event, uint32_t keys) {
  const bool held = (keys & (kKeyLeftButton | kKeyRightButton)) != 0;
  if (event == MouseEvent::LeftUp || event == MouseEvent::RightUp ||
      (event == MouseEvent::Move && !held)) {
    EndViewEdit(st);
  }
}

} // namespace

void OnMouse(Station& st, MouseEvent event, int32_t x, int32_t y, uint32_t keys) {
  BeforeMouse(st, event);
  ImagePoint p;
  if (MapToImage(st, x, y, &p)) Dispatch(st, event, p, keys);
  AfterMouse(st, event, keys);
}

void OnMouseAtImage(Station& st, MouseEvent event, int32_t x, int32_t y, uint32_t keys) {
  BeforeMouse(st, event);
  ImagePoint p;
  if (InImage(st, x, y, &p)) Dispatch(st, event, p, keys);
  AfterMouse(st, event, keys);
}

void OnLeftButtonDown(Station& st, int32_t x, int32_t y, uint32_t keys) {
  OnMouse(st, MouseEvent::LeftDown, x, y, keys);
}
void OnLeftButtonUp(Station& st, int32_t x, int32_t y, uint32_t keys) {
  OnMouse(st, MouseEvent::LeftUp, x, y, keys);
}
void OnMouseMove(Station& st, int32_t x, int32_t y, uint32_t keys) {
  OnMouse(st, MouseEvent::Move, x, y, keys);
}
void OnRightButtonDown(Station& st, int32_t x, int32_t y, uint32_t keys) {
  OnMouse(st, MouseEvent::RightDown, x, y, keys);
}
void OnRightButtonUp(Station& st, int32_t x, int32_t y, uint32_t keys) {
  OnMouse(st, MouseEvent::RightUp, x, y, keys);
}

} // namespace orvane
