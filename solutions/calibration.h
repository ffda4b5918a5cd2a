// The two calibration solutions and the calibration status line.
#pragma once

#include <cstdint>

#include "station/station.h"

namespace orvane {

inline constexpr int32_t kCalibrationFailed = 1001;

// Auto Calibration (id 1): finds the standard target through the library.
int32_t AutoCalibration(Station& station, SolutionRecord& record);

// Manual Calibration (id 2): the first ROI's width is the reference width.
int32_t ManualCalibration(Station& station, SolutionRecord& record);

// Stores a successful calibration of the engine into the settings, saves
// them and shows the new status; or shows "Calibration Failed".
void ActOnCalibration(Station& station, uint32_t id, int32_t result);

// Stores the engine's calibration into the settings as a success does,
// saves them, enters it in the results table as made by `method` ("auto",
// "manual", ...) and shows the new status.
void CommitCalibration(Station& station, const char* method);

// Rewrites the calibration status control: "Not Calibrated", or the scale and
// distance in the current unit.
void ShowCalibrationStatus(Station& station);

} // namespace orvane
