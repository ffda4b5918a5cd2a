// The surface of real widgets on its own: the template's controls, what the
// logic sets and reads, and which user actions come out as events.
#include <gtest/gtest.h>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QTest>

#include <vector>

#include "tests/qt/qt_support.h"
#include "ui/qt/controls.h"
#include "ui/qt/qt_surface.h"

namespace orvane::qt {
namespace {

struct Recorder {
  std::vector<std::pair<std::string, uint32_t>> events;
  explicit Recorder(QtSurface& s) {
    SurfaceEvents& e = s.events();
    e.command = [this](ControlId id) { events.push_back({"command", Raw(id)}); };
    e.selection_change = [this](ControlId id) { events.push_back({"select", Raw(id)}); };
    e.edit_lost_focus = [this](ControlId id) { events.push_back({"focus", Raw(id)}); };
    e.slider = [this](ControlId id, int32_t pos) {
      events.push_back({"slider " + std::to_string(pos), Raw(id)});
    };
    e.cancel = [this] { events.push_back({"cancel", 0}); };
    e.about = [this] { events.push_back({"about", 0}); };
    e.open_file = [this] { events.push_back({"open", 0}); };
  }
};

TEST(QtSurfaceTemplate, EveryControlStandsAtItsConvertedRectangle) {
  QtSurface s;
  for (const TemplateControl& t : MainWindowTemplate()) {
    SCOPED_TRACE(Raw(t.id));
    QWidget* w = s.widget(t.id);
    ASSERT_NE(w, nullptr);
    const Rect r = UnitsToPixels(t.units);
    EXPECT_EQ(s.ControlRect(t.id), r); // the logic's rectangle, a combo's list included
    EXPECT_EQ(w->x(), r.x);
    EXPECT_EQ(w->y(), r.y);
    EXPECT_EQ(w->width(), r.width);
    if (t.kind == TemplateKind::ComboBox) {
      EXPECT_LE(w->height(), r.height);
      EXPECT_LE(w->height(), UnitsToPixelsY(12));
    } else {
      EXPECT_EQ(w->height(), r.height);
    }
    EXPECT_EQ(s.IsVisible(t.id), t.visible);
    EXPECT_EQ(s.GetText(t.id), std::string(t.caption));
  }
  EXPECT_EQ(s.ClientSize(), kTemplateClient);
  s.window()->show();
  testing::Screenshot(s.window(), "surface_template");
}

TEST(QtSurfaceControls, StaticButtonsClickOnlyWhenEnabledAndTakeTheirColours) {
  QtSurface s;
  Recorder rec(s);
  s.window()->show();
  QWidget* process = s.widget(ControlId::Process);
  QTest::mouseClick(process, Qt::LeftButton);
  s.Enable(ControlId::Process, false);
  QTest::mouseClick(process, Qt::LeftButton);
  EXPECT_FALSE(s.IsEnabled(ControlId::Process));
  // A press that leaves the button before its release is no click.
  s.Enable(ControlId::Process, true);
  QTest::mousePress(process, Qt::LeftButton);
  QTest::mouseRelease(process, Qt::LeftButton, {}, QPoint(-5, -5));
  ASSERT_EQ(rec.events.size(), 1u);
  EXPECT_EQ(rec.events[0], std::make_pair(std::string("command"), Raw(ControlId::Process)));

  // White on green, black on lime while active (0x00BBGGRR).
  s.SetControlColours(ControlId::Process, {0xFFFFFF, 0x008000}, {0x000000, 0x00FF00});
  EXPECT_EQ(process->palette().color(QPalette::Window), QColor(0, 128, 0));
  EXPECT_EQ(process->palette().color(QPalette::WindowText), QColor(255, 255, 255));
  s.SetColourState(ControlId::Process, 1);
  EXPECT_EQ(process->palette().color(QPalette::Window), QColor(0, 255, 0));
  EXPECT_EQ(process->palette().color(QPalette::WindowText), QColor(0, 0, 0));
  s.Enable(ControlId::Grab, false);
  s.SetControlColours(ControlId::Grab, {0x000000, 0x008080}, {0x000000, 0x00FFFF});
  const QPalette grab = s.widget(ControlId::Grab)->palette();
  EXPECT_NE(grab.color(QPalette::Disabled, QPalette::WindowText),
            grab.color(QPalette::Active, QPalette::WindowText));
  testing::Screenshot(s.window(), "surface_colours");
}

TEST(QtSurfaceControls, EditsReportLosingTheFocusButNotTheLogicsWrites) {
  QtSurface s;
  Recorder rec(s);
  s.window()->show();
  QApplication::setActiveWindow(s.window());
  ASSERT_TRUE(QTest::qWaitForWindowActive(s.window(), 2000));
  auto* edit = static_cast<QLineEdit*>(s.widget(ControlId::RowEdit0));
  s.SetText(ControlId::RowEdit0, "128");
  EXPECT_TRUE(rec.events.empty());
  edit->setFocus(Qt::MouseFocusReason);
  QTest::keyClick(edit, Qt::Key_End);
  QTest::keyClicks(edit, "7");
  EXPECT_EQ(s.GetText(ControlId::RowEdit0), "1287");
  s.widget(ControlId::RowEdit1)->setFocus(Qt::TabFocusReason);
  ASSERT_EQ(rec.events.size(), 1u);
  EXPECT_EQ(rec.events[0], std::make_pair(std::string("focus"), Raw(ControlId::RowEdit0)));
  // The read-only result line takes no focus and shows the logic's text.
  s.SetText(ControlId::ResultLine, "----------------");
  EXPECT_EQ(s.widget(ControlId::ResultLine)->focusPolicy(), Qt::NoFocus);
  EXPECT_EQ(s.GetText(ControlId::ResultLine), "----------------");
}

TEST(QtSurfaceControls, SlidersReportEveryUserMoveOnly) {
  QtSurface s;
  Recorder rec(s);
  s.SetSliderRange(ControlId::RowSlider0, 0, 255, false);
  s.SetSliderPos(ControlId::RowSlider0, 128, true);
  s.SetSliderPos(ControlId::RowSlider0, 300, true); // a slider stays within its range
  EXPECT_EQ(s.SliderPos(ControlId::RowSlider0), 255);
  EXPECT_TRUE(rec.events.empty());
  auto* slider = static_cast<QSlider*>(s.widget(ControlId::RowSlider0));
  slider->triggerAction(QAbstractSlider::SliderSingleStepSub);
  slider->triggerAction(QAbstractSlider::SliderSingleStepSub);
  ASSERT_EQ(rec.events.size(), 2u);
  EXPECT_EQ(rec.events[0].first, "slider 254");
  EXPECT_EQ(rec.events[1].first, "slider 253");
  EXPECT_EQ(rec.events[1].second, Raw(ControlId::RowSlider0));
}

TEST(QtSurfaceControls, CombosStartUnselectedAndReportOnlyTheUsersChoice) {
  QtSurface s;
  Recorder rec(s);
  for (const char* item : {"Color", "Monochrome(R)", "Monochrome(G)"}) {
    s.AddComboItem(ControlId::OptionList, item);
  }
  EXPECT_EQ(s.ComboSelection(ControlId::OptionList), -1);
  s.SelectComboItem(ControlId::OptionList, 1);
  EXPECT_EQ(s.GetText(ControlId::OptionList), "Monochrome(R)");
  s.SelectComboItem(ControlId::OptionList, 7);
  EXPECT_EQ(s.ComboSelection(ControlId::OptionList), -1);
  EXPECT_TRUE(rec.events.empty());
  static_cast<QComboBox*>(s.widget(ControlId::OptionList))->setCurrentIndex(2);
  ASSERT_EQ(rec.events.size(), 1u);
  EXPECT_EQ(rec.events[0], std::make_pair(std::string("select"), Raw(ControlId::OptionList)));
  EXPECT_EQ(s.ComboSelection(ControlId::OptionList), 2);
  s.ClearCombo(ControlId::OptionList);
  EXPECT_EQ(s.ComboSelection(ControlId::OptionList), -1);
  EXPECT_EQ(rec.events.size(), 1u);
}

TEST(QtSurfaceControls, TextsKeepTheirLineBreaksForTheLogic) {
  QtSurface s;
  s.SetText(ControlId::CalibrationStatus, "12.5 pixels/inch\r\n24. inches distance");
  EXPECT_EQ(s.GetText(ControlId::CalibrationStatus), "12.5 pixels/inch\r\n24. inches distance");
  EXPECT_EQ(static_cast<QLabel*>(s.widget(ControlId::CalibrationStatus))->text(),
            QStringLiteral("12.5 pixels/inch\n24. inches distance"));
  s.SetText(ControlId::SolutionGroup, "Tool Settings");
  EXPECT_EQ(static_cast<QGroupBox*>(s.widget(ControlId::SolutionGroup))->title(),
            QStringLiteral("Tool Settings"));
  // A label longer than its control is shown smaller, not cut.
  s.SetText(ControlId::RowLabel1, "Reference Width (in.)");
  auto* label = static_cast<QLabel*>(s.widget(ControlId::RowLabel1));
  EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width());
  s.SetText(ControlId::RowLabel1, "Distance");
  EXPECT_EQ(label->font().pixelSize(), s.window()->font().pixelSize());
  s.SetWindowTitle("Lumivor DXF Build 230.107.8");
  EXPECT_EQ(s.WindowTitle(), "Lumivor DXF Build 230.107.8");
}

TEST(QtSurfaceWindow, KeysAndCloseBoxBecomeEvents) {
  QtSurface s;
  Recorder rec(s);
  s.window()->show();
  QTest::keyClick(s.window(), Qt::Key_Return);
  QTest::keyClick(s.window(), Qt::Key_F1);
  QTest::keyClick(s.window(), Qt::Key_O, Qt::ControlModifier);
  QTest::keyClick(s.window(), Qt::Key_Escape);
  // Enter inside a parameter edit still runs the default command.
  s.widget(ControlId::RowEdit2)->setFocus();
  QTest::keyClick(s.widget(ControlId::RowEdit2), Qt::Key_Enter);
  s.window()->close();
  EXPECT_TRUE(s.window()->isVisible()); // the logic decides whether it ends
  const std::vector<std::pair<std::string, uint32_t>> expected = {
      {"command", Raw(ControlId::DefaultButton)}, {"about", 0}, {"open", 0}, {"cancel", 0},
      {"command", Raw(ControlId::DefaultButton)}, {"cancel", 0}};
  EXPECT_EQ(rec.events, expected);
  bool ended = false;
  s.events().end = [&ended] { ended = true; };
  s.EndMainWindow();
  s.EndMainWindow();
  EXPECT_TRUE(ended);
  EXPECT_TRUE(s.ended());
}

TEST(QtSurfaceWindow, MoveWindowGivesTheClientWhatTheFrameLeaves) {
  QtSurface s;
  s.MoveWindow({0, 0, 1024, 768});
  EXPECT_EQ(s.ClientSize(), (Size{1024, 768})); // no frame before the window is shown
  EXPECT_EQ(s.window()->pos(), QPoint(0, 0));
  const Size screen = s.ScreenSize();
  EXPECT_GT(screen.width, 0);
  EXPECT_GT(screen.height, 0);
  // The whole screen: full screen, the client is the screen itself.
  s.MoveWindow({0, 0, screen.width, screen.height});
  EXPECT_EQ(s.ClientSize(), screen);
  s.ShowWindow();
  EXPECT_TRUE(s.window()->windowState() & Qt::WindowFullScreen);
  EXPECT_FALSE(s.widget(ControlId::Process)->toolTip().isEmpty());
}

} // namespace
} // namespace orvane::qt
