// The station settings file "XORVANE.CFG".
#pragma once

#include <cstdint>
#include <filesystem>

#include "workspace/records.h"

namespace orvane {

inline constexpr const char* kSettingsFileName = "XORVANE.CFG";

// Zeroes the record and stores the first-start defaults.
void SetDefaultSettings(Settings& settings);

// Reads "XORVANE.CFG" of the folder into settings; a missing or short file
// gives the defaults, written back at once. Then makes the unit factor
// usable.
void LoadSettings(const std::filesystem::path& folder, Settings& settings);

// Writes the settings record. Returns the bytes written (0 on failure).
uint32_t SaveSettings(const std::filesystem::path& folder, const Settings& settings);

// The pixel scales for an image of width x height from the calibration made
// at calibrated_width x calibrated_height.
void RescaleCalibration(Settings& settings, uint32_t width, uint32_t height);

} // namespace orvane
