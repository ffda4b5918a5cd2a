// The grid calibration as a length calibration: the rectified picture shows
// the measuring plane face-on at one scale, known from the grid's pitch, so
// that scale is a calibration as precise as the grid fit.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "station/station.h"

namespace orvane {

// Pixels per inch of the rectified picture (at its centre, and so
// everywhere) and its standard uncertainty, from the grid calibration in
// force for the open camera; `pitch_unit` is the unit of its pitch ("in",
// "cm", "mm"; empty: the station's unit). The reason when rectification is
// not on or the pitch is unusable.
struct GridScale {
  double scale = 0.0;
  double sigma = 0.0;
  std::string note;
};
std::optional<GridScale> MeasureGridScale(Station& station, std::string_view pitch_unit, std::string* why);

// MeasureGridScale made the calibration in force; the reason when nothing
// was changed.
std::optional<std::string> GridScaleCalibration(Station& station, std::string_view pitch_unit);

} // namespace orvane
