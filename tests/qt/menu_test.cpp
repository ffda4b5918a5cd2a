// The menu bar on real widgets: above a client area that keeps the
// template's size and layout, its entries present and working (tools,
// Results, rectification with its check mark, loupe, help); zoomed in, the
// overlay's texts out of view pinned readable to the view's corner; the
// loupe's line never cut near the view's edges.
#include <gtest/gtest.h>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTest>

#include <cstdlib>

#include "acquisition/camera_capture.h"
#include "results/session.h"
#include "support/grid_support.h"
#include "support/station_fixture.h"
#include "tests/qt/qt_support.h"
#include "ui/help.h"
#include "ui/qt/front_end.h"
#include "ui/qt/image_view_widget.h"
#include "ui/qt/results_window.h"
#include "view/measure_tools.h"
#include "view/zoom.h"

namespace orvane::qt {
namespace {

constexpr int kManualMeasurement = 2;

QAction* Entry(QMenu* menu, const QString& starts) {
  for (QAction* a : menu->actions()) {
    if (a->text().startsWith(starts)) return a;
  }
  return nullptr;
}

TEST(QtMenuBar, StandsAboveAClientAreaOfTheTemplatesSizeAndLayout) {
  QtSurface s;
  s.window()->show();
  const int menu = s.menu_bar()->height();
  EXPECT_GT(menu, 10);
  EXPECT_EQ(s.menu_bar()->geometry().topLeft(), QPoint(0, 0));
  EXPECT_EQ(s.client()->geometry(), QRect(0, menu, kTemplateClient.width, kTemplateClient.height));
  EXPECT_EQ(s.ClientSize(), kTemplateClient);
  EXPECT_EQ(s.window()->height(), kTemplateClient.height + menu); // the window grows by the bar
  for (const TemplateControl& t : MainWindowTemplate()) {
    const Rect r = UnitsToPixels(t.units);
    EXPECT_EQ(s.widget(t.id)->mapTo(s.window(), QPoint(0, 0)), QPoint(r.x, r.y + menu)) << Raw(t.id);
  }
  QStringList titles;
  for (QAction* a : s.menu_bar()->actions()) titles << a->text();
  EXPECT_EQ(titles, (QStringList{"&Measure", "&Calibration", "&View", "&Help"}));
  // A resized window resizes the client area by as much, below the bar.
  s.window()->resize(1000, 800 + menu);
  EXPECT_EQ(s.ClientSize(), (Size{1000, 800}));
  testing::Screenshot(s.window(), "menu_bar_surface");
}

struct MenuProgram {
  explicit MenuProgram(const char* camera = nullptr, const char* lens = nullptr) {
    if (camera != nullptr) setenv("ORVANE_VIRTUAL_CAMERA", camera, 1);
    else unsetenv("ORVANE_VIRTUAL_CAMERA");
    if (lens != nullptr) setenv("ORVANE_VIRTUAL_LENS", lens, 1);
    started = front.Start("orvane");
    front.Show();
    QApplication::setActiveWindow(front.surface().window());
    EXPECT_TRUE(QTest::qWaitForWindowActive(front.surface().window(), 2000));
  }
  ~MenuProgram() {
    unsetenv("ORVANE_VIRTUAL_CAMERA");
    unsetenv("ORVANE_VIRTUAL_LENS");
  }
  QMenu* menu(MenuId id) { return front.surface().menu(id); }
  // Opening the menu brings its entries up to date, as a user's click does.
  QAction* Open(MenuId id, const QString& entry) {
    Q_EMIT menu(id)->aboutToShow();
    return Entry(menu(id), entry);
  }
  void DropPart() {
    const std::filesystem::path part = ORVANE_SOURCE_DIR "/samples/PART.BMP";
    front.OpenImageFile(QString::fromStdString(part.string()));
  }
  void ClickView(double image_x, double image_y) {
    ImageViewWidget* view = front.surface().image_view();
    const ImageState& im = front.station().image;
    const QPoint at(static_cast<int>((image_x + 0.5) * view->width() / im.width),
                    static_cast<int>((image_y + 0.5) * view->height() / im.height));
    QTest::mouseClick(view, Qt::LeftButton, {}, at);
  }

