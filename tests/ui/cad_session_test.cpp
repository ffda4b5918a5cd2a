// The drawing comparison on a started station, headless: the deviations
// drawn only over the picture they measured, the taught part
// giving the coarse pose, and the drawing moved and turned by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>

#include "cad/session.h"
#include "inspect/program_session.h"
#include "solutions/measurement.h"
#include "ui/cad_command.h"
#include "ui/commands.h"
#include "ui/part_commands.h"
#include "ui/ui_support.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using testing::Started;

const fs::path kDrawing = ORVANE_FIXTURES "/../batch/scripts/cad_part.dxf";

std::string Picture(const char* name) {
  const fs::path fixtures(ORVANE_FIXTURES);
  const fs::path sample = fixtures.parent_path().parent_path() / "samples" / name;
  return (fs::exists(sample) ? sample : fixtures / "part_story" / name).string();
}

// Overlay pixels of the comparison's marks: the band's three colours and the
// worst point's; and of the drawing's own outline.
struct Marks {
  size_t band = 0, outline = 0;
};
Marks MarksOf(const Station& st) {
  Marks m;
  for (uint32_t i = 0; i + 2 < st.image.size; i += 3) {
    const uint8_t* p = st.image.overlay + i;  // B, G, R
    const bool within = p[0] == 1 && p[1] == 210 && p[2] == 1, under = p[0] == 255 && p[1] == 90 && p[2] == 1;
    const bool over = p[0] == 1 && p[1] == 1 && p[2] == 255, worst = p[0] == 1 && p[1] == 255 && p[2] == 255;
    m.band += within || under || over || worst;
    m.outline += p[0] == 250 && p[1] == 250 && p[2] == 250;
  }
  return m;
}

// Calibrated as the sample was taken.
void Calibrate(Station& st) {
  st.settings.calibrated = 1;
  st.settings.scale_x = 50.0;
  st.settings.calibration_distance = 24.0;
}

// A station with the sample part in, calibrated.
void Prepare(Station& st) {
  ASSERT_TRUE(DropStillFile(st, Picture("PART.BMP")));
  Calibrate(st);
}

std::string Fit(Station& st, const CadFitChoice& choice = {}) {
  std::string line;
  const std::optional<std::string> problem = FitCadDrawing(st, &line, choice);
  return problem ? "problem: " + *problem : line;
}

TEST(CadSession, DeviationsAreDrawnOnlyOverThePictureTheyMeasured) {
  Started s;
  Station& st = *s.station;
  Prepare(st);
  ASSERT_EQ(LoadCadDrawing(st, kDrawing, "in", nullptr), std::nullopt);
  ASSERT_EQ(Fit(st).rfind("fit residual", 0), 0u);
  std::vector<std::string> lines;
  ASSERT_EQ(CompareCadDrawing(st, 0.05, &lines), std::nullopt);
  RedrawOverlay(st);
  const Marks measured = MarksOf(st);
  EXPECT_GT(measured.band, 500u);
  EXPECT_GT(measured.outline, 500u);

  // Another picture: the drawing stays where it was fitted, the deviations
  // and the worst point's value go.
  ASSERT_TRUE(DropStillFile(st, Picture("PART-TURNED.BMP")));
  RedrawOverlay(st);
  EXPECT_EQ(MarksOf(st).band, 0u);
  EXPECT_GT(MarksOf(st).outline, 500u);
  for (const OverlayText& t : st.overlay_texts) EXPECT_NE(t.text, lines.back().substr(6, 7));
  // The picture compared, back again: its deviations with it.
  ASSERT_TRUE(DropStillFile(st, Picture("PART.BMP")));
  RedrawOverlay(st);
  EXPECT_EQ(MarksOf(st).band, measured.band);
}

TEST(CadSession, TheTaughtPartGivesTheCoarsePoseOnceAFitIsRemembered) {
  Started s;
  Station& st = *s.station;
  Prepare(st);
  ASSERT_EQ(LoadCadDrawing(st, kDrawing, "in", nullptr), std::nullopt);
  std::string why;
  ASSERT_TRUE(TeachPart(st, {110, 80, 530, 400}, &why)) << why;
  // The first fit is placed by the moments and remembered on the part.
  const std::string first = Fit(st);
  EXPECT_EQ(first.find("taught part"), std::string::npos) << first;
  const cad::Placement straight = *CadOf(st).placement;
  ASSERT_TRUE(DropStillFile(st, Picture("PART-TURNED.BMP")));
  const std::string turned = Fit(st);
  ASSERT_NE(turned.find(", coarse pose from the taught part"), std::string::npos) << turned;
  EXPECT_NEAR(std::remainder(CadOf(st).placement->angle - straight.angle, 2 * M_PI) * 180 / M_PI, 25.0, 0.05);
  // Fitted as well as on the straight part: the holes' half pixel off the
  // drawing is the largest deviation (0.01 in, at 50 px per inch).
  ASSERT_EQ(CompareCadDrawing(st, 0.05, nullptr), std::nullopt);
  const cad::Deviation& all = CadOf(st).comparison->all;
  EXPECT_LT(std::max(all.max, -all.min), 0.8);
  EXPECT_LT(all.missing * 20, all.points);
  // The same drawing loaded again (as the window does at every comparison)
  // keeps its place on the part; read another way it starts over.
  Calibrate(st);  // the turned picture's other size took the calibration
  ASSERT_EQ(LoadCadDrawing(st, kDrawing, "in", nullptr), std::nullopt);
  EXPECT_NE(Fit(st).find("taught part"), std::string::npos);
  ASSERT_EQ(LoadCadDrawing(st, kDrawing, "in", nullptr, {"OUTLINE"}), std::nullopt);
  EXPECT_EQ(Fit(st).find("taught part"), std::string::npos);
}

