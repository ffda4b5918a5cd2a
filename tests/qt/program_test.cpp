// The whole program on real widgets: start-up in an empty folder, drops,
// Process, parameter edits, the Set-Up dialog, the mouse at the run's scale
// factor, the file chooser, the end, and numbers in a German locale.
#include <gtest/gtest.h>
#include <QComboBox>
#include <QDialog>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QUrl>

#include <cstdlib>
#include <fstream>

#include "inspect/program_draw.h"
#include "inspect/program_session.h"
#include "support/station_fixture.h"
#include "tests/inspect/plate_station.h"
#include "tests/qt/qt_support.h"
#include "ui/qt/front_end.h"
#include "ui/qt/image_view_widget.h"
#include "ui/qt/live_video_widget.h"
#include "view/zoom.h"

namespace orvane::qt {
namespace {

constexpr int kAutoCalibration = 0;
constexpr int kManualCalibration = 1;
constexpr int kDxfAutoOutput = 3;
constexpr int kDxfSimpleOutput = 4;

// A 24-bit BMP of a bright 120 x 80 part on a dark 400 x 300 background.
std::filesystem::path DrawBmp(const std::filesystem::path& folder) {
  constexpr uint32_t w = 400, h = 300, row = (w * 3 + 3) & ~3u, size = 54 + row * h;
  std::vector<uint8_t> bmp(size, 0);
  auto put32 = [&bmp](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) bmp[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  bmp[0] = 'B';
  bmp[1] = 'M';
  put32(2, size);
  put32(10, 54);
  put32(14, 40);
  put32(18, w);
  put32(22, h);
  bmp[26] = 1;
  bmp[28] = 24;
  put32(34, row * h);
  for (uint32_t y = 0; y < h; ++y) {
    for (uint32_t x = 0; x < w; ++x) {
      const bool part = x >= 140 && x < 260 && y >= 110 && y < 190;
      uint8_t* p = &bmp[54 + (h - 1 - y) * row + x * 3];
      p[0] = part ? 220 : 30;
      p[1] = part ? 210 : 40;
      p[2] = part ? 200 : 50;
    }
  }
  const std::filesystem::path path = folder / "part drawn.bmp";
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bmp.data()), size);
  return path;
}

// A sample from samples/ when the tree has one, else a BMP drawn here.
std::filesystem::path SampleBmp(const std::filesystem::path& scratch) {
  const std::filesystem::path sample = ORVANE_SOURCE_DIR "/samples/PART.BMP";
  if (std::filesystem::exists(sample)) return sample;
  return DrawBmp(scratch);
}

struct Program {
  // Without a camera unless `camera` names the virtual camera's source.
  explicit Program(const char* camera = nullptr) {
    if (camera != nullptr) {
      setenv("ORVANE_VIRTUAL_CAMERA", camera, 1);
    } else {
      unsetenv("ORVANE_VIRTUAL_CAMERA");
    }
    front.station().overlay_text_observer = [this](int32_t, int32_t, std::string_view text, Rgb) {
      texts.emplace_back(text);
    };
    started = front.Start("orvane");
    front.Show();
    QApplication::setActiveWindow(front.surface().window());
    // Focus changes reach the widgets only in the active window.
    EXPECT_TRUE(QTest::qWaitForWindowActive(front.surface().window(), 2000));
  }
  ~Program() { unsetenv("ORVANE_VIRTUAL_CAMERA"); }

  QWidget* widget(ControlId id) { return front.surface().widget(id); }
  std::string text(ControlId id) { return front.surface().GetText(id); }

