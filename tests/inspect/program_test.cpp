#include "inspect/program.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "tests/inspect/plate_program.h"

namespace orvane::testing {
namespace {

constexpr double kTaughtX = 320, kTaughtY = 240;

const std::vector<uint8_t>& PlateModel() {
  static const std::vector<uint8_t> model = [] {
    std::mt19937_64 rng(7);
    return TeachPlate(RenderPlate(640, 480, kTaughtX, kTaughtY, 0, rng), kTaughtX, kTaughtY);
  }();
  return model;
}

std::map<std::string, double> Truths() {
  std::map<std::string, double> out;
  for (const PlateStep& s : PlateSteps()) out[s.step.label] = s.truth;
  return out;
}

// Every dimension kind against ground truth, the part moved and turned
// over the whole turn: the steps follow it.
TEST(ProgramRun, StepsFollowTheMovedAndTurnedPart) {
  struct Pose {
    double x, y, deg;
  };
  const Pose poses[] = {{320, 240, 0}, {300, 250, 37}, {340, 230, -120}, {320, 240, 180},
                        {310, 235, 90.5}, {330, 245, -45.25}, {180, 150, 271}};
  const Program program = PlateProgram(PlateModel());
  const ProgramModel model(program);
  const std::map<std::string, double> truth = Truths();
  std::mt19937_64 rng(11);
  for (const Pose& pose : poses) {
    SCOPED_TRACE("pose " + std::to_string(pose.x) + " " + std::to_string(pose.y) + " " + std::to_string(pose.deg));
    const PlatePicture picture = RenderPlate(640, 480, pose.x, pose.y, pose.deg, rng);
    const ProgramRun run = RunProgram(program, model, picture.image(), LengthScale{});
    ASSERT_TRUE(run.found);
    EXPECT_NEAR(run.pose.x, pose.x, 0.1);
    EXPECT_NEAR(run.pose.y, pose.y, 0.1);
    ASSERT_EQ(run.dimensions.size(), 11u);
    for (const DimensionResult& d : run.dimensions) {
      SCOPED_TRACE(d.label);
      ASSERT_TRUE(d.measured);
      const bool angle = d.unit == "deg";
      EXPECT_NEAR(d.value, truth.at(d.label), angle ? 0.05 : 0.15);
      EXPECT_GT(d.u, 0.0);
      EXPECT_LT(d.u, angle ? 0.05 : 0.1);
      EXPECT_EQ(d.verdict, Verdict::None);
    }
    EXPECT_TRUE(run.pass);
  }
}

// Values scale to the calibrated unit (angles stay degrees); verdicts use
// the tolerance's unit, and a value outside fails the part.
TEST(ProgramRun, ScaleTolerancesAndVerdicts) {
  Program program = PlateProgram(PlateModel());
  const ProgramModel model(program);
  struct Case {
    const char* label;
    Tolerance tolerance;
    Verdict expected;
  };
  // 0.1 mm a pixel: W2 is 22 mm, 2.2 cm, 0.866 in.
  const Case cases[] = {
      {"W2", Tolerance(22.0, 0.05), Verdict::Pass},
      {"W1", Tolerance(12.5, 0.05), Verdict::Fail},
      {"D1", Tolerance(0.36, 0.001, "cm"), Verdict::Pass},
      {"A1", Tolerance(90.0, 0.1), Verdict::Pass},
      {"L1", Tolerance(8.7, 0.1, "deg"), Verdict::Fail}, // does not convert: never a pass
  };
  for (const Case& c : cases) {
    for (ProgramStep& s : program.steps) {
      if (s.label == c.label) s.tolerance = c.tolerance;
    }
  }
  std::mt19937_64 rng(3);
  const PlatePicture picture = RenderPlate(640, 480, 330, 250, 12, rng);
  const ProgramRun run = RunProgram(program, model, picture.image(), LengthScale{0.1, "mm"});
  ASSERT_TRUE(run.found);
  for (const Case& c : cases) {
    const auto d = std::find_if(run.dimensions.begin(), run.dimensions.end(),
                                [&](const DimensionResult& r) { return r.label == c.label; });
    ASSERT_NE(d, run.dimensions.end());
    EXPECT_EQ(d->verdict, c.expected) << c.label << " " << d->value << " " << d->unit;
    EXPECT_EQ(d->unit, c.label[0] == 'A' ? "deg" : "mm");
  }
  EXPECT_FALSE(run.pass);
}

// No part in the picture: nothing measured. A fixtured program measures at
// the taught places; a gauge that finds nothing fails the part.
TEST(ProgramRun, NotFoundFixturedAndUnmeasured) {
  std::mt19937_64 rng(5);
  const Program program = PlateProgram(PlateModel());
  const ProgramRun absent =
      RunProgram(program, ProgramModel(program), RenderPlate(640, 480, 0, 0, 0, rng, 1, 2, false).image(), {});
  EXPECT_FALSE(absent.found);
  EXPECT_TRUE(absent.dimensions.empty());
  EXPECT_FALSE(absent.pass);

  Program fixtured = PlateProgram({});
  for (ProgramStep& s : fixtured.steps) {
    for (qgPoint& p : s.points) p = {p.x + kTaughtX, p.y + kTaughtY};
  }
  const ProgramModel none(fixtured);
  const ProgramRun here = RunProgram(fixtured, none, RenderPlate(640, 480, kTaughtX, kTaughtY, 0, rng).image(), {});
  ASSERT_TRUE(here.found);
  EXPECT_TRUE(here.fixtured);
  EXPECT_TRUE(here.pass);
  EXPECT_NEAR(here.dimensions[0].value, 36.0, 0.15);
  const ProgramRun moved = RunProgram(fixtured, none, RenderPlate(640, 480, 200, 150, 30, rng).image(), {});
  EXPECT_TRUE(moved.found);
  EXPECT_FALSE(moved.pass);
  EXPECT_TRUE(std::any_of(moved.dimensions.begin(), moved.dimensions.end(), [](const DimensionResult& d) {
    return !d.measured && d.verdict == Verdict::Fail;
  }));
}

TEST(ProgramModelCheck, LabelsAndDimensions) {
  const Program program = PlateProgram({});
  EXPECT_EQ(NextStepLabel(program, StepKind::Circle), "D3");
  EXPECT_EQ(NextStepLabel(program, StepKind::Distance), "L5");
  EXPECT_EQ(NextStepLabel(program, StepKind::Point), "P2");
  for (const char* bad : {"", "two words", "a\"b", "#1", "back\\slash", "\xC3\xA9", "123456789012345678901234567890123"}) {
    EXPECT_FALSE(IsStepLabel(bad)) << bad;
  }
  EXPECT_TRUE(IsStepLabel("Bore-1.left"));
  struct Case {
    StepKind kind;
    const char* a;
    const char* b;
    bool ok;
  };
  const Case cases[] = {
      {StepKind::Distance, "D1", "D2", true},  {StepKind::Distance, "P1", "E1", true},
      {StepKind::Distance, "E1", "E2", true},  {StepKind::Distance, "W1", "E1", false},
      {StepKind::Distance, "D1", "D1", false}, {StepKind::Distance, "D1", "X9", false},
      {StepKind::Angle, "E1", "E3", true},     {StepKind::Angle, "E1", "D1", false},
      {StepKind::Distance, "L1", "E1", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DimensionProblem(program, c.kind, c.a, c.b).empty(), c.ok) << c.a << " " << c.b;
  }
}

} // namespace
} // namespace orvane::testing
