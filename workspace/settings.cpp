#include "workspace/settings.h"

#include <cerrno>
#include <cmath>
#include <cstring>

#include "workspace/files.h"

namespace orvane {

void SetDefaultSettings(Settings& s) {
  std::memset(&s, 0, sizeof s);
  s.format_tag = kSettingsFormatTag;
  s.requested_width = 320;
  s.requested_height = 240;
  s.flags = kFlagExpandWindow;
  s.on_function_change = 2;
  s.decimals_dimensions = 3;
  s.decimals_angles = 2;
  s.unit_factor = 1.0;
  s.image_save_preference = 1;
  s.foreground_colour_index = 15;
  s.foreground_colour = 0xFFFFFF;
}

void LoadSettings(const std::filesystem::path& folder, Settings& s, LoadFailure* failure) {
  auto path = PathIn(folder, kSettingsFileName);
  Settings read{};
  int error = 0;
  const int64_t length = FileLength(path, &error);
  bool present = length >= static_cast<int64_t>(sizeof(Settings)) &&
                 ReadFileInto(path, &read, sizeof(Settings), &error) != 0;
  if (present) {
    s = read;
    // The path is the one text of this record the station reads, so it alone
    // is terminated; reserved bytes stay as stored and are written back.
    s.last_file_path[sizeof s.last_file_path - 1] = '\0';
  } else {
    // The reason a file that is there could not be read goes to the caller,
    // which says it before the defaults take its place; a short file has none.
    int write_error = 0;
    SetDefaultSettings(s);
    SaveSettings(folder, s, &write_error);
    if (failure != nullptr) {
      if (length < 0) failure->read_error = error;
      failure->write_error = write_error;
    }
  }
  // A factor that is not a positive number would turn every length into
  // nonsense (NaN included, which a plain "<= 0" test lets through).
  if (!(s.unit_factor > 0.0) || !std::isfinite(s.unit_factor)) s.unit_factor = 1.0;
  s.background_brush = 0;
}

uint32_t SaveSettings(const std::filesystem::path& folder, const Settings& settings,
                      int* error) {
  int why = 0;
  const uint32_t written =
      WriteWholeFile(PathIn(folder, kSettingsFileName), &settings, sizeof(Settings), &why);
  // The writer may leave the reason of a probe that did not matter: only a
  // failure has one.
  if (error != nullptr) *error = written != 0 ? 0 : (why != 0 ? why : EIO);
  return written;
}

void RescaleCalibration(Settings& s, uint32_t width, uint32_t height) {
  s.scale_x = s.calibrated_width != 0
                  ? static_cast<double>(width) / s.calibrated_width * s.calibrated_scale_x
                  : s.calibrated_scale_x;
  s.scale_y = s.calibrated_height != 0
                  ? static_cast<double>(height) / s.calibrated_height * s.calibrated_scale_y
                  : s.calibrated_scale_y;
}

} // namespace orvane
