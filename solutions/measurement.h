// The overlay of the current solution (mode legend, ROIs, result points,
// drawn entities, measurements) and the measurement of clicked points.
#pragma once

#include <cstdint>
#include <string>

#include "station/station.h"

namespace orvane {

// Clears the overlay and, unless clear_only is set, draws every layer of the
// working record over it.
void RedrawOverlay(Station& station, bool clear_only = false);

// Draws the measurement sets: arrows, dimension lines, lengths and angles.
void DrawMeasurements(Station& station);

// A distance of `pixels` at `depth` inches from the camera in the current
// unit; unchanged pixels while the station is not calibrated.
double PixelsToLength(const Station& station, double pixels, double depth);

// The length between two measurement points in the current unit, at the
// second point's distance from the camera.
double MeasuredLength(const Station& station, const MeasPoint& p, const MeasPoint& q);

// The angle in degrees at the middle one of three measurement points.
double MeasuredAngle(const MeasPoint* points);

// The text of a length in the current unit and dimension decimals:
// "2.000 in.", "1 ft. 3.50 in.", "2 1/2 cm".
std::string LengthText(const Settings& settings, double length);

// The text scale factor f of a mark size class: 0.5, 1.0, 3.0 or 5.5.
double TextScaleFactor(uint32_t mark_size_class);

// Manual Measurement (id 101): empties the measurement sets.
int32_t ManualMeasurement(Station& station, SolutionRecord& record);

} // namespace orvane
