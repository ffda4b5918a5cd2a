// A program's profile step: the part's outline compared with its drawing.
// The drawing is read once with the program; each run places it where the
// found part puts it, fits it (rigidly, never a scale), and takes the
// deviation of largest size against the profile zone +-t/2.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <qgauge.h>

#include "cadfile/dxf_read.h"
#include "cadfit/fit.h"
#include "draw/overlay.h"
#include "inspect/part.h"

namespace orvane {

struct LengthScale;

// Where a profile step's drawing comes from, and where it lies on the part.
struct ProfileSource {
  // The file as the program names it: relative to the program's folder, or
  // absolute.
  std::string path;
  int32_t unit = 0;                // $INSUNITS code the drawing is read in
  std::vector<std::string> layers; // the layers taken, as the file spells them; none: every layer
  // The drawing's origin lies at the step's point in the part's frame,
  // turned by this much (degrees, clockwise on the screen) from the part.
  double angle_deg = 0.0;
  bool minmax = false; // fitted min-max instead of least squares
  bool operator==(const ProfileSource&) const = default;
};

// A profile step's drawing as read with the program.
struct ProfileDrawing {
  std::optional<cadfile::Drawing> drawing;
  std::string name;    // the file's name, for notes
  std::string problem; // why it could not be read
};

// Reads `source` (a relative path taken in `folder`); flattened curves lie
// within a hundredth of a pixel at `px_per_unit` (0: not known yet).
std::shared_ptr<const ProfileDrawing> ReadProfileDrawing(const ProfileSource& source,
                                                         const std::filesystem::path& folder, double px_per_unit);

// Pixels a drawing unit at `scale`; 0 when the scale is not a length (the
// station not calibrated).
double PixelsPerDrawingUnit(const LengthScale& scale, int32_t unit);

// What one run of a profile step gave.
struct ProfileRun {
  size_t step = 0;
  bool measured = false;
  std::string why;            // when not measured
  cad::Nominal nominal;       // at the run's scale
  cad::Placement placement;   // fitted
  double residual = 0.0;      // the fit's, px
  cad::Comparison comparison;
  double px_per_unit = 0.0;
  double half_px = 0.0;       // the zone's half width, px (0: no tolerance)
};

// Places the drawing at `pose` (its origin at `origin` in the part's frame),
// fits and compares; `half_zone` is t/2 in drawing units (0: none).
ProfileRun MeasureProfile(const qgImage& image, const ProfileDrawing& drawing, const ProfileSource& source,
                          qgPoint origin, const PartPose& pose, double px_per_unit, double half_zone);

// The run's figures for a results row: "max +A min -B rms C mm, N points,
// M without an edge, fit residual R px".
std::string ProfileNote(const ProfileRun& run, const std::string& unit);

// The nominal outline at `placement`, and with a comparison each point's
// deviation as a whisker along its normal (magnified so that the zone's edge
// lies 20 px out) coloured blue under, green within, red over the zone
// (`half_px`), and the worst point marked with its value.
void DrawDeviations(const OverlayCanvas& canvas, const cad::Nominal& nominal, const cad::Placement& placement,
                    const cad::Comparison* comparison, double half_px, double px_per_unit);

} // namespace orvane
