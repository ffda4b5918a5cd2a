#include "ui/grid_calibration_dialog.h"

#include "acquisition/rectification.h"
#include "ui/dialogs.h"

namespace orvane {
namespace {

using D = DialogControlId;

constexpr const char* kNoViewYet = "Lay the grid on the table and press Grab.";

bool WholeNumber(const std::string& text, uint32_t* out) {
  if (text.empty() || text.size() > 6) return false;
  uint32_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + uint32_t(c - '0');
  }
  *out = v;
  return true;
}

} // namespace

GridCalibrationDialog::GridCalibrationDialog(Station& st) : DialogModel("Grid Calibration"), station_(st) {
  Add({0, DialogControlKind::Static, "Grid type"});
  Add({Raw(D::GridType), DialogControlKind::ComboBox, "", {"Dots", "Chessboard"}, 0});
  Add({0, DialogControlKind::Static, "Rows"});
  Add({Raw(D::GridRows), DialogControlKind::Edit, "9"});
  Add({0, DialogControlKind::Static, "Columns"});
  Add({Raw(D::GridCols), DialogControlKind::Edit, "15"});
  Add({0, DialogControlKind::Static, "Pitch"});
  Add({Raw(D::GridPitch), DialogControlKind::Edit, "1"});
  Add({Raw(D::GridGrab), DialogControlKind::Button, "&Grab"});
  Add({Raw(D::GridFigures), DialogControlKind::Static, kNoViewYet});
  Add({Raw(D::Ok), DialogControlKind::Button, "&Accept", {}, -1, false});
  Add({Raw(D::Cancel), DialogControlKind::Button, "&Discard"});
}

std::optional<rectify::GridSpec> GridCalibrationDialog::Spec() {
  rectify::GridSpec spec;
  spec.kind = Find(D::GridType)->selection == 1 ? rectify::GridKind::Chessboard : rectify::GridKind::Dots;
  if (!WholeNumber(Find(D::GridRows)->text, &spec.rows) || !WholeNumber(Find(D::GridCols)->text, &spec.cols)) {
    return std::nullopt;
  }
  spec.pitch = ParseDialogNumber(Find(D::GridPitch)->text);
  if (rectify::CheckGridSpec(spec)) return std::nullopt;
  return spec;
}

void GridCalibrationDialog::Show(const std::string& text) { Find(D::GridFigures)->text = text; }

std::optional<DialogResult> GridCalibrationDialog::OnCommand(uint32_t id) {
  if (id == Raw(D::Cancel)) return DialogResult::Cancel;
  if (id == Raw(D::Ok)) {
    if (!fit_ || !views_spec_) return std::nullopt;
    if (auto problem = AcceptGridCalibration(station_, *views_spec_, *fit_)) {
      Show(*problem);
      return std::nullopt;
    }
    accepted_ = true;
    return DialogResult::Ok;
  }
  if (id != Raw(D::GridGrab)) return std::nullopt;
  const std::optional<rectify::GridSpec> spec = Spec();
  if (!spec) {
    Show("Rows and columns are whole numbers from 3 to 100, the pitch a positive length.");
    return std::nullopt;
  }
  // Another grid starts the views afresh.
  if (views_spec_ && (views_spec_->kind != spec->kind || views_spec_->rows != spec->rows ||
                      views_spec_->cols != spec->cols || views_spec_->pitch != spec->pitch)) {
    views_.clear();
    fit_.reset();
  }
  video::Picture picture;
  if (auto problem = GrabGridView(station_, *spec, &views_, &picture)) {
    Show(*problem);
    return std::nullopt;
  }
  views_spec_ = spec;
  picture_.width = picture.width;
  picture_.height = picture.height;
  picture_.bgrx = std::move(picture.bgrx);
  picture_.marks.clear();
  for (const rectify::Point2& p : views_.back()) picture_.marks.push_back({p.x, p.y});
  std::string error;
  fit_ = rectify::FitGrid(*spec, views_, picture_.width, picture_.height, &error);
  Find(D::Ok)->enabled = fit_.has_value();
  Show(fit_ ? FiguresText(fit_->figures) : error);
  return std::nullopt;
}

void RunGridCalibrationDialog(Station& st) {
  GridCalibrationDialog dialog(st);
  st.surface().RunDialog(dialog);
}

} // namespace orvane
