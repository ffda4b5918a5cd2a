#include "ui/camera_steps.h"

namespace orvane {

bool CameraStartUp(Station& st, int32_t index) { return StartCamera(st, index); }
void CameraGrab(Station& st) { GrabCommand(st); }
void CameraLive(Station& st) { LiveCommand(st); }
void CameraRepositionVideo(Station& st) { RepositionVideo(st); }
const CameraFormatTable& CameraFormatRows(const Station& st) { return CameraFormats(st); }
void CameraChangeResolution(Station& st, uint32_t row) { ChangeCameraResolution(st, row); }
void CameraClose(Station& st) { CloseCamera(st); }

} // namespace orvane
