#include "ui/qt/front_end.h"

#include <algorithm>

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>

#include "acquisition/file_mode.h"
#include "paper/report_pdf.h"
#include "results/session.h"
#include "ui/cad_command.h"
#include "ui/commands.h"
#include "ui/layout.h"
#include "ui/grid_calibration_dialog.h"
#include "ui/main_window.h"
#include "ui/part_commands.h"
#include "ui/qt/extension_actions.h"
#include "ui/qt/image_view_widget.h"
#include "ui/qt/live_video_widget.h"
#include "ui/status.h"
#include "view/mouse.h"
#include "view/undo.h"

namespace orvane::qt {
namespace {

// The live area as the feed sees it. A request is queued on the window, so
// nothing runs once the window is gone; the station closes the camera
// (joining its thread) before that. What a live picture's automatic run
// said is shown as soon as the picture is.
LiveArea LiveAreaOf(QtSurface& surface, Station& station) {
  LiveArea area;
  area.post = [&surface, &station](std::function<void()> task) {
    QMetaObject::invokeMethod(
        surface.window(),
        [task = std::move(task), &station] {
          task();
          ShowPendingNotices(station);
        },
        Qt::QueuedConnection);
  };
  area.visible = [&surface] { return !surface.live_video()->isHidden(); };
  area.show = [&surface](const uint8_t* bgrx, uint32_t width, uint32_t height) {
    SourcePixels source;
    source.bits = bgrx;
    source.width = static_cast<int32_t>(width);
    source.height = static_cast<int32_t>(height);
    source.stride = source.width * 4;
    source.bytes_per_pixel = 4;
    surface.live_video()->SetPicture(source);
  };
  return area;
}

} // namespace

FrontEnd::FrontEnd(std::filesystem::path folder)
    : station_(std::move(folder), &surface_), live_feed_(station_, LiveAreaOf(surface_, station_)) {
  surface_.image_view()->SetView(&station_.view);
  surface_.image_view()->SetImage(&station_.image);
  surface_.image_view()->SetOverlayTexts(&station_.overlay_texts);
  surface_.live_video()->SetView(&station_.view);
  Wire();
}

FrontEnd::~FrontEnd() {
  if (!program_ended_) {
    program_ended_ = true;
    EndProgram(station_);
  }
}

namespace {

// Counts the station handlers running, so that what a handler does to the
// widgets (hiding the focused edit box, say) does not call back into the
// station before it has returned.
class Running {
 public:
  explicit Running(int& depth) : depth_(depth) { ++depth_; }
  ~Running() { --depth_; }
  Running(const Running&) = delete;
  Running& operator=(const Running&) = delete;

