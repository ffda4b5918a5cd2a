// The drawing compare taught as a step of an inspection program: the
// drawing's place on the found part, its file and layers, its tolerance.
#include <cmath>

#include "cad/session.h"
#include "cad/session_util.h"
#include "inspect/program_session.h"
#include "results/units.h"

namespace orvane {
namespace {

constexpr double kDegrees = 57.295779513082323;

bool Refuse(std::string* why, std::string text) {
  *why = std::move(text);
  return false;
}

// The file as the program names it: relative to the working folder when it
// lies within it (the folder and its program move together), else absolute.
std::string StoredPath(const std::filesystem::path& file, const std::filesystem::path& folder) {
  std::error_code ec;
  const std::filesystem::path base = std::filesystem::absolute(folder, ec).lexically_normal();
  const std::filesystem::path relative = file.lexically_normal().lexically_relative(base);
  const bool inside = !ec && !relative.empty() && *relative.begin() != "..";
  return (inside ? relative : file.lexically_normal()).string();
}

} // namespace

bool AddProfileStep(Station& st, const std::string& label, double tolerance, bool minmax, std::string* why) {
  const CadSession& cad = CadOf(st);
  ProgramSession& session = ProgramOf(st);
  if (!session.program) return Refuse(why, "no program is open (program new NAME or program load NAME)");
  if (!cad.drawing) return Refuse(why, "no drawing: cad-load one first");
  if (!cad.placement) return Refuse(why, "the drawing is not placed: cad-fit first");
  if (!(tolerance > 0) || !std::isfinite(tolerance)) return Refuse(why, "the profile tolerance must be above 0");
  if (!cad_session::HavePicture(st)) return Refuse(why, "no picture");
  if (!session.model->problem().empty()) return Refuse(why, session.model->problem());
  const qgImage image = cad_session::PictureOf(st);
  const std::optional<PartPose> pose = LocatePart(*session.model, session.program->model.empty(), image);
  if (!pose) return Refuse(why, "the part is not found in the picture");
  const cad::Placement& pl = *cad.placement;
  ProgramStep step;
  step.kind = StepKind::Profile;
  step.label = label;
  PictureToPart(*pose, pl.px, pl.py, &step.points[0].x, &step.points[0].y);
  ProfileSource source;
  source.path = StoredPath(cad.path, st.folder());
  source.unit = cad.unit;
  source.layers = cad.layers;
  source.angle_deg = std::remainder(pl.angle * kDegrees - pose->angle_deg, 360.0);
  source.minmax = minmax;
  step.profile = source;
  step.tolerance = Tolerance(0.0, tolerance / 2, CanonicalUnit(cadfile::UnitName(cad.unit)));
  // Measured here once, so that a step that measures nothing is never taught.
  const auto drawing = ReadProfileDrawing(source, st.folder(), cad.px_per_unit);
  const ProfileRun trial =
      MeasureProfile(image, *drawing, source, step.points[0], *pose, cad.px_per_unit, tolerance / 2);
  if (!trial.measured) return Refuse(why, trial.why);
  return AddStep(st, std::move(step), why);
}

bool AddProfileOf(Station& st, std::string* why) {
  const CadSession& cad = CadOf(st);
  if (cad.drawing && cad.placement && !cad.comparison) {
    return Refuse(why, "compare the drawing first: its profile tolerance becomes the step's");
  }
  if (!st.program || !st.program->program) return AddProfileStep(st, "CAD1", cad.tolerance, false, why);
  return AddProfileStep(st, NextStepLabel(*st.program->program, StepKind::Profile), cad.tolerance, false, why);
}

} // namespace orvane