  void Drop(const std::filesystem::path& path) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(path.string()))});
    QWidget* view = front.surface().image_view();
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(view, &enter);
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(view, &drop);
  }

  void Select(int solution) {
    static_cast<QComboBox*>(widget(ControlId::SolutionList))->setCurrentIndex(solution);
  }

  void Click(ControlId id) { QTest::mouseClick(widget(id), Qt::LeftButton); }

  // Types into a parameter edit, then moves the focus on as a Tab does.
  void Type(ControlId edit, const QString& typed, ControlId next) {
    auto* e = static_cast<QLineEdit*>(widget(edit));
    e->setFocus(Qt::MouseFocusReason);
    e->selectAll();
    QTest::keyClicks(e, typed);
    widget(next)->setFocus(Qt::TabFocusReason);
  }

  // A left drag on the view between two client positions.
  void Drag(QPoint from, QPoint to) {
    QWidget* view = front.surface().image_view();
    QTest::mousePress(view, Qt::LeftButton, {}, from);
    QMouseEvent move(QEvent::MouseMove, QPointF(to), view->mapToGlobal(QPointF(to)), Qt::NoButton,
                     Qt::LeftButton, {});
    QApplication::sendEvent(view, &move);
    QTest::mouseRelease(view, Qt::LeftButton, {}, to);
  }

  bool Saw(const std::string& text) const {
    return std::find(texts.begin(), texts.end(), text) != texts.end();
  }

  testing::TempDir dir;
  FrontEnd front{dir.path()};
  std::vector<std::string> texts;
  bool started = false;
};

TEST(QtProgram, StartsInAnEmptyFolderInFileModeInvitingADrop) {
  Program p;
  ASSERT_TRUE(p.started);
  const ImageState& im = p.front.station().image;
  EXPECT_EQ(im.file_mode, 1u);
  EXPECT_EQ(im.no_camera, 1u);
  EXPECT_EQ(p.text(ControlId::ModeIndicator), "File");
  EXPECT_FALSE(p.front.surface().IsEnabled(ControlId::File));
  EXPECT_TRUE(p.Saw("Drag and Drop"));
  EXPECT_FALSE(p.widget(ControlId::ImageView)->isHidden());
  EXPECT_TRUE(p.widget(ControlId::LiveVideo)->isHidden());
  EXPECT_EQ(p.front.surface().WindowTitle(), ApplicationTitle());
  EXPECT_EQ(p.text(ControlId::ResultLine), "----------------");
  // The view was sized by the logic and paints the blank image's legend.
  EXPECT_EQ(p.widget(ControlId::ImageView)->width(), static_cast<int>(im.view_width));
  const QImage painted = p.widget(ControlId::ImageView)->grab().toImage();
  bool magenta = false;
  for (int y = 0; y < painted.height() && !magenta; ++y) {
    for (int x = 0; x < painted.width() && !magenta; ++x) {
      const QRgb c = painted.pixel(x, y);
      magenta = qRed(c) > 200 && qBlue(c) > 200 && qGreen(c) < 60;
    }
  }
  EXPECT_TRUE(magenta);
  testing::Screenshot(p.front.surface().window(), "program_start_empty_folder");
}

TEST(QtProgram, StartsOnTheVirtualCameraInLiveModeAndPaintsItsPictures) {
  Program p("scene");
  ASSERT_TRUE(p.started);
  const ImageState& im = p.front.station().image;
  EXPECT_EQ(im.no_camera, 0u);
  EXPECT_EQ(im.file_mode, 0u);
  EXPECT_EQ(p.text(ControlId::ModeIndicator), "Live");
  EXPECT_TRUE(p.front.surface().IsEnabled(ControlId::File));
  QWidget* live = p.widget(ControlId::LiveVideo);
  EXPECT_FALSE(live->isHidden());
  EXPECT_TRUE(p.widget(ControlId::ImageView)->isHidden());
  for (int waited = 0; waited < 5000 && p.front.surface().live_video()->stats().frames < 3; waited += 20) {
    QTest::qWait(20);
  }
  EXPECT_GE(p.front.surface().live_video()->stats().frames, 3u);
  // The scene's background is light: the painted area is no longer the window.
  const QImage painted = live->grab().toImage();
  EXPECT_GT(qGray(painted.pixel(5, 5)), 100);
  testing::Screenshot(p.front.surface().window(), "program_virtual_camera");
  // A file chosen while the camera is the source switches to File mode first.
  p.front.OpenImageFile(QString::fromStdString(DrawBmp(p.dir.path()).string()));
  EXPECT_EQ(im.file_mode, 1u);
  EXPECT_EQ(im.width, 400u);
  EXPECT_TRUE(live->isHidden());
}

