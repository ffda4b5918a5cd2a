// The station: the one object that owns the run-time state. Subsystems are
// free functions that take the station (or the pieces they need), so tests
// can run as many stations side by side as they like, each in its own folder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "draw/overlay.h"
#include "station/clock.h"
#include "station/control_surface.h"
#include "station/image_state.h"
#include "station/image_view.h"
#include "station/trace_list.h"
#include "workspace/records.h"
#include "workspace/solutions.h"

namespace orvane {

struct WindowState; // the main window's own state (ui/window_state.h)

// A text in the overlay: where it was drawn (image pixels, its top-left), in
// which colour and size class.
struct OverlayText {
  int32_t x = 0;
  int32_t y = 0;
  std::string text;
  Rgb colour{0, 0, 0};
  uint32_t mark_size_class = 1;
};
struct ProgramSession; // the open inspection program (inspect/program_session.h)
class CameraCapture;
struct ResultsSession; // the results table and its gauge marks (results/session.h)
struct UndoHistory;    // the edits that can be undone (view/undo.h)
class PartSession;     // the taught part (inspect/part.h)
struct CadSession;     // the comparison with a drawing (cad/session.h)

// Points where one subsystem hands over to another that may not be part of
// this build (the command panel, the window's status lines and dialogs, the
// camera, still images). An empty hook is skipped; the subsystem that owns the
// behaviour installs it (the window's logic: InstallWindowHooks).
struct StationHooks {
  // Reload the working record and rebuild the command panel.
  std::function<void()> refresh_panel;
  // The window's background colour changed (Settings::background_colour).
  std::function<void(uint32_t rgb)> background_colour_changed;
  // File mode: reload the still image into the frame; bytes acquired or 0.
  std::function<uint32_t()> reload_still;
  // Camera: take a snapshot into the frame; bytes acquired or 0.
  std::function<uint32_t()> camera_snapshot;
  // Camera: runs on the camera's own thread after every new picture; set
  // before the camera opens (each open hands the device a copy).
  std::function<void()> live_picture_arrived;
  // Commit the parameter edit boxes into the working record.
  std::function<void()> commit_edits;
  // Place the image view and the live video area for the current image.
  std::function<void()> size_view;
  // Rewrite the image status line for the current image (and what follows
  // from the image size: mark size, calibration for this size).
  std::function<void()> update_status_line;
  // Rewrite the ROI count line.
  std::function<void()> show_roi_count;
  // Ask the kind of a new ROI; RoiEntity::None when the dialog was left.
  std::function<RoiEntity()> ask_entity_type;
  // Ask the distance from the camera of a new measurement set.
  std::function<DialogResult()> ask_distance;
  // Draw the extensions' marks (snapped points, gauge circles) over the
  // overlay once its specified layers are drawn.
  std::function<void()> draw_overlay_extras;
};

// Compression code of a camera format that is neither RGB nor YUY2, and of
// "no camera format chosen".
inline constexpr uint32_t kNoCameraFormat = 0xFFFFFFFFu;

// What a solution that works on regions (calibration, the DXF solutions) says
// when there is none.
inline constexpr const char* kNoRoiMessage =
    "This function requires at least one region of interest.";

// "Lumivor DXF Build 230.107.8": the settings format, the solution engine's
// version and the vision library's version; the window's title and the
// caption of the station's own message boxes.
std::string ApplicationTitle();

// The vision library's version (qlxVersion).
int32_t VisionLibraryVersion();

class Station {
 public:
  // A station whose files live in `folder`. Without a surface it runs on an
  // in-memory one; without a clock it reads the machine's steady clock.
  explicit Station(std::filesystem::path folder, ControlSurface* surface = nullptr,
                   Clock* clock = nullptr);
  ~Station();
  Station(const Station&) = delete;
  Station& operator=(const Station&) = delete;

  // A station file name resolved against the folder. Backslashes in names
  // such as "Saved\IMAGE3.BMP" separate folders.
  std::filesystem::path PathOf(std::string_view name) const;
  const std::filesystem::path& folder() const { return folder_; }

  ControlSurface& surface() { return *surface_; }
  Clock& clock() { return *clock_; }

  Settings settings{};
  std::unique_ptr<SolutionTable> table;
  std::unique_ptr<SolutionRecord> working; // the selected solution, as edited
  uint32_t current_solution = 0;
  EngineSettings engine;
  ImageState image;
  ImageBuffers camera_buffers; // owned by the camera capture
  ImageBuffers file_buffers;   // owned by File mode (file image or blank image)
  SavedImageSet saved_image;
  ImageView view;
  double current_distance = 0.0;    // inches, of new measurement points
  double shared_dialog_value = 0.0; // last answer of the two small dialogs
  uint32_t mark_size_class = 1;
  uint32_t log_enabled = 0;
  TraceList trace; // outline tracing's points, kept from one Line ROI to the next
  // Compression code of the camera format in use (0 RGB, 0x32595559 YUY2).
  uint32_t camera_compression = kNoCameraFormat;
  StationHooks hooks;
  // The main window's layout, colour table and metrics; made by start-up (or
  // by the first panel call of a headless station).
  std::shared_ptr<WindowState> window;
  // The video input device and its format table, created on first use by the
  // camera capture (a shared pointer, so the station can own it without
  // knowing the type; nothing else shares it).
  std::shared_ptr<CameraCapture> camera;
  // The inspection program open for teaching and running (ProgramOf).
  std::shared_ptr<ProgramSession> program;
  // The results table, loaded on first use (ResultsOf).
  std::shared_ptr<ResultsSession> results;
  // The time stamps of new results when set (a script's fixed clock, from
  // start-up on); the wall clock otherwise.
  std::function<int64_t()> results_clock;
  // The undo history, made by the first edit.
  std::shared_ptr<UndoHistory> undo;
  // The taught part, its model loaded on first use (PartOf).
  std::shared_ptr<PartSession> part;
  // The drawing compared with the picture, made on first use (CadOf).
  std::shared_ptr<CadSession> cad;
  // When set, every text drawn into the overlay is reported here first, so
  // tests check texts without reading pixels back.
  std::function<void(int32_t x, int32_t y, std::string_view text, Rgb colour)>
      overlay_text_observer;
  // The texts the overlay holds since it was last cleared, so that a zoomed
  // view can keep the ones it cannot show readable.
  std::vector<OverlayText> overlay_texts;
  // Solution records whose last save failed, by id: each stands in for its
  // stale file until a save succeeds, so a failed save never loses an edit.
  std::map<uint32_t, std::unique_ptr<SolutionRecord>> unsaved_solutions;
  // Files whose failure to be read or written was reported this session.
  std::set<std::string> reported_file_failures;

 private:
  std::filesystem::path folder_;
  std::unique_ptr<ControlSurface> own_surface_;
  std::unique_ptr<Clock> own_clock_;
  ControlSurface* surface_;
  Clock* clock_;
};

} // namespace orvane
