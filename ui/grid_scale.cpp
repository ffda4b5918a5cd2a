#include "ui/grid_scale.h"

#include <algorithm>
#include <cmath>

#include "acquisition/camera_capture.h"
#include "acquisition/rectification.h"
#include "rectify/lens_model.h"
#include "results/csv.h"
#include "results/ring_gauge.h"
#include "solutions/precise_calibration.h"

namespace orvane {

std::optional<GridScale> MeasureGridScale(Station& st, std::string_view pitch_unit, std::string* why) {
  const RectificationState* r = st.camera ? &st.camera->rectification : nullptr;
  if (r == nullptr || !r->record || !r->active()) {
    *why = "rectification is not on: run a grid calibration and turn rectification on first";
    return std::nullopt;
  }
  const rectify::RectificationRecord& record = *r->record;
  double inches = record.grid.pitch;
  if (pitch_unit == "cm") inches /= 2.54;
  else if (pitch_unit == "mm") inches /= 25.4;
  else if (pitch_unit.empty()) inches /= st.settings.unit_factor;
  rectify::OutputFrame frame;
  if (!(inches > 0.0) || !std::isfinite(inches) || !rectify::FrameOf(record.model, &frame)) {
    *why = "the grid calibration's pitch or model is unusable";
    return std::nullopt;
  }
  // The plane's unit is one pitch.
  const double per_pitch = rectify::OutputScale(frame);
  // A scale fitted to n points at pitch positions p with a residual RMS
  // sigma: sigma / sqrt(sum |p - mean|^2), the sum over a rows x cols grid
  // being n ((rows^2 - 1) + (cols^2 - 1)) / 12 pitches squared. The points
  // left out of the fit tell the model's own error too: the larger RMS.
  const double rows = record.grid.rows, cols = record.grid.cols, n = record.figures.fitted;
  const double spread = std::sqrt(n * ((rows * rows - 1.0) + (cols * cols - 1.0)) / 12.0);
  const double rms = std::max(record.figures.rms, record.figures.held_out_rms);
  const double relative = spread > 0.0 ? rms / (per_pitch * spread) : INFINITY;
  GridScale g;
  g.scale = per_pitch / inches;
  g.sigma = g.scale * relative;
  g.note = "grid " + std::to_string(record.grid.rows) + " x " + std::to_string(record.grid.cols) + ", pitch " +
           ResultNumber(record.grid.pitch) + " " + (pitch_unit.empty() ? std::string(st.settings.units == 1 ? "cm" : "in")
                                                                        : std::string(pitch_unit)) +
           ", RMS " + FixedText(record.figures.rms, 3) + " px, at the centre of the rectified picture";
  return g;
}

std::optional<std::string> GridScaleCalibration(Station& st, std::string_view pitch_unit) {
  std::string why;
  const std::optional<GridScale> g = MeasureGridScale(st, pitch_unit, &why);
  if (!g) return why;
  ApplyPreciseCalibration(st, {g->scale, g->sigma, CalibrationDistanceNow(st), st.image.width, st.image.height, g->note},
                          "grid scale");
  return std::nullopt;
}

} // namespace orvane
