// The station's side of the workspace: the file operations of workspace/
// applied to the station's own folder, records and hooks.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string_view>

#include "station/station.h"
#include "workspace/log.h"
#include "workspace/settings.h"
#include "workspace/solutions.h"

namespace orvane {

// Tells the user once per file and session that the file could not be read
// (writing false) or written, with the reason (an errno value or
// kNotRegularFile): "Unable to write DIR/XORVANE.CFG: No space left on device".
// A missing file (ENOENT) is not reported when reading.
void ReportFileFailure(Station& station, const std::filesystem::path& path, int error,
                       bool writing);

// Reads "XORVANE.CFG" into the station's settings (workspace LoadSettings; a
// file that is there but cannot be read is reported before the defaults, and
// so is a failed write of them), then takes the current distance and the
// image size from the settings and announces the background colour.
void LoadSettings(Station& station);

// Writes the station's settings record. Returns the bytes written (0 on
// failure, which is reported; the settings in memory stay as they are).
uint32_t SaveSettings(Station& station);

// Reads the file of the station's table slot `index` into out (workspace
// LoadSolution, its failures reported). A record whose save failed this
// session is taken from memory instead of its stale file.
uint32_t LoadSolution(Station& station, uint32_t index, SolutionRecord* out);

// Writes the record into the station's folder. Returns 0. When the write
// fails the record is kept in memory in place of the file (until a save of it
// succeeds), and the failure is reported.
uint32_t SaveSolution(Station& station, const SolutionRecord& record);

// Recomputes the ROIs of every stored solution for a new image size from
// their relative corners (the station's image already has the new size).
// Saves the working record first and refreshes the panel after.
void RescaleAllRois(Station& station, uint32_t new_width, uint32_t new_height);

// Sets roi_count to 0 in every stored solution; the working record stays.
void ResetAllRois(Station& station);

// The workspace half of start-up: the temporary files an interrupted save
// left behind are removed, then the settings file, the default table, every
// solution file (each is created when missing), and the selection of the
// solution used at the last exit (index 0 when that is out of range). The
// working record ends up holding the selected solution.
void OpenWorkspace(Station& station);

// Appends text to the station's log while station.log_enabled is set (off by
// default; start-up sets it when LogAskedFor). Returns 1, or 0 when the log is
// off or full.
uint32_t AppendLog(Station& station, std::string_view text);

} // namespace orvane
