// The window's calls into the camera: start-up's device and File-mode step,
// the Grab and Live buttons, the video position, the resolution list and
// change of the Set-Up dialog, and the camera's end.
#pragma once

#include <cstdint>

#include "acquisition/camera_capture.h"
#include "station/station.h"

namespace orvane {

// Lists the devices and opens device `index` when there is one; otherwise
// no_camera is set and File mode entered. True when a camera is in use.
bool CameraStartUp(Station& station, int32_t index);

void CameraGrab(Station& station);
void CameraLive(Station& station);
void CameraRepositionVideo(Station& station);

// The formats the open camera offers (empty without one).
const CameraFormatTable& CameraFormatRows(const Station& station);

// Reopens the camera in use at table row `row`.
void CameraChangeResolution(Station& station, uint32_t row);

void CameraClose(Station& station);

} // namespace orvane
