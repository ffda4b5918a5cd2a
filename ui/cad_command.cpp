#include "ui/cad_command.h"

#include <cmath>
#include <string>
#include <vector>

#include "acquisition/acquisition.h"
#include "cad/session.h"
#include "solutions/measurement.h"

namespace orvane {

namespace {

constexpr double kDegrees = 57.295779513082323;

bool Handles(const Station& st, uint32_t keys) {
  return (keys & kKeyControl) && (keys & kKeyAlt) && st.cad && st.cad->drawing && st.cad->placement;
}

void Redraw(Station& st) {
  RedrawOverlay(st);
  ComposeDisplay(st, st.image.frame);
}

// The drawing's centre in the picture: what a turn by hand turns about.
void CentreOf(const CadSession& cad, double* x, double* y) {
  double cx, cy;
  CadCentre(cad, &cx, &cy);
  cad.placement->ToImage(cx, cy, x, y);
}

}  // namespace

std::map<std::string, uint32_t> DrawingLayers(const std::filesystem::path& path) {
  std::string error;
  const std::optional<cadfile::Drawing> d = cadfile::ReadDxfFile(path.string(), {}, &error);
  return d ? d->layers : std::map<std::string, uint32_t>{};
}

bool CadDragMouse(Station& st, MouseEvent event, ImagePoint at, uint32_t keys) {
  CadSession* cad = st.cad.get();
  const bool dragging = cad && cad->drag != CadSession::Drag::None;
  if (!dragging && !(event == MouseEvent::LeftDown && Handles(st, keys))) return false;
  const double x = at.x + 0.5, y = at.y + 0.5;
  if (event == MouseEvent::LeftDown) {
    cad->drag = (keys & kKeyShift) ? CadSession::Drag::Turn : CadSession::Drag::Move;
  } else if (event == MouseEvent::Move && cad->placement) {
    double dx = x - cad->drag_x, dy = y - cad->drag_y, turn = 0;
    if (cad->drag == CadSession::Drag::Turn) {
      double cx, cy;
      CentreOf(*cad, &cx, &cy);
      turn = (std::atan2(y - cy, x - cx) - std::atan2(cad->drag_y - cy, cad->drag_x - cx)) * kDegrees;
      turn = std::remainder(turn, 360.0);
      dx = dy = 0;
    }
    if (MoveCadDrawing(st, dx, dy, turn, nullptr)) return true;
    Redraw(st);
  } else {
    cad->drag = CadSession::Drag::None;
    return true;
  }
  cad->drag_x = x;
  cad->drag_y = y;
  return true;
}

bool CadWheel(Station& st, double steps, uint32_t keys) {
  if (!Handles(st, keys) || !std::isfinite(steps)) return false;
  const double degrees = steps * kCadWheelDegrees * ((keys & kKeyShift) ? 0.1 : 1.0);
  if (!MoveCadDrawing(st, 0, 0, degrees, nullptr)) Redraw(st);
  return true;
}

bool DrawingNamesUnit(const std::filesystem::path& path) {
  std::string error;
  const std::optional<cadfile::Drawing> d = cadfile::ReadDxfFile(path.string(), {}, &error);
  return d && cadfile::MillimetresPerUnit(d->insunits) > 0;
}

void CompareWithDrawing(Station& st, const std::filesystem::path& path, std::string_view unit, double tolerance,
                        const std::vector<std::string>& layers) {
  std::vector<std::string> lines;
  std::string fit;
  // The same drawing placed by hand since its last fit keeps that place:
  // the fit starts there.
  std::optional<cad::Placement> hand;
  if (st.cad && st.cad->hand_placed && st.cad->placement && st.cad->name == path.filename().string()) {
    hand = st.cad->placement;
  }
  std::optional<std::string> problem = LoadCadDrawing(st, path, unit, &lines, layers);
  if (!problem && hand) {
    hand->scale = st.cad->px_per_unit;
    st.cad->placement = hand;
    st.cad->hand_placed = true;
  }
  if (!problem) problem = FitCadDrawing(st, &fit);
  if (!problem) problem = CompareCadDrawing(st, tolerance, &lines);
  RedrawOverlay(st);
  ComposeDisplay(st, st.image.frame);
  std::string text;
  if (problem) {
    text = "The drawing was not compared: " + *problem + ".";
  } else {
    lines.insert(lines.begin() + (lines.size() > 3 ? 3 : 0), fit);
    for (const std::string& l : lines) text += l + "\n";
  }
  st.surface().MessageBox(text, "Compare with Drawing", MessageButtons::Ok);
}

}  // namespace orvane
