// Message boxes and the core's dialog models run as real modal dialogs.
#include <gtest/gtest.h>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include "acquisition/camera_capture.h"
#include "platform/video/virtual_camera.h"
#include "support/station_fixture.h"
#include "tests/qt/qt_support.h"
#include "ui/dialogs.h"
#include "ui/grid_calibration_dialog.h"
#include "ui/qt/qt_surface.h"

namespace orvane::qt {
namespace {

template <typename T>
T* Child(QWidget* dialog, DialogControlId id) {
  return dialog->findChild<T*>(QString::number(Raw(id)));
}

TEST(QtMessageBox, ShowsTheExactTextCaptionAndButtons) {
  QtSurface s;
  s.window()->show();
  QString caption, text;
  QStringList buttons;
  testing::WhenModal([&](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    ASSERT_NE(box, nullptr);
    caption = box->windowTitle();
    text = box->text();
    for (QAbstractButton* b : box->buttons()) buttons << b->text();
    testing::Screenshot(box, "message_box_yes_no");
    box->button(QMessageBox::No)->click();
  });
  const MessageAnswer answer =
      s.MessageBox("Warning! You are about to reset all regions of interest. Continue?",
                   "Reset ROIs", MessageButtons::YesNo);
  EXPECT_EQ(answer, MessageAnswer::No);
  EXPECT_EQ(caption, QStringLiteral("Reset ROIs"));
  EXPECT_EQ(text, QStringLiteral("Warning! You are about to reset all regions of interest. Continue?"));
  buttons.sort();
  EXPECT_EQ(buttons, (QStringList{QStringLiteral("&No"), QStringLiteral("&Yes")}));

  // No caption of its own: the default title; a line break shown as one.
  testing::WhenModal([&](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    caption = box->windowTitle();
    text = box->text();
    QTest::keyClick(box, Qt::Key_Escape);
  });
  EXPECT_EQ(s.MessageBox("first line \r\nsecond line", "", MessageButtons::Ok), MessageAnswer::Ok);
  EXPECT_EQ(caption, QStringLiteral("Error"));
  EXPECT_EQ(text, QStringLiteral("first line \nsecond line"));
}

TEST(QtDialogs, DistanceDialogSelectsItsTextTakesTheFocusAndReadsTheTypedNumber) {
  QtSurface s;
  s.window()->show();
  Settings settings{};
  settings.units = 1;
  settings.unit_factor = 2.5399999618530273;
  DistanceDialog model(settings, 24.0);
  bool selected_all = false, focused = false;
  QString unit;
  testing::WhenModal([&](QWidget* dialog) {
    auto* edit = Child<QLineEdit>(dialog, DialogControlId::DistanceEdit);
    ASSERT_NE(edit, nullptr);
    selected_all = edit->hasSelectedText() && edit->selectedText() == edit->text();
    focused = dialog->focusWidget() == edit; // the dialog's focus, whether or not it is active yet
    unit = Child<QLabel>(dialog, DialogControlId::UnitLabel)->text();
    testing::Screenshot(dialog, "dialog_distance");
    QTest::keyClicks(edit, "10"); // replaces the selected text
    QTest::keyClick(edit, Qt::Key_Return); // OK is the default button
  });
  EXPECT_EQ(s.RunDialog(model), DialogResult::Ok);
  EXPECT_TRUE(selected_all);
  EXPECT_TRUE(focused);
  EXPECT_EQ(unit, QStringLiteral("cm"));
  EXPECT_DOUBLE_EQ(model.inches(), 10 / 2.5399999618530273);
}

TEST(QtDialogs, EscapeEndsADialogWithCancelAndItsCloseRunsOnce) {
  QtSurface s;
  s.window()->show();
  Settings settings{};
  settings.unit_factor = 1.0;
  DistanceDialog model(settings, 3.5);
  testing::WhenModal([](QWidget* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); });
  EXPECT_EQ(s.RunDialog(model), DialogResult::Cancel);
  EXPECT_DOUBLE_EQ(model.inches(), 3.5); // the text shown is read back on Cancel too
}

TEST(QtDialogs, EntityTypeButtonsChooseAndCloseWhileOkAndCancelStayHidden) {
  QtSurface s;
  s.window()->show();
  EntityTypeDialog model;
  bool ok_hidden = false;
  testing::WhenModal([&](QWidget* dialog) {
    ok_hidden = Child<QPushButton>(dialog, DialogControlId::Ok)->isHidden() &&
                Child<QPushButton>(dialog, DialogControlId::Cancel)->isHidden();
    testing::Screenshot(dialog, "dialog_entity_type");
    Child<QPushButton>(dialog, DialogControlId::EntityLine)->click();
  });
  EXPECT_EQ(s.RunDialog(model), DialogResult::Ok);
  EXPECT_TRUE(ok_hidden);
  ASSERT_TRUE(model.choice().has_value());
  EXPECT_EQ(*model.choice(), RoiEntity::Line);
}

// A model with a list whose choice disables another, as a settings dialog has.
class ListModel : public DialogModel {
 public:
  ListModel() : DialogModel("Lists") {
    Add({0, DialogControlKind::Static, "Measurement standard", {}, -1, true, true});
    Add({Raw(DialogControlId::MeasurementStandard), DialogControlKind::ComboBox, "",
         {"English", "Metric"}, 0, true, true});
    Add({0, DialogControlKind::Static, "Decimal places, angles", {}, -1, true, true});
    Add({Raw(DialogControlId::DecimalsAngles), DialogControlKind::ComboBox, "", {"0", "1", "2"}, 2,
         true, true});
    Add({Raw(DialogControlId::Ok), DialogControlKind::Button, "OK", {}, -1, true, true});
  }
  void OnSelectionChange(uint32_t id) override {
    changes.push_back(id);
    Find(DialogControlId::DecimalsAngles)->enabled = Find(id)->selection == 0;
  }
  std::optional<DialogResult> OnCommand(uint32_t id) override {
    if (id == Raw(DialogControlId::Ok)) return DialogResult::Ok;
    return std::nullopt;
  }
  void OnClose(DialogResult) override { ++closes; }
  std::vector<uint32_t> changes;
  int closes = 0;
};

TEST(QtDialogs, ListChoicesReachTheModelAtOnceAndItsStateIsShown) {
  QtSurface s;
  s.window()->show();
  ListModel model;
  bool angles_disabled = false;
  int shown_selection = -1;
  testing::WhenModal([&](QWidget* dialog) {
    auto* units = Child<QComboBox>(dialog, DialogControlId::MeasurementStandard);
    shown_selection = Child<QComboBox>(dialog, DialogControlId::DecimalsAngles)->currentIndex();
    units->setCurrentIndex(1);
    angles_disabled = !Child<QComboBox>(dialog, DialogControlId::DecimalsAngles)->isEnabled();
    testing::Screenshot(dialog, "dialog_lists");
    Child<QPushButton>(dialog, DialogControlId::Ok)->click();
  });
  EXPECT_EQ(s.RunDialog(model), DialogResult::Ok);
  EXPECT_EQ(shown_selection, 2);
  EXPECT_EQ(model.changes, std::vector<uint32_t>{Raw(DialogControlId::MeasurementStandard)});
  EXPECT_EQ(model.Find(DialogControlId::MeasurementStandard)->selection, 1);
  EXPECT_TRUE(angles_disabled);
  EXPECT_EQ(model.closes, 1);
}

// The search runs off the window's thread: what the figures line says once
// it has ended (the window answering meanwhile).
QString SearchResult(QWidget* dialog) {
  auto* label = Child<QLabel>(dialog, DialogControlId::GridFigures);
  QElapsedTimer timer;
  timer.start();
  while (label->text() == QStringLiteral("Looking for the grid...") && timer.elapsed() < 20000) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return label->text();
}

TEST(QtDialogs, GridCalibrationShowsThePictureWithItsPointsBesideTheFigures) {
  orvane::testing::StationFixture f;
  video::VirtualCameraConfig config;
  config.source = video::kVirtualGridSource;
  config.formats = {video::MakeVirtualFormat(1280, 720, 0)};
  video::ParseVirtualLens("k1=-0.2,tilt=10", &config.lens);
  UseVideoBackend(f.station, video::MakeVirtualBackend(config));
  ASSERT_TRUE(StartCamera(f.station, 0));
  QtSurface s;
  s.window()->show();
  GridCalibrationDialog model(f.station);
  QString figures;
  QImage picture;
  testing::WhenModal([&](QWidget* dialog) {
    Child<QPushButton>(dialog, DialogControlId::GridGrab)->click();
    figures = SearchResult(dialog);
    auto* view = dialog->findChild<QWidget*>(QStringLiteral("picture"));
    ASSERT_NE(view, nullptr);
    picture = view->grab().toImage();
    testing::Screenshot(dialog, "dialog_grid_calibration");
    Child<QPushButton>(dialog, DialogControlId::Ok)->click();
  });
  EXPECT_EQ(s.RunDialog(model), DialogResult::Ok);
  CloseCamera(f.station);
  EXPECT_TRUE(figures.startsWith(QStringLiteral("RMS ")));
  // Some marks are drawn: pure red pixels on a grey picture.
  int red = 0;
  for (int y = 0; y < picture.height(); ++y) {
    for (int x = 0; x < picture.width(); ++x) red += picture.pixel(x, y) == qRgb(255, 0, 0);
  }
  EXPECT_GT(red, 100);
}

// While Grab's search runs, its button says Cancel and the other controls
// wait; Cancel ends the search, which adds nothing; Discard while it runs
// ends the dialog at once.
TEST(QtDialogs, GridCalibrationSearchesOffTheWindowsThreadAndCancelStopsIt) {
  orvane::testing::StationFixture f;
  video::VirtualCameraConfig config;
  config.source = video::kVirtualGridSource;
  config.formats = {video::MakeVirtualFormat(1280, 720, 0)};
  UseVideoBackend(f.station, video::MakeVirtualBackend(config));
  ASSERT_TRUE(StartCamera(f.station, 0));
  QtSurface s;
  s.window()->show();
  GridCalibrationDialog model(f.station);
  QString during, button_during, after, button_after;
  bool accept_waits = false;
  testing::WhenModal([&](QWidget* dialog) {
    auto* grab = Child<QPushButton>(dialog, DialogControlId::GridGrab);
    grab->click();
    during = Child<QLabel>(dialog, DialogControlId::GridFigures)->text();
    button_during = grab->text();
    accept_waits = !Child<QPushButton>(dialog, DialogControlId::Ok)->isEnabled() &&
                   !Child<QLineEdit>(dialog, DialogControlId::GridRows)->isEnabled();
    testing::Screenshot(dialog, "dialog_grid_calibration_searching");
    grab->click(); // Cancel
    after = SearchResult(dialog);
    button_after = grab->text();
    grab->click(); // a search again, ended by Discard
    Child<QPushButton>(dialog, DialogControlId::Cancel)->click();
  });
  EXPECT_EQ(s.RunDialog(model), DialogResult::Cancel);
  CloseCamera(f.station);
  EXPECT_EQ(during, QStringLiteral("Looking for the grid..."));
  EXPECT_EQ(button_during, QStringLiteral("Cancel"));
  EXPECT_TRUE(accept_waits);
  EXPECT_EQ(after, QStringLiteral("The search was cancelled."));
  EXPECT_EQ(button_after, QStringLiteral("&Grab"));
  EXPECT_FALSE(model.fit());
}

} // namespace
} // namespace orvane::qt
