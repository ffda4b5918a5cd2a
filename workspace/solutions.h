// The solution table, the solution files and the measurement engine's
// settings hand-over.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "station/station.h"
#include "workspace/records.h"

namespace orvane {

inline constexpr uint32_t kSolutionIndexOutOfRange = 100;

// Fills the table with the six built-in solutions and returns their count.
uint32_t BuildDefaultSolutions(SolutionTable& table);

// "XModule<id>.CFG".
std::string SolutionFileName(uint32_t id);

// Reads the file of table slot `index` into out. A missing or short file gives
// the table's default, which is saved at once (a file that is there but
// cannot be read is reported first). A record whose save failed this session
// is taken from memory instead of its stale file. Returns 100 (out untouched)
// when index is not below the table's count, 0 otherwise.
uint32_t LoadSolution(Station& station, uint32_t index, SolutionRecord* out);

// Writes the record to the file named by its own id. Returns 0. When the
// write fails the record is kept in memory in place of the file, and the
// failure is reported once per session.
uint32_t SaveSolution(Station& station, const SolutionRecord& record);

// Bounds every count, index and text of a record read from outside, so that
// no loop over it can leave the record. Values inside the bounds stay.
void BoundSolutionRecord(SolutionRecord& record);

// The content of a solution file as a record, without the file: fewer bytes
// than a record hold no record (false, out untouched); otherwise the first
// sizeof(SolutionRecord) bytes, bounded by BoundSolutionRecord, become out and
// any further bytes are ignored.
bool SolutionRecordFromBytes(std::span<const uint8_t> bytes, SolutionRecord* out);

// The version of the measurement engine shown in the window title.
uint32_t SolutionEngineVersion();

uint32_t SetEngineSettings(EngineSettings& engine, uint32_t width, uint32_t height, uint32_t stride,
                           uint32_t bytes_per_pixel, uint8_t* frame, uint8_t* overlay,
                           uint32_t units, double unit_factor, double scale_x, double scale_y,
                           double scale_third, double calibration_distance,
                           uint32_t decimals_dimensions);

uint32_t GetCalibration(const EngineSettings& engine, double* scale_x, double* scale_y,
                        double* scale_third, double* calibration_distance);

// Window colour of a colour-table index as 0x00BBGGRR; 0 outside 0..15.
uint32_t ColourOf(uint32_t index);

// Pulls the record's ROIs inside an image of width x height, one pixel a
// repetition, as the panel does each time it loads the working record.
void PullRoisInside(SolutionRecord& record, uint32_t width, uint32_t height);

// Sets the relative corners of an ROI from its pixel corners.
void SetRelativeCorners(RoiRecord& roi, uint32_t width, uint32_t height);

// Recomputes the ROIs of one record for a new_width x new_height image from
// their relative corners, each corner clamped into the current width x height.
void RescaleRecordRois(SolutionRecord& record, uint32_t width, uint32_t height, uint32_t new_width,
                       uint32_t new_height);

// Recomputes the ROIs of every stored solution for a new image size from
// their relative corners (the station's image already has the new size).
// Saves the working record first and refreshes the panel after.
void RescaleAllRois(Station& station, uint32_t new_width, uint32_t new_height);

// Sets roi_count to 0 in every stored solution; the working record stays.
void ResetAllRois(Station& station);

// A copy of the ROI with its corners clamped into the image, for any code that
// walks its pixels or hands it to the vision library. False when the image is
// empty.
bool ClampRoiToImage(const RoiRecord& roi, uint32_t width, uint32_t height, RoiRecord* out);

} // namespace orvane

namespace orvane {

// The workspace half of start-up: the temporary files an interrupted save
// left behind are removed, then the settings file, the default table, every
// solution file (each is created when missing), and the selection of the
// solution used at the last exit (index 0 when that is out of range). The
// working record ends up holding the selected solution.
void OpenWorkspace(Station& station);

} // namespace orvane
