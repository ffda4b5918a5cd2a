#include "ui/camera_steps.h"

#include "acquisition/file_mode.h"

// This build has no camera capture yet: every station starts without a
// device, in File mode, and the camera's buttons and calls do nothing.

namespace orvane {

bool CameraStartUp(Station& st, int32_t) {
  st.surface().ClearCombo(ControlId::DeviceList);
  st.image.no_camera = 1;
  EnterFileMode(st);
  return false;
}

void CameraGrab(Station&) {}
void CameraLive(Station&) {}
void CameraRepositionVideo(Station&) {}

const CameraFormatTable& CameraFormatRows(const Station&) {
  static const CameraFormatTable kNone{};
  return kNone;
}

void CameraChangeResolution(Station&, uint32_t) {}
void CameraClose(Station&) {}

} // namespace orvane
