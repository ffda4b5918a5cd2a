#include "cad/session.h"
#include "cad/session_util.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cctype>
#include <cstring>
#include <set>

#include "inspect/part.h"
#include "results/session.h"
#include "results/units.h"
#include "workspace/files.h"

namespace orvane {

namespace cad_session {

qgImage PictureOf(const Station& st) {
  return {st.image.frame, static_cast<int32_t>(st.image.width), static_cast<int32_t>(st.image.height),
          static_cast<int32_t>(st.image.stride), static_cast<int32_t>(st.image.bytes_per_pixel)};
}

bool HavePicture(const Station& st) {
  return st.image.frame != nullptr && st.image.width > 0 && st.image.height > 0 &&
         (st.image.bytes_per_pixel == 3 || st.image.bytes_per_pixel == 4 || st.image.bytes_per_pixel == 1);
}

}  // namespace cad_session

using cad::Fixed;
using cad::FiguresText;
using cad::Passes;
using cad_session::HavePicture;
using cad_session::PictureOf;

namespace {

constexpr double kMillimetresPerInch = 25.4;

// The $INSUNITS code to read the drawing in, or a problem.
std::optional<std::string> ChooseUnit(const cadfile::Drawing& d, std::string_view given, int32_t* code) {
  if (!given.empty()) {
    *code = cadfile::UnitCode(given);
    if (*code == 0) return "unknown unit \"" + std::string(given) + "\" (mm, cm, m, in, ft, um, mil, dm)";
    return std::nullopt;
  }
  *code = d.insunits;
  if (cadfile::MillimetresPerUnit(*code) <= 0) {
    return "the drawing names no unit ($INSUNITS " + std::to_string(d.insunits) +
           "): give one, such as mm or in";
  }
  return std::nullopt;
}

std::string LayersText(const cadfile::Drawing& d) {
  std::string text;
  for (const auto& [layer, count] : d.layers) {
    text += (text.empty() ? "layers: " : ", ") + layer + " (" + std::to_string(count) + ")";
  }
  return text;
}

// The chosen layers as the file spells them (DXF layer names match in any
// case), or a problem naming the layers the file has.
std::optional<std::string> ChooseLayers(const cadfile::Drawing& d, const std::string& file,
                                        const std::vector<std::string>& wanted, std::set<std::string>* chosen) {
  for (const std::string& name : wanted) {
    auto same = [&name](const auto& layer) {
      return std::equal(name.begin(), name.end(), layer.first.begin(), layer.first.end(),
                        [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) ==
                                                    std::tolower(static_cast<unsigned char>(b)); });
    };
    const auto it = std::find_if(d.layers.begin(), d.layers.end(), same);
    if (it == d.layers.end()) {
      return "no layer \"" + name + "\" in " + file + "; " +
             (d.layers.empty() ? std::string("it has no curves on any layer") : "its " + LayersText(d));
    }
    chosen->insert(it->first);
  }
  return std::nullopt;
}

}  // namespace

CadSession& CadOf(Station& st) {
  if (!st.cad) st.cad = std::make_shared<CadSession>();
  return *st.cad;
}

std::optional<std::string> LoadCadDrawing(Station& st, const std::filesystem::path& path, std::string_view unit,
                                          std::vector<std::string>* notes, const std::vector<std::string>& layers) {
  if (st.settings.calibrated == 0 || !(st.settings.scale_x > 0)) {
    return "the station is not calibrated: calibrate it, so that the drawing can be placed in the picture";
  }
  cadfile::ReadOptions options;
  std::string error;
  std::optional<cadfile::Drawing> d = cadfile::ReadDxfFile(path.string(), options, &error);
  if (!d) return "cannot read " + path.filename().string() + ": " + error;
  int32_t code = 0;
  if (auto problem = ChooseUnit(*d, unit, &code)) return problem;
  if (auto problem = ChooseLayers(*d, path.filename().string(), layers, &options.layers)) return problem;
  const double px_per_unit = st.settings.scale_x * cadfile::MillimetresPerUnit(code) / kMillimetresPerInch;
  if (!(px_per_unit > 0) || !std::isfinite(px_per_unit)) return "the calibration gives no scale for the drawing";
  // Curves flattened finer than the picture shows, once the scale is known;
  // read again for the layers chosen.
  if (cad::kFlatnessPx / px_per_unit < options.flatness || !options.layers.empty()) {
    options.flatness = std::max(cad::kFlatnessPx / px_per_unit, 1e-9);
    d = cadfile::ReadDxfFile(path.string(), options, &error);
    if (!d) return "cannot read " + path.filename().string() + ": " + error;
  }
  cad::Nominal nominal = cad::NominalAtScale(*d, px_per_unit);
  if (nominal.points.empty()) {
    return d->entities.empty() ? "the drawing holds no line, arc or curve to compare"
                               : "the drawing's outline is too long for the picture's scale";
  }
  CadSession& cad = CadOf(st);
  cad.name = path.filename().string();
  cad.path = std::filesystem::absolute(path);
  cad.layers.assign(options.layers.begin(), options.layers.end());
  cad.unit = code;
  cad.px_per_unit = px_per_unit;
  cad.nominal = std::move(nominal);
  cad.drawing = std::move(d);
  cad.placement.reset();
  cad.comparison.reset();
  cad.hand_placed = false;
  // The drawing's place on the taught part holds for the same drawing read
  // the same way (the window reads it again at every comparison).
  std::string source = cad.name + '\n' + std::to_string(code);
  for (const std::string& layer : options.layers) source += '\n' + layer;
  if (source != cad.source) cad.on_part.reset();
  cad.source = std::move(source);
  if (notes) {
    notes->push_back("drawing " + cad.name + ": " + std::to_string(cad.drawing->entities.size()) + " entities, " +
                     std::to_string(cad.nominal.points.size()) + " points, " + Fixed(px_per_unit, 4) +
                     " px per " + cadfile::UnitName(code));
    if (std::string left = cadfile::LeftOutText(*cad.drawing); !left.empty()) notes->push_back(left);
    notes->push_back(LayersText(*cad.drawing));
  }
  return std::nullopt;
}

