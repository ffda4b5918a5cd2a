#include "ui/grid_calibration_dialog.h"

#include <atomic>

#include "acquisition/rectification.h"
#include "ui/dialogs.h"

namespace orvane {
namespace {

using D = DialogControlId;

constexpr const char* kNoViewYet = "Lay the grid on the table and press Grab.";
constexpr const char* kSearching = "Looking for the grid...";
constexpr const char* kCancelled = "The search was cancelled.";

// Grab's search, on its own copy of the picture: nothing else is touched
// while it runs.
class GridSearch : public DialogTask {
 public:
  GridSearch(rectify::GridSpec spec, video::Picture picture) : spec_(spec), picture_(std::move(picture)) {}
  explicit GridSearch(std::string problem) : problem_(std::move(problem)) {}

  void Run() override {
    if (problem_) return;
    const video::Picture& p = picture_;
    found_ = rectify::DetectGrid(p.bgrx.data(), p.width, p.height, size_t{p.width} * 4, spec_, &points_, &cancel_);
  }
  void Cancel() override { cancel_ = true; }

  // What went wrong, or nothing when the grid was found.
  std::optional<std::string> Problem() const {
    if (problem_) return problem_;
    if (cancel_) return kCancelled;
    if (!found_) return kGridNotFound;
    return std::nullopt;
  }
  const rectify::GridSpec& spec() const { return spec_; }
  video::Picture& picture() { return picture_; }
  std::vector<rectify::Point2>& points() { return points_; }

 private:
  rectify::GridSpec spec_;
  video::Picture picture_;
  std::optional<std::string> problem_;
  std::atomic<bool> cancel_{false};
  bool found_ = false;
  std::vector<rectify::Point2> points_;
};

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
  const auto put = [this](D id, DialogControlKind kind, std::string text) -> DialogControl& {
    DialogControl c;
    c.id = Raw(id);
    c.kind = kind;
    c.text = std::move(text);
    return Add(std::move(c));
  };
  const auto label = [this](std::string text) {
    DialogControl c;
    c.text = std::move(text);
    Add(std::move(c));
  };
  label("Grid type");
  DialogControl& type = put(D::GridType, DialogControlKind::ComboBox, "");
  type.items = {"Dots", "Chessboard"};
  type.selection = 0;
  // Each edit box has the label after it that the runner shows as its unit.
  label("Rows");
  put(D::GridRows, DialogControlKind::Edit, "9");
  label("dots or inner corners");
  label("Columns");
  put(D::GridCols, DialogControlKind::Edit, "15");
  label("");
  label("Pitch");
  put(D::GridPitch, DialogControlKind::Edit, "1");
  label("centre to centre");
  put(D::GridGrab, DialogControlKind::Button, "&Grab");
  put(D::GridFigures, DialogControlKind::Static, kNoViewYet);
  put(D::Ok, DialogControlKind::Button, "&Accept").enabled = false;
  put(D::Cancel, DialogControlKind::Button, "&Discard");
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
  std::unique_ptr<DialogTask> task = StartTask(id);
  task->Run();
  return FinishTask(std::move(task));
}

std::unique_ptr<DialogTask> GridCalibrationDialog::StartTask(uint32_t id) {
  if (id != Raw(D::GridGrab)) return nullptr;
  const std::optional<rectify::GridSpec> spec = Spec();
  if (!spec) {
    return std::make_unique<GridSearch>("Rows and columns are whole numbers from 3 to 100, the pitch a positive length.");
  }
  video::Picture picture;
  if (auto problem = GrabGridPicture(station_, &picture)) return std::make_unique<GridSearch>(*problem);
  Show(kSearching);
  return std::make_unique<GridSearch>(*spec, std::move(picture));
}

std::optional<DialogResult> GridCalibrationDialog::FinishTask(std::unique_ptr<DialogTask> task) {
  auto* search = dynamic_cast<GridSearch*>(task.get());
  if (search == nullptr) return std::nullopt;
  if (auto problem = search->Problem()) {
    Show(*problem);
    return std::nullopt;
  }
  AddView(search->spec(), std::move(search->picture()), std::move(search->points()));
  return std::nullopt;
}

void GridCalibrationDialog::AddView(const rectify::GridSpec& spec, video::Picture picture,
                                    std::vector<rectify::Point2> points) {
  // Another grid starts the views afresh.
  if (views_spec_ && (views_spec_->kind != spec.kind || views_spec_->rows != spec.rows ||
                      views_spec_->cols != spec.cols || views_spec_->pitch != spec.pitch)) {
    views_.clear();
    fit_.reset();
  }
  views_.push_back(std::move(points));
  views_spec_ = spec;
  picture_.width = picture.width;
  picture_.height = picture.height;
  picture_.bgrx = std::move(picture.bgrx);
  picture_.marks.clear();
  for (const rectify::Point2& p : views_.back()) picture_.marks.push_back({p.x, p.y});
  std::string error;
  fit_ = rectify::FitGrid(spec, views_, picture_.width, picture_.height, &error);
  Find(D::Ok)->enabled = fit_.has_value();
  if (!fit_) {
    Show(error);
    return;
  }
  // One figure a line.
  std::string text = FiguresText(fit_->figures);
  for (size_t at = text.find(", "); at != std::string::npos; at = text.find(", ", at)) text.replace(at, 2, "\r\n");
  Show(text);
}

void RunGridCalibrationDialog(Station& st) {
  GridCalibrationDialog dialog(st);
  st.surface().RunDialog(dialog);
}

} // namespace orvane
