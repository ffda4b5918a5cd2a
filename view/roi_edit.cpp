// Mode 0: drawing, resizing, moving and deleting ROIs, and the pixel probe.
#include <algorithm>
#include <cstring>
#include <optional>
#include <string>

#include "acquisition/acquisition.h"
#include "solutions/measurement.h"
#include "view/mouse_modes.h"
#include "workspace/solutions.h"

namespace orvane::mouse {
namespace {

constexpr uint32_t kAutoOutputId = 201;
constexpr Rgb kNewRoiColour{192, 1, 1};

struct Box {
  int32_t left, top, right, bottom;
};

// The rectangle spanned by the press and the last move.
Box DraggedBox(const ImageView& v) {
  return {std::min(v.press_x, v.move_x), std::min(v.press_y, v.move_y),
          std::max(v.press_x, v.move_x), std::max(v.press_y, v.move_y)};
}

bool RoomForRoi(const SolutionRecord& rec) {
  return rec.roi_count < std::min(rec.roi_max, kMaxRois);
}

bool LargeEnough(const Box& b) {
  return b.right - b.left >= kMinRoiSide && b.bottom - b.top >= kMinRoiSide;
}

std::string CornerText(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  std::string text = "(";
  text += std::to_string(left) + "," + std::to_string(top) + ")-(" + std::to_string(right) + "," +
          std::to_string(bottom) + ")";
  return text;
}

// Differences of stored corners wrap rather than overflow.
int32_t Span(int32_t low, int32_t high) {
  return static_cast<int32_t>(static_cast<int64_t>(high) - low);
}

// Moves the rectangle by the mouse's travel when it stays inside the image;
// the next move is measured from here either way.
void MoveRoi(Station& st, RoiRecord& r, int32_t x, int32_t y) {
  ImageView& v = st.view;
  const int64_t dx = static_cast<int64_t>(x) - v.press_x;
  const int64_t dy = static_cast<int64_t>(y) - v.press_y;
  const int64_t w = st.image.width, h = st.image.height;
  auto inside = [](int64_t value, int64_t size) { return value >= 0 && value <= size - 1; };
  if (inside(r.left + dx, w) && inside(r.right + dx, w) && inside(r.top + dy, h) &&
      inside(r.bottom + dy, h)) {
    r.left = static_cast<int32_t>(r.left + dx);
    r.right = static_cast<int32_t>(r.right + dx);
    r.top = static_cast<int32_t>(r.top + dy);
    r.bottom = static_cast<int32_t>(r.bottom + dy);
  }
  v.press_x = x;
  v.press_y = y;
}

// One move of a grabbed part. No edge may cross the opposite one: a position
// that would make it do so changes nothing.
void ResizeRoi(Station& st, RoiRecord& r, RoiPart part, int32_t x, int32_t y) {
  switch (part) {
    case RoiPart::TopLeft:
      if (x < r.right && y < r.bottom) r.left = x, r.top = y;
      break;
    case RoiPart::BottomRight:
      if (x > r.left && y > r.top) r.right = x, r.bottom = y;
      break;
    case RoiPart::BottomLeft:
      if (x < r.right && y > r.top) r.left = x, r.bottom = y;
      break;
    case RoiPart::TopRight:
      if (x > r.left && y < r.bottom) r.right = x, r.top = y;
      break;
    case RoiPart::Left:
      if (x < r.right) r.left = x;
      break;
    case RoiPart::Right:
      if (x > r.left) r.right = x;
      break;
    case RoiPart::Top:
      if (y < r.bottom) r.top = y;
      break;
    case RoiPart::Bottom:
      if (y > r.top) r.bottom = y;
      break;
    case RoiPart::Centre:
      MoveRoi(st, r, x, y);
      break;
    case RoiPart::None:
      break;
  }
}

void DeleteRoi(SolutionRecord& rec, uint32_t index) {
  const uint32_t count = std::min(rec.roi_count, kMaxRois);
  if (index >= count) return;
  std::memmove(&rec.rois[index], &rec.rois[index + 1], (count - index - 1) * sizeof(RoiRecord));
  std::memset(&rec.rois[count - 1], 0, sizeof(RoiRecord));
  rec.roi_count = count - 1;
}

void AddRoi(Station& st, const Box& b) {
  SolutionRecord& rec = *st.working;
  RoiRecord& r = rec.rois[rec.roi_count];
  r = RoiRecord{};
  r.left = b.left;
  r.top = b.top;
  r.right = b.right;
  r.bottom = b.bottom;
  r.width = b.right - b.left;
  r.height = b.bottom - b.top;
  SetRelativeCorners(r, st.image.width, st.image.height);
  if (rec.id == kAutoOutputId) {
    // Closing the dialog without a choice leaves the ROI without a kind (0),
    // which DXF Auto Output skips, rather than reading a leftover distance.
    r.entity_type = static_cast<int32_t>(st.hooks.ask_entity_type ? st.hooks.ask_entity_type() : RoiEntity::None);
  }
  ++rec.roi_count;
  if (st.hooks.show_roi_count) st.hooks.show_roi_count();
}

} // namespace

void RoiLeftDown(Station& st) {
  ImageView& v = st.view;
  const RoiHit hit = HitTestRoi(st, v.press_x, v.press_y);
  v.edit.kind = static_cast<uint32_t>(hit.part);
  v.edit.index = hit.index;
  if (hit.part != RoiPart::None) return;
  v.cursor_id = st.image.view_cursor;
  Refresh(st);
  if (const std::optional<std::string> probe = PixelProbeText(st.image, v.press_x, v.press_y)) {
    st.surface().SetText(ControlId::CoordinateLine, *probe);
  }
}

void RoiMove(Station& st, uint32_t keys) {
  ImageView& v = st.view;
  if (keys == 0) HitTestRoi(st, v.move_x, v.move_y);
  if (!(keys & kKeyLeftButton) || (keys & kKeyControl)) return;
  SolutionRecord& rec = *st.working;
  if (v.edit.kind == 0) {
    const Box b = DraggedBox(v);
    if (!LargeEnough(b) || !RoomForRoi(rec)) return;
    RedrawOverlay(st);
    DrawDashedRect(CanvasOf(st), b.left, b.top, b.right, b.bottom, kNewRoiColour);
    ComposeDisplay(st, st.image.frame);
    st.surface().SetText(ControlId::CoordinateLine, CornerText(b.left, b.top, b.right, b.bottom));
    return;
  }
  const RoiPart part = static_cast<RoiPart>(v.edit.kind);
  // Only a grab made in this mode on an ROI that still exists is edited.
  if (v.edit.kind > static_cast<uint32_t>(RoiPart::Centre) ||
      v.edit.index >= std::min(rec.roi_count, kMaxRois)) {
    return;
  }
  RoiRecord& r = rec.rois[v.edit.index];
  ResizeRoi(st, r, part, v.move_x, v.move_y);
  r.width = Span(r.left, r.right);
  r.height = Span(r.top, r.bottom);
  SetRelativeCorners(r, st.image.width, st.image.height);
  st.surface().SetText(ControlId::CoordinateLine, CornerText(r.left, r.top, r.right, r.bottom));
  Refresh(st);
}

void RoiLeftUp(Station& st) {
  ImageView& v = st.view;
  SolutionRecord& rec = *st.working;
  if (v.edit.kind != 0) {
    if (v.edit.index < std::min(rec.roi_count, kMaxRois)) {
      const RoiRecord& r = rec.rois[v.edit.index];
      if (r.width < kMinRoiSide || r.height < kMinRoiSide) {
        DeleteRoi(rec, v.edit.index);
        if (st.hooks.show_roi_count) st.hooks.show_roi_count();
      }
    }
    v.edit.kind = 0;
    v.edit.index = 0;
  } else {
    const Box b = DraggedBox(v);
    if (LargeEnough(b) && RoomForRoi(rec)) AddRoi(st, b);
  }
  RedrawOverlay(st);
  v.cursor_id = st.image.view_cursor;
  ComposeDisplay(st, st.image.frame);
}

} // namespace orvane::mouse

namespace orvane {

std::optional<std::string> PixelProbeText(const ImageState& im, int32_t x, int32_t y) {
  if (im.frame == nullptr || x < 0 || y < 0 || static_cast<uint32_t>(x) >= im.width ||
      static_cast<uint32_t>(y) >= im.height) {
    return std::nullopt;
  }
  const size_t at = static_cast<size_t>(y) * im.stride + static_cast<size_t>(x) * 3;
  if (at + 3 > im.size) return std::nullopt;
  const uint8_t* p = im.frame + at;
  std::string text = "(";
  text += std::to_string(x) + "," + std::to_string(y) + ") " + std::to_string(p[2]) + "," +
          std::to_string(p[1]) + "," + std::to_string(p[0]);
  return text;
}

} // namespace orvane
