#include "acquisition/camera_settings.h"

#include <cerrno>
#include <charconv>
#include <cmath>

#include "acquisition/camera_capture.h"
#include "workspace/files.h"

namespace orvane {
namespace {

constexpr const char* kCaption = "Camera settings";

bool KnownSetting(std::string_view name) {
  for (const char* known : kCameraSettingNames) {
    if (name == known) return true;
  }
  return false;
}

std::string Trimmed(std::string_view s) {
  const size_t first = s.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  const size_t last = s.find_last_not_of(" \t\r");
  return std::string(s.substr(first, last - first + 1));
}

// Reads the file of the open camera; nothing when there is none. A file that
// cannot be read or parsed is said and gives nothing.
std::optional<CameraSettings> LoadCameraSettings(Station& st, const std::string& file) {
  const std::filesystem::path path = st.PathOf(file);
  int why = 0;
  int64_t length = FileLength(path, &why);
  if (length < 0 && why == ENOENT) return std::nullopt;
  std::string error;
  std::string text;
  if (length > static_cast<int64_t>(kMaxCameraSettingsBytes)) {
    error = "it is longer than " + std::to_string(kMaxCameraSettingsBytes) + " bytes";
  } else if (length > 0) {
    text.resize(static_cast<size_t>(length));
    if (ReadFileInto(path, text.data(), static_cast<uint32_t>(length), &why) == 0) length = -1;
  }
  if (length < 0) {
    st.surface().MessageBox(file + " could not be read: " + FileErrorText(why) + ".", kCaption,
                            MessageButtons::Ok);
    return std::nullopt;
  }
  std::optional<CameraSettings> settings;
  if (error.empty()) settings = ParseCameraSettings(text, &error);
  if (!settings) {
    st.surface().MessageBox(file + " is damaged (" + error + "); the camera keeps its own settings.", kCaption,
                            MessageButtons::Ok);
  }
  return settings;
}

} // namespace

std::string CameraSettingsFileName(std::string_view camera_name) {
  std::string name = "CAMERA-";
  for (char c : camera_name.substr(0, 100)) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                       c == '_' || c == '.';
    name += plain ? c : '_';
  }
  return name + ".CFG";
}

std::optional<CameraSettings> ParseCameraSettings(std::string_view text, std::string* error) {
  CameraSettings settings;
  uint32_t number = 0;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    const std::string line = Trimmed(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    ++number;
    if (line.empty() || line[0] == '#') continue;
    const size_t blank = line.find_first_of(" \t");
    const std::string name = line.substr(0, blank);
    const std::string value = blank == std::string::npos ? std::string() : Trimmed(line.substr(blank));
    double v = 0.0;
    const auto [ptr, ec] = std::from_chars(value.data(), value.data() + value.size(), v);
    std::string problem;
    if (!KnownSetting(name)) {
      problem = "\"" + name + "\" is no setting";
    } else if (value.empty() || ec != std::errc() || ptr != value.data() + value.size() || !std::isfinite(v)) {
      problem = "\"" + value + "\" is not a number";
    } else {
      for (const auto& [known, ignored] : settings) {
        if (known == name) problem = name + " is given twice";
      }
    }
    if (!problem.empty()) {
      *error = "line " + std::to_string(number) + ": " + problem;
      return std::nullopt;
    }
    settings.emplace_back(name, v);
  }
  return settings;
}

std::string FormatCameraSettings(std::string_view camera_name, const CameraSettings& settings) {
  std::string text = "# ORVANE camera settings for ";
  for (char c : camera_name) text += (c == '\n' || c == '\r') ? ' ' : c;
  text += '\n';
  for (const auto& [name, value] : settings) {
    char number[64];
    const auto written = std::to_chars(number, number + sizeof number, value);
    text += name + ' ' + std::string(number, written.ptr) + '\n';
  }
  return text;
}

bool ApplyCameraSettings(Station& st) {
  if (!st.camera || !st.camera->device || st.camera->device->Controls().empty()) return false;
  const std::optional<CameraSettings> settings =
      LoadCameraSettings(st, CameraSettingsFileName(st.camera->device_name));
  if (!settings) return false;
  for (const auto& [name, value] : *settings) st.camera->device->SetControl(name, value);
  return true;
}

bool SaveCameraSettings(Station& st, const CameraSettings& settings) {
  if (!st.camera || !st.camera->device) return false;
  for (const auto& [name, value] : settings) st.camera->device->SetControl(name, value);
  const std::string file = CameraSettingsFileName(st.camera->device_name);
  const std::string text = FormatCameraSettings(st.camera->device_name, settings);
  int why = 0;
  const auto n = static_cast<uint32_t>(text.size());
  if (WriteWholeFile(st.PathOf(file), text.data(), n, &why) == n) return true;
  st.surface().MessageBox(file + " could not be written: " + FileErrorText(why) + ".", kCaption,
                          MessageButtons::Ok);
  return false;
}

} // namespace orvane
