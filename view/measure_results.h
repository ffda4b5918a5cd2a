// What the measuring modes hand to the results table, and the marks the
// gauges leave on the overlay.
#pragma once

#include <cstdint>

#include "results/session.h"
#include "station/station.h"

namespace orvane {

// Enters the length that ends at point `n` (1 or more) of measurement set
// `s` into the results table, and at a set's third point also its angle.
// A length between two snapped points carries their combined uncertainty.
// The rows are remembered beside the set, for the drag that may follow.
void RecordMeasuredPoint(Station& station, uint32_t s, uint32_t n);

// A press grabbed point `p` of set `s` (modes 1 and 2).
void GrabMeasuredPoint(Station& station, uint32_t s, uint32_t p);

// The release after a grab: a point that moved snaps as a click does (with
// snapping on), and the rows of the lengths and the angle it is part of take
// the new values in place, marked as edited, and are saved.
void ReleaseMeasuredPoint(Station& station);

// With snapping on, moves a click at (x, y) to the nearest edge and keeps
// the mark for the overlay; unchanged otherwise.
void SnapClick(Station& station, double* x, double* y);

// SnapClick on point `n` of measurement set `s`, just placed by a click;
// while an inspection program is being taught, the snapped point becomes
// one of its steps.
void SnapMeasuredPoint(Station& station, uint32_t s, uint32_t n);

// An Alt-click of the measuring modes: a point near the rim of a hole or
// disc; the third runs the diameter gauge, enters the diameter in the
// results table and draws the circle.
void GaugeClick(Station& station, double x, double y);

// A click of a gauge tool (diameter, straight edge, width): gathered until
// the tool has its clicks (3, 2, 2), then the gauge runs, enters its row and
// leaves its mark. A click of another tool than the pending ones starts
// afresh. Measure is no gauge: nothing happens.
void ToolClick(Station& station, MeasureTool tool, double x, double y);

// The clicks a tool's gauge takes: 3, 2, 2; 0 for Measure.
uint32_t ClicksOf(MeasureTool tool);

// Draws the snapped points that still carry a measurement point or a drawn
// entity's point, and the measured circles (the overlay hook).
void DrawGaugeMarks(Station& station);

} // namespace orvane
