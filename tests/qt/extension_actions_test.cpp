// The window's ways into the extensions without controls of their own: the
// note a click on the live picture gives, the note after Save, and the
// context menu's picture and DXF entries, on real widgets.
#include <gtest/gtest.h>
#include <QApplication>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QTest>
#include <QTimer>

#include <cstdlib>
#include <filesystem>

#include "dxf/dxf_options.h"
#include "support/station_fixture.h"
#include "tests/qt/qt_support.h"
#include "ui/live_hint.h"
#include "ui/qt/front_end.h"
#include "ui/qt/live_video_widget.h"

namespace orvane::qt {
namespace {

struct CameraProgram {
  CameraProgram() {
    setenv("ORVANE_VIRTUAL_CAMERA", "scene", 1);
    started = front.Start("orvane");
    front.Show();
    QApplication::setActiveWindow(front.surface().window());
    EXPECT_TRUE(QTest::qWaitForWindowActive(front.surface().window(), 2000));
  }
  ~CameraProgram() { unsetenv("ORVANE_VIRTUAL_CAMERA"); }

  QLabel* note() { return front.surface().note(); }

  testing::TempDir dir;
  FrontEnd front{dir.path()};
  bool started = false;
};

TEST(QtExtensionActions, NotesForTheLivePictureSaveAndTheAnnotatedPicture) {
  CameraProgram p;
  ASSERT_TRUE(p.started);
  QtSurface& surface = p.front.surface();
  LiveVideoWidget* live = surface.live_video();
  ASSERT_FALSE(live->isHidden());
  for (int waited = 0; waited < 5000 && live->stats().frames < 1; waited += 20) QTest::qWait(20);
  EXPECT_TRUE(p.note()->isHidden());
  QTest::mouseClick(live, Qt::LeftButton, {}, live->rect().center());
  ASSERT_FALSE(p.note()->isHidden());
  EXPECT_EQ(p.note()->text(), QString::fromLatin1(kGrabToMeasure));
  // Over the live picture, inside it, and clicks go through it.
  EXPECT_TRUE(live->geometry().contains(p.note()->geometry()));
  EXPECT_TRUE(p.note()->testAttribute(Qt::WA_TransparentForMouseEvents));
  testing::Screenshot(surface.window(), "note_grab_to_measure");

  QTest::mouseClick(surface.widget(ControlId::Grab), Qt::LeftButton);
  ASSERT_TRUE(live->isHidden());
  QTest::mouseClick(surface.widget(ControlId::Save), Qt::LeftButton);
  EXPECT_TRUE(p.note()->text().startsWith(QStringLiteral("Picture saved: "))) << p.note()->text().toStdString();
  EXPECT_TRUE(p.note()->text().contains(QStringLiteral("/Saved/IMAGE0.")));
  EXPECT_TRUE(surface.widget(ControlId::ImageView)->geometry().contains(p.note()->geometry()));
  testing::Screenshot(surface.window(), "note_picture_saved");

  surface.events().save_annotated();
  EXPECT_TRUE(std::filesystem::exists(p.dir.path() / "Saved" / "IMAGE1-annotated.BMP"));
  EXPECT_TRUE(p.note()->text().contains(QStringLiteral("IMAGE1-annotated.BMP")));

  EXPECT_FALSE(surface.events().dxf_units_on());
  surface.events().dxf_units(true);
  EXPECT_TRUE(surface.events().dxf_units_on());
  EXPECT_TRUE(LoadDxfOptions(p.front.station()).units);
}

// The context menu offers the entries, and its check box turns the DXF unit
// on through the station, as a user's choice of it does.
TEST(QtExtensionActions, ContextMenuEntries) {
  CameraProgram p;
  ASSERT_TRUE(p.started);
  QWidget* window = p.front.surface().window();
  QStringList seen;
  bool checked_before = true;
  QTimer::singleShot(300, [&] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    testing::Screenshot(menu, "context_menu");
    QAction* units = nullptr;
    for (QAction* action : menu->actions()) {
      seen << action->text();
      if (action->text() == QStringLiteral("Units in DXF Drawings")) units = action;
    }
    if (units == nullptr) {
      menu->close();
      return;
    }
    checked_before = units->isChecked();
    menu->setActiveAction(units);
    QTest::keyClick(menu, Qt::Key_Return);
  });
  const QPoint at(window->width() - 40, window->height() - 40);
  QContextMenuEvent event(QContextMenuEvent::Mouse, at, window->mapToGlobal(at));
  QApplication::sendEvent(window, &event);
  for (const char* entry : {"Save Picture with Overlay", "Save DXF As...", "Units in DXF Drawings"}) {
    EXPECT_TRUE(seen.contains(QString::fromLatin1(entry))) << entry;
  }
  EXPECT_FALSE(checked_before);
  EXPECT_TRUE(LoadDxfOptions(p.front.station()).units);
}

} // namespace
} // namespace orvane::qt
