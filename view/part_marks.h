// The taught part found in the picture, drawn over it: the part's frame (a
// cross at its origin, the taught rectangle's centre, and its two axes), the
// model's edge points in the found pose and the score.
#pragma once

#include "station/station.h"

namespace orvane {

// Draws the marks of the instances the part session shows, while the picture
// is the one they were found in; forgets them once it is not.
void DrawPartMarks(Station& station);

} // namespace orvane
