// The image status line, the window title and the aspect units of an image.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "station/station.h"

namespace orvane {

// The smallest whole-number ratio found by trying d = 900, 895, ... 100 as a
// common divisor; (W div 50, H div 50) when none divides both.
std::pair<uint32_t, uint32_t> AspectUnits(uint32_t width, uint32_t height);

// Rewrites the image status line for the current image, then the size class
// of marks, the calibration for this size and the calibration status.
void UpdateStatusLine(Station& station);

// The camera's note (lost, back again) changed since the status line last
// showed it: rewrites the line.
void RefreshCameraNote(Station& station);

// What the station queued to tell the user since the last call (automatic
// program runs, reports, the precise calibration), shown at once as one
// passing note on the picture, in the order said, then forgotten so none is
// shown twice. False when nothing was queued: the window stays as it is.
// The window calls it after each event and each live picture; orvane-batch
// prints the same queue instead.
bool ShowPendingNotices(Station& station);

} // namespace orvane