TEST(QtProgram, ADroppedBmpIsShownAndRemembered) {
  Program p;
  const std::filesystem::path bmp = SampleBmp(p.dir.path());
  p.texts.clear();
  p.Drop(bmp);
  const ImageState& im = p.front.station().image;
  EXPECT_EQ(im.still_path, bmp.string());
  EXPECT_NE(im.width, 800u); // no longer the blank image
  EXPECT_FALSE(p.Saw("Drag and Drop"));
  EXPECT_EQ(p.front.station().view.bits, im.display);
  // The view shows the file's pixels: its middle is the part's, not the blank.
  const QImage painted = p.widget(ControlId::ImageView)->grab().toImage();
  const QRgb middle = painted.pixel(painted.width() / 2, painted.height() / 2);
  const uint8_t* d = im.display + (im.height / 2) * im.stride + (im.width / 2) * 3;
  EXPECT_NEAR(qRed(middle), d[2], 1);
  EXPECT_NEAR(qGreen(middle), d[1], 1);
  EXPECT_NE(qRgb(d[2], d[1], d[0]), qRgb(0, 0, 0));
  testing::Screenshot(p.front.surface().window(), "program_dropped_bmp");
}

// An automatic run says what it gave on the picture at once, and only once;
// without a run the window's texts stay as they were.
TEST(QtProgram, AnAutomaticRunOnADropSaysItsOutcomeOnThePicture) {
  Program p;
  Station& st = p.front.station();
  testing::TeachPlateProgram(st);
  const std::filesystem::path bmp = DrawBmp(p.dir.path());
  QLabel* note = p.front.surface().note();
  for (const bool auto_run : {false, true, false}) {
    ProgramOf(st).auto_run = auto_run;
    note->hide();
    p.Drop(bmp);
    EXPECT_EQ(note->isVisible(), auto_run);
    if (auto_run) {
      EXPECT_EQ(note->text(), "program run: part not found");
      testing::Screenshot(p.front.surface().window(), "program_run_notice");
      // The verdict's word fits across this small picture, not cut at its edge.
      const ImageState& im = st.image;
      ASSERT_NE(im.overlay, nullptr);
      int edge = 0;
      for (uint32_t y = 0; y < im.height; ++y) {
        for (uint32_t x = im.width - 20; x < im.width; ++x) {
          const uint8_t* px = im.overlay + size_t{y} * im.stride + size_t{x} * 3;
          edge += px[0] == kFailColour.b && px[1] == kFailColour.g && px[2] == kFailColour.r;
        }
      }
      EXPECT_EQ(edge, 0);
    }
    EXPECT_EQ(p.text(ControlId::ResultLine), "----------------");
    EXPECT_TRUE(ResultsOf(st).pending_notices.empty());
  }
}

TEST(QtProgram, ProcessRunsTheSelectedSolutionIntoTheResultLine) {
  Program p;
  p.Drop(SampleBmp(p.dir.path()));
  p.Select(kManualCalibration);
  EXPECT_EQ(p.front.station().current_solution, static_cast<uint32_t>(kManualCalibration));
  const QWidget* view = p.widget(ControlId::ImageView);
  p.Drag(QPoint(view->width() / 4, view->height() / 4), QPoint(view->width() * 3 / 4, view->height() * 3 / 4));
  ASSERT_EQ(p.front.station().working->roi_count, 1u);
  EXPECT_EQ(p.text(ControlId::ResultLine), "----------------");
  p.Click(ControlId::Process);
  EXPECT_EQ(p.text(ControlId::ResultLine), "Success");
  EXPECT_EQ(p.front.station().settings.calibrated, 1u);
  EXPECT_TRUE(p.widget(ControlId::Process)->isEnabled());
  testing::Screenshot(p.front.surface().window(), "program_process");
}

