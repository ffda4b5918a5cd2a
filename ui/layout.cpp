#include "ui/layout.h"

#include <algorithm>
#include <array>
#include <utility>

#include "acquisition/camera_capture.h"
#include "ui/panel.h"
#include "ui/status.h"

namespace orvane {
namespace {

using C = ControlId;

struct Placement {
  ControlId id;
  Anchor anchor;
};

// The recording order of the layout table.
constexpr std::array kLayoutOrder = {
    Placement{C::Exit, Anchor::BottomRight},
    Placement{C::SetUp, Anchor::BottomRight},
    Placement{C::RowEdit0, Anchor::Bottom},
    Placement{C::RowEdit1, Anchor::Bottom},
    Placement{C::RowEdit2, Anchor::Bottom},
    Placement{C::RowEdit3, Anchor::Bottom},
    Placement{C::RowEdit4, Anchor::Bottom},
    Placement{C::RowEdit5, Anchor::Bottom},
    Placement{C::RowEdit6, Anchor::Bottom},
    Placement{C::RowEdit7, Anchor::Bottom},
    Placement{C::RowEdit8, Anchor::Bottom},
    Placement{C::RowEdit9, Anchor::Bottom},
    Placement{C::Grab, Anchor::Right},
    Placement{C::Live, Anchor::Right},
    Placement{C::Save, Anchor::Right},
    Placement{C::File, Anchor::Right},
    Placement{C::Process, Anchor::Right},
    Placement{C::Train, Anchor::Right},
    Placement{C::ResultLine, Anchor::Right},
    Placement{C::Enlarge, Anchor::Right},
    Placement{C::ModeIndicator, Anchor::Right},
    Placement{C::RoiCount, Anchor::Bottom},
    Placement{C::CoordinateLine, Anchor::Right},
    Placement{C::CalibrationStatus, Anchor::Right},
    Placement{C::ImageStatus, Anchor::Right},
    Placement{C::RowLabel0, Anchor::Bottom},
    Placement{C::RowLabel1, Anchor::Bottom},
    Placement{C::RowLabel2, Anchor::Bottom},
    Placement{C::RowLabel3, Anchor::Bottom},
    Placement{C::RowLabel4, Anchor::Bottom},
    Placement{C::RowLabel5, Anchor::Bottom},
    Placement{C::RowLabel6, Anchor::Bottom},
    Placement{C::RowLabel7, Anchor::Bottom},
    Placement{C::RowLabel8, Anchor::Bottom},
    Placement{C::RowLabel9, Anchor::Bottom},
    Placement{C::RowSlider0, Anchor::Bottom},
    Placement{C::RowSlider1, Anchor::Bottom},
    Placement{C::RowSlider2, Anchor::Bottom},
    Placement{C::RowSlider3, Anchor::Bottom},
    Placement{C::RowSlider4, Anchor::Bottom},
    Placement{C::RowSlider5, Anchor::Bottom},
    Placement{C::RowSlider6, Anchor::Bottom},
    Placement{C::RowSlider7, Anchor::Bottom},
    Placement{C::RowSlider8, Anchor::Bottom},
    Placement{C::RowSlider9, Anchor::Bottom},
    Placement{C::SolutionGroup, Anchor::BottomWider},
    Placement{C::CommandPanelGroup, Anchor::RightTaller},
    Placement{C::SolutionList, Anchor::Right},
    Placement{C::OptionList, Anchor::Bottom},
    Placement{C::DeviceList, Anchor::Bottom},
};

// The edge a view size is measured against, as recorded; 0 when the control
// was not recorded.
int32_t RecordedLeft(const WindowState& w, ControlId id) {
  const LayoutEntry* e = FindLayout(w, id);
  return e != nullptr ? e->left : 0;
}
int32_t RecordedTop(const WindowState& w, ControlId id) {
  const LayoutEntry* e = FindLayout(w, id);
  return e != nullptr ? e->top : 0;
}

// The largest k with k * unit within `room` for both sides. A room that a
// window too small for its panel leaves negative holds nothing.
Size FitView(Station& st, int32_t room_x, int32_t room_y) {
  room_x = std::max(room_x, 0);
  room_y = std::max(room_y, 0);
  auto [ux, uy] = AspectUnits(st.image.width, st.image.height);
  // An image narrower or lower than 50 pixels has a zero unit; one pixel
  // keeps the division defined.
  ux = std::max(ux, 1u);
  uy = std::max(uy, 1u);
  const uint32_t k =
      std::min(static_cast<uint32_t>(room_x) / ux, static_cast<uint32_t>(room_y) / uy);
  return {static_cast<int32_t>(k * ux), static_cast<int32_t>(k * uy)};
}

// The offsets that count for the view: those of the expansion made at
// start-up (0 without one) and of the user's resizing since. The setting
// itself is read only at start-up; changing it later leaves the window, and
// so the view, as they are.
std::pair<int32_t, int32_t> ViewOffsets(Station& st) {
  const WindowState& w = WindowOf(st);
  return {w.dx + w.resize_dx, w.dy + w.resize_dy};
}

// The window state with its layout; a station that did not start up (a
// headless tool, a test) records the surface as it stands on first use.
const WindowState& LaidOut(Station& st) {
  WindowState& w = WindowOf(st);
  if (w.layout.empty()) RecordLayout(st);
  return w;
}

// Moves a recorded control by its anchor for offsets (dx, dy) from its
// recorded place, keeping the other coordinates and the size as recorded.
void PlaceByAnchor(ControlSurface& ui, LayoutEntry& e, int32_t dx, int32_t dy) {
  Rect r{e.left, e.top, e.width, e.height};
  e.current_left = e.left;
  e.current_top = e.top;
  switch (e.anchor) {
    case Anchor::Right:
      r.x += dx;
      e.current_left += dx;
      break;
    case Anchor::Bottom:
      r.y += dy;
      e.current_top += dy;
      break;
    case Anchor::BottomRight:
      r.x += dx;
      r.y += dy;
      e.current_left += dx;
      e.current_top += dy;
      break;
    case Anchor::RightTaller:
      r.x += dx;
      r.height += dy;
      e.current_left += dx;
      break;
    case Anchor::BottomWider:
      r.y += dy;
      r.width += dx;
      e.current_top += dy;
      break;
    case Anchor::None:
      return;
  }
  ui.MoveControl(e.control_id, r);
}

} // namespace

void RecordControl(WindowState& w, ControlId id, Rect r, Anchor anchor) {
  if (w.layout.size() >= kMaxLayoutEntries) return;
  LayoutEntry e{};
  e.control_id = id;
  e.left = r.x;
  e.top = r.y;
  e.right = r.x + r.width;
  e.bottom = r.y + r.height;
  e.width = e.right - e.left;
  e.height = e.bottom - e.top;
  e.current_left = e.left;
  e.current_top = e.top;
  e.anchor = anchor;
  w.layout.push_back(e);
}

void RecordLayout(Station& st) {
  ControlSurface& ui = st.surface();
  WindowState& w = WindowOf(st);
  w.screen = ui.ScreenSize();
  const Size client = ui.ClientSize();
  w.client_right = client.width - 1;
  w.client_bottom = client.height - 1;
  w.layout.clear();
  for (const Placement& p : kLayoutOrder) RecordControl(w, p.id, ui.ControlRect(p.id), p.anchor);
}

void ExpandWindow(Station& st) {
  WindowState& w = WindowOf(st);
  if (w.screen.width <= 800 || w.screen.height <= 600) return;
  w.dx = w.screen.width - w.client_right;
  w.dy = w.screen.height - w.client_bottom;
  ControlSurface& ui = st.surface();
  ui.MoveWindow({0, 0, w.screen.width, w.screen.height});
  for (LayoutEntry& e : w.layout) PlaceByAnchor(ui, e, w.dx, w.dy);
  SizeView(st);
}

void ResizeWindow(Station& st, Size client) {
  WindowState& w = WindowOf(st);
  if (w.layout.empty()) return;
  const bool expanded = w.dx != 0 || w.dy != 0;
  const int32_t base_width = expanded ? w.screen.width : w.client_right + 1;
  const int32_t base_height = expanded ? w.screen.height : w.client_bottom + 1;
  const int32_t rdx = client.width - base_width;
  const int32_t rdy = client.height - base_height;
  if (rdx == w.resize_dx && rdy == w.resize_dy) return;
  w.resize_dx = rdx;
  w.resize_dy = rdy;
  ControlSurface& ui = st.surface();
  for (LayoutEntry& e : w.layout) PlaceByAnchor(ui, e, w.dx + rdx, w.dy + rdy);
  SizeView(st);
  if (st.image.no_camera == 0) RepositionVideo(st);
  ui.InvalidateWindow(true);
}

Size NormalViewSize(Station& st) {
  const WindowState& w = LaidOut(st);
  const auto [dx, dy] = ViewOffsets(st);
  return FitView(st, RecordedLeft(w, C::CommandPanelGroup) + dx - 16,
                 RecordedTop(w, C::SolutionGroup) + dy - 16);
}

Size EnlargedViewSize(Station& st) {
  const WindowState& w = LaidOut(st);
  const auto [dx, dy] = ViewOffsets(st);
  return FitView(st, RecordedLeft(w, C::CommandPanelGroup) + dx - 16, w.client_bottom + dy - 40);
}

WindowState& WindowOf(Station& st) {
  if (!st.window) st.window = std::make_shared<WindowState>();
  return *st.window;
}

const LayoutEntry* FindLayout(const WindowState& w, ControlId id) {
  for (const LayoutEntry& e : w.layout) {
    if (e.control_id == id) return &e;
  }
  return nullptr;
}

} // namespace orvane
