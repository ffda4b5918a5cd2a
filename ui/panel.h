// The command panel's operations used outside the panel itself.
#pragma once

#include "station/station.h"

namespace orvane {

// The ROI count line: "Regions of Interest: " and the working record's count.
void ShowRoiCount(Station& station);

} // namespace orvane
