// The station's results table: loaded from "RESULTS.TAB" on first use, saved
// after every change, and fed by the measuring, calibrating and DXF code as
// each result is produced. Nothing here draws or touches the specified records.
#pragma once

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
};

// The measuring tools of the measuring modes: what a plain left click does.
// Alt-clicks are diameter clicks whatever the tool.
enum class MeasureTool : uint32_t {
  Measure = 0,  // measurement points, as the measuring modes always placed them
  Diameter = 1, // three clicks near a rim: the circle gauge
  Edge = 2,     // two clicks along an edge: a line fitted through calipers
  Width = 3,    // two clicks across a bar: the edge pair between them
};

// A measured straight edge or width drawn on the overlay with its text.
struct LineMark {
  double x0 = 0.0;
  double y0 = 0.0;
  double x1 = 0.0;
  double y1 = 0.0;
  std::string text;
};

// A measured circle drawn on the overlay with its diameter text.
struct CircleMark {
  double x = 0.0;
  double y = 0.0;
  double radius = 0.0;
  std::string text;
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
  std::vector<LineMark> lines;
  // How the next calibration row was measured (set by a snapped Manual
  // Calibration), and its scale's standard uncertainty.
  std::string calibration_note;
  double calibration_sigma = kUnknown;
  // Clicks gathered for the gauge of `gauge_tool` (Alt-clicks: the
  // diameter gauge), in image pixels.
  std::vector<std::pair<double, double>> gauge_clicks;
  MeasureTool gauge_tool = MeasureTool::Diameter;
  // What a plain click of the measuring modes does.
  MeasureTool tool = MeasureTool::Measure;
};

// Forgets the overlay's gauge marks and pending gauge clicks.
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

// The unit text of lengths: "in", "cm", or "px" while not calibrated.
std::string LengthUnit(const Settings& settings);

// Writes the whole table as CSV; false when the file could not be written.
bool ExportResultsCsv(Station& station, const std::filesystem::path& path);

} // namespace orvane
