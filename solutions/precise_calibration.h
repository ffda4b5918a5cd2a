// A calibration as precise as the gauges: the ring target's two rims gauged
// to a fraction of a pixel (the specified Auto Calibration counts pixels
// under a threshold and so reads a blurred ring small), or the scale of the
// rectified picture from the grid calibration. Either is stored where every
// calibration is (the settings' scale fields) and entered in the results
// table as a calibration row with its uncertainty.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "results/ring_gauge.h"
#include "station/station.h"

namespace orvane {

// Rows that say something the user should know (a calibration rescaled for
// another picture size): labelled R1, R2 ...
inline constexpr std::string_view kKindNotice = "notice";

// The ring target measured on the current picture, searched in the working
// solution's first ROI (the whole picture without one); the reason when it
// cannot be.
std::optional<RingCalibration> MeasureRingOnPicture(Station& station, std::string* why);

// After a successful Auto Calibration (its scale still in the engine): reads
// the precise ring calibration on the same picture, keeps it as the offer,
// says what it reads in the coming calibration row's note and the notices,
// and, with the results table's option "precise-calibration" on, puts it in
// the engine in place of the threshold's scale.
void OfferPreciseCalibration(Station& station);

// Makes `offer` the calibration in force (settings, status, a CAL row with
// its uncertainty, the note saying `method`).
void ApplyPreciseCalibration(Station& station, const CalibrationOffer& offer, const char* method);

// The precise ring calibration on the current picture, applied; the reason
// when nothing was changed.
std::optional<std::string> PreciseRingCalibration(Station& station);

// Uses the offer the last Auto Calibration made; the reason when there is
// none, or the picture's size has changed since.
std::optional<std::string> UsePreciseOffer(Station& station);

// The distance a calibration made now holds for, in inches: the working
// calibration solution's "Distance", else the calibration in force's.
double CalibrationDistanceNow(const Station& station);

// "scale 50.00012 u 0.00041 px/in": the calibration in force in the current
// unit, with the uncertainty of its newest calibration row.
std::string ScaleLine(Station& station);

// Says `text` where the extensions speak: a notice row in the results
// table, the Results window's line and orvane-batch's own line.
void AddNotice(Station& station, const std::string& text, double value, const std::string& unit);

// After the calibration was rescaled for a picture of another size (which
// the station does without a word): "calibration rescaled for 1920 × 1080:
// 59.05 px/cm" as a notice. Nothing while not calibrated.
void SayRescaledCalibration(Station& station);

} // namespace orvane
