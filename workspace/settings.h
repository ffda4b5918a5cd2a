// The station settings file "XORVANE.CFG".
#pragma once

#include <cstdint>
#include <filesystem>

#include "workspace/files.h"
#include "workspace/records.h"

namespace orvane {

inline constexpr const char* kSettingsFileName = "XORVANE.CFG";

// Zeroes the record and stores the first-start defaults.
void SetDefaultSettings(Settings& settings);

// Reads "XORVANE.CFG" of the folder into settings; a missing or short file
// gives the defaults, written back at once. Then makes the unit factor
// usable. A file that is there but cannot be read, and a failed write of the
// defaults, give their reasons in *failure.
void LoadSettings(const std::filesystem::path& folder, Settings& settings,
                  LoadFailure* failure = nullptr);

// Writes the settings record. Returns the bytes written (0 on failure, with
// the reason in *error; the settings in memory stay as they are).
uint32_t SaveSettings(const std::filesystem::path& folder, const Settings& settings,
                      int* error = nullptr);

// The pixel scales for an image of width x height from the calibration made
// at calibrated_width x calibrated_height.
void RescaleCalibration(Settings& settings, uint32_t width, uint32_t height);

} // namespace orvane
