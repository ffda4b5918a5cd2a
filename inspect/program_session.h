// The station's inspection program: the one open for teaching and running,
// its file in the working folder, the last run (for the overlay) and the
// recording of every run in the results table as one part.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "inspect/program.h"
#include "inspect/rest_watch.h"
#include "station/station.h"
#include "workspace/settings.h"

namespace orvane {

struct SnapCaliper;

struct ProgramSession {
  std::optional<Program> program; // open: being taught or run
  std::shared_ptr<const ProgramModel> model;
  bool unsaved = false;
  // The last run of the open program on the current picture, for the overlay.
  std::optional<ProgramRun> last_run;
  uint32_t last_part = 0; // the part number the last recorded run took
  // Whether the highest part number in the results table was read.
  bool part_numbers_read = false;
  // Every new picture (Grab, a dropped or opened file) runs the open program.
  bool auto_run = false;
  // Each gauge the operator measures with becomes a step of the open program.
  bool recording = false;
  // Why the last recorded gauge did not become a step (empty: it did).
  std::string record_problem;
  // The point step the last snapped click of a measurement set became
  // (empty: none), for the length to the next click of the set.
  std::string snap_chain;
  // In Live: the open program runs on every picture of the folder camera,
  // and once each time a part comes to rest (the picture still a moment).
  bool auto_folder = false;
  bool auto_rest = false;
  LiveWatch live;
};

// The station's program session, made on first use.
ProgramSession& ProgramOf(Station& station);

// How the station turns picture lengths into its unit at distance `depth`
// (inches): the calibration in force, or pixels while not calibrated.
LengthScale ScaleOf(const Settings& settings, double depth);

// The path of program `name` in `folder`.
std::filesystem::path ProgramPath(const std::filesystem::path& folder, const std::string& name);
// The programs in the working folder, by name, sorted.
std::vector<std::string> ProgramNames(const std::filesystem::path& folder);

// Reads program `name` from `folder`; nothing, with the reason in `why`
// ("line 7: ..." for a damaged file), when it cannot be read.
std::optional<Program> ReadProgramFile(const std::filesystem::path& folder, const std::string& name,
                                       std::string* why);

// Each returns false, with the reason in `why` and nothing changed, when it
// cannot do what it says.
// Opens a new empty program: with the taught part's model, or fixtured
// when no part is taught. A name whose file exists is refused (load it).
bool NewProgram(Station& station, const std::string& name, std::string* why);
// Writes the open program's file whole.
bool SaveProgram(Station& station, std::string* why);
// Opens the program of that name from the working folder.
bool LoadProgram(Station& station, const std::string& name, std::string* why);

// Adds a feature gauged from points in the current picture: the part is
// found, the feature gauged there (so that a step that measures nothing is
// never taught), and the points kept in the part's frame.
bool AddFeature(Station& station, StepKind kind, const std::string& label, const qgPoint (&points)[3],
                std::string* why);
// While recording: a gauge the operator just measured with (points in the
// station's image coordinates, a pixel's centre at i) becomes a step under
// the next free label of its kind; nothing while not recording.
void RecordGaugeStep(Station& station, StepKind kind, const double (&xs)[3], const double (&ys)[3]);
// While recording: a click of a measurement set that snapped to an edge
// (`snapped`; null: it found none) becomes a point step, the edge's caliper
// centred on the edge, and the length from the set's previous snapped point
// (none when `starts_set`) a distance between the two; nothing while not
// recording.
void RecordSnapStep(Station& station, const SnapCaliper* snapped, bool starts_set);

// Adds a step made whole elsewhere (a profile taught from the drawing placed
// on the part) under its label; a profile's drawing is read with it.
bool AddStep(Station& station, ProgramStep step, std::string* why);

// Adds a distance or an angle between two features of the program.
bool AddDimension(Station& station, StepKind kind, const std::string& label, const std::string& a,
                  const std::string& b, std::string* why);
// Sets the nominal and tolerance of the open program's dimension `label`;
// false when no program is open or it has no such dimension.
bool SetStepTolerance(Station& station, const std::string& label, const Tolerance& tolerance);
// Renames, deletes or moves (by -1 or +1) a step; a feature a dimension
// uses keeps its place in the dimension under its new name and cannot be
// deleted or moved below it.
bool RenameStep(Station& station, const std::string& label, const std::string& to, std::string* why);
bool DeleteStep(Station& station, const std::string& label, std::string* why);
bool MoveStep(Station& station, const std::string& label, int delta, std::string* why);

// Where the open program reads the part's identity: a rectangle of the
// current picture (its corner of least x and y, width and height, pixels)
// kept in the part's frame where the part is found; none: no region.
bool SetCodeRegion(Station& station, const std::optional<CodeRegion>& in_picture, std::string* why);
// Whether the open program passes no part without an identity.
bool SetIdentityRequired(Station& station, bool required, std::string* why);

// Runs the open program on the current picture (lengths at the
// calibration's distance, as orvane-inspect takes them) and records a found part
// in the results table. Nothing with the reason in `why` when no program is
// open or there is no picture; a run whose part is not found records nothing.
std::optional<ProgramRun> RunOpenProgram(Station& station, std::string* why);

// A new picture is in the frame (`loaded`), or a load failed: the last run
// is no longer drawn, and with automatic runs on the open program runs on
// it; what it gave is said as a notice ("program run: part 4 pass").
void PictureArrived(Station& station, bool loaded);
// Says what an automatic run gave (`run`, or why there is none) as
// PictureArrived does.
void SayAutomaticRun(Station& station, const std::optional<ProgramRun>& run, const std::string& why);

// Enters a run's dimensions into the results table as part number N (the
// next after the highest in the table), with pass or fail per dimension (the
// step's tolerance, set as its label's) and per part; returns N.
uint32_t RecordPart(Station& station, const Program& program, const ProgramRun& run);

// One row of the Program window's list of steps: what the step is, its
// nominal and tolerance, and what the last run gave (empty without one).
struct StepRow {
  std::string label;
  std::string kind;      // "circle", "distance" ...
  std::string nominal;   // empty: no tolerance, or a feature
  std::string tolerance; // "0.05" or "+0.02/-0.01"
  std::string value;     // "36.0021 px", "not measured"
  Verdict verdict = Verdict::None;
  bool dimension = false;
};
std::vector<StepRow> ProgramRows(Station& station);

// The window's edits: the nominal and the deviations as typed (both empty:
// no tolerance); a distance or angle between two features under the next
// free label. False with the reason in `why`.
bool SetStepToleranceText(Station& station, const std::string& label, const std::string& nominal,
                          const std::string& deviations, std::string* why);
bool AddDimensionOf(Station& station, StepKind kind, const std::string& a, const std::string& b,
                    std::string* why);

// A value in `unit` as a run prints it: a fixed number of decimals for the
// unit (4 for px, mm and deg, 5 for cm, 6 for in), "-" for none.
std::string ProgramNumber(double v, std::string_view unit);
// "pass", "fail" or "-".
std::string_view VerdictWord(Verdict v);

} // namespace orvane
