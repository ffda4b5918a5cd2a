// Undo and redo keys on real widgets: Ctrl+Z and Ctrl+Shift+Z (Ctrl+Y) in
// the main window take back an ROI drawn on the view; in the Results window
// they take back a deleted row.
#include <gtest/gtest.h>
#include <QApplication>
#include <QComboBox>
#include <QTableWidget>
#include <QTest>

#include <cstdlib>

#include "results/session.h"
#include "support/station_fixture.h"
#include "tests/qt/qt_support.h"
#include "ui/qt/front_end.h"
#include "ui/qt/image_view_widget.h"
#include "ui/commands.h"
#include "ui/qt/results_window.h"

namespace orvane::qt {
namespace {

// A left drag on the view between two client positions.
void Drag(QWidget* view, QPoint from, QPoint to) {
  QTest::mousePress(view, Qt::LeftButton, {}, from);
  QMouseEvent move(QEvent::MouseMove, QPointF(to), view->mapToGlobal(QPointF(to)), Qt::NoButton,
                   Qt::LeftButton, {});
  QApplication::sendEvent(view, &move);
  QTest::mouseRelease(view, Qt::LeftButton, {}, to);
}

TEST(QtUndo, KeysTakeBackAnRoiAndADeletedRow) {
  const std::filesystem::path sample = ORVANE_SOURCE_DIR "/samples/PART.BMP";
  if (!std::filesystem::exists(sample)) GTEST_SKIP() << "no sample pictures";
  unsetenv("ORVANE_VIRTUAL_CAMERA");
  testing::TempDir dir;
  FrontEnd front(dir.path());
  ASSERT_TRUE(front.Start("orvane"));
  front.Show();
  QWidget* window = front.surface().window();
  QApplication::setActiveWindow(window);
  ASSERT_TRUE(QTest::qWaitForWindowActive(window, 2000));
  Station& st = front.station();
  ASSERT_TRUE(DropStillFile(st, sample.string()));
  static_cast<QComboBox*>(front.surface().widget(ControlId::SolutionList))->setCurrentIndex(0);
  ASSERT_EQ(st.view.mouse_mode, 0u);

  Drag(front.surface().image_view(), QPoint(40, 40), QPoint(200, 160));
  ASSERT_EQ(st.working->roi_count, 1u);
  QTest::keyClick(window, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(st.working->roi_count, 0u);
  EXPECT_EQ(front.surface().GetText(ControlId::RoiCount), "Regions of Interest: 0");
  testing::Screenshot(window, "undo_roi_undone");
  QTest::keyClick(window, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(st.working->roi_count, 1u);
  QTest::keyClick(window, Qt::Key_Z, Qt::ControlModifier);
  QTest::keyClick(window, Qt::Key_Y, Qt::ControlModifier);
  EXPECT_EQ(st.working->roi_count, 1u);
  testing::Screenshot(window, "undo_roi_redone");

  ResultRow row;
  row.kind = kKindLength;
  row.value = 2.5;
  row.unit = "in";
  AddResult(st, row);
  QTest::keyClick(window, Qt::Key_F2);
  ResultsWindow* results = front.results_window();
  ASSERT_NE(results, nullptr);
  QApplication::setActiveWindow(results);
  ASSERT_TRUE(QTest::qWaitForWindowActive(results, 2000));
  results->rows()->selectRow(0);
  results->DeleteSelected();
  ASSERT_EQ(results->rows()->model()->rowCount(), 0);
  QTest::keyClick(results, Qt::Key_Z, Qt::ControlModifier);
  ASSERT_EQ(results->rows()->model()->rowCount(), 1);
  EXPECT_EQ(results->rows()->model()->index(0, 5).data().toString(), "2.5");
  testing::Screenshot(results, "undo_row_back");
}

} // namespace
} // namespace orvane::qt