TEST(QtProgram, ThresholdTypedBeyondItsRangeIsClampedWhenTheFocusMoves) {
  Program p;
  p.Select(kDxfAutoOutput);
  ASSERT_EQ(p.text(kRowLabels[3]).rfind("Threshold", 0), 0u);
  p.Type(kRowEdits[3], QStringLiteral("300"), kRowEdits[0]);
  EXPECT_EQ(p.text(kRowEdits[3]), "255");
  EXPECT_EQ(static_cast<QSlider*>(p.widget(kRowSliders[3]))->value(), 255);
  EXPECT_FLOAT_EQ(p.front.station().working->params[3].value, 255.0f);
  // The slider writes at once, with the trailing point of the general format.
  static_cast<QSlider*>(p.widget(kRowSliders[3]))->triggerAction(QAbstractSlider::SliderPageStepSub);
  EXPECT_EQ(p.text(kRowEdits[3]), std::to_string(static_cast<QSlider*>(p.widget(kRowSliders[3]))->value()) + ".");
  testing::Screenshot(p.front.surface().window(), "program_threshold");
  // Typed and not left: Enlarge commits it, hiding the edit box that has the focus.
  auto* edit = static_cast<QLineEdit*>(p.widget(kRowEdits[3]));
  edit->setFocus(Qt::MouseFocusReason);
  edit->selectAll();
  QTest::keyClicks(edit, QStringLiteral("-5"));
  p.Click(ControlId::Enlarge);
  EXPECT_TRUE(edit->isHidden());
  EXPECT_EQ(p.text(ControlId::Enlarge), "Reduce");
  EXPECT_FLOAT_EQ(p.front.station().working->params[3].value, 0.0f);
  p.Click(ControlId::Enlarge);
  EXPECT_FALSE(edit->isHidden());
  EXPECT_EQ(p.text(kRowEdits[3]), "0");
}

TEST(QtProgram, SetUpDialogChangesSettingsWhileOpenAndCloses) {
  Program p;
  ASSERT_EQ(p.front.station().settings.units, 0u);
  uint32_t units_while_open = 99;
  bool resolution_disabled = false;
  testing::WhenModal([&](QWidget* dialog) {
    ASSERT_NE(qobject_cast<QDialog*>(dialog), nullptr);
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("General Set-Up"));
    auto* units = dialog->findChild<QComboBox*>(QString::number(Raw(DialogControlId::MeasurementStandard)));
    ASSERT_NE(units, nullptr);
    auto* resolution = dialog->findChild<QComboBox*>(QString::number(Raw(DialogControlId::Resolution)));
    resolution_disabled = resolution != nullptr && !resolution->isEnabled(); // File mode
    units->setCurrentIndex(1);
    units_while_open = p.front.station().settings.units;
    testing::Screenshot(dialog, "program_setup_dialog");
    // Every list beside its label, the operator's edit box before them too.
    auto* on_change = dialog->findChild<QComboBox*>(QString::number(Raw(DialogControlId::OnFunctionChange)));
    ASSERT_NE(on_change, nullptr);
    EXPECT_EQ(on_change->x(), units->x());
    dialog->findChild<QPushButton*>(QString::number(Raw(DialogControlId::Ok)))->click();
  });
  p.Click(ControlId::SetUp);
  EXPECT_EQ(units_while_open, 1u);
  EXPECT_TRUE(resolution_disabled);
  EXPECT_EQ(p.front.station().settings.units, 1u);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  EXPECT_FALSE(p.front.ended());
}

