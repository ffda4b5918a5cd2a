// The main window's own run-time state: the layout table with its anchors,
// the coloured-control table, the screen and client metrics taken at start-up
// and the expansion offsets. One per station, made on first use.
#pragma once

#include <cstdint>
#include <vector>

#include "station/control_surface.h"
#include "station/station.h"

namespace orvane {

// How a control follows the window when it is expanded to the screen.
enum class Anchor : uint32_t {
  None = 0,
  Right = 1,          // x + dx
  Bottom = 2,         // y + dy
  BottomRight = 3,    // x + dx, y + dy
  RightTaller = 4,    // x + dx, height + dy
  BottomWider = 5,    // y + dy, width + dx
};

// A control's normal position in the main window's client pixels, taken
// when it was recorded, and where it stands now.
struct LayoutEntry {
  ControlId control_id;
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
  int32_t width;  // right - left
  int32_t height; // bottom - top
  int32_t current_left;
  int32_t current_top;
  Anchor anchor;
};

inline constexpr size_t kMaxLayoutEntries = 1000;

// One entry of the coloured-control table: the colours of its two states.
struct ColouredControl {
  ControlId control_id;
  ControlColours normal;
  ControlColours active;
};

struct WindowState {
  std::vector<LayoutEntry> layout;
  std::vector<ColouredControl> coloured;
  // The window itself: text colour, background colour.
  ControlColours window_colours;
  Size screen;
  int32_t client_right = 0;  // client width - 1 at start-up
  int32_t client_bottom = 0; // client height - 1 at start-up
  // Offsets of the expansion to the full screen; 0 while not expanded.
  int32_t dx = 0;
  int32_t dy = 0;
  // How far the user resized the window beyond the size its layout was made
  // for (the start-up size, or the screen after the expansion).
  int32_t resize_dx = 0;
  int32_t resize_dy = 0;
  int32_t camera_device_index = 0;
  bool ended = false; // EndProgram ran
};

// The station's window state, made (empty) when it has none yet.
WindowState& WindowOf(Station& station);

// The layout entry of a control, or nullptr when it was not recorded.
const LayoutEntry* FindLayout(const WindowState& window, ControlId id);

} // namespace orvane
