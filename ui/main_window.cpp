#include "ui/main_window.h"

#include <cstring>
#include <string>

#include "acquisition/acquisition.h"
#include "acquisition/camera_capture.h"
#include "acquisition/file_mode.h"
#include "results/session.h"
#include "solutions/calibration.h"
#include "solutions/process.h"
#include "station/workspace.h"
#include "ui/colours.h"
#include "ui/commands.h"
#include "ui/dialogs.h"
#include "ui/layout.h"
#include "ui/panel.h"
#include "ui/save_image.h"
#include "ui/setup_dialog.h"
#include "ui/status.h"
#include "ui/window_hooks.h"
#include "ui/window_state.h"
#include "view/undo.h"
#include "workspace/files.h"
#include "workspace/log.h"
#include "workspace/settings.h"
#include "workspace/solutions.h"

namespace orvane {
namespace {

using C = ControlId;

void FillList(ControlSurface& ui, ControlId id, std::initializer_list<const char*> items) {
  ui.ClearCombo(id);
  for (const char* item : items) ui.AddComboItem(id, item);
}

void FillOptionLists(ControlSurface& ui) {
  FillList(ui, C::OptionList,
           {"Color", "Monochrome(R)", "Monochrome(G)", "Monochrome(B)", "Monochrome(RGB)"});
  FillList(ui, C::DarkLightChoice, {"Dark", "Light"});
  FillList(ui, C::FilterChoice, {"None", "Even", "Sharp"});
}

// The solution list from the solution files, in table order.
void FillSolutionList(Station& st) {
  ControlSurface& ui = st.surface();
  BuildDefaultSolutions(*st.table);
  ui.ClearCombo(C::SolutionList);
  for (uint32_t index = 0; index < st.table->count; ++index) {
    LoadSolution(st, index, st.working.get());
    const char* name = st.working->name;
    ui.AddComboItem(C::SolutionList, std::string(name, strnlen(name, sizeof st.working->name)));
  }
}

void ExitCommand(Station& st) {
  SetButtonState(st, C::Exit, 1);
  CommitEdits(st);
  SaveSolution(st, *st.working);
  st.settings.last_solution = st.current_solution;
  SaveSettings(st);
  st.surface().EndMainWindow();
}

} // namespace

bool VisionLibraryAccepted(int32_t version) {
  // The version is signed: a negative one is older than any, not a huge one.
  constexpr int32_t kOldestLibraryVersion = 7;
  return version >= kOldestLibraryVersion;
}

int32_t DeviceIndexOf(std::string_view command_line) {
  // The first of "-d0" .. "-d3" found anywhere, in that order, wins.
  for (int32_t index = 0; index <= 3; ++index) {
    const std::string option = "-d" + std::to_string(index);
    if (command_line.find(option) != std::string_view::npos) return index;
  }
  return 0;
}

std::string CameraNameOf(std::string_view line) {
  constexpr std::string_view kOption = "--camera";
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  for (size_t at = line.find(kOption); at != std::string_view::npos; at = line.find(kOption, at + 1)) {
    const size_t end = at + kOption.size();
    if ((at > 0 && !blank(line[at - 1])) || end >= line.size() || !blank(line[end])) continue;
    size_t first = end;
    while (first < line.size() && blank(line[first])) ++first;
    if (first < line.size() && line[first] == '"') {
      const size_t close = line.find('"', first + 1);
      if (close == std::string_view::npos) return {};
      return std::string(line.substr(first + 1, close - first - 1));
    }
    size_t last = first;
    while (last < line.size() && !blank(line[last])) ++last;
    return std::string(line.substr(first, last - first));
  }
  return {};
}

bool StartUp(Station& st, std::string_view command_line) {
  InstallWindowHooks(st);
  ControlSurface& ui = st.surface();
  WindowState& w = WindowOf(st);
  w.camera_device_index = DeviceIndexOf(command_line);
  if (std::string name = CameraNameOf(command_line); !name.empty()) CaptureOf(st).wanted_name = std::move(name);
  ui.SetWindowTitle(ApplicationTitle());
  if (!VisionLibraryAccepted(VisionLibraryVersion())) return false;
  if (LogAskedFor()) st.log_enabled = 1;

  // What an interrupted save left behind (the folder is this station's now).
  RemoveLeftoverTemporaries(st.folder());
  LoadSettings(st);
  FillOptionLists(ui);
  RegisterButtonColours(st);
  RecordLayout(st);
  if (st.settings.flags & kFlagExpandWindow) ExpandWindow(st);

  FillSolutionList(st);
  st.current_solution = st.settings.last_solution < st.table->count ? st.settings.last_solution : 0;
  RefreshPanel(st);
  ui.SelectComboItem(C::SolutionList, static_cast<int32_t>(st.current_solution));

  const char* last = st.settings.last_file_path;
  if (last[0] != '\0') {
    st.image.still_path.assign(last, strnlen(last, sizeof st.settings.last_file_path));
  }

  // The camera, or File mode with the File button disabled for the run; then
  // Live or File mode shows.
  const bool camera = StartCamera(st, w.camera_device_index);
  SizeView(st);
  if (camera) RepositionVideo(st); // the live area has its size now
  UpdateStatusLine(st);
  ShowCalibrationStatus(st);
  ui.InvalidateWindow(true);
  return true;
}

void OnCommand(Station& st, ControlId id) {
  // A press whose release a dialog took ends its edit before the command
  // changes the picture.
  EndViewEdit(st);
  ControlSurface& ui = st.surface();
  // A disabled or hidden button takes no clicks (File without a camera, the
  // buttons a solution does not offer); Enter reaches the hidden default.
  if (id != C::DefaultButton && (!ui.IsEnabled(id) || !ui.IsVisible(id))) return;
  switch (id) {
    case C::DefaultButton:
    case C::Process:
      ProcessCommand(st);
      break;
    case C::Train:
      TrainCommand(st);
      break;
    case C::Grab:
      GrabCommand(st);
      break;
    case C::Live:
      LiveCommand(st);
      break;
    case C::Save:
      SaveCommand(st);
      break;
    case C::File:
      FileCommand(st);
      break;
    case C::Enlarge:
      EnlargeCommand(st);
      break;
    case C::SetUp:
      RunSetUpDialog(st);
      break;
    case C::Exit:
      ExitCommand(st);
      break;
    default:
      break;
  }
}

void OnSelectionChange(Station& st, ControlId id) {
  EndViewEdit(st);
  switch (id) {
    case C::SolutionList:
      SolutionSelected(st);
      break;
    case C::OptionList:
      OptionSelected(st);
      break;
    case C::DarkLightChoice:
    case C::FilterChoice:
      ChoiceSelected(st, id);
      break;
    default:
      break; // the device list chooses nothing: the command line does
  }
}

void OnEditLostFocus(Station& st, ControlId id) { CommitRow(st, RowOfEdit(id)); }

void OnSlider(Station& st, ControlId id, int32_t pos) { SliderMoved(st, id, pos); }

void OnCancel(Station& st) { st.surface().EndMainWindow(); }

void ShowAbout(Station& st) {
  AboutDialog about;
  st.surface().RunDialog(about);
}

void EndProgram(Station& st) {
  WindowState& w = WindowOf(st);
  if (w.ended) return;
  w.ended = true;
  if (st.image.no_camera == 0 && st.image.file_mode == 1) LeaveFileMode(st);
  CloseCamera(st);
  FinishResults(st);
}

} // namespace orvane