// Runs Set-Up with a user who does `act` in the dialog and then presses OK.
template <typename Act>
void VisitSetUp(Program& p, Act act) {
  testing::WhenModal([act](QWidget* dialog) {
    act(dialog);
    dialog->findChild<QPushButton*>(QString::number(Raw(DialogControlId::Ok)))->click();
  });
  p.Click(ControlId::SetUp);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

QComboBox* SetUpList(QWidget* dialog, DialogControlId id) {
  return dialog->findChild<QComboBox*>(QString::number(Raw(id)));
}

TEST(QtProgram, ResolutionChangeGivesTheLiveAreaTheNewShape) {
  setenv("ORVANE_VIRTUAL_FORMATS", "640x480:RGB,1280x720:RGB", 1);
  Program p("scene");
  unsetenv("ORVANE_VIRTUAL_FORMATS");
  ASSERT_EQ(p.front.station().image.no_camera, 0u);
  VisitSetUp(p, [](QWidget* dialog) { SetUpList(dialog, DialogControlId::Resolution)->setCurrentIndex(1); });
  const ImageState& im = p.front.station().image;
  ASSERT_EQ(im.width, 1280u);
  QWidget* live = p.widget(ControlId::LiveVideo);
  EXPECT_EQ(live->size(), QSize(static_cast<int>(im.view_width), static_cast<int>(im.view_height)));
  // The aspect units of 1280 x 720 are (25, 14): 16:9 within a percent.
  EXPECT_NEAR(static_cast<double>(live->width()) / live->height(), 16.0 / 9.0, 0.02);
  EXPECT_EQ(p.widget(ControlId::ImageView)->size(), live->size());
  for (int waited = 0; waited < 2000 && p.front.surface().live_video()->stats().frames < 3; waited += 20) {
    QTest::qWait(20);
  }
  testing::Screenshot(p.front.surface().window(), "program_resolution_16_9");
}

TEST(QtProgram, SetUpCommitsTheValueTypedAndNotLeft) {
  Program p;
  p.Select(kDxfAutoOutput);
  auto* edit = static_cast<QLineEdit*>(p.widget(kRowEdits[3]));
  edit->setFocus(Qt::MouseFocusReason);
  edit->selectAll();
  QTest::keyClicks(edit, QStringLiteral("99"));
  VisitSetUp(p, [](QWidget*) {});
  EXPECT_FLOAT_EQ(p.front.station().working->params[3].value, 99.0f);
  EXPECT_EQ(p.text(kRowEdits[3]), "99");
  testing::Screenshot(p.front.surface().window(), "program_setup_commits_edit");
}

// The File button and the mode indicator keep their highlight through Set-Up.
TEST(QtProgram, SetUpKeepsTheFileModeHighlight) {
  Program p("scene");
  p.Click(ControlId::File);
  ASSERT_EQ(p.front.station().image.file_mode, 1u);
  auto back = [&p](ControlId id) { return p.widget(id)->grab().toImage().pixel(2, 2); };
  const QRgb lime = qRgb(0, 255, 0), red = qRgb(255, 0, 0);
  ASSERT_EQ(back(ControlId::File), lime);
  ASSERT_EQ(back(ControlId::ModeIndicator), red);
  VisitSetUp(p, [](QWidget* dialog) { SetUpList(dialog, DialogControlId::BackgroundColour)->setCurrentIndex(1); });
  EXPECT_EQ(back(ControlId::File), lime);
  EXPECT_EQ(back(ControlId::ModeIndicator), red);
  testing::Screenshot(p.front.surface().window(), "program_setup_keeps_file_highlight");
}

TEST(QtProgram, CtrlOChoosesAFileInSamplesAndLoadsItAsADrop) {
  Program p;
  QString start_folder;
  const std::filesystem::path bmp = DrawBmp(p.dir.path());
  testing::WhenModal([&](QWidget* modal) {
    auto* chooser = qobject_cast<QFileDialog*>(modal);
    ASSERT_NE(chooser, nullptr);
    start_folder = chooser->directory().absolutePath();
    // Typed as a whole path, as a user may: no wait for the folder's listing.
    auto* name = chooser->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(name, nullptr);
    name->setText(QString::fromStdString(bmp.string()));
    static_cast<QDialog*>(chooser)->accept(); // as the Open button does
  });
  QTest::keyClick(p.front.surface().window(), Qt::Key_O, Qt::ControlModifier);
  EXPECT_EQ(start_folder, p.front.SamplesFolder());
  EXPECT_EQ(p.front.station().image.still_path, bmp.string());
  EXPECT_EQ(p.front.station().image.width, 400u);
}

TEST(QtProgram, EscapeEndsTheProgramWithoutSaving) {
  Program p;
  p.Select(kDxfSimpleOutput);
  const auto settings_file = p.dir.path() / "XORVANE.CFG";
  const std::vector<uint8_t> before = testing::ReadBytes(settings_file);
  int ends = 0;
  p.front.on_end = [&ends] { ++ends; };
  QTest::keyClick(p.front.surface().window(), Qt::Key_Escape);
  EXPECT_EQ(ends, 0); // the end comes after the handler returned
  QTest::qWait(20);
  EXPECT_EQ(ends, 1);
  EXPECT_TRUE(p.front.ended());
  EXPECT_TRUE(p.front.surface().window()->isHidden());
  EXPECT_EQ(testing::ReadBytes(settings_file), before); // last_solution not recorded
}

TEST(QtProgram, F1ShowsTheAboutBoxWithItsTexts) {
  Program p;
  QString title;
  QStringList texts;
  testing::WhenModal([&](QWidget* about) {
    title = about->windowTitle();
    for (QLabel* label : about->findChildren<QLabel*>()) texts << label->text();
    for (QPushButton* button : about->findChildren<QPushButton*>()) {
      if (button->isVisible()) texts << button->text();
    }
    testing::Screenshot(about, "program_about");
    for (QPushButton* button : about->findChildren<QPushButton*>()) {
      if (button->isVisible()) button->click();
    }
  });
  QTest::keyClick(p.front.surface().window(), Qt::Key_F1);
  EXPECT_EQ(title, QStringLiteral("Lumivor 2D"));
  EXPECT_TRUE(texts.contains(QStringLiteral("Lumivor 2D Machine Vision Platform"))) << texts.join('|').toStdString();
  EXPECT_TRUE(texts.contains(QStringLiteral("E&xit"))) << texts.join('|').toStdString();
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  EXPECT_FALSE(p.front.ended());
}

// Run at QT_SCALE_FACTOR 2 and 1.5 as well: client positions are logical
// pixels, whatever the device pixels behind them.
// Zoomed on the ring target's edge, the loupe over the plate's corner, then
// the window resized: the controls keep to their edges and the view grows.
TEST(QtProgram, ZoomLoupeAndAResizedWindow) {
  const std::filesystem::path target = ORVANE_SOURCE_DIR "/samples/TARGET.BMP";
  const std::filesystem::path part = ORVANE_SOURCE_DIR "/samples/PART.BMP";
  if (!std::filesystem::exists(target) || !std::filesystem::exists(part)) {
    GTEST_SKIP() << "no sample pictures";
  }
  Program p;
  ImageViewWidget* view = p.front.surface().image_view();
  QWidget* window = p.front.surface().window();
  auto view_at = [view](double x, double y) {
    const ViewZoom z = view->Zoom();
    return QPointF((x + 0.5 - z.origin_x) * z.scale, (y + 0.5 - z.origin_y) * z.scale);
  };
  auto move_to = [view](QPointF at) {
    QMouseEvent move(QEvent::MouseMove, at, view->mapToGlobal(at), Qt::NoButton, Qt::NoButton, {});
    QApplication::sendEvent(view, &move);
  };
  p.Drop(target);
  // The ring's outer edge crosses row 240 at column 170.
  move_to(QPointF(170.0 * view->width() / 640, 240.0 * view->height() / 480));
  for (int i = 0; i < 3; ++i) QTest::keyClick(window, Qt::Key_Plus);
  EXPECT_NEAR(view->Zoom().scale, 8 * FitScale(AreaOf(p.front.station().image)), 1e-9);
  const QImage zoomed = view->grab().toImage();
  int dark = 0, light = 0;
  for (int x = 0; x < zoomed.width(); x += 4) {
    const int grey = qGray(zoomed.pixel(x, zoomed.height() / 2));
    dark += grey < 80;
    light += grey > 160;
  }
  EXPECT_GT(dark, 10);
  EXPECT_GT(light, 10);
  testing::Screenshot(window, "zoom_ring_edge");

  p.Drop(part);
  QTest::keyClick(window, Qt::Key_0);
  move_to(QPointF(120.0 * view->width() / 640, 90.0 * view->height() / 480));
  QTest::keyClick(window, Qt::Key_Plus);
  QTest::keyClick(window, Qt::Key_Plus);
  QTest::keyClick(window, Qt::Key_L);
  move_to(view_at(120, 90));
  EXPECT_TRUE(view->LoupeText().startsWith(QStringLiteral("(120,90) ")));
  testing::Screenshot(window, "loupe_plate_corner");
  QTest::keyClick(window, Qt::Key_L);

  const QRect exit = p.widget(ControlId::Exit)->geometry();
  const int view_width = view->width();
  const QSize before = window->size();
  for (const QSize size : {QSize(1366, 768), QSize(1920, 1080)}) {
    window->resize(size);
    QApplication::processEvents();
    EXPECT_EQ(p.widget(ControlId::Exit)->geometry(),
              exit.translated(size.width() - before.width(), size.height() - before.height()));
    EXPECT_GT(view->width(), view_width);
    EXPECT_EQ(view->width(), static_cast<int>(p.front.station().image.view_width));
    testing::Screenshot(window, "window_" + std::to_string(size.width()) + "x" +
                                    std::to_string(size.height()));
  }
}

TEST(QtProgramHighDpi, DragOnTheViewDrawsTheRoiAtTheExpectedImagePixels) {
  Program p;
  p.Drop(DrawBmp(p.dir.path()));
  p.Select(kAutoCalibration);
  const ImageState& im = p.front.station().image;
  const QPoint from(37, 29), to(251, 190);
  p.Drag(from, to);
  ASSERT_EQ(p.front.station().working->roi_count, 1u);
  const RoiRecord& roi = p.front.station().working->rois[0];
  const double sx = static_cast<double>(im.width) / im.view_width;
  const double sy = static_cast<double>(im.height) / im.view_height;
  EXPECT_EQ(roi.left, static_cast<int32_t>(from.x() * sx));
  EXPECT_EQ(roi.top, static_cast<int32_t>(from.y() * sy));
  EXPECT_EQ(roi.right, static_cast<int32_t>(to.x() * sx));
  EXPECT_EQ(roi.bottom, static_cast<int32_t>(to.y() * sy));
  testing::Screenshot(p.front.surface().window(), "program_roi_drag");
}

// Run on a 1280 x 1024 screen, where the window expands at start-up.
TEST(QtProgramLargeScreen, ExpansionTurnedOffInSetUpKeepsTheViewUntilTheNextStart) {
  Program p;
  ASSERT_GT(p.front.surface().ScreenSize().width, 800) << "needs the large-screen configuration";
  QWidget* view = p.widget(ControlId::ImageView);
  const QRect expanded = view->geometry();
  VisitSetUp(p, [](QWidget* dialog) { SetUpList(dialog, DialogControlId::ExpandWindow)->setCurrentIndex(0); });
  p.Click(ControlId::Enlarge);
  p.Click(ControlId::Enlarge);
  EXPECT_EQ(view->geometry(), expanded);
  EXPECT_EQ(p.front.station().settings.flags & 0x1u, 0u);
  testing::Screenshot(p.front.surface().window(), "program_expansion_off_until_restart");
}

// Run with LC_ALL=de_DE.UTF-8 (generated before the run). The other runs
// skip it; so does a machine without the locale, except CI (CI=true), where
// a skip of the locale run would hide it.
TEST(QtProgramLocale, ManualCalibrationAfterADropWritesPointDecimals) {
  std::string why;
  if (!testing::GermanLocaleActive(&why)) {
    const char* ci = std::getenv("CI");
    const bool locale_run = std::getenv("ORVANE_TEST_LOCALE") != nullptr;
    if (locale_run && ci != nullptr && std::string(ci) == "true") FAIL() << why;
    GTEST_SKIP() << why;
  }
  EXPECT_EQ(QLocale::system().decimalPoint(), QStringLiteral(","));
  Program p;
  p.Drop(DrawBmp(p.dir.path()));
  p.Select(kManualCalibration);
  p.Type(kRowEdits[1], QStringLiteral("6.5"), kRowEdits[0]);
  EXPECT_EQ(p.text(kRowEdits[1]), "6.50000");
  const ImageState& im = p.front.station().image;
  const QPoint from(40, 40);
  const QPoint to(40 + 130 * static_cast<int>(im.view_width) / static_cast<int>(im.width), 160);
  p.Drag(from, to);
  ASSERT_EQ(p.front.station().working->roi_count, 1u);
  const RoiRecord& roi = p.front.station().working->rois[0];
  p.Click(ControlId::Process);
  EXPECT_EQ(p.text(ControlId::ResultLine), "Success");
  EXPECT_DOUBLE_EQ(p.front.station().settings.scale_x, (roi.right - roi.left) / 6.5);
  const std::string status = p.text(ControlId::CalibrationStatus);
  EXPECT_NE(status.find(" pixels/inch\r\n24. inches distance"), std::string::npos) << status;
  EXPECT_EQ(status.find(','), std::string::npos) << status;
  EXPECT_NE(status.find('.'), std::string::npos) << status;
  testing::Screenshot(p.front.surface().window(), "program_locale_de");
}

} // namespace
} // namespace orvane::qt
