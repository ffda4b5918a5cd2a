// The solution table, the solution files and the measurement engine's
// settings hand-over.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "workspace/files.h"
#include "workspace/records.h"

namespace orvane {

struct SolutionTable {
  SolutionRecord slots[kMaxSolutions];
  uint32_t count;
};

inline constexpr uint32_t kSolutionIndexOutOfRange = 100;

// Fills the table with the six built-in solutions and returns their count.
uint32_t BuildDefaultSolutions(SolutionTable& table);

// "XModule<id>.CFG".
std::string SolutionFileName(uint32_t id);

// Reads the file of table slot `index` into out. A missing or short file gives
// the table's default, which is saved at once; a file that is there but
// cannot be read, and a failed save of the default, give their reasons in
// *failure. Returns 100 (out untouched) when index is not below the table's
// count, 0 otherwise.
uint32_t LoadSolution(const std::filesystem::path& folder, const SolutionTable& table,
                      uint32_t index, SolutionRecord* out, LoadFailure* failure = nullptr);

// Writes the record to the file named by its own id. Returns 0; the reason of
// a failed write goes to *error (0 when written).
uint32_t SaveSolution(const std::filesystem::path& folder, const SolutionRecord& record,
                      int* error = nullptr);

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

// A copy of the ROI with its corners clamped into the image, for any code that
// walks its pixels or hands it to the vision library. False when the image is
// empty.
bool ClampRoiToImage(const RoiRecord& roi, uint32_t width, uint32_t height, RoiRecord* out);

} // namespace orvane
