// The station's results table: loaded from "RESULTS.TAB" on first use, saved
// after every change, and fed by the measuring, calibrating and DXF code as
// each result is produced. Nothing here draws or touches the specified records.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "results/table.h"
#include "station/station.h"

namespace orvane {

// The appended results file, in the working folder.
inline constexpr const char* kResultsCsvName = "RESULTS.CSV";

// A point the snap moved a click to, with the edge's standard uncertainty
// (pixels), drawn on the overlay while a measurement point still lies there.
struct SnapMark {
  double x = 0.0;
  double y = 0.0;
  double sigma = 0.0;
  bool operator==(const SnapMark&) const = default;
};

// A measured circle drawn on the overlay with its diameter text.
struct CircleMark {
  double x = 0.0;
  double y = 0.0;
  double radius = 0.0;
  std::string text;
  bool operator==(const CircleMark&) const = default;
};

// The rows a measurement set's lengths and angle went into, so that a point
// dragged later updates them; 0: no row. A set belongs to the solution it was
// clicked in: another solution's stored sets lie in the same slots.
struct MeasurementRows {
  uint32_t solution = 0;
  uint32_t length[kMaxMeasPoints] = {}; // the length ending at point n
  uint32_t angle = 0;
  bool operator==(const MeasurementRows&) const = default;
};

// A measuring point grabbed by the mouse, and where it lay then.
struct PointDrag {
  bool active = false;
  uint32_t set = 0;
  uint32_t point = 0;
  double x = 0.0;
  double y = 0.0;
};

struct ResultsSession {
  ResultsTable table;
  // Wall-clock seconds since 1970 of a new row (tests and the batch runner
  // stand it still).
  std::function<int64_t()> now;
  // Called after every change to the table (the Results window refreshes).
  std::function<void()> changed;
  // The overlay's gauge marks; emptied with the measurement sets.
  std::vector<SnapMark> snaps;
  std::vector<CircleMark> circles;
  // How the next calibration row was measured (set by a snapped Manual
  // Calibration), and its scale's standard uncertainty.
  std::string calibration_note;
  double calibration_sigma = kUnknown;
  // Alt-clicks gathered for the diameter gauge, in image pixels.
  std::vector<std::pair<double, double>> gauge_clicks;
  // Kept beside the measurement sets of the working record.
  std::array<MeasurementRows, kMaxMeasSets> measurement_rows{};
  PointDrag drag;
};

// Forgets the overlay's gauge marks, pending gauge clicks and the rows of
// the measurement sets (emptied with them).
void ClearGaugeMarks(ResultsSession& session);

// The station's results session, loading "RESULTS.TAB" on first use. A file
// that cannot be read is renamed to "RESULTS.TAB.bad" (numbered if that
// exists) and the user told so; the table starts empty.
ResultsSession& ResultsOf(Station& station);

// Writes "RESULTS.TAB" atomically and tells the window. False when the file
// could not be written.
bool SaveResults(Station& station);

// Adds a result: numbered, labelled, stamped with the time, the solution, the
// image's source and the calibration in force; saved, appended to
// "RESULTS.CSV" when that option is on. Returns the row as stored.
ResultRow AddResult(Station& station, ResultRow row);

// Puts a measurement's new value into row `number` in place: value, unit,
// uncertainty and note from `fresh` (the note marked ", edited"), the time
// and the calibration stamped anew, label and number kept; appended to
// "RESULTS.CSV" when that option is on. The caller saves. False when the row
// is gone.
bool UpdateResult(Station& station, uint32_t number, const ResultRow& fresh);

// The unit text of lengths: "in", "cm", or "px" while not calibrated.
std::string LengthUnit(const Settings& settings);

// Writes the whole table as CSV; false when the file could not be written.
bool ExportResultsCsv(Station& station, const std::filesystem::path& path);

} // namespace orvane
