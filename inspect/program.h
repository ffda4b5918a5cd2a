// Inspection programs: a taught part and an ordered list of steps placed in
// the part's frame, so that each step follows the part wherever it lies and
// however it turned. Features (an edge point, a straight edge, a circle, a
// width) are gauged where the found part puts them; dimensions are taken
// from features and judged against their nominal and tolerance.
//
// Plain data and arithmetic on a picture passed in: nothing of the station,
// so any number of pictures may run on as many threads. Coordinates are the
// gauge library's (a pixel's centre at i + 0.5).
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <qgauge.h>

#include "inspect/part.h"
#include "inspect/profile.h"
#include "station/image_state.h"
#include "results/part_code.h"
#include "results/table.h"

namespace orvane {

enum class StepKind : uint32_t {
  Point = 0,    // the edge a caliper along a segment finds
  Line = 1,     // a straight edge fitted through calipers along a segment
  Circle = 2,   // the circle gauge from three points near the rim; its diameter
  Width = 3,    // the edge pair across a segment
  Distance = 4, // between two features: centres and points, point to line, line to line
  Angle = 5,    // between two lines, 0 to 180 degrees
  Profile = 6,  // the outline against its drawing: the deviation of largest size
};

// "point", "line", "circle", "width", "distance", "angle", "profile".
std::string_view StepKindName(StepKind kind);
std::optional<StepKind> StepKindByName(std::string_view name);

// The most steps a program holds, and the longest label.
inline constexpr size_t kMaxProgramSteps = 999;
inline constexpr size_t kMaxStepLabelBytes = 32;

struct ProgramStep {
  StepKind kind = StepKind::Point;
  std::string label;
  // Points in the part's frame: a segment's two ends (point, line, width)
  // or three points near a rim (circle), or the drawing's origin (profile).
  qgPoint points[3] = {};
  // A dimension's features, by label.
  std::string a, b;
  std::optional<Tolerance> tolerance;
  // A profile's drawing (its tolerance is the zone +-t/2, nominal 0).
  std::optional<ProfileSource> profile;
  bool operator==(const ProgramStep& o) const;
};

// Where a part's identity is read from a code printed on it: a rectangle
// in the part's frame (its corner of least x and y, width and height, pixels),
// placed with the part wherever it lies.
struct CodeRegion {
  double x = 0.0, y = 0.0, width = 0.0, height = 0.0;
  bool operator==(const CodeRegion&) const = default;
};

struct Program {
  std::string name;
  // The part model as qgPartModelSave wrote it; empty: a fixtured part,
  // steps at fixed picture positions.
  std::vector<uint8_t> model;
  std::vector<ProgramStep> steps;
  std::optional<CodeRegion> code_region;
  // A part without an identity (none typed, none read) is not passed.
  bool identity_required = false;
  bool operator==(const Program&) const = default;
};

// Whether a step yields a value of its own (circle, width, distance, angle,
// profile).
bool IsDimension(StepKind kind);
// How many points a feature is taught with: 1 .. 3 (a profile: its
// drawing's origin); 0 for dimensions between two features.
uint32_t PointsOf(StepKind kind);

// A label a step may take: 1 to kMaxStepLabelBytes printable bytes, no
// blank, quote, '#' or backslash (a word of the program file and of a
// script).
bool IsStepLabel(std::string_view label);
// The step of that label, or null.
const ProgramStep* FindStep(const Program& program, std::string_view label);
// Why a dimension between features `a` and `b` cannot be taken (distance:
// points, circles and lines; angle: two lines); empty when it can.
std::string DimensionProblem(const Program& program, StepKind kind, std::string_view a,
                             std::string_view b);
// The next free label of a kind's prefix ("D3", "W1", "L2", "A1", "E1", "P1").
std::string NextStepLabel(const Program& program, StepKind kind);

// How picture lengths become the unit of the results: units per pixel and
// the unit's name ("px", "in", "cm").
struct LengthScale {
  double per_pixel = 1.0;
  std::string unit = "px";
};

// What one feature gave in the picture (gauge library coordinates).
struct FeatureResult {
  bool ok = false;
  StepKind kind = StepKind::Point;
  // Point: the edge; circle: the centre; line: a point on it (the middle of
  // its segment); width: the middle of its two edges.
  double x = 0.0, y = 0.0;
  double ux = 0.0, uy = 0.0; // point: along its caliper only (ux, uy as a vector's parts)
  // Line: unit direction along the taught segment, offset and angle
  // uncertainties (px, radians); width: direction across the bar.
  double dx = 1.0, dy = 0.0;
  double u_offset = 0.0, u_angle = 0.0;
  double radius = 0.0, u_radius = 0.0; // circle
  double width = 0.0, u_width = 0.0;   // width
  // Where to draw it: a segment's ends (line, width, point's caliper).
  double x0 = 0.0, y0 = 0.0, x1 = 0.0, y1 = 0.0;
};

struct DimensionResult {
  size_t step = 0; // index in the program
  std::string label;
  std::string_view kind; // the results table's kind (kKindDiameter ...)
  bool measured = false;
  double value = kUnknown; // in `unit`
  double u = kUnknown;
  std::string unit;
  std::optional<Tolerance> tolerance;
  Verdict verdict = Verdict::None;
  std::string note; // a profile's figures, or why it was not measured
};

struct ProgramRun {
  bool found = false;  // the part was found (always, for a fixtured program)
  bool fixtured = false;
  PartPose pose;
  std::vector<FeatureResult> features; // one per step, by index
  std::vector<DimensionResult> dimensions;
  bool pass = false;   // found, every dimension measured, none failed
  std::string problem; // why the model could not be used (damaged bytes)
  // With a code region: the code read there, or nothing when none was.
  std::optional<PartCode> code;
  // The part's identity the run was judged with (empty: none), and why the
  // part was not passed for want of one (empty: it was not held back).
  std::string identity;
  std::string identity_problem;
  std::vector<ProfileRun> profiles; // one a profile step, in step order
};

// The parsed model of a program, loaded once and shared by every run.
class ProgramModel {
 public:
  // The model of `program`; null without one, or with `problem` set when
  // its bytes are refused. Profile steps read their drawings, a relative
  // path in `folder`, flattened finely enough for `scale`.
  explicit ProgramModel(const Program& program, const std::filesystem::path& folder = {},
                        const LengthScale& scale = {});
  const qgPartModel* get() const { return model_.get(); }
  const std::string& problem() const { return problem_; }
  // The drawing read for `source` (its file, unit and layers; each is read
  // once however many steps use it), null when the model has none: found by
  // what it is, so that steps renamed, moved or deleted keep their drawings.
  const ProfileDrawing* profile(const ProfileSource& source) const;
  // "CAD1: cannot read plate.dxf: ..." for the first profile step of
  // `program` whose drawing could not be read; empty when all were.
  std::string ProfileProblem(const Program& program) const;

