#include "station/workspace.h"

#include <cerrno>
#include <memory>
#include <string>

#include "workspace/files.h"

namespace orvane {
namespace {

// Follows the outcome of a save of record: a written record leaves the
// station's memory; one that could not be written is kept there in place of
// its file, and the failure is reported.
void KeepUnlessSaved(Station& station, const SolutionRecord& record, int error) {
  if (error == 0) {
    station.unsaved_solutions.erase(record.id);
    return;
  }
  std::unique_ptr<SolutionRecord>& kept = station.unsaved_solutions[record.id];
  if (!kept) kept = std::make_unique<SolutionRecord>();
  if (kept.get() != &record) *kept = record;
  ReportFileFailure(station, station.PathOf(SolutionFileName(record.id)), error, true);
}

} // namespace

void ReportFileFailure(Station& station, const std::filesystem::path& path, int error,
                       bool writing) {
  if (!writing && error == ENOENT) return;
  if (!station.reported_file_failures.insert(path.string()).second) return;
  const std::string text = std::string(writing ? "Unable to write " : "Unable to read ") +
                           path.string() + ": " + FileErrorText(error);
  station.surface().MessageBox(text, ApplicationTitle(), MessageButtons::Ok);
}

void LoadSettings(Station& station) {
  Settings& s = station.settings;
  LoadFailure failure;
  LoadSettings(station.folder(), s, &failure);
  // A file that is there but cannot be read is said before the defaults take
  // its place, then a failed write of those defaults.
  const auto path = station.PathOf(kSettingsFileName);
  if (failure.read_error != 0) ReportFileFailure(station, path, failure.read_error, false);
  if (failure.write_error != 0) ReportFileFailure(station, path, failure.write_error, true);
  station.current_distance = s.calibration_distance;
  station.image.width = s.requested_width;
  station.image.height = s.requested_height;
  if (station.hooks.background_colour_changed) {
    station.hooks.background_colour_changed(s.background_colour);
  }
}

uint32_t SaveSettings(Station& station) {
  int error = 0;
  const uint32_t written = SaveSettings(station.folder(), station.settings, &error);
  if (written == 0) ReportFileFailure(station, station.PathOf(kSettingsFileName), error, true);
  return written;
}

uint32_t LoadSolution(Station& station, uint32_t index, SolutionRecord* out) {
  const SolutionTable& table = *station.table;
  // A record that could not be saved is what its file would hold.
  if (index < table.count && index < kMaxSolutions) {
    if (const auto kept = station.unsaved_solutions.find(table.slots[index].id);
        kept != station.unsaved_solutions.end()) {
      *out = *kept->second;
      return 0;
    }
  }
  LoadFailure failure;
  const uint32_t result = LoadSolution(station.folder(), table, index, out, &failure);
  if (result != 0) return result;
  const auto path = station.PathOf(SolutionFileName(table.slots[index].id));
  if (failure.read_error != 0) ReportFileFailure(station, path, failure.read_error, false);
  // The default that could not be written takes the file's place in memory.
  if (failure.write_error != 0) KeepUnlessSaved(station, *out, failure.write_error);
  return 0;
}

uint32_t SaveSolution(Station& station, const SolutionRecord& record) {
  int error = 0;
  SaveSolution(station.folder(), record, &error);
  KeepUnlessSaved(station, record, error);
  return 0;
}

void RescaleAllRois(Station& station, uint32_t new_width, uint32_t new_height) {
  if (new_width == 0 || new_height == 0) return;
  SaveSolution(station, *station.working);
  // Through the station, so a record whose save failed is rescaled from memory.
  auto record = std::make_unique<SolutionRecord>();
  for (uint32_t index = 0; index < station.table->count; ++index) {
    if (LoadSolution(station, index, record.get()) != 0) continue;
    RescaleRecordRois(*record, station.image.width, station.image.height, new_width, new_height);
    SaveSolution(station, *record);
  }
  if (station.hooks.refresh_panel) station.hooks.refresh_panel();
}

void ResetAllRois(Station& station) {
  auto record = std::make_unique<SolutionRecord>();
  for (uint32_t index = 0; index < station.table->count; ++index) {
    if (LoadSolution(station, index, record.get()) != 0) continue;
    record->roi_count = 0;
    SaveSolution(station, *record);
  }
}

void OpenWorkspace(Station& station) {
  RemoveLeftoverTemporaries(station.folder());
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