 private:
  int& depth_;
};

} // namespace

void FrontEnd::Wire() {
  SurfaceEvents& e = surface_.events();
  e.command = [this](ControlId id) {
    Running running(depth_);
    OnCommand(station_, id);
    AfterEvent();
  };
  e.selection_change = [this](ControlId id) {
    if (depth_ > 0) return;
    Running running(depth_);
    OnSelectionChange(station_, id);
    AfterEvent();
  };
  // Every handler commits the edits itself first: a focus lost while one
  // runs needs no commit of its own.
  e.edit_lost_focus = [this](ControlId id) {
    if (depth_ > 0) return;
    Running running(depth_);
    OnEditLostFocus(station_, id);
    AfterEvent();
  };
  e.slider = [this](ControlId id, int32_t pos) {
    if (depth_ > 0) return;
    Running running(depth_);
    OnSlider(station_, id, pos);
    AfterEvent();
  };
  e.cancel = [this] {
    Running running(depth_);
    OnCancel(station_);
    // Cancel always ends the window, whatever the logic did with it.
    if (!surface_.ended()) surface_.EndMainWindow();
  };
  e.about = [this] {
    Running running(depth_);
    ShowAbout(station_);
  };
  e.grid_calibration = [this] {
    Running running(depth_);
    RunGridCalibrationDialog(station_);
    AfterEvent();
  };
  e.open_file = [this] { ChooseImageFile(); };
  WireExtensionActions(surface_, station_);
  e.edit_key = [this](int key, uint32_t modifiers) {
    Running running(depth_);
    OnEditKey(station_, key, modifiers);
    AfterEvent();
  };
  menu_ = std::make_unique<MainMenu>(surface_, station_, [this](std::function<void()> action) {
    Running running(depth_);
    action();
    AfterEvent();
  });
  e.teach_part = [this] {
    Running running(depth_);
    TeachPartCommand(station_);
    AfterEvent();
  };
  e.find_part = [this] {
    Running running(depth_);
    FindPartCommand(station_);
    AfterEvent();
  };
  e.extension_key = [this](int key) {
    if (key == Qt::Key_P || key == Qt::Key_F) {
      (key == Qt::Key_P ? surface_.events().teach_part : surface_.events().find_part)();
      return true;
    }
    return menu_->ToolKey(key);
  };
  e.results = [this] { ShowResults(); };
  e.program = [this] { ShowProgram(); };
  // The program ends once the handler that asked for it has returned.
  e.end = [this] {
    QMetaObject::invokeMethod(surface_.window(), [this] { End(); }, Qt::QueuedConnection);
  };
  WireView();
}

// The picture's own events: the mouse, zoom and pan, resizing, dropped files.
void FrontEnd::WireView() {
  SurfaceEvents& e = surface_.events();
  ImageViewWidget* view = surface_.image_view();
  // A drag of the drawing (Ctrl+Alt) is the drawing's, not the picture's;
  // its release counts wherever it falls.
  view->mouse = [this](MouseEvent kind, int32_t x, int32_t y, uint32_t keys) {
    Running running(depth_);
    ImagePoint p;
    const bool inside = MapToImage(station_, x, y, &p);
    if (!((inside || kind == MouseEvent::LeftUp) && CadDragMouse(station_, kind, p, keys))) {
      OnMouse(station_, kind, x, y, keys);
    }
    AfterEvent();
  };
  view->mouse_at_image = [this](MouseEvent kind, int32_t x, int32_t y, uint32_t keys) {
    Running running(depth_);
    if (!CadDragMouse(station_, kind, {x, y}, keys)) OnMouseAtImage(station_, kind, x, y, keys);
    AfterEvent();
  };
  view->wheel_first = [this](double steps, uint32_t keys) {
    Running running(depth_);
    const bool taken = CadWheel(station_, steps, keys);
    if (taken) AfterEvent();
    return taken;
  };
  view->zoomed = [this](const ViewZoom& zoom) { station_.view.zoom = zoom; };
  // The live area zooms and pans the view's zoom, which its pictures follow.
  surface_.live_video()->wheel = [view](double steps, QPointF at) { view->Wheel(steps, at); };
  surface_.live_video()->pan = [view](QPointF delta) { view->Pan(delta); };
  e.resized = [this](int width, int height) {
    if (depth_ > 0) return;
    Running running(depth_);
    ResizeWindow(station_, {width, height});
    AfterEvent();
  };
  view->dropped = [this](const QString& path) {
    Running running(depth_);
    DropStillFile(station_, QFile::encodeName(path).toStdString());
    AfterEvent();
  };
}

void FrontEnd::ShowResults() {
  if (!results_window_) results_window_ = std::make_unique<ResultsWindow>(station_, surface_.window());
  results_window_->show();
  results_window_->raise();
  results_window_->activateWindow();
}

void FrontEnd::ShowProgram() {
  if (!program_window_) {
    program_window_ = std::make_unique<ProgramWindow>(
        station_,
        [this](std::function<void()> action) {
          Running running(depth_);
          action();
          AfterEvent();
        },
        surface_.window());
  }
  program_window_->Refresh();
  program_window_->show();
  program_window_->raise();
  program_window_->activateWindow();
}

bool FrontEnd::Start(std::string_view command_line) {
  if (!StartUp(station_, command_line)) return false;
  // The results table is read now, so a damaged file is reported at start.
  ResultsOf(station_).report_writer = paper::WriteLocaleReportPdf;
  AfterEvent();
  return true;
}

void FrontEnd::Show() {
  surface_.ShowWindow();
  live_feed_.Show();
}

// The window's own colours follow the settings (the Set-Up dialog changes them).
void FrontEnd::AfterEvent() {
  const ControlColours colours{station_.settings.foreground_colour,
                               station_.settings.background_colour};
  if (colours != window_colours_) {
    window_colours_ = colours;
    surface_.SetWindowColours(colours);
  }
  surface_.image_view()->RefreshCursor();
  if (menu_) menu_->Refresh();
  // Recording and automatic runs change the program from the main window.
  if (program_window_ && program_window_->isVisible()) program_window_->Refresh();
  ShowPendingNotices(station_);
}

void FrontEnd::End() {
  if (ended_) return;
  ended_ = true;
  live_feed_.End();
  if (!program_ended_) {
    program_ended_ = true;
    EndProgram(station_);
  }
  surface_.window()->hide();
  if (on_end) on_end();
}

void FrontEnd::OpenImageFile(const QString& path) {
  Running running(depth_);
  if (station_.image.file_mode == 0) OnCommand(station_, ControlId::File);
  DropStillFile(station_, QFile::encodeName(path).toStdString());
  AfterEvent();
}

QString FrontEnd::SamplesFolder() const {
  const QString station_folder = QString::fromStdString(station_.folder().string());
  QStringList candidates = {station_folder + QStringLiteral("/samples"),
                            QCoreApplication::applicationDirPath() +
                                QStringLiteral("/../share/orvane/samples")};
#ifdef ORVANE_SOURCE_DIR
  candidates << QStringLiteral(ORVANE_SOURCE_DIR "/samples");
#endif
  for (const QString& folder : candidates) {
    if (QFileInfo(folder).isDir()) return QDir(folder).absolutePath();
  }
  return station_folder;
}

void FrontEnd::ChooseImageFile() {
  const QString start = chooser_folder_.isEmpty() ? SamplesFolder() : chooser_folder_;
  const QString path = QFileDialog::getOpenFileName(
      surface_.window(), QStringLiteral("Open Image"), start,
      QStringLiteral("Images (*.bmp *.BMP *.jpg *.JPG *.jpeg *.JPEG);;All files (*)"));
  if (path.isEmpty()) return;
  chooser_folder_ = QFileInfo(path).absolutePath();
  OpenImageFile(path);
}

} // namespace orvane::qt
