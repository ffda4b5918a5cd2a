// The Program window on real widgets: the steps as the program has them,
// nominal and tolerance typed in, a distance from two selected features,
// moving and deleting; Run shows each value in its verdict's colour, and the
// run on the overlay. Screenshots: the window while teaching, after a run,
// and the picture with the run drawn over it.
#include <gtest/gtest.h>

#include <fstream>

#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QTableWidget>

#include "acquisition/acquisition.h"
#include "cad/session.h"
#include "inspect/program_draw.h"
#include "inspect/program_session.h"
#include "tests/cad/plate.h"
#include "tests/inspect/plate_station.h"
#include "tests/qt/qt_support.h"
#include "ui/qt/program_window.h"

namespace orvane::qt {
namespace {

QString Cell(QTableWidget* t, int row, int column) {
  return t->item(row, column) != nullptr ? t->item(row, column)->text() : QString();
}

int RowOf(QTableWidget* t, const QString& label) {
  for (int r = 0; r < t->rowCount(); ++r) {
    if (Cell(t, r, 0) == label) return r;
  }
  return -1;
}

void Type(QTableWidget* t, int row, int column, const QString& text) {
  t->item(row, column)->setText(text);
  QApplication::processEvents(); // the edit is taken once the table is done with it
}

// The picture as the view shows it, frame and overlay composed.
QImage Display(Station& st) {
  ComposeDisplay(st, st.image.frame);
  QImage image(st.image.display, static_cast<int>(st.image.width), static_cast<int>(st.image.height),
               static_cast<int>(st.image.stride), QImage::Format_BGR888);
  return image.copy();
}

// The last run drawn alone over the picture, as a screenshot.
QString RunShot(Station& st, const char* name) {
  ClearOverlay(st);
  DrawProgramRun(st);
  QLabel picture;
  picture.setPixmap(QPixmap::fromImage(Display(st)));
  picture.resize(picture.pixmap().size());
  return testing::Screenshot(&picture, name);
}

TEST(QtProgramWindow, TeachEditAndRun) {
  testing::StationFixture f;
  Station& st = f.station;
  testing::TeachPlateProgram(st);
  ProgramWindow w(st, [](std::function<void()> action) { action(); });
  w.show();
  QTableWidget* steps = w.steps();
  ASSERT_EQ(steps->rowCount(), 16);
  EXPECT_EQ(Cell(steps, 0, 1), "circle");

  // Tolerances typed in: W1's fails the plate, W2's passes it.
  Type(steps, RowOf(steps, "W1"), 2, "121");
  Type(steps, RowOf(steps, "W1"), 3, "0.2");
  Type(steps, RowOf(steps, "W2"), 2, "220");
  Type(steps, RowOf(steps, "W2"), 3, "+0.3/-0.1");
  const ProgramStep* w2 = FindStep(*ProgramOf(st).program, "W2");
  ASSERT_TRUE(w2 && w2->tolerance);
  EXPECT_EQ(w2->tolerance->lower, -0.1);
  Type(steps, RowOf(steps, "E1"), 2, "5");
  EXPECT_FALSE(FindStep(*ProgramOf(st).program, "E1")->tolerance) << "a feature takes no tolerance";

  // A distance from two selected features, then a rename and a move.
  steps->clearSelection();
  steps->selectRow(RowOf(steps, "E3"));
  steps->setSelectionMode(QAbstractItemView::MultiSelection);
  steps->selectRow(RowOf(steps, "P1"));
  for (QPushButton* b : w.findChildren<QPushButton*>()) {
    if (b->text() == "Distance") b->click();
  }
  ASSERT_EQ(steps->rowCount(), 17);
  EXPECT_EQ(FindStep(*ProgramOf(st).program, "L5")->a, "E3");
  Type(steps, RowOf(steps, "L5"), 0, "Height");
  EXPECT_NE(FindStep(*ProgramOf(st).program, "Height"), nullptr);
  w.record()->setChecked(true);
  EXPECT_TRUE(ProgramOf(st).recording);
  w.rest()->setChecked(true);
  EXPECT_TRUE(ProgramOf(st).auto_rest && !ProgramOf(st).auto_folder);
  testing::Screenshot(&w, "program_window_teaching");

  testing::ShowPlate(st, 300, 250, 140);
  w.Run();
  EXPECT_EQ(w.message()->text(), "Part 1 failed.");
  const int w1 = RowOf(steps, "W1"), w2row = RowOf(steps, "W2");
  EXPECT_TRUE(Cell(steps, w1, 4).endsWith(" px"));
  EXPECT_EQ(steps->item(w1, 4)->foreground().color(), QColor(kFailColour.r, kFailColour.g, kFailColour.b));
  EXPECT_EQ(steps->item(w2row, 4)->foreground().color(), QColor(kPassColour.r, kPassColour.g, kPassColour.b));
  testing::Screenshot(&w, "program_window_run");

  // The run on the overlay: gauges where they measured, values in their
  // colours, the verdict large.
  EXPECT_FALSE(RunShot(st, "program_run_overlay").isEmpty());

  // The part gone: said, nothing recorded.
  testing::ShowPlate(st, 0, 0, 0, false);
  w.Run();
  EXPECT_EQ(w.message()->text(), "The part is not found in the picture; nothing was recorded.");
}

// The identity row: its refusals said, its settings the program's.
TEST(QtProgramWindow, IdentityControls) {
  testing::StationFixture f;
  Station& st = f.station;
  ProgramWindow w(st, [](std::function<void()> action) { action(); });
  w.show();
  EXPECT_FALSE(w.required()->isEnabled()) << "no program open";
  testing::TeachPlateProgram(st);
  w.Refresh();
  ASSERT_TRUE(w.required()->isEnabled());
  w.required()->setChecked(true);
  EXPECT_TRUE(ProgramOf(st).program->identity_required);
  auto click = [&w](const QString& text) {
    for (QPushButton* b : w.findChildren<QPushButton*>()) {
      if (b->text() == text) b->click();
    }
  };
  click("Code region from the newest ROI");
  EXPECT_EQ(w.message()->text(), "draw an ROI around the part's code first");
  w.prefix()->setText("S-");
  click("Next number");
  EXPECT_EQ(w.message()->text(), "Part identity: S-0001");
  testing::Screenshot(&w, "program_window_identity");
  w.required()->setChecked(false);
  EXPECT_FALSE(ProgramOf(st).program->identity_required);
}

// The Drawing button: the drawing as last compared becomes a profile step,
// which runs with the program (the plate drawn a pixel a millimetre).
TEST(QtProgramWindow, TheDrawingButtonTeachesTheComparedDrawing) {
  testing::StationFixture f;
  Station& st = f.station;
  std::ofstream(st.folder() / "plate.dxf") << cad_test::PlateDxf();
  cad_test::PlateRender r;
  r.cx = 320, r.cy = 240;
  std::mt19937_64 rng(5);
  const gauge_render::Picture8 pic = cad_test::RenderPlate(640, 480, r, rng);
  testing::AttachImage(st, 640, 480);
  for (size_t i = 0; i < pic.px.size(); ++i) std::memset(st.image.frame + 3 * i, pic.px[i], 3);
  st.settings.calibrated = 1;
  st.settings.scale_x = 25.4;
  st.settings.calibration_distance = 24.0;
  st.settings.unit_factor = 1.0;  // inches
  std::string why;
  ASSERT_TRUE(PartOf(st).Teach({190, 160, 450, 320}, &why)) << why;
  ASSERT_TRUE(NewProgram(st, "PLATE", &why)) << why;
  ASSERT_EQ(LoadCadDrawing(st, st.folder() / "plate.dxf", "", nullptr), std::nullopt);
  std::string line;
  ASSERT_EQ(FitCadDrawing(st, &line), std::nullopt);
  ASSERT_EQ(CompareCadDrawing(st, 0.2, nullptr), std::nullopt);
  ProgramWindow w(st, [](std::function<void()> action) { action(); });
  w.show();
  for (QPushButton* b : w.findChildren<QPushButton*>()) {
    if (b->text() == "Drawing") b->click();
  }
  QTableWidget* steps = w.steps();
  ASSERT_EQ(steps->rowCount(), 1);
  EXPECT_EQ(Cell(steps, 0, 0), "CAD1");
  EXPECT_EQ(Cell(steps, 0, 1), "profile");
  w.Run();
  EXPECT_EQ(w.message()->text(), "Part 1 passed.");
  EXPECT_TRUE(Cell(steps, 0, 4).endsWith(" mm")) << Cell(steps, 0, 4).toStdString();
  EXPECT_EQ(steps->item(0, 4)->foreground().color(), QColor(kPassColour.r, kPassColour.g, kPassColour.b));
  testing::Screenshot(&w, "program_window_profile");
  EXPECT_FALSE(RunShot(st, "program_profile_overlay").isEmpty());
}

} // namespace
} // namespace orvane::qt
