// The window's ways into the station's extensions that have no control of
// their own: the context menu's picture and DXF entries, and the hint a
// click on the live picture gives.
#pragma once

#include "station/station.h"
#include "ui/qt/qt_surface.h"

namespace orvane::qt {

void WireExtensionActions(QtSurface& surface, Station& station);

} // namespace orvane::qt