 private:
  PartModelPtr model_;
  std::string problem_;
  std::vector<std::pair<ProfileSource, std::shared_ptr<const ProfileDrawing>>> profiles_;
};

// Finds the part (a fixtured program places its steps as taught), gauges
// every feature where the pose puts it, takes every dimension in the scale's
// unit (angles in degrees) and judges it. Not found: `found` false and
// nothing measured.
ProgramRun RunProgram(const Program& program, const ProgramModel& model, const qgImage& image,
                      const LengthScale& scale);

// The pose of the part in `image` (the best instance), or the identity for
// a fixtured program; nothing when the part is not there.
std::optional<PartPose> LocatePart(const ProgramModel& model, bool fixtured, const qgImage& image);

// A feature gauged from points given in picture coordinates (teaching and
// the run share it).
FeatureResult GaugeFeature(const qgImage& image, StepKind kind, const qgPoint (&points)[3]);

// The box around a rectangle's corners taken from the part's frame into the
// picture at `pose` (or back).
CodeRegion PosedBox(const CodeRegion& rect, const PartPose& pose, bool to_picture);
// The picture's box around a code region placed at `pose` (turned with the
// part; the reader takes a code at any angle within it).
PixelRegion PlacedCodeRegion(const CodeRegion& region, const PartPose& pose);

// The part's identity for a run: the code read in the program's region when
// it has one (a region without a readable code gives none, never `typed`),
// else `typed`. A program that requires one and gets none does not pass the
// part, and `identity_problem` says why.
void JudgeIdentity(const Program& program, std::string_view typed, ProgramRun* run);

} // namespace orvane
