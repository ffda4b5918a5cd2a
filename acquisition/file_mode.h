// File mode: the still image file as the image source instead of the camera.
// Entering it puts the camera's image aside and shows a blank 800 x 600
// image that invites a drop; a drop, Grab, Process or Train then loads the
// still file (BMP directly, JPEG through the pixora conversion); leaving it
// frees the file image and gives the camera's image back exactly as it was.
//
// The buffers of the file image and of the blank image live in
// station.file_buffers; the camera's stay in station.camera_buffers, which
// File mode only points at (through station.saved_image) and never frees.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string_view>

#include "station/station.h"

namespace orvane {

// The temporary BMP of JPEG loads and JPEG saves, in the station's folder.
inline constexpr const char* kTempImageName = "TEMPIMAGE.BMP";

// Size of the blank image shown when no still image is loaded.
inline constexpr uint32_t kBlankWidth = 800;
inline constexpr uint32_t kBlankHeight = 600;

// Puts the camera's geometry and buffers into station.saved_image, installs
// and shows the blank image, and turns File mode on (Live disabled, File
// highlighted, indicator "File"). The still path is not loaded. Also installs
// hooks.reload_still, through which AcquireFrame reloads the still file.
// Does nothing when File mode is already on.
void EnterFileMode(Station& station);

// Frees the file image, restores the camera's geometry and buffers from
// station.saved_image and returns to Live mode. Does nothing when File mode
// is off.
void LeaveFileMode(Station& station);

// Loads image.still_path into a new file image and returns its size in
// bytes. On failure (no path, unreadable, not a JPEG or an accepted BMP)
// installs the blank image, says "Unable to load file <path>." unless the
// path is empty, and returns 0. Returns 0 without touching anything outside
// File mode.
uint32_t LoadStillImage(Station& station);

// Installs a cleared 800 x 600 image in the file buffers and publishes it.
// ROIs are not rescaled.
void InstallBlankImage(Station& station);

// Shows the blank image: a cleared overlay with "Drag and Drop" and
// " Files Here" in magenta over the middle, composed over the frame.
void ShowBlankImage(Station& station);

// The still path as a file: relative paths count from the station's folder.
std::filesystem::path StillFilePath(const Station& station);

} // namespace orvane