TEST(CadSession, MovedByHandTheNextFitStartsThere) {
  Started s;
  Station& st = *s.station;
  Prepare(st);
  ASSERT_EQ(LoadCadDrawing(st, kDrawing, "in", nullptr), std::nullopt);
  std::string line;
  // Not yet placed: put unturned at the picture's centre, then moved.
  ASSERT_EQ(MoveCadDrawing(st, 0, 0, 0, &line), std::nullopt);
  const CadSession& cad = CadOf(st);
  double x = 0, y = 0;
  cad.placement->ToImage(cad.nominal.moments.cx, cad.nominal.moments.cy, &x, &y);
  EXPECT_NEAR(x, st.image.width / 2.0, 1e-9);
  EXPECT_NEAR(y, st.image.height / 2.0, 1e-9);
  ASSERT_EQ(Fit(st).rfind("fit residual", 0), 0u);
  const cad::Placement fitted = *cad.placement;
  ASSERT_EQ(CompareCadDrawing(st, 0.05, nullptr), std::nullopt);
  // A move and a turn about the drawing's centre, which moves by the move.
  double cx0 = 0, cy0 = 0, cx1 = 0, cy1 = 0;
  fitted.ToImage(cad.nominal.moments.cx, cad.nominal.moments.cy, &cx0, &cy0);
  ASSERT_EQ(MoveCadDrawing(st, 4, -3, 1.5, &line), std::nullopt);
  cad.placement->ToImage(cad.nominal.moments.cx, cad.nominal.moments.cy, &cx1, &cy1);
  EXPECT_NEAR(cx1 - cx0, 4, 1e-9);
  EXPECT_NEAR(cy1 - cy0, -3, 1e-9);
  EXPECT_NEAR((cad.placement->angle - fitted.angle) * 180 / M_PI, 1.5, 1e-9);
  EXPECT_FALSE(cad.comparison);
  const std::string refit = Fit(st);
  EXPECT_NE(refit.find(", from the hand's placing"), std::string::npos) << refit;
  EXPECT_NEAR(cad.placement->px, fitted.px, 0.02);
  EXPECT_NEAR(cad.placement->py, fitted.py, 0.02);
  EXPECT_FALSE(cad.hand_placed);
  EXPECT_EQ(MoveCadDrawing(st, NAN, 0, 0, &line), "the move must be finite");
  // Moves past ten pictures are refused whole; the place stays.
  const cad::Placement kept = *cad.placement;
  EXPECT_EQ(MoveCadDrawing(st, 1e300, -1e300, 0, &line), "the move takes the drawing too far off the picture");
  EXPECT_EQ(MoveCadDrawing(st, 0, 6500, 0, &line), "the move takes the drawing too far off the picture");
  EXPECT_EQ(cad.placement->px, kept.px);
  EXPECT_EQ(cad.placement->py, kept.py);
  ASSERT_EQ(MoveCadDrawing(st, 0, 0, 1e300, &line), std::nullopt);  // any turn is a turn
  EXPECT_TRUE(std::isfinite(cad.placement->px) && std::isfinite(cad.placement->angle));
  // The window's Compare with Drawing of the same file keeps the hand's place.
  ASSERT_EQ(MoveCadDrawing(st, -3, 2, -1, &line), std::nullopt);
  CompareWithDrawing(st, kDrawing, "in", 0.05);
  ASSERT_FALSE(s.surface.message_boxes().empty());
  const std::string said = s.surface.message_boxes().back().text;
  EXPECT_NE(said.find(", from the hand's placing\n"), std::string::npos) << said;
}

