// A camera's own settings beside its format (exposure time, gain, frame
// rate), kept per camera name in a text file of the working folder and
// applied whenever that camera opens. Only devices that offer such settings
// (GenICam cameras) have a file; without one the camera keeps what it has.
//
// The file, "CAMERA-<name>.CFG" (characters of the name other than letters,
// digits, '-', '_' and '.' as '_'): lines "NAME VALUE" with NAME one of
// ExposureTime (microseconds), Gain, FrameRate (pictures a second), each at
// most once; blank lines and lines starting with '#' are skipped. A file
// that breaks any of this is refused whole, with a message, and left as it is.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "station/station.h"

namespace orvane {

using CameraSettings = std::vector<std::pair<std::string, double>>;

inline constexpr size_t kMaxCameraSettingsBytes = 4096;
inline constexpr const char* kCameraSettingNames[] = {"ExposureTime", "Gain", "FrameRate"};

std::string CameraSettingsFileName(std::string_view camera_name);

// The settings of a file's text; nothing, with the reason ("line 3: ...")
// in `error`, when it breaks the format.
std::optional<CameraSettings> ParseCameraSettings(std::string_view text, std::string* error);
// The file's text for `settings`, which ParseCameraSettings reads back.
std::string FormatCameraSettings(std::string_view camera_name, const CameraSettings& settings);

// The open camera's file, applied to it: true when there was one and it was
// taken. A damaged or unreadable file is said in a message box and changes
// nothing.
bool ApplyCameraSettings(Station& station);

// Sets the open camera's settings and writes its file whole (a temporary
// file beside it, renamed over it). A failure is said in a message box; the
// camera keeps the values it took.
bool SaveCameraSettings(Station& station, const CameraSettings& settings);

} // namespace orvane
