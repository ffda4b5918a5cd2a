// The Save button: the current image, with or without its overlay, as a BMP
// or JPEG file under the next free name "Saved\IMAGE" + n + extension.
#pragma once

#include <cstdint>
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
// that name. Failures to write are silent; the counter moves all the same.
void SaveCommand(Station& station);

} // namespace orvane