// The window's Drawing button in the Program window: the drawing as last
// compared becomes a profile step with the comparison's tolerance, named by
// the file's place (within the working folder: relative to it), and runs
// with the program wherever the part lies.
TEST(CadSession, TheComparedDrawingBecomesAProgramStep) {
  Started s;
  Station& st = *s.station;
  Prepare(st);
  std::string why;
  ASSERT_TRUE(TeachPart(st, {110, 80, 530, 400}, &why)) << why;
  ASSERT_TRUE(NewProgram(st, "PLATE", &why)) << why;
  const fs::path inside = st.folder() / "drawings" / "the part.dxf";
  fs::create_directories(inside.parent_path());
  fs::copy_file(kDrawing, inside);
  for (const fs::path& file : {kDrawing, inside}) {
    ASSERT_EQ(LoadCadDrawing(st, file, "in", nullptr), std::nullopt);
    ASSERT_EQ(Fit(st).rfind("fit residual", 0), 0u);
    EXPECT_FALSE(AddProfileOf(st, &why));
    EXPECT_EQ(why, "compare the drawing first: its profile tolerance becomes the step's");
    ASSERT_EQ(CompareCadDrawing(st, 0.05, nullptr), std::nullopt);
    ASSERT_TRUE(AddProfileOf(st, &why)) << why;
  }
  ASSERT_TRUE(SaveProgram(st, &why)) << why;
  std::string text;
  std::getline(std::ifstream(st.folder() / "PLATE.OIP"), text, '\0');
  EXPECT_NE(text.find(" in " + fs::absolute(kDrawing).lexically_normal().string() + "\n"), std::string::npos) << text;
  EXPECT_NE(text.find(" in drawings/the%20part.dxf\ntolerance CAD2 0 0.025 -0.025 in\n"), std::string::npos) << text;
  ProgramOf(st).program.reset();
  ASSERT_TRUE(LoadProgram(st, "PLATE", &why)) << why;
  const std::optional<ProgramRun> run = RunOpenProgram(st, &why);
  ASSERT_TRUE(run && run->found) << why;
  ASSERT_EQ(run->dimensions.size(), 2u);
  for (const DimensionResult& d : run->dimensions) {
    EXPECT_TRUE(d.measured && d.verdict == Verdict::Pass) << d.label << ": " << d.note;
    // The holes lie 0.01 in off the drawing.
    EXPECT_NEAR(std::fabs(d.value), 0.02, 0.003) << d.label;
  }
  EXPECT_TRUE(run->pass);
}

// The window's hand: Ctrl+Alt+drag moves, with Shift turns about the
// centre, Ctrl+Alt+wheel turns; without both keys the picture keeps its
// mouse and wheel.
TEST(CadSession, DragAndWheelMoveTheDrawingOnlyWithCtrlAlt) {
  Started s;
  Station& st = *s.station;
  Prepare(st);
  ASSERT_EQ(LoadCadDrawing(st, kDrawing, "in", nullptr), std::nullopt);
  const uint32_t hand = kKeyControl | kKeyAlt;
  EXPECT_FALSE(CadDragMouse(st, MouseEvent::LeftDown, {100, 100}, hand));  // not placed yet
  ASSERT_EQ(Fit(st).rfind("fit residual", 0), 0u);
  const CadSession& cad = CadOf(st);
  const cad::Placement start = *cad.placement;
  EXPECT_FALSE(CadDragMouse(st, MouseEvent::LeftDown, {100, 100}, kKeyAlt));
  EXPECT_FALSE(CadWheel(st, 1, kKeyControl));
  EXPECT_TRUE(CadDragMouse(st, MouseEvent::LeftDown, {100, 100}, hand));
  EXPECT_TRUE(CadDragMouse(st, MouseEvent::Move, {106, 97}, hand));
  EXPECT_TRUE(CadDragMouse(st, MouseEvent::Move, {110, 95}, 0));  // keys let go mid-drag: still the drawing's
  EXPECT_TRUE(CadDragMouse(st, MouseEvent::LeftUp, {110, 95}, 0));
  EXPECT_FALSE(CadDragMouse(st, MouseEvent::Move, {120, 95}, 0));
  EXPECT_NEAR(cad.placement->px - start.px, 10, 1e-9);
  EXPECT_NEAR(cad.placement->py - start.py, -5, 1e-9);
  EXPECT_NEAR(cad.placement->angle, start.angle, 1e-12);
  // A quarter turn of the pointer about the centre turns the drawing by it.
  double cx, cy, x, y;
  CadCentre(cad, &cx, &cy);
  cad.placement->ToImage(cx, cy, &x, &y);
  const int32_t r = 200, ix = static_cast<int32_t>(std::floor(x)), iy = static_cast<int32_t>(std::floor(y));
  EXPECT_TRUE(CadDragMouse(st, MouseEvent::LeftDown, {ix + r, iy}, hand | kKeyShift));
  EXPECT_TRUE(CadDragMouse(st, MouseEvent::Move, {ix, iy + r}, hand | kKeyShift));
  EXPECT_TRUE(CadDragMouse(st, MouseEvent::LeftUp, {ix, iy + r}, hand | kKeyShift));
  EXPECT_NEAR((cad.placement->angle - start.angle) * 180 / M_PI, 90, 0.4);
  const double turned = cad.placement->angle;
  EXPECT_TRUE(CadWheel(st, 2, hand));
  EXPECT_TRUE(CadWheel(st, -1, hand | kKeyShift));
  EXPECT_NEAR((cad.placement->angle - turned) * 180 / M_PI, 2 * kCadWheelDegrees - 0.1 * kCadWheelDegrees, 1e-9);
}

}  // namespace
}  // namespace orvane
