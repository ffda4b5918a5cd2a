// What the measuring modes hand to the results table, and the marks the
// gauges leave on the overlay.
#pragma once

#include <cstdint>

#include "station/station.h"

namespace orvane {

// Enters the length that ends at point `n` (1 or more) of measurement set
// `s` into the results table, and at a set's third point also its angle.
// A length between two snapped points carries their combined uncertainty.
void RecordMeasuredPoint(Station& station, uint32_t s, uint32_t n);

// Draws the snapped points that still carry a measurement point or a drawn
// entity's point, and the measured circles (the overlay hook).
void DrawGaugeMarks(Station& station);

} // namespace orvane
