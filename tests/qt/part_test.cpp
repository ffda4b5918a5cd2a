// Teach part and Find part on real widgets: the keys and the context menu's
// entries, the found part's frame on the picture, and a screenshot of it.
#include <gtest/gtest.h>
#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QTest>
#include <QTimer>

#include <cstdlib>
#include <filesystem>

#include "inspect/part.h"
#include "support/station_fixture.h"
#include "tests/qt/qt_support.h"
#include "ui/qt/front_end.h"

namespace orvane::qt {
namespace {

namespace fs = std::filesystem;

struct FileProgram {
  FileProgram() {
    unsetenv("ORVANE_VIRTUAL_CAMERA");
    started = front.Start("orvane");
    front.Show();
    QApplication::setActiveWindow(front.surface().window());
    EXPECT_TRUE(QTest::qWaitForWindowActive(front.surface().window(), 2000));
  }
  std::string result() { return front.surface().GetText(ControlId::ResultLine); }

  testing::TempDir dir;
  FrontEnd front{dir.path()};
  bool started = false;
};

// The entry of the window's context menu chosen as a user chooses it.
QStringList ChooseFromContextMenu(QWidget* window, const QString& entry) {
  QStringList seen;
  QTimer::singleShot(300, [&] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    QAction* chosen = nullptr;
    for (QAction* action : menu->actions()) {
      seen << action->text();
      if (action->text() == entry) chosen = action;
    }
    if (chosen == nullptr) {
      menu->close();
      return;
    }
    menu->setActiveAction(chosen);
    QTest::keyClick(menu, Qt::Key_Return);
  });
  const QPoint at(window->width() - 40, window->height() - 40);
  QContextMenuEvent event(QContextMenuEvent::Mouse, at, window->mapToGlobal(at));
  QApplication::sendEvent(window, &event);
  return seen;
}

TEST(QtPart, TaughtByKeyFoundFromTheContextMenuAndDrawn) {
  const fs::path samples = ORVANE_SOURCE_DIR "/samples";
  const fs::path turned = ORVANE_SOURCE_DIR "/tests/fixtures/part_story/PART-TURNED.BMP";
  FileProgram p;
  ASSERT_TRUE(p.started);
  QWidget* window = p.front.surface().window();
  p.front.OpenImageFile(QString::fromStdString((samples / "PART.BMP").string()));
  SolutionRecord& rec = *p.front.station().working;
  rec.roi_count = 1;
  rec.rois[0] = {};
  rec.rois[0].left = 110, rec.rois[0].top = 80, rec.rois[0].right = 529, rec.rois[0].bottom = 399;
  QTest::keyClick(window, Qt::Key_P);
  EXPECT_EQ(p.result().rfind("Part taught: ", 0), 0u) << p.result();
  EXPECT_TRUE(fs::exists(p.dir.path() / kPartModelName));

  p.front.OpenImageFile(QString::fromStdString(turned.string()));
  rec.roi_count = 0; // the frame alone on the picture
  const QStringList seen = ChooseFromContextMenu(window, QStringLiteral("Find Part\tF"));
  EXPECT_TRUE(seen.contains(QStringLiteral("Teach Part\tP")));
  EXPECT_EQ(p.result().rfind("Part found: score 0.9", 0), 0u) << p.result();
  ASSERT_EQ(PartOf(p.front.station()).shown.size(), 1u);
  QTest::qWait(50);
  testing::Screenshot(window, "part_found");

  p.front.OpenImageFile(QString::fromStdString((samples / "TARGET.BMP").string()));
  QTest::keyClick(window, Qt::Key_F);
  EXPECT_EQ(p.result(), "Part not found");
}

} // namespace
} // namespace orvane::qt
