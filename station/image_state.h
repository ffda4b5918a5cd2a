// The current image: its geometry and the three buffers every part of the
// station reads and draws into. Pixels are 3 bytes, B, G, R, rows top-down,
// `stride` bytes a row; a zero overlay byte is transparent.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orvane {

inline constexpr uint32_t kStillPathMax = 259; // characters of still_path


struct ImageState {
  uint32_t width = 320;
  uint32_t height = 240;
  uint32_t bits_per_pixel = 24;
  uint32_t bytes_per_pixel = 3;
  uint32_t stride = 320 * 3;
  uint32_t size = 320 * 3 * 240;
  uint8_t* frame = nullptr;
  uint8_t* overlay = nullptr;
  uint8_t* display = nullptr;
  uint32_t view_width = 320;
  uint32_t view_height = 240;
  uint32_t file_mode = 0;
  uint32_t no_camera = 0;
  std::string still_path; // at most kStillPathMax characters
  uint32_t view_cursor = 32512;
};

// Buffers of one image source (the camera, or File mode), each `size` bytes.
struct ImageBuffers {
  std::vector<uint8_t> frame;
  std::vector<uint8_t> overlay;
  std::vector<uint8_t> display;

  void Allocate(uint32_t size) {
    frame.assign(size, 0);
    overlay.assign(size, 0);
    display.assign(size, 0);
  }
  void Free() {
    frame = {};
    overlay = {};
    display = {};
  }
  bool empty() const { return frame.empty(); }
};

// The camera's geometry and buffers, kept aside while File mode shows files.
struct SavedImageSet {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t size = 0;
  uint8_t* frame = nullptr;
  uint8_t* overlay = nullptr;
  uint8_t* display = nullptr;
};

} // namespace orvane
