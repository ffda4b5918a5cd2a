// The main window's layout table: where every movable control stands, how it
// follows an expansion of the window to the full screen, and the sizes of
// the image view that follow from the recorded positions.
#pragma once

#include <cstdint>

#include "station/station.h"
#include "ui/window_state.h"

namespace orvane {

// Takes the screen size and the client area's last pixel from the surface,
// and records every control of the layout table (its rectangle now, and its
// anchor) in the table's order.
void RecordLayout(Station& station);

// Records one control; a request beyond kMaxLayoutEntries is ignored.
void RecordControl(WindowState& window, ControlId id, Rect rect, Anchor anchor);

// On a screen larger than 800 x 600, moves the window to fill the screen and
// moves every recorded control by its anchor; then sizes the view. On a
// smaller screen nothing happens.
void ExpandWindow(Station& station);

// The user resized the main window to a client area of `client`: every
// recorded control moves by its anchor as the expansion moves it, by the
// expansion's offsets plus the growth beyond the size the layout was made
// for, and the view is sized for the room. Nothing happens before the layout
// is recorded, or when the offsets stay as they are.
void ResizeWindow(Station& station, Size client);

// The image view's size while the rows show (normal) and while they are
// hidden (enlarged), for the current image: whole multiples of its aspect
// units.
Size NormalViewSize(Station& station);
Size EnlargedViewSize(Station& station);

} // namespace orvane
