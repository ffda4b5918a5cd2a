// The station's results table: loaded from "RESULTS.TAB" on first use, saved
// after every change, and fed by the measuring, calibrating and DXF code as
// each result is produced. Nothing here draws or touches the specified records.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "results/db_pg.h"
#include "results/db_sqlite.h"
#include "results/report.h"
#include "results/ring_gauge.h"
#include "results/table.h"
#include "results/table_file.h"
#include "results/trace_file.h"
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
  // What the precise ring calibration read on the picture of the last Auto
  // Calibration, offered to be used with one action.
  CalibrationOffer precise_offer;
  // What the extensions tell the user (a rescaled calibration, the precise
  // calibration's reading): `notice` is the newest, shown by the Results
  // window; `pending_notices` are drained by a front end that prints them.
  std::string notice;
  std::vector<std::string> pending_notices;
  // The rescaled calibration last said (NaN: none since the calibration).
  double announced_scale = kUnknown;

  // Saving. Why "RESULTS.DB" is never written this session (0: it may be):
  // what is in its place could not be read, so it is not replaced.
  int blocked_error = 0;
  // Why the last save failed (0: the database holds the table), and how many
  // results were added since the last save that succeeded.
  int save_error = 0;
  uint32_t unsaved_rows = 0;
  // Rows for "RESULTS.CSV" (whole records, with their count), appended once
  // "RESULTS.DB" holds them, so that a number is never appended twice.
  std::string pending_csv;
  uint32_t pending_csv_rows = 0;
  bool pending_csv_part = false; // the first waiting row has a part identity
  // The identity of the part now measured, stamped on every new row (empty:
  // none); shown on the overlay. Not kept across runs: each run its part.
  std::string part_id;
  // Who measures, named on inspection reports (empty: not named).
  std::string operator_name;
  // "TRACE.CFG" as read on first use (TraceOf); a damaged one is blocked
  // from being written over.
  std::optional<TraceSettings> trace;
  bool trace_blocked = false;
  // Writes a report's PDF: set by a front end that can paint one (null: none
  // can); false with the reason.
  std::function<bool(const InspectionReport&, const std::filesystem::path&, std::string*)> report_writer;
  // The open database (null while it cannot be written), and what sends its
  // outbox to the results server (null without one).
  std::shared_ptr<ResultsDb> db;
  std::shared_ptr<ResultsSender> sender;
  // Kept beside the measurement sets of the working record.
  std::array<MeasurementRows, kMaxMeasSets> measurement_rows{};
  PointDrag drag;
};

// Forgets the overlay's gauge marks, pending gauge clicks and the rows of
// the measurement sets (emptied with them).
void ClearGaugeMarks(ResultsSession& session);

// The station's results session, opening "RESULTS.DB" on first use. Without
// one, an existing "RESULTS.TAB" is migrated into a new database (every row,
// label, tolerance and option) and kept as "RESULTS.TAB.migrated". A damaged
// database is set aside as "RESULTS.DB.bad" (numbered if that exists) and a
// new one started. A "RESULTS.TAB" that is not a results file is renamed to
// "RESULTS.TAB.bad" and the table starts empty; one with damaged lines is
// renamed so too, and its other lines are kept. Something that cannot be read
// (a folder, a pipe, a file without read permission) is left where it is and
// never overwritten; a folder the station may not write in keeps the table in
// memory. The user is told each time.
ResultsSession& ResultsOf(Station& station);

// Makes "RESULTS.DB" hold the table (one transaction), then appends the rows
// waiting for "RESULTS.CSV",
// and tells the window. False when the table could not be written; the
// first failure of each file is reported, and the table stays in memory.
bool SaveResults(Station& station);

// Adds a result: numbered, labelled, stamped with the time, the solution, the
// image's source and the calibration in force; saved, appended to
// "RESULTS.CSV" when that option is on. Returns the row as stored, committed
// to the disk. A row that would need a number past the last is refused with a
// message (returned as given, number 0).
ResultRow AddResult(Station& station, ResultRow row);

// Asks before the table is emptied (yes/no, through the window's message
// box); true on yes, and at once for an empty table. The emptying itself goes
// through the undo history (view/undo.h).
bool ConfirmClearResults(Station& station);

// At the end of the program: tries once more to save what is not saved, and
// tells the user what is lost (how many results) when that fails too.
void FinishResults(Station& station);

// Puts a measurement's new value into row `number` in place: value, unit,
// uncertainty and note from `fresh` (the note marked ", edited"), the time
// and the calibration stamped anew, label and number kept; appended to
// "RESULTS.CSV" when that option is on. The caller saves. False when the row
// is gone.
bool UpdateResult(Station& station, uint32_t number, const ResultRow& fresh);

// Adds an inspected part and its dimensions (rows, numbered and stamped as
// AddResult stamps them) in one transaction: the part is recorded whole or
// not at all. Returns the part as stored (id 0 and the rows left out of the
// table when it could not be recorded, with a message), and fills `stored`
// with the rows as numbered when given.
PartRecord AddPart(Station& station, PartRecord part, std::vector<ResultRow> rows,
                   std::vector<ResultRow>* stored = nullptr);

// "PATH rows N pending M": the database, its rows, and the rows waiting for
// the results server (0 without one).
std::string ResultsDbStatus(Station& station);

// The results server's connection string: ORVANE_RESULTS_URL, else the one
// set in Set-Up (RESULTS.DB's "server-url" setting); empty without one.
std::string ResultsServerUrl(Station& station);
// The results server named in Set-Up (RESULTS.DB's "server-url"
// setting), whatever ORVANE_RESULTS_URL says; empty without one.
std::string ResultsServerSetting(Station& station);
// The station's name on the results server (RESULTS.DB's "station"
// setting; the host's name and the working folder until set).
std::string ResultsStationName(Station& station);
// Names the results server (empty: none) and, unless empty, the station's
// name on it, kept in RESULTS.DB. A new server or name gets every row the
// table holds, each once, and what is recorded from then on; the server's
// key (station and row) keeps a row sent twice from landing twice. False,
// with a message, when the database cannot be written.
bool SetResultsServer(Station& station, const std::string& url, const std::string& name);

// Waits until no row waits for the results server, or `seconds` have
// passed; true when none waits.
bool SyncResults(Station& station, double seconds);

// For a status line: "" while nothing waits, else how many results wait for
// the server and why (the server named by host and database only).
std::string ResultsServerStatus(Station& station);

// The unit text of lengths: "in", "cm", or "px" while not calibrated.
std::string LengthUnit(const Settings& settings);

// Writes the whole table as CSV; false, with the reason in *why, when the file
// could not be written or is one of the station's own files.
bool ExportResultsCsv(Station& station, const std::filesystem::path& path,
                      std::string* why = nullptr);

} // namespace orvane
