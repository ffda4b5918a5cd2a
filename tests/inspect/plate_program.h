// The locator's test plate (tests/gauge/render.h) as an inspection program
// with every kind of step, and its ground truth: shared by the program's
// tests and its accuracy benchmark.
#pragma once

#include <cmath>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "inspect/program.h"
#include "tests/gauge/render.h"

namespace orvane::testing {

inline constexpr double kPlateBack = 60, kPlateLevel = 160;

// A picture of the plate, 3 bytes a pixel (the grey in each).
struct PlatePicture {
  int w = 0, h = 0;
  std::vector<uint8_t> bgr;
  qgImage image() const { return {bgr.data(), w, h, 3 * w, 3}; }
};

// The plate's centre at (x, y) turned by `deg`; no plate when !plate.
inline PlatePicture RenderPlate(int w, int h, double x, double y, double deg, std::mt19937_64& rng,
                                double blur = 1.0, double noise = 2.0, bool plate = true) {
  const gauge_render::Picture8 p = gauge_render::renderPicture(
      w, h, kPlateBack, blur, noise, rng, [&](gauge_render::Canvas& c) {
        if (plate) gauge_render::drawPlate(c, x, y, deg * M_PI / 180, kPlateLevel, kPlateBack);
      });
  PlatePicture out{w, h, std::vector<uint8_t>(p.px.size() * 3)};
  for (size_t i = 0; i < p.px.size(); ++i) out.bgr[3 * i] = out.bgr[3 * i + 1] = out.bgr[3 * i + 2] = p.px[i];
  return out;
}

// A step of the plate's program and the value it must give (px or degrees;
// NaN for features, which give none).
struct PlateStep {
  ProgramStep step;
  double truth;
};

inline ProgramStep Feature(StepKind kind, std::string label, std::vector<qgPoint> points) {
  ProgramStep s;
  s.kind = kind;
  s.label = std::move(label);
  for (size_t i = 0; i < points.size(); ++i) s.points[i] = points[i];
  return s;
}

inline ProgramStep Dimension(StepKind kind, std::string label, std::string a, std::string b) {
  ProgramStep s;
  s.kind = kind;
  s.label = std::move(label);
  s.a = std::move(a);
  s.b = std::move(b);
  return s;
}

// Points in the plate's own frame (its centre, axes when unturned): the
// 220 x 120 plate, the notch x 40..75 from its top edge down to y -30, holes
// of radius 18 at (-60, 0) and 12 at (25, 20).
inline std::vector<PlateStep> PlateSteps() {
  const double nan = std::nan("");
  return {
      {Feature(StepKind::Circle, "D1", {{-42, 0}, {-60, 18}, {-78, 0}}), 36.0},
      {Feature(StepKind::Circle, "D2", {{37, 20}, {25, 32}, {13, 20}}), 24.0},
      {Feature(StepKind::Line, "E1", {{-110, -45}, {-110, 45}}), nan},
      {Feature(StepKind::Line, "E2", {{110, -45}, {110, 45}}), nan},
      {Feature(StepKind::Line, "E3", {{-100, 60}, {100, 60}}), nan},
      {Feature(StepKind::Line, "E4", {{-100, -60}, {30, -60}}), nan},
      {Feature(StepKind::Point, "P1", {{95, -10}, {125, -10}}), nan},
      {Feature(StepKind::Width, "W1", {{-30, -75}, {-30, 75}}), 120.0},
      {Feature(StepKind::Width, "W2", {{-125, 45}, {125, 45}}), 220.0},
      {Feature(StepKind::Width, "W3", {{30, -50}, {85, -50}}), 35.0},
      {Dimension(StepKind::Distance, "L1", "D1", "D2"), std::hypot(85.0, 20.0)},
      {Dimension(StepKind::Distance, "L2", "P1", "E1"), 220.0},
      {Dimension(StepKind::Distance, "L3", "E1", "E2"), 220.0},
      {Dimension(StepKind::Distance, "L4", "E3", "E4"), 120.0},
      {Dimension(StepKind::Angle, "A1", "E1", "E3"), 90.0},
      {Dimension(StepKind::Angle, "A2", "E3", "E4"), 0.0},
  };
}

// The part model taught from the plate unturned at (x, y) of `picture`,
// its box 260 x 160 about the plate's centre (so the part's frame is the
// plate's).
inline std::vector<uint8_t> TeachPlate(const PlatePicture& picture, double x, double y) {
  const qgImage image = picture.image();
  const qgBox box{x - 130, y - 80, x + 130, y + 80};
  qgPartModel* model = nullptr;
  if (qgPartTrain(&image, &box, nullptr, &model) != QG_OK) std::abort();
  size_t size = 0;
  qgPartModelSize(model, &size);
  std::vector<uint8_t> bytes(size);
  qgPartModelSave(model, bytes.data(), size);
  qgPartModelFree(model);
  return bytes;
}

inline Program PlateProgram(std::vector<uint8_t> model) {
  Program p;
  p.name = "PLATE";
  p.model = std::move(model);
  for (const PlateStep& s : PlateSteps()) p.steps.push_back(s.step);
  return p;
}

} // namespace orvane::testing