namespace {

// The result row of a comparison: the deviation of largest size, against
// the zone +-t/2 as the label's tolerance.
void EnterResult(Station& st, const CadSession& cad, const cad::Comparison& c) {
  const double unit_px = cad.px_per_unit;
  const std::string unit = CanonicalUnit(cadfile::UnitName(cad.unit));
  ResultRow row;
  row.kind = kKindCad;
  // Points without an edge leave the profile unknown there: no value, so
  // that the table (which judges the value) does not pass what failed.
  row.value = c.all.worst >= 0 && c.all.missing == 0 ? c.points[static_cast<size_t>(c.all.worst)].deviation / unit_px
                                                     : kUnknown;
  row.unit = unit;
  row.note = FiguresText(c.all, unit_px) + " " + unit + ", " + std::to_string(c.all.points) + " points, " +
             std::to_string(c.all.missing) + " without an edge, " + std::to_string(c.all.corners) +
             " at corners, fit residual " + Fixed(cad.residual, 4) + " px, tolerance " + Fixed(cad.tolerance, 4) +
             ", file " + cad.name;
  const ResultRow stored = AddResult(st, std::move(row));
  if (stored.number == 0) return;
  ResultsTable& table = ResultsOf(st).table;
  if (!table.ToleranceOf(stored.label)) {
    table.SetTolerance(stored.label, Tolerance(0.0, cad.tolerance / 2, unit));
    SaveResults(st);
  }
}

}  // namespace

std::optional<std::string> CompareCadDrawing(Station& st, double tolerance, std::vector<std::string>* lines) {
  CadSession& cad = CadOf(st);
  if (!cad.drawing) return "no drawing: cad-load one first";
  if (!cad.placement) return "the drawing is not placed: cad-fit first";
  if (!(tolerance > 0) || !std::isfinite(tolerance)) return "the profile tolerance must be above 0";
  if (!HavePicture(st)) return "no picture to compare with";
  cad.tolerance = tolerance;
  cad.comparison = cad::Compare(PictureOf(st), cad.nominal, *cad.placement, cad.measure);
  cad.compared_picture = PictureFingerprint(st.image);
  const cad::Comparison& c = *cad.comparison;
  const double half = tolerance / 2 * cad.px_per_unit;
  if (lines) {
    lines->push_back("cad " + FiguresText(c.all, cad.px_per_unit) + (Passes(c.all, half) ? " pass" : " fail"));
    for (size_t e = 0; e < c.entities.size(); ++e) {
      const cad::Deviation& d = c.entities[e];
      const cadfile::Entity& ent = cad.drawing->entities[e];
      std::string line = "entity " + std::to_string(e + 1) + " " + ent.kind + " " + ent.layer;
      if (d.points == 0) {
        line += " no points measured";
      } else {
        line += " " + FiguresText(d, cad.px_per_unit) + (Passes(d, half) ? " pass" : " fail");
      }
      lines->push_back(line + ", " + std::to_string(d.points) + " points, " + std::to_string(d.missing) +
                       " without an edge, " + std::to_string(d.corners) + " at corners");
    }
    if (c.all.worst >= 0) {
      const cad::NominalPoint& q = cad.nominal.points[static_cast<size_t>(c.all.worst)];
      lines->push_back("worst " + SignedNumber(c.points[static_cast<size_t>(c.all.worst)].deviation / cad.px_per_unit) +
                       " at " + Fixed(q.x, 4) + " " + Fixed(q.y, 4) + " entity " + std::to_string(q.entity + 1));
    }
  }
  EnterResult(st, cad, c);
  return std::nullopt;
}

std::string CadReportText(const CadSession& cad) {
  std::string text = "x,y,deviation,entity,corner\n";
  if (!cad.comparison) return text;
  for (size_t i = 0; i < cad.nominal.points.size(); ++i) {
    const cad::NominalPoint& q = cad.nominal.points[i];
    const cad::Measured& m = cad.comparison->points[i];
    text += Fixed(q.x, 6) + "," + Fixed(q.y, 6) + "," + (m.found ? Fixed(m.deviation / cad.px_per_unit, 6) : "") +
            "," + std::to_string(q.entity + 1) + "," + (q.corner ? "1" : "0") + "\n";
  }
  return text;
}

std::optional<std::string> WriteCadReport(Station& st, const std::filesystem::path& path) {
  const CadSession& cad = CadOf(st);
  if (!cad.comparison) return "nothing compared yet: cad-compare first";
  const std::string text = CadReportText(cad);
  if (text.size() > UINT32_MAX) return "the report is too large";
  int error = 0;
  if (WriteWholeFile(path, text.data(), static_cast<uint32_t>(text.size()), &error) != text.size()) {
    return "cannot write " + path.filename().string() + ": " + (error ? std::strerror(error) : "not a regular file");
  }
  return std::nullopt;
}

}  // namespace orvane
