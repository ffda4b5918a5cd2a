#include "ui/status.h"

#include "acquisition/rectification.h"
#include "acquisition/camera_capture.h"
#include "algorithms/include/quellix.h"
#include "draw/overlay.h"
#include "platform/video/genicam_pixels.h"
#include "results/session.h"
#include "solutions/calibration.h"
#include "solutions/precise_calibration.h"
#include "workspace/settings.h"
#include "workspace/solutions.h"

namespace orvane {

namespace {
constexpr size_t kTextLimit = 127; // the window's text buffers hold 128 bytes
constexpr uint32_t kYuy2 = 0x32595559;
} // namespace

std::pair<uint32_t, uint32_t> AspectUnits(uint32_t w, uint32_t h) {
  for (uint32_t d = 900; d >= 100; d -= 5) {
    if (w % d == 0 && h % d == 0) return {w / d, h / d};
  }
  return {w / 50, h / 50};
}

void UpdateStatusLine(Station& st) {
  const uint32_t w = st.image.width;
  const uint32_t h = st.image.height;
  const auto [ux, uy] = AspectUnits(w, h);
  std::string text = std::to_string(w) + " x " + std::to_string(h) + " (" + std::to_string(ux) +
                     ":" + std::to_string(uy) + ")";
  if (st.camera_compression == 0) text += " RGB";
  if (st.camera_compression == kYuy2) text += " YUY2";
  if (video::IsGenicamFormat(st.camera_compression)) {
    text += ' ';
    text += video::GenicamFormatName(st.camera_compression);
  }
  const std::string camera_note = CameraNote(st);
  if (st.camera) st.camera->shown_note = camera_note;
  if (!camera_note.empty()) text += " - " + camera_note;
  if (const std::string note = RectificationNote(st); !note.empty() && st.image.file_mode == 0) {
    text += " - " + note;
  }
  st.surface().SetText(ControlId::ImageStatus, text.substr(0, kTextLimit));
  st.mark_size_class = MarkSizeClass(w, h);
  const double before = st.settings.scale_x;
  RescaleCalibration(st.settings, w, h);
  if (st.settings.scale_x != before) SayRescaledCalibration(st);
  ShowCalibrationStatus(st);
}

void RefreshCameraNote(Station& st) {
  if (st.camera && CameraNote(st) != st.camera->shown_note) UpdateStatusLine(st);
}

bool ShowPendingNotices(Station& st) {
  // No session open: nothing can have been queued, and none is loaded here.
  if (!st.results || st.results->pending_notices.empty()) return false;
  std::vector<std::string> said;
  said.swap(st.results->pending_notices);
  std::string text;
  for (const std::string& notice : said) text += (text.empty() ? "" : "; ") + notice;
  st.surface().ShowNote(text);
  return true;
}

} // namespace orvane
