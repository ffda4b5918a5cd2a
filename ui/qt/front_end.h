// The desktop program around one station: the Qt surface, the station in a
// folder, and the wiring of the window's events to the station's entry
// points (commands, lists, edits, sliders, the mouse on the image, drops,
// the keys), the live area's pictures as they arrive and the file chooser.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string_view>

#include <QString>

#include "acquisition/camera_capture.h"
#include "station/station.h"
#include "ui/live_feed.h"
#include "ui/qt/main_menu.h"
#include "ui/qt/qt_surface.h"
#include "ui/qt/program_window.h"
#include "ui/qt/results_window.h"

namespace orvane::qt {

class FrontEnd {
 public:
  // A station whose files live in `folder`.
  explicit FrontEnd(std::filesystem::path folder);
  ~FrontEnd();
  FrontEnd(const FrontEnd&) = delete;
  FrontEnd& operator=(const FrontEnd&) = delete;

  // Start-up with the whole command line; false when the program must end at
  // once. Shows nothing yet.
  bool Start(std::string_view command_line);
  // Shows the window and the camera's latest picture; from then on every new
  // picture is painted as it arrives.
  void Show();

  QtSurface& surface() { return surface_; }
  Station& station() { return station_; }
  bool ended() const { return ended_; }

  // A file chosen to be opened: acts as a drop on the view, entering File
  // mode first when the camera is the source.
  void OpenImageFile(const QString& path);
  // Ctrl+O: the file chooser for BMP and JPEG files, in samples/ the first
  // time, then where the last choice was.
  void ChooseImageFile();
  // Where the chooser starts the first time: the first samples/ folder found
  // (the station's folder, beside the installed program, the source tree),
  // else the station's folder.
  QString SamplesFolder() const;

  // Runs once the window has ended and the station shut down (the program
  // leaves its event loop here).
  std::function<void()> on_end;

  // F2: shows the Results window (made on first use) and raises it.
  void ShowResults();
  ResultsWindow* results_window() const { return results_window_.get(); }
  void ShowProgram();
  ProgramWindow* program_window() const { return program_window_.get(); }
  MainMenu* menu() const { return menu_.get(); }

 private:
  void Wire();
  void WireView();
  void AfterEvent();
  void End();

  QtSurface surface_;
  Station station_;
  std::unique_ptr<ResultsWindow> results_window_; // goes before the station
  std::unique_ptr<ProgramWindow> program_window_; // goes before the station
  std::unique_ptr<MainMenu> menu_;
  LiveFeed live_feed_; // after the station, whose camera runs its hook
  QString chooser_folder_;
  ControlColours window_colours_{0xFFFFFFFFu, 0xFFFFFFFFu};
  int depth_ = 0; // station handlers running
  bool ended_ = false;
  bool program_ended_ = false;
};

} // namespace orvane::qt
