#include "view/view_support.h"

#include "acquisition/acquisition.h"
#include "station/workspace.h"
#include "workspace/solutions.h"

namespace orvane::testing {

ViewStation::ViewStation(uint32_t slot, uint32_t width, uint32_t height) {
  OpenWorkspace(station);
  Select(slot);
  AttachImage(station, width, height);
  station.image.view_width = width * view_scale_x;
  station.image.view_height = height * view_scale_y;
  station.overlay_text_observer = [this](int32_t, int32_t, std::string_view text, Rgb) {
    if (text == "ROI" || text == "2PT" || text == "3PT" || text == "CIR" || text == "LIN" ||
        text == "MLIN") {
      legends.emplace_back(text);
    }
  };
}

void ViewStation::Select(uint32_t slot) {
  LoadSolution(station, slot, station.working.get());
  station.current_solution = slot;
}

void ViewStation::Press(int32_t x, int32_t y, uint32_t keys) {
  OnLeftButtonDown(station, x * view_scale_x, y * view_scale_y, keys);
}
void ViewStation::Move(int32_t x, int32_t y, uint32_t keys) {
  OnMouseMove(station, x * view_scale_x, y * view_scale_y, keys);
}
void ViewStation::Release(int32_t x, int32_t y, uint32_t keys) {
  OnLeftButtonUp(station, x * view_scale_x, y * view_scale_y, keys);
}
void ViewStation::RightPress(int32_t x, int32_t y, uint32_t keys) {
  OnRightButtonDown(station, x * view_scale_x, y * view_scale_y, keys);
}
void ViewStation::RightRelease(int32_t x, int32_t y, uint32_t keys) {
  OnRightButtonUp(station, x * view_scale_x, y * view_scale_y, keys);
}

void ViewStation::Drag(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
  Press(x0, y0);
  Move(x1, y1);
  Release(x1, y1);
}

void ViewStation::AnswerDistance(const std::string& text, bool ok) {
  surface.QueueDialog([text, ok](DialogModel& d) {
    d.Type(DialogControlId::DistanceEdit, text);
    return *d.Press(ok ? DialogControlId::Ok : DialogControlId::Cancel);
  });
}

RoiRecord& ViewStation::AddRoi(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  RoiRecord& r = rec().rois[rec().roi_count++];
  r = RoiRecord{};
  r.left = left;
  r.top = top;
  r.right = right;
  r.bottom = bottom;
  r.width = static_cast<int32_t>(static_cast<int64_t>(right) - left);
  r.height = static_cast<int32_t>(static_cast<int64_t>(bottom) - top);
  return r;
}

Rgb ViewStation::OverlayAt(int32_t x, int32_t y) const {
  const ImageState& im = station.image;
  const uint8_t* p = im.overlay + static_cast<size_t>(y) * im.stride + static_cast<size_t>(x) * 3;
  return {p[2], p[1], p[0]};
}

} // namespace orvane::testing
