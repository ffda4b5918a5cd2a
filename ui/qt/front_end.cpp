#include "ui/qt/front_end.h"

#include <algorithm>

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>

#include "acquisition/file_mode.h"
#include "ui/commands.h"
#include "ui/main_window.h"
#include "ui/qt/image_view_widget.h"
#include "ui/qt/live_video_widget.h"
#include "view/mouse.h"

namespace orvane::qt {

namespace {

// The live area locks on to the device's rhythm: after a new picture it
// waits for most of the device's interval, then asks every few
// milliseconds until the next one is there. Each question copies the
// picture, so asking at a fixed fast rate would cost far more.
constexpr int kIdlePollMs = 50;    // no camera picture to show
constexpr int kCatchUpPollMs = 2;  // a picture is due
constexpr int kEarlyMs = 4;        // how long before it is due to start asking
constexpr double kLongestIntervalMs = 200.0;

} // namespace

FrontEnd::FrontEnd(std::filesystem::path folder) : station_(std::move(folder), &surface_) {
  surface_.image_view()->SetView(&station_.view);
  live_timer_.setTimerType(Qt::PreciseTimer);
  live_timer_.setSingleShot(true);
  live_timer_.setInterval(kIdlePollMs);
  poll_clock_.start();
  QObject::connect(&live_timer_, &QTimer::timeout, surface_.window(), [this] { PollCamera(); });
  Wire();
}

FrontEnd::~FrontEnd() {
  live_timer_.stop();
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
  e.open_file = [this] { ChooseImageFile(); };
  // The program ends once the handler that asked for it has returned.
  e.end = [this] {
    QMetaObject::invokeMethod(surface_.window(), [this] { End(); }, Qt::QueuedConnection);
  };

  ImageViewWidget* view = surface_.image_view();
  view->mouse = [this](MouseEvent kind, int32_t x, int32_t y, uint32_t keys) {
    Running running(depth_);
    OnMouse(station_, kind, x, y, keys);
    AfterEvent();
  };
  view->dropped = [this](const QString& path) {
    Running running(depth_);
    DropStillFile(station_, QFile::encodeName(path).toStdString());
    AfterEvent();
  };
}

bool FrontEnd::Start(std::string_view command_line) {
  if (!StartUp(station_, command_line)) return false;
  AfterEvent();
  return true;
}

void FrontEnd::Show() {
  surface_.ShowWindow();
  live_timer_.start();
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
}

void FrontEnd::End() {
  if (ended_) return;
  ended_ = true;
  live_timer_.stop();
  if (!program_ended_) {
    program_ended_ = true;
    EndProgram(station_);
  }
  surface_.window()->hide();
  if (on_end) on_end();
}

void FrontEnd::PollCamera() {
  if (ended_) return;
  LiveVideoWidget* live = surface_.live_video();
  if (station_.image.no_camera != 0 || live->isHidden()) {
    live_timer_.start(kIdlePollMs);
    return;
  }
  const double now = static_cast<double>(poll_clock_.nsecsElapsed()) / 1e6;
  if (!LatestPicture(station_, &picture_) || picture_.sequence == shown_sequence_ ||
      picture_.bgrx.size() < static_cast<size_t>(picture_.width) * picture_.height * 4) {
    const bool overdue = last_arrival_ms_ < 0.0 || now - last_arrival_ms_ > kLongestIntervalMs;
    live_timer_.start(overdue ? kIdlePollMs / 5 : kCatchUpPollMs);
    return;
  }
  shown_sequence_ = picture_.sequence;
  SourcePixels source;
  source.bits = picture_.bgrx.data();
  source.width = static_cast<int32_t>(picture_.width);
  source.height = static_cast<int32_t>(picture_.height);
  source.stride = source.width * 4;
  source.bytes_per_pixel = 4;
  live->SetPicture(source);
  if (last_arrival_ms_ >= 0.0 && now - last_arrival_ms_ < kLongestIntervalMs) {
    device_interval_ms_ = 0.8 * device_interval_ms_ + 0.2 * (now - last_arrival_ms_);
  }
  last_arrival_ms_ = now;
  const double spent = static_cast<double>(poll_clock_.nsecsElapsed()) / 1e6 - now;
  live_timer_.start(std::max(kCatchUpPollMs, static_cast<int>(device_interval_ms_ - spent) - kEarlyMs));
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
