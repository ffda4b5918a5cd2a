// GenICam cameras (GigE Vision, USB3 Vision) through the Aravis library.
// Cameras are listed by their Aravis id ("vendor-model-serial") and offer the
// pixel formats of genicam_pixels.h at the common sizes that fit their
// width and height ranges, their size at opening and their full sensor.
//
// A device streams continuously on a thread of its own with enough buffers,
// packet resend on and the socket buffer sized to the picture; incomplete
// pictures are counted and dropped. A snapshot waits for the first complete
// picture whose reception began after the request. A camera that stops
// answering is said by StatusNote while the thread reopens it by its id every
// second, with the format and settings it had.
#pragma once

#include <memory>

#include "platform/video/video.h"

namespace orvane::video {

struct AravisOptions {
  // Also list the library's in-process simulated camera (tests).
  bool fake_interface = false;
};

// The name of the thread that takes a camera's pictures (at most 15
// characters), for measuring its share of the processor.
inline constexpr const char* kGenicamThreadName = "orvane-gcam";

// What StatusNote says while a camera is away.
inline constexpr const char* kCameraLostNote = "camera lost, reconnecting";

std::unique_ptr<VideoBackend> MakeAravisBackend(AravisOptions options = {});

} // namespace orvane::video
