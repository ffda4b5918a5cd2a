// Placing the drawing on the station's picture: the coarse pose (by hand,
// through the taught part, or by the material's moments), the fit the user
// chose (least squares, min-max, fixed on a datum), and the hand's moves.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>
#include <string_view>

#include "cad/session.h"
#include "cad/session_util.h"
#include "cadfile/path.h"
#include "inspect/part.h"

namespace orvane {

using cad_session::Fixed;
using cad_session::HavePicture;
using cad_session::PictureOf;

namespace {

constexpr double kDegrees = 57.295779513082323;
// A fit is remembered against the taught part when at least this share of
// the edges it measured held and its residual stays below kGoodResidualPx.
constexpr double kGoodShare = 0.5;
constexpr double kGoodResidualPx = 0.5;
// A drawing moved by hand keeps its centre within this many picture sides
// of the picture's centre.
constexpr double kFarthestPictures = 10.0;

bool IsHole(const cadfile::Entity& e) {
  const size_t n = cadfile::PieceCount(e);
  if (!e.closed || n == 0) return false;
  const cadfile::Piece first = cadfile::PieceAt(e, 0);
  for (size_t k = 0; k < n; ++k) {
    const cadfile::Piece p = cadfile::PieceAt(e, k);
    if (!p.arc() || std::hypot(p.cx - first.cx, p.cy - first.cy) > 1e-9 * (1 + first.r)) return false;
  }
  return true;
}

// A straight edge: a piece named, or an entity of one straight piece.
bool IsEdge(const cadfile::Entity& e, int32_t piece) {
  const size_t n = cadfile::PieceCount(e);
  if (piece < 0) return n == 1 && !cadfile::PieceAt(e, 0).arc();
  return static_cast<size_t>(piece) < n && !cadfile::PieceAt(e, static_cast<size_t>(piece)).arc();
}

std::string RefName(const cad::DatumRef& r) {
  return std::to_string(r.entity + 1) + (r.piece >= 0 ? "." + std::to_string(r.piece + 1) : "");
}

// A datum that holds the pose as the user meant: two holes, or one edge.
std::optional<std::string> CheckDatum(const cadfile::Drawing& d, const std::vector<cad::DatumRef>& datum) {
  const char* usage = ": name two holes (ENTITY ENTITY) or one straight edge (ENTITY or ENTITY.PIECE)";
  if (datum.empty() || datum.size() > 2) return std::string("the datum") + usage;
  for (const cad::DatumRef& r : datum) {
    if (r.entity >= d.entities.size()) {
      return "the drawing has no entity " + std::to_string(r.entity + 1) + " (it has " +
             std::to_string(d.entities.size()) + ")";
    }
    const cadfile::Entity& e = d.entities[r.entity];
    if (r.piece >= 0 && static_cast<size_t>(r.piece) >= cadfile::PieceCount(e)) {
      const size_t pieces = cadfile::PieceCount(e);
      return "entity " + std::to_string(r.entity + 1) + " has " + std::to_string(pieces) +
             (pieces == 1 ? " piece" : " pieces") + ", not " + std::to_string(r.piece + 1);
    }
    const bool fits = datum.size() == 2 ? r.piece < 0 && IsHole(e) : IsEdge(e, r.piece);
    if (!fits) {
      return "datum " + RefName(r) + " is " + e.kind + (datum.size() == 2 ? ", not a hole" : ", not a straight edge") +
             usage;
    }
  }
  if (datum.size() == 2) {
    const cadfile::Piece a = cadfile::PieceAt(d.entities[datum[0].entity], 0);
    const cadfile::Piece b = cadfile::PieceAt(d.entities[datum[1].entity], 0);
    if (std::hypot(a.cx - b.cx, a.cy - b.cy) <= 1e-9 * (1 + a.r + b.r)) return "the two holes share their centre";
  }
  return std::nullopt;
}

uint64_t ModelKey(Station& st) {
  const std::vector<uint8_t> bytes = PartOf(st).ModelBytes();
  return std::hash<std::string_view>{}(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

// The coarse pose through the taught part, when it is found and a fit on
// that model was remembered; *pose gets the part's pose whenever found.
std::optional<cad::Placement> PartPlacement(Station& st, const CadSession& cad, std::optional<PartPose>* pose) {
  if (PartOf(st).model() == nullptr) return std::nullopt;
  const std::vector<PartPose> found = PartOf(st).Find(false);
  if (found.empty()) return std::nullopt;
  *pose = found[0];
  if (!cad.on_part || cad.on_part_model != ModelKey(st)) return std::nullopt;
  cad::Placement pl = *cad.on_part;
  PartToPicture(found[0], cad.on_part->px, cad.on_part->py, &pl.px, &pl.py);
  pl.angle = cad.on_part->angle + found[0].angle_deg / kDegrees;
  return pl;
}

void RememberOnPart(Station& st, CadSession& cad, const PartPose& pose, const cad::FitResult& fit) {
  if (cad.on_part && cad.on_part_model == ModelKey(st)) return;
  if (fit.residual > kGoodResidualPx || static_cast<double>(fit.used) < kGoodShare * static_cast<double>(fit.measured)) {
    return;
  }
  cad::Placement rel = fit.placement;
  PictureToPart(pose, fit.placement.px, fit.placement.py, &rel.px, &rel.py);
  rel.angle = fit.placement.angle - pose.angle_deg / kDegrees;
  cad.on_part = rel;
  cad.on_part_model = ModelKey(st);
}

// The fit from `start`, sides of open outlines resolved there first.
cad::FitResult FitFrom(Station& st, CadSession& cad, const cad::Placement& start, const cad::FitSettings& f) {
  const qgImage image = PictureOf(st);
  cad::ResolveSides(image, start, cad.nominal, cad.measure);
  return cad::FitPlacement(image, cad.nominal, start, cad.measure, f);
}

std::string FitLine(const cad::FitResult& fit, const char* from, bool minmax) {
  std::string line = "fit residual " + Fixed(fit.residual, 4) + " px, " + std::to_string(fit.used) + " of " +
                     std::to_string(fit.measured) + " points, origin at " + Fixed(fit.placement.px, 3) + " " +
                     Fixed(fit.placement.py, 3) + " px, turned " + Fixed(fit.placement.angle * kDegrees, 4) + " deg";
  if (minmax) line += ", largest " + Fixed(fit.largest, 4) + " px";
  if (from) line += std::string(", ") + from;
  return line;
}

}  // namespace

void CadCentre(const CadSession& cad, double* x, double* y) {
  *x = cad.nominal.moments.cx;
  *y = cad.nominal.moments.cy;
  if (cad.nominal.moments.area > 0 || cad.nominal.points.empty()) return;
  *x = *y = 0;
  for (const cad::NominalPoint& q : cad.nominal.points) *x += q.x, *y += q.y;
  *x /= static_cast<double>(cad.nominal.points.size());
  *y /= static_cast<double>(cad.nominal.points.size());
}

bool ParseDatumRef(std::string_view text, cad::DatumRef* ref) {
  const size_t dot = text.find('.');
  auto number = [](std::string_view t, uint32_t* out) {
    const auto r = std::from_chars(t.data(), t.data() + t.size(), *out);
    return !t.empty() && r.ec == std::errc() && r.ptr == t.data() + t.size() && *out >= 1 && *out <= 100000000;
  };
  uint32_t entity = 0, piece = 0;
  if (!number(text.substr(0, dot), &entity)) return false;
  if (dot != std::string_view::npos && !number(text.substr(dot + 1), &piece)) return false;
  ref->entity = entity - 1;
  ref->piece = dot == std::string_view::npos ? -1 : static_cast<int32_t>(piece - 1);
  return true;
}

std::optional<std::string> FitCadDrawing(Station& st, std::string* line, const CadFitChoice& choice) {
  CadSession& cad = CadOf(st);
  if (!cad.drawing) return "no drawing: cad-load one first";
  if (!HavePicture(st)) return "no picture to fit the drawing to";
  if (!choice.datum.empty()) {
    if (auto problem = CheckDatum(*cad.drawing, choice.datum)) return problem;
  }
  cad::FitSettings f = cad.fit_settings;
  f.minmax = choice.minmax;
  f.datum = choice.datum;
  std::optional<PartPose> pose;
  const char* from = nullptr;
  cad::FitResult fit;
  if (cad.hand_placed && cad.placement) {
    from = "from the hand's placing";
    fit = FitFrom(st, cad, *cad.placement, f);
  } else if (std::optional<cad::Placement> start = PartPlacement(st, cad, &pose)) {
    from = "coarse pose from the taught part";
    fit = FitFrom(st, cad, *start, f);
  }
  if (!from || (!fit.ok && !cad.hand_placed)) {
    from = nullptr;
    cad::FitResult coarse = cad::CoarsePlace(PictureOf(st), cad.nominal, cad.px_per_unit, cad.measure);
    if (!coarse.ok) return coarse.why;
    fit = FitFrom(st, cad, coarse.placement, f);
  }
  if (!fit.ok) return fit.why;
  cad.placement = fit.placement;
  cad.residual = fit.residual;
  cad.comparison.reset();
  cad.hand_placed = false;
  if (pose) RememberOnPart(st, cad, *pose, fit);
  if (line) *line = FitLine(fit, from, choice.minmax);
  return std::nullopt;
}

std::optional<std::string> MoveCadDrawing(Station& st, double dx, double dy, double angle_deg, std::string* line) {
  CadSession& cad = CadOf(st);
  if (!cad.drawing) return "no drawing: cad-load one first";
  if (!HavePicture(st)) return "no picture to place the drawing on";
  if (!std::isfinite(dx) || !std::isfinite(dy) || !std::isfinite(angle_deg)) return "the move must be finite";
  double cx, cy;
  CadCentre(cad, &cx, &cy);
  cad::Placement pl;
  if (cad.placement) {
    pl = *cad.placement;
  } else {
    pl.scale = cad.px_per_unit;
    pl.ToImage(cx, cy, &pl.px, &pl.py);
    pl.px = st.image.width / 2.0 - pl.px;
    pl.py = st.image.height / 2.0 - pl.py;
  }
  double before_x, before_y, after_x, after_y;
  pl.ToImage(cx, cy, &before_x, &before_y);
  pl.angle = std::remainder(pl.angle + std::remainder(angle_deg, 360.0) / kDegrees, 2 * 3.14159265358979323846);
  pl.ToImage(cx, cy, &after_x, &after_y);
  // The centre stays within a few pictures of this one: farther, nothing
  // could be measured, and huge numbers would lose the place altogether.
  const double reach = kFarthestPictures * std::max(st.image.width, st.image.height);
  if (!(std::fabs(before_x + dx - st.image.width / 2.0) <= reach &&
        std::fabs(before_y + dy - st.image.height / 2.0) <= reach)) {
    return "the move takes the drawing too far off the picture";
  }
  pl.px += before_x - after_x + dx;
  pl.py += before_y - after_y + dy;
  cad.placement = pl;
  cad.comparison.reset();
  cad.hand_placed = true;
  if (line) {
    *line = "drawing at " + Fixed(pl.px, 3) + " " + Fixed(pl.py, 3) + " px, turned " + Fixed(pl.angle * kDegrees, 4) +
            " deg";
  }
  return std::nullopt;
}

}  // namespace orvane
