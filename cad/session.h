// Comparing the part in the picture with its drawing, on the station: the
// drawing loaded and placed through the calibration in force, fitted to the
// picture, compared against a profile tolerance, entered in the results
// table, written point by point to a CSV file, and drawn over the picture.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cadfit/fit.h"
#include "cadfile/dxf_read.h"
#include "station/station.h"

namespace orvane {

struct CadSession {
  std::optional<cadfile::Drawing> drawing;
  std::string name;        // the file's name, for notes
  int32_t unit = 0;        // $INSUNITS code the drawing is read in
  double px_per_unit = 0;  // through the calibration, when loaded
  cad::Nominal nominal;
  cad::MeasureSettings measure;
  cad::FitSettings fit_settings;
  std::optional<cad::Placement> placement;  // after cad-fit (or a drag)
  double residual = 0;                       // the fit's, px
  std::optional<cad::Comparison> comparison;
  double tolerance = 0;  // the profile tolerance of the comparison, drawing units
  // The picture the comparison measured (PictureFingerprint): over another
  // picture only the drawing is drawn, not the deviations.
  uint64_t compared_picture = 0;
  // Placed by hand (cad-move): the next fit starts where the user put it.
  bool hand_placed = false;
  // A drag of the drawing by hand in the window, and where it was last.
  enum class Drag { None, Move, Turn } drag = Drag::None;
  double drag_x = 0, drag_y = 0;
  // The file's name, unit and layers chosen, as loaded.
  std::string source;
  // The file as loaded (absolute) and its layers chosen as the file spells
  // them (none: every layer), for a program's profile step.
  std::filesystem::path path;
  std::vector<std::string> layers;
  // The drawing's placement in the taught part's frame (origin and turn),
  // from the first good fit with the part found; and which model it was.
  // Kept while the same drawing is loaded again the same way.
  std::optional<cad::Placement> on_part;
  uint64_t on_part_model = 0;
};

// How cad-fit fits: least squares (robust), min-max, or fixed on a datum
// (two holes, or one straight edge; entities and pieces from 0).
struct CadFitChoice {
  bool minmax = false;
  std::vector<cad::DatumRef> datum;
};

// A datum as the user names it: "9" for entity 9, "1.3" for the third
// piece of entity 1's path (both counted from 1, entities as cad-compare
// lists them). False for anything else.
bool ParseDatumRef(std::string_view text, cad::DatumRef* ref);

// The station's drawing comparison, made on first use.
CadSession& CadOf(Station& station);

// Reads the drawing at `path` in its own unit, or in `unit` ("mm", "in",
// ...) when given; a drawing without a unit needs one. Needs a calibrated
// station. `notes` receives what the user should know (kinds left out, the
// layers). A problem text when nothing was loaded (the previous drawing is
// kept then).
// `layers`, when not empty, chooses the layers whose curves are taken
// (named as the file names them, in any case); a name the file lacks is
// refused with the file's layers.
std::optional<std::string> LoadCadDrawing(Station& station, const std::filesystem::path& path,
                                          std::string_view unit, std::vector<std::string>* notes,
                                          const std::vector<std::string>& layers = {});

// Places the drawing on the picture (coarse placing, then the best fit):
// "fit residual R px, N of M points" in *line. The coarse pose: where the
// user placed it by hand when so, else through the taught part when it is
// found and a fit on it was remembered, else the material's moments.
std::optional<std::string> FitCadDrawing(Station& station, std::string* line, const CadFitChoice& choice = {});

// The drawing's centre (drawing units): its material's, or its points' when
// it has no closed outline. What a turn by hand turns about.
void CadCentre(const CadSession& cad, double* x, double* y);

// Moves the drawing by (dx, dy) picture pixels and turns it by `angle_deg`
// (clockwise on the screen) about its centre; a drawing not yet placed is
// first put at the picture's centre unturned. The comparison is dropped and
// the next fit starts there. "drawing at X Y px, turned A deg" in *line.
std::optional<std::string> MoveCadDrawing(Station& station, double dx, double dy, double angle_deg,
                                          std::string* line);

// Measures the deviations at the fitted placement against the profile
// tolerance (the zone +-tolerance/2, drawing units), enters the result
// (label CAD1, ...) and gives the report's lines: the overall one first,
// then one per entity.
std::optional<std::string> CompareCadDrawing(Station& station, double tolerance,
                                             std::vector<std::string>* lines);

// Teaches the drawing where it is placed on the current picture as profile
// step `label` of the open program: its place kept in the found part's
// frame, judged against the profile tolerance (drawing units, the zone
// +-tolerance/2), fitted min-max at each run when `minmax`. Refused, with
// the reason, when the step would measure nothing here.
bool AddProfileStep(Station& station, const std::string& label, double tolerance, bool minmax, std::string* why);

// The window's button: the drawing as last compared becomes a profile step
// under the next free label (CAD1, ...) with the comparison's tolerance.
bool AddProfileOf(Station& station, std::string* why);

// Every nominal point of the last comparison as CSV: x, y (drawing units),
// deviation (drawing units, empty where no edge was found), entity (1 ...),
// corner (1 for points set apart).
std::optional<std::string> WriteCadReport(Station& station, const std::filesystem::path& path);
std::string CadReportText(const CadSession& session);

// The drawing in its fitted pose over the overlay: the nominal outline, the
// deviation band (blue under, green within, red over the zone) with
// whiskers magnified so that the zone's edge lies 20 px out, the worst point
// marked with its value.
void DrawCadOverlay(Station& station);

using cad::SignedNumber;

}  // namespace orvane
