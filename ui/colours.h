// The coloured-control table: the text and background colours of the command
// buttons, the edit boxes, the status lines and the labels in their normal
// and active states, and the window's own colours.
#pragma once

#include "station/control_surface.h"
#include "station/station.h"

namespace orvane {

// Appends an entry (state 0) and hands its colours to the surface.
void RegisterControlColour(Station& station, ControlId id, uint32_t text, uint32_t back,
                           uint32_t text_active, uint32_t back_active);

// Empties the table and registers every coloured control, from the colour
// table and the settings' foreground and background colours. The first
// registration puts every control in its normal state; a later one keeps the
// state each control shows.
void RegisterButtonColours(Station& station);

// The window's text and background colours from the settings.
void ApplyWindowColours(Station& station);

} // namespace orvane
