// What the window's menu bar shows of the extensions: the tool in force, the
// rectification's state with its reason, and the entries that act on them.
// The Qt menu bar only asks and forwards.
#pragma once

#include <string>

#include "station/station.h"

namespace orvane {

struct RectificationEntry {
  bool available = false; // a grid calibration for the open camera exists
  bool on = false;        // pictures are rectified now
  std::string text;       // the entry's whole text: the state and its reason
};
RectificationEntry RectificationMenuEntry(const Station& station);

// The entry chosen: rectification turned on or off; a message box says why
// not when it cannot be.
void ToggleRectification(Station& station);

// The extension display beside the menus: the tool in force with its
// pending clicks, and the rectification entry's text while there is a
// rectification file.
std::string ExtensionStatus(Station& station);

// The status line's tooltip: the rectification's state whole (the line cuts
// it), or nothing without a rectification file or in File mode.
std::string ImageStatusTip(const Station& station);

} // namespace orvane
