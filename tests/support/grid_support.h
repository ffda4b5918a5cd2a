// Grid calibration on the virtual camera's dot grid, as a user accepts it:
// one view grabbed, fitted and saved, rectification on.
#pragma once

#include "station/station.h"

namespace orvane::testing {

// Adds a gtest failure and returns false when a step fails.
bool CalibrateVirtualGrid(Station& station);

} // namespace orvane::testing
