// The plate shown to a station and its program taught there through the
// station's own steps, as orvane-batch's commands teach it (tests only).
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "inspect/program_session.h"
#include "support/station_fixture.h"
#include "tests/inspect/plate_program.h"

namespace orvane::testing {

inline void ShowPlate(Station& st, double x, double y, double deg, bool plate = true) {
  std::mt19937_64 rng(static_cast<uint64_t>(x * 1000 + y + deg));
  const PlatePicture p = RenderPlate(640, 480, x, y, deg, rng, 1.0, 2.0, plate);
  AttachImage(st, 640, 480);
  std::memcpy(st.image.frame, p.bgr.data(), p.bgr.size());
}

// Teaches the plate at (320, 240) and a program of its steps given in the
// picture, as orvane-batch's commands give them.
inline void TeachPlateProgram(Station& st) {
  ShowPlate(st, 320, 240, 0);
  std::string why;
  ASSERT_TRUE(PartOf(st).Teach({190, 160, 450, 320}, &why)) << why;
  ASSERT_TRUE(NewProgram(st, "PLATE", &why)) << why;
  for (const PlateStep& s : PlateSteps()) {
    const ProgramStep& step = s.step;
    if (PointsOf(step.kind) == 0) {
      ASSERT_TRUE(AddDimension(st, step.kind, step.label, step.a, step.b, &why)) << why;
      continue;
    }
    qgPoint points[3];
    for (int k = 0; k < 3; ++k) points[k] = {step.points[k].x + 320, step.points[k].y + 240};
    ASSERT_TRUE(AddFeature(st, step.kind, step.label, points, &why)) << step.label << ": " << why;
  }
}

} // namespace orvane::testing
