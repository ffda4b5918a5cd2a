// The Save button: the current image, with or without its overlay, as a BMP
// or JPEG file under the next free name "Saved\IMAGE" + n + extension.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "station/station.h"

namespace orvane {

// Settings::image_save_preference.
enum class SavePreference : uint32_t {
  Bmp = 0,
  Jpeg = 1,
  HqJpeg = 2,
  BmpOverlay = 3,
  JpegOverlay = 4,
  HqJpegOverlay = 5,
};

// "Saved\IMAGE" + n in decimal + ".BMP" (preferences 0 and 3), ".JPG" (1, 2,
// 4, 5) or nothing (any other value).
std::string SavedImageName(uint32_t n, uint32_t preference);

// The first n from `first` on whose name under `preference` cannot be opened
// for reading in the station's folder.
uint32_t NextFreeImageNumber(const Station& station, uint32_t first, uint32_t preference);

// The Save button: writes the frame (with the overlay laid over it for
// preferences 3 to 5) under the next free name and moves save_counter past
// that name; the counter moves even when the write fails. A note says where
// the picture went, or why it did not.
void SaveCommand(Station& station);

// The picture as the view shows it, the overlay over the image, one image
// pixel a file pixel, as a 24-bit BMP file at `path`; false, with the reason
// (an errno value or kNotRegularFile), when nothing is shown or the file
// could not be written.
bool WriteShownPicture(Station& station, const std::filesystem::path& path, int* error);

// "Saved\IMAGE" + n + "-annotated.BMP": the annotated picture's own name.
std::string AnnotatedImageName(uint32_t n);

// The annotated picture (WriteShownPicture) at `path`, or without one under
// the first free AnnotatedImageName from save_counter on, which stays as it
// is: the annotated export takes no number from the plain saves. Returns the
// file written, or nothing with the reason in `error`.
std::optional<std::filesystem::path> SaveAnnotatedPicture(Station& station,
                                                          const std::optional<std::filesystem::path>& path,
                                                          std::string* error);

// The context menu's "Save Picture with Overlay": SaveAnnotatedPicture under
// its own name, and a note says where it went or why it did not.
void SaveAnnotatedCommand(Station& station);

} // namespace orvane
