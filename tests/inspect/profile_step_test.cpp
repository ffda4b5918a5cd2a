// A program's profile step on exact-area renders of the drawing's plate:
// the drawing follows the found part, is fitted and compared, and its
// deviation of largest size judged against the zone.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <random>

#include "inspect/program.h"
#include "support/station_fixture.h"
#include "tests/cad/plate.h"

namespace orvane::testing {
namespace {

constexpr int kW = 480, kH = 360;
// The plate is drawn in millimetres, rendered a pixel a millimetre.
const LengthScale kMillimetres{1.0, "mm"};

qgImage View(const gauge_render::Picture8& p) { return {p.px.data(), p.w, p.h, p.w, 1}; }

gauge_render::Picture8 Render(const cad_test::PlateRender& r, uint64_t seed) {
  std::mt19937_64 rng(seed);
  return cad_test::RenderPlate(kW, kH, r, rng);
}

// The plate taught unturned at the picture's centre, its box about the
// plate's centre (so the part's frame is the drawing's, y down), and one
// profile step on the drawing `file` with the zone +-t/2.
Program PlateProfileProgram(const std::string& file, double t) {
  cad_test::PlateRender straight;
  straight.cx = kW / 2.0, straight.cy = kH / 2.0;
  const gauge_render::Picture8 pic = Render(straight, 1);
  const qgImage image = View(pic);
  const qgBox box{kW / 2.0 - 130, kH / 2.0 - 80, kW / 2.0 + 130, kH / 2.0 + 80};
  qgPartModel* model = nullptr;
  EXPECT_EQ(qgPartTrain(&image, &box, nullptr, &model), QG_OK);
  size_t size = 0;
  qgPartModelSize(model, &size);
  Program p;
  p.name = "PLATE";
  p.model.resize(size);
  qgPartModelSave(model, p.model.data(), size);
  qgPartModelFree(model);
  ProgramStep step;
  step.kind = StepKind::Profile;
  step.label = "CAD1";
  step.profile = ProfileSource{file, 4, {}, 0.0, false};
  step.tolerance = Tolerance(0.0, t / 2, "mm");
  p.steps.push_back(step);
  return p;
}

TEST(ProfileStep, FollowsThePartAndJudgesItsProfile) {
  TempDir dir;
  std::ofstream(dir.path() / "plate.dxf") << cad_test::PlateDxf();
  struct Case {
    const char* name;
    cad_test::PlateRender render;
    double t;          // the profile tolerance, mm
    double value, off; // the worst deviation it must read, within off (NaN: not measured)
    bool pass;
  };
  auto at = [](double cx, double cy, double angle) {
    cad_test::PlateRender r;
    r.cx = cx, r.cy = cy, r.angle = angle;
    return r;
  };
  cad_test::PlateRender bumped = at(230, 185, -0.4), large = at(250, 175, 1.1), drilled = at(240, 180, 0.2);
  bumped.bump = true;
  large.size = 1.002;
  drilled.small_hole = false;
  const Case cases[] = {
      {"perfect, moved and turned", at(255, 170, 0.35), 0.2, 0.0, 0.05, true},
      {"perfect, turned over", at(225, 190, 2.9), 0.2, 0.0, 0.05, true},
      {"perfect, tighter than the noise", at(240, 180, -2.0), 0.02, 0.0, 0.05, false},
      {"a bump 0.5 proud", bumped, 0.5, 0.5, 0.05, false},
      // 0.2 % on a 220 long plate: about 0.2 px out at each end, never fitted away.
      {"0.2 % too large", large, 0.2, 0.21, 0.06, false},
      // Points without an edge leave the profile not measured, and fail the part.
      {"a hole not drilled", drilled, 10.0, NAN, 0.0, false},
  };
  const Program program = PlateProfileProgram("plate.dxf", 0.2);
  const ProgramModel model(program, dir.path(), kMillimetres);
  ASSERT_EQ(model.ProfileProblem(program), "");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Program p = program;
    p.steps[0].tolerance = Tolerance(0.0, c.t / 2, "mm");
    const gauge_render::Picture8 pic = Render(c.render, 7);
    const ProgramRun run = RunProgram(p, model, View(pic), kMillimetres);
    ASSERT_TRUE(run.found);
    ASSERT_EQ(run.dimensions.size(), 1u);
    const DimensionResult& d = run.dimensions[0];
    ASSERT_EQ(d.measured, !std::isnan(c.value)) << d.note;
    EXPECT_EQ(d.kind, kKindCad);
    EXPECT_EQ(d.unit, "mm");
    if (d.measured) {
      EXPECT_NEAR(std::fabs(d.value), c.value, c.off) << d.note;
    }
    EXPECT_EQ(run.pass, c.pass) << d.note;
    EXPECT_EQ(d.note.find(", 0 without an edge") == std::string::npos, c.render.small_hole == false) << d.note;
    ASSERT_EQ(run.profiles.size(), 1u);
    EXPECT_EQ(run.profiles[0].placement.scale, 1.0) << "a scale is never fitted";
  }
  // A model read before the steps moved still serves the step's drawing.
  Program moved = program;
  moved.steps.insert(moved.steps.begin(), ProgramStep{});
  moved.steps[0].label = "P1";
  const gauge_render::Picture8 pic = Render(cases[0].render, 7);
  const ProgramRun run = RunProgram(moved, model, View(pic), kMillimetres);
  ASSERT_EQ(run.dimensions.size(), 1u);
  EXPECT_TRUE(run.dimensions[0].measured) << run.dimensions[0].note;
}

// What keeps a profile from being measured is said, and the part fails.
TEST(ProfileStep, UnreadOrUncalibratedIsNotMeasured) {
  TempDir dir;
  std::ofstream(dir.path() / "plate.dxf") << cad_test::PlateDxf();
  std::ofstream(dir.path() / "empty.dxf") << "0\nSECTION\n2\nENTITIES\n0\nENDSEC\n0\nEOF\n";
  cad_test::PlateRender r;
  r.cx = kW / 2.0, r.cy = kH / 2.0;
  const gauge_render::Picture8 pic = Render(r, 3);
  struct Case {
    std::string file;
    std::vector<std::string> layers;
    LengthScale scale;
    const char* said;
  };
  const Case cases[] = {
      {"absent.dxf", {}, kMillimetres, "CAD1: cannot read absent.dxf"},
      {"empty.dxf", {}, kMillimetres, "CAD1: empty.dxf holds no line"},
      {"plate.dxf", {"RIM"}, kMillimetres, "CAD1: no layer \"RIM\" in plate.dxf"},
      {"plate.dxf", {}, LengthScale{}, "the station is not calibrated"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.said);
    Program p = PlateProfileProgram(c.file, 0.2);
    p.steps[0].profile->layers = c.layers;
    const ProgramModel model(p, dir.path(), c.scale);
    const ProgramRun run = RunProgram(p, model, View(pic), c.scale);
    ASSERT_TRUE(run.found);
    ASSERT_EQ(run.dimensions.size(), 1u);
    EXPECT_FALSE(run.dimensions[0].measured);
    EXPECT_FALSE(run.pass);
    const std::string said = model.ProfileProblem(p).empty() ? run.dimensions[0].note : model.ProfileProblem(p);
    EXPECT_EQ(said.rfind(c.said, 0), 0u) << said;
  }
}

} // namespace
} // namespace orvane::testing