  testing::TempDir dir;
  FrontEnd front{dir.path()};
  bool started = false;
};

TEST(QtMenuBar, ToolsResultsLoupeAndHelpWorkFromTheMenusAndTheKeys) {
  MenuProgram p;
  ASSERT_TRUE(p.started);
  Station& st = p.front.station();
  QAction* diameter = p.Open(MenuId::Measure, "Diameter");
  ASSERT_NE(diameter, nullptr);
  for (const char* entry : {"Measure", "Straight edge", "Width", "Next tool", "Results..."}) {
    EXPECT_NE(Entry(p.menu(MenuId::Measure), entry), nullptr) << entry;
  }
  EXPECT_EQ(Entry(p.menu(MenuId::Measure), "Program"), nullptr); // nothing announced that is not there
  diameter->trigger();
  EXPECT_EQ(CurrentTool(st), MeasureTool::Diameter);
  QMenu* measure = p.menu(MenuId::Measure);
  measure->popup(p.front.surface().window()->mapToGlobal(QPoint(0, p.front.surface().menu_bar()->height())));
  QApplication::processEvents();
  testing::Screenshot(measure, "menu_measure_open");
  measure->hide();
  EXPECT_TRUE(p.front.menu()->tool(MeasureTool::Diameter)->isChecked());
  EXPECT_TRUE(p.front.menu()->status()->text().startsWith("Tool: Diameter"));
  QWidget* window = p.front.surface().window();
  QTest::keyClick(window, Qt::Key_T);
  EXPECT_EQ(CurrentTool(st), MeasureTool::Edge);
  QTest::keyClick(window, Qt::Key_W);
  EXPECT_EQ(CurrentTool(st), MeasureTool::Width);
  EXPECT_TRUE(p.front.menu()->tool(MeasureTool::Width)->isChecked());
  QTest::keyClick(window, Qt::Key_M);
  EXPECT_EQ(CurrentTool(st), MeasureTool::Measure);

  p.Open(MenuId::Measure, "Results...")->trigger();
  ASSERT_NE(p.front.results_window(), nullptr);
  EXPECT_TRUE(p.front.results_window()->isVisible());
  p.front.results_window()->hide();

  QAction* loupe = p.Open(MenuId::View, "Loupe");
  ASSERT_NE(loupe, nullptr);
  loupe->trigger();
  EXPECT_TRUE(p.front.surface().image_view()->loupe_on());
  EXPECT_TRUE(p.Open(MenuId::View, "Loupe")->isChecked());
  for (const char* entry : {"Zoom in", "Zoom out", "Whole image", "One image pixel"}) {
    EXPECT_NE(Entry(p.menu(MenuId::View), entry), nullptr) << entry;
  }
  EXPECT_NE(p.Open(MenuId::Calibration, "Grid Calibration..."), nullptr);
  QAction* rectification = p.Open(MenuId::Calibration, "Rectification");
  ASSERT_NE(rectification, nullptr);
  EXPECT_FALSE(rectification->isEnabled()); // no camera, no grid calibration
  EXPECT_EQ(rectification->text(), "Rectification: no grid calibration for this camera");

  p.Open(MenuId::Help, "Keyboard and mouse...")->trigger();
  QPlainTextEdit* help = p.front.menu()->help();
  ASSERT_NE(help, nullptr);
  EXPECT_TRUE(help->isVisible());
  EXPECT_EQ(help->toPlainText().toStdString(), KeyboardAndMouseHelp());
  // Every line shows whole, none wrapped or cut.
  for (const QString& line : help->toPlainText().split('\n')) {
    EXPECT_LT(help->fontMetrics().horizontalAdvance(line), help->viewport()->width()) << line.toStdString();
  }
  testing::Screenshot(help->window(), "menu_help_sheet");
  help->window()->hide();
  testing::Screenshot(window, "menu_bar_program");
}

TEST(QtMenuBar, TheRectificationEntryIsCheckedWhileRectifiedAndTurnsItOff) {
  MenuProgram p("grid", "k1=-0.2,tilt=10");
  ASSERT_TRUE(p.started);
  Station& st = p.front.station();
  ASSERT_TRUE(testing::CalibrateVirtualGrid(st));
  QAction* rectification = p.Open(MenuId::Calibration, "Rectification");
  ASSERT_NE(rectification, nullptr);
  EXPECT_TRUE(rectification->isEnabled());
  EXPECT_TRUE(rectification->isChecked());
  EXPECT_EQ(rectification->text(), "Rectification on");
  EXPECT_EQ(p.front.surface().widget(ControlId::ImageStatus)->toolTip(), "Rectified");
  EXPECT_TRUE(p.front.menu()->status()->text().endsWith("| Rectification on"));
  rectification->trigger();
  EXPECT_FALSE(st.camera->rectification.active());
  rectification = p.Open(MenuId::Calibration, "Rectification");
  EXPECT_FALSE(rectification->isChecked());
  EXPECT_EQ(rectification->text(), "Rectification off");
  EXPECT_TRUE(p.front.menu()->status()->text().endsWith("| Rectification off"));
  testing::Screenshot(p.front.surface().window(), "menu_rectification_off");
}

// A 400-pixel length measured on the sample plate, then the view zoomed 8
// times at a corner: the value and the mode that the view cannot show, or
// shows under the overview, are pinned readable in its bottom-left corner.
TEST(QtZoomedTexts, TheValueAndTheModeStayReadableAtEveryCorner) {
  if (!std::filesystem::exists(ORVANE_SOURCE_DIR "/samples/PART.BMP")) GTEST_SKIP() << "no sample pictures";
  MenuProgram p;
  Station& st = p.front.station();
  static_cast<QComboBox*>(p.front.surface().widget(ControlId::SolutionList))->setCurrentIndex(kManualMeasurement);
  p.DropPart();
  st.hooks.ask_distance = [&st] {
    st.shared_dialog_value = 24.0;
    return DialogResult::Ok;
  };
  p.ClickView(120, 300);
  p.ClickView(520, 300);
  ImageViewWidget* view = p.front.surface().image_view();
  EXPECT_TRUE(view->PinnedLines().isEmpty()); // at fit every text is in view
  ASSERT_GE(st.overlay_texts.size(), 2u);
  const QString mode = QString::fromStdString(st.overlay_texts[0].text);
  const QString value = QString::fromStdString(st.overlay_texts[1].text);
  EXPECT_EQ(mode, "2PT");
  const double fit = FitScale(AreaOf(st.image));
  const struct {
    const char* name;
    double zoom, x, y;
    bool mode_pinned, value_pinned;
  } corners[] = {{"bottom_right", 8, 639, 479, true, true},
                 {"top_left", 8, 0, 0, true, true},
                 {"top_right", 8, 639, 0, true, true},
                 {"bottom_left", 8, 0, 479, true, true},
                 {"top_left_1.15x", 1.15, 0, 0, true, false}, // the value in view, the mode off it
                 {"top_right_2x", 2, 639, 0, true, true}};  // the mode under the overview
  for (const auto& c : corners) {
    SCOPED_TRACE(c.name);
    st.view.zoom = CentreOn(AreaOf(st.image), c.zoom * fit, c.x, c.y);
    view->repaint();
    const QStringList pinned = view->PinnedLines();
    EXPECT_EQ(pinned.contains(mode), c.mode_pinned) << pinned.join('|').toStdString();
    EXPECT_EQ(pinned.contains(value), c.value_pinned) << pinned.join('|').toStdString();
    const QRect box = view->PinnedRect();
    EXPECT_TRUE(view->rect().contains(box));
    const QImage shot = view->grab().toImage();
    const QRgb inside = shot.pixel(box.x() + 1, box.y() + 1);
    EXPECT_LT(qGray(inside), 60); // the box's dark ground is painted
    testing::Screenshot(p.front.surface().window(), std::string("zoom_pinned_") + c.name);
  }
  st.view.zoom = {};
  view->repaint();
  EXPECT_TRUE(view->PinnedLines().isEmpty());
}

TEST(QtZoomedTexts, TheLoupesLineIsNeverCutNearTheViewsEdges) {
  if (!std::filesystem::exists(ORVANE_SOURCE_DIR "/samples/PART.BMP")) GTEST_SKIP() << "no sample pictures";
  MenuProgram p;
  p.DropPart();
  ImageViewWidget* view = p.front.surface().image_view();
  QTest::keyClick(p.front.surface().window(), Qt::Key_L);
  const int w = view->width(), h = view->height();
  for (const QPoint at : {QPoint(2, 2), QPoint(w - 3, 2), QPoint(2, h - 3), QPoint(w - 3, h - 3), QPoint(w / 2, h / 2)}) {
    SCOPED_TRACE(at.x() * 10000 + at.y());
    QMouseEvent move(QEvent::MouseMove, QPointF(at), view->mapToGlobal(QPointF(at)), Qt::NoButton, Qt::NoButton, {});
    QApplication::sendEvent(view, &move);
    const QRect loupe = view->LoupeRect();
    ASSERT_FALSE(loupe.isEmpty());
    EXPECT_TRUE(view->rect().contains(loupe));
    EXPECT_FALSE(loupe.contains(at)); // never over the pixel under the cursor
    EXPECT_LE(view->fontMetrics().horizontalAdvance(view->LoupeText()), loupe.width());
  }
  testing::Screenshot(p.front.surface().window(), "loupe_bottom_right_corner");
}

} // namespace
} // namespace orvane::qt
