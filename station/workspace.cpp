#include "station/workspace.h"

namespace orvane {

void LoadSettings(Station& station) {
  Settings& s = station.settings;
  LoadSettings(station.folder(), s);
  station.current_distance = s.calibration_distance;
  station.image.width = s.requested_width;
  station.image.height = s.requested_height;
  if (station.hooks.background_colour_changed) {
    station.hooks.background_colour_changed(s.background_colour);
  }
}

uint32_t SaveSettings(Station& station) { return SaveSettings(station.folder(), station.settings); }

uint32_t LoadSolution(Station& station, uint32_t index, SolutionRecord* out) {
  return LoadSolution(station.folder(), *station.table, index, out);
}

uint32_t SaveSolution(Station& station, const SolutionRecord& record) {
  return SaveSolution(station.folder(), record);
}

void RescaleAllRois(Station& station, uint32_t new_width, uint32_t new_height) {
  if (new_width == 0 || new_height == 0) return;
  SaveSolution(station, *station.working);
  RescaleStoredRois(station.folder(), *station.table, station.image.width, station.image.height,
                    new_width, new_height);
  if (station.hooks.refresh_panel) station.hooks.refresh_panel();
}

void ResetAllRois(Station& station) { ResetStoredRois(station.folder(), *station.table); }

void OpenWorkspace(Station& station) {
  LoadSettings(station);
  BuildDefaultSolutions(*station.table);
  for (uint32_t index = 0; index < station.table->count; ++index) {
    LoadSolution(station, index, station.working.get());
  }
  station.current_solution =
      station.settings.last_solution < station.table->count ? station.settings.last_solution : 0;
  LoadSolution(station, station.current_solution, station.working.get());
}

uint32_t AppendLog(Station& station, std::string_view text) {
  if (station.log_enabled == 0) return 0;
  return AppendLog(station.folder(), text);
}

} // namespace orvane
