// Compare with Drawing on real widgets: the sample plate against its drawing,
// a loose tolerance that passes and a tight one that fails; the message box
// with the figures and the window with the deviations, as screenshots.
#include <gtest/gtest.h>
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>

#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "cad/session.h"
#include "support/station_fixture.h"
#include "tests/qt/qt_support.h"
#include "ui/cad_command.h"
#include "ui/qt/cad_layers_dialog.h"
#include "ui/qt/front_end.h"
#include "ui/qt/image_view_widget.h"

namespace orvane::qt {
namespace {

// The figures the message box gave, and the window's screenshot after it.
std::string CompareAndShoot(FrontEnd& front, const std::filesystem::path& drawing, double tolerance,
                            const std::string& name) {
  std::string said;
  testing::WhenModal([&said, name](QWidget* modal) {
    if (auto* box = qobject_cast<QMessageBox*>(modal)) said = box->text().toStdString();
    testing::Screenshot(modal, name + "_figures");
    modal->close();
  });
  CompareWithDrawing(front.station(), drawing, "in", tolerance);
  testing::Screenshot(front.surface().window(), name);
  return said;
}

TEST(QtCompareWithDrawing, PassingAndFailingPlate) {
  const std::filesystem::path part = ORVANE_SOURCE_DIR "/samples/PART.BMP";
  const std::filesystem::path drawing = ORVANE_SOURCE_DIR "/tests/batch/scripts/cad_part.dxf";
  if (!std::filesystem::exists(part)) GTEST_SKIP() << "no sample pictures";
  unsetenv("ORVANE_VIRTUAL_CAMERA");
  testing::TempDir dir;
  FrontEnd front{dir.path()};
  ASSERT_TRUE(front.Start("orvane"));
  front.Show();
  front.OpenImageFile(QString::fromStdString(part.string()));
  // The sample's calibration: 50 pixels per inch at 24 inches.
  Station& st = front.station();
  st.settings.calibrated = 1;
  st.settings.scale_x = 50.0;
  st.settings.calibration_distance = 24.0;
  EXPECT_FALSE(DrawingNamesUnit(drawing));
  const std::string pass = CompareAndShoot(front, drawing, 0.05, "cad_compare_pass");
  EXPECT_NE(pass.find("cad max +0.0189 min -0.0204 rms 0.0053 pass"), std::string::npos) << pass;
  const std::string fail = CompareAndShoot(front, drawing, 0.01, "cad_compare_fail");
  EXPECT_NE(fail.find(" fail\n"), std::string::npos) << fail;
  ASSERT_TRUE(st.cad && st.cad->comparison);
  EXPECT_EQ(st.cad->comparison->all.missing, 0u);
}

// A left drag on the view with Ctrl+Alt (and Shift when turning) held.
void DragDrawing(QWidget* view, QPoint from, QPoint to, Qt::KeyboardModifiers keys) {
  QTest::mousePress(view, Qt::LeftButton, keys, from);
  for (int k = 1; k <= 4; ++k) {
    const QPointF at = QPointF(from) + (QPointF(to) - QPointF(from)) * k / 4.0;
    QMouseEvent move(QEvent::MouseMove, at, view->mapToGlobal(at), Qt::NoButton, Qt::LeftButton, keys);
    QApplication::sendEvent(view, &move);
  }
  QTest::mouseRelease(view, Qt::LeftButton, keys, to);
}

TEST(QtCompareWithDrawing, LayersDialogAndADrawingMovedByHand) {
  const std::filesystem::path part = ORVANE_SOURCE_DIR "/samples/PART.BMP";
  const std::filesystem::path drawing = ORVANE_SOURCE_DIR "/tests/batch/scripts/cad_part.dxf";
  if (!std::filesystem::exists(part)) GTEST_SKIP() << "no sample pictures";
  unsetenv("ORVANE_VIRTUAL_CAMERA");
  testing::TempDir dir;
  FrontEnd front{dir.path()};
  ASSERT_TRUE(front.Start("orvane"));
  front.Show();
  front.OpenImageFile(QString::fromStdString(part.string()));
  Station& st = front.station();
  st.settings.calibrated = 1;
  st.settings.scale_x = 50.0;
  st.settings.calibration_distance = 24.0;
  // The layers with their curves, all ticked; OUTLINE unticked.
  testing::WhenModal([](QWidget* modal) {
    testing::Screenshot(modal, "cad_layers_dialog");
    modal->findChild<QCheckBox*>(QStringLiteral("OUTLINE"))->setChecked(false);
    modal->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
  });
  const auto chosen = AskDrawingLayers(front.surface().window(), DrawingLayers(drawing));
  ASSERT_TRUE(chosen);
  EXPECT_EQ(*chosen, std::vector<std::string>{"HOLES"});

  CompareAndShoot(front, drawing, 0.05, "cad_before_move");
  ASSERT_TRUE(st.cad && st.cad->placement);
  const cad::Placement fitted = *st.cad->placement;
  QWidget* view = front.surface().image_view();
  const Qt::KeyboardModifiers hand = Qt::ControlModifier | Qt::AltModifier;
  const int w = view->width(), h = view->height();
  DragDrawing(view, {w / 2, h / 2}, {w / 2 + w / 12, h / 2 - h / 12}, hand);
  DragDrawing(view, {w * 9 / 10, h / 2}, {w * 9 / 10, h * 2 / 3}, hand | Qt::ShiftModifier);
  const cad::Placement& moved = *st.cad->placement;
  EXPECT_GT(std::hypot(moved.px - fitted.px, moved.py - fitted.py), 20.0);
  EXPECT_GT(std::fabs(moved.angle - fitted.angle), 0.02);
  EXPECT_FALSE(st.cad->comparison);
  EXPECT_EQ(st.cad->drag, CadSession::Drag::None);
  testing::Screenshot(front.surface().window(), "cad_moved_by_hand");
}

}  // namespace
}  // namespace orvane::qt
