// Pictures from files for the virtual camera: uncompressed 24- and 32-bit
// BMP and baseline or progressive JPEG, decoded to B, G, R, x.
#pragma once

#include <filesystem>

#include "platform/video/video.h"

namespace orvane::video {

// Largest side of a picture that is loaded.
inline constexpr uint32_t kPictureFileMaxSide = 8192;

// False when the file cannot be read or is no picture of these kinds.
bool LoadPictureFile(const std::filesystem::path& path, Picture* out);

// Nearest-neighbour scaling of `in` to width x height.
void ScalePicture(const Picture& in, uint32_t width, uint32_t height, Picture* out);

} // namespace orvane::video
