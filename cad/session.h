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

#include "cad/fit.h"
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
};

// The station's drawing comparison, made on first use.
CadSession& CadOf(Station& station);

// Reads the drawing at `path` in its own unit, or in `unit` ("mm", "in",
// ...) when given; a drawing without a unit needs one. Needs a calibrated
// station. `notes` receives what the user should know (kinds left out, the
// layers). A problem text when nothing was loaded (the previous drawing is
// kept then).
std::optional<std::string> LoadCadDrawing(Station& station, const std::filesystem::path& path,
                                          std::string_view unit, std::vector<std::string>* notes);

// Places the drawing on the picture (coarse placing, then the best fit):
// "fit residual R px, N of M points" in *line.
std::optional<std::string> FitCadDrawing(Station& station, std::string* line);

// Measures the deviations at the fitted placement against the profile
// tolerance (the zone +-tolerance/2, drawing units), enters the result
// (label CAD1, ...) and gives the report's lines: the overall one first,
// then one per entity.
std::optional<std::string> CompareCadDrawing(Station& station, double tolerance,
                                             std::vector<std::string>* lines);

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

// "+0.0123" / "-0.0045": a deviation with its sign, 4 decimals.
std::string SignedNumber(double value);

}  // namespace orvane
