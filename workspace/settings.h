// The station settings file "XORVANE.CFG".
#pragma once

#include <cstdint>

#include "station/station.h"
#include "workspace/records.h"

namespace orvane {

inline constexpr const char* kSettingsFileName = "XORVANE.CFG";

// Zeroes the record and stores the first-start defaults.
void SetDefaultSettings(Settings& settings);

// Reads "XORVANE.CFG" into the station's settings; a missing or short file
// gives the defaults, written back at once (a file that is there but cannot
// be read is reported first). Then makes the unit factor
// usable, takes the current distance and the image size from the settings
// and announces the background colour.
void LoadSettings(Station& station);

// Writes the settings record. Returns the bytes written (0 on failure, which
// is reported once per session; the settings in memory stay as they are).
uint32_t SaveSettings(Station& station);

// The pixel scales for an image of width x height from the calibration made
// at calibrated_width x calibrated_height.
void RescaleCalibration(Settings& settings, uint32_t width, uint32_t height);

} // namespace orvane
