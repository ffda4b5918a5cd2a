// Connects the station's hooks to the window's logic: the command panel (its
// refresh, the edit commit, the view size), the window colours, the status
// lines, the ROI count and the two small dialogs the image view asks.
#pragma once

#include "station/station.h"

namespace orvane {

// Fills the hooks the window owns; start-up calls it, and so does every
// headless station that should behave as the whole program does.
void InstallWindowHooks(Station& station);

} // namespace orvane
