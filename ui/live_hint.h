// What a click on the live picture says. The live area shows the running
// camera picture, on which nothing is measured or drawn (the mouse works on a
// grabbed picture), so a click there does nothing: a hint says what to do.
#pragma once

#include <optional>
#include <string>

#include "station/station.h"
#include "view/mouse.h"

namespace orvane {

inline constexpr const char* kGrabToMeasure = "Grab to measure";

// The hint a mouse event on the live area gives, or nothing: a left press
// (the middle button pans, the right one opens the window's menu, moves say
// nothing) while the live area is the one shown and Grab can be pressed.
std::optional<std::string> LiveClickHint(Station& station, MouseEvent event);

// A mouse event on the live area: the hint as a note, when there is one.
void OnLiveAreaMouse(Station& station, MouseEvent event);

} // namespace orvane
