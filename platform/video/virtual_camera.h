// The virtual camera: a capture device without hardware, for demonstrations
// and tests. It serves either a synthetic scene (a ring calibration target
// and three parts of known size on a plain background, with a little sensor
// noise) or the BMP and JPEG images of a folder, scaled to the chosen format,
// at 30 pictures a second on a thread of its own. It is listed as
// "Virtual camera" and offers a configurable list of formats, so that every
// case of the format choice can be staged.
//
// ORVANE_VIRTUAL_CAMERA=scene          the synthetic scene
// ORVANE_VIRTUAL_CAMERA=/some/folder   the folder's *.bmp, *.jpg, *.jpeg
// ORVANE_VIRTUAL_FORMATS=640x480:RGB,640x480:YUY2,1280x720:MJPG
//                                      the offered formats, in order
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/video/video.h"

namespace orvane::video {

inline constexpr const char* kVirtualCameraVariable = "ORVANE_VIRTUAL_CAMERA";
inline constexpr const char* kVirtualFormatsVariable = "ORVANE_VIRTUAL_FORMATS";
inline constexpr const char* kVirtualCameraName = "Virtual camera";
// The name of the thread that draws its pictures (at most 15 characters).
inline constexpr const char* kVirtualCameraThreadName = "orvane-vcam";
inline constexpr const char* kVirtualSceneSource = "scene";

struct VirtualCameraConfig {
  std::string source = kVirtualSceneSource; // "scene" or a folder
  std::vector<VideoFormat> formats;
  double frames_per_second = 30.0;
  bool noise = true; // sensor noise on the synthetic scene
};

// 640x480 and 1920x1080 in every accepted code, a few sizes between, and
// one MJPG format that the station never takes.
std::vector<VideoFormat> DefaultVirtualFormats();

// Parses "WxH:CODE[,WxH:CODE...]": CODE is RGB (24 bits, compression 0), YUY2
// (16 bits) or any other four characters, offered as that fourcc with 24
// bits. False (and `out` untouched) when any entry is malformed.
bool ParseFormatList(std::string_view text, std::vector<VideoFormat>* out);

// The format a WxH entry with this code stands for (image size included).
VideoFormat MakeVirtualFormat(uint32_t width, uint32_t height, uint32_t compression);

// Where the synthetic scene puts its objects in a width x height picture.
// Lengths of the parts are in calibration units: `unit` pixels each, the
// scale that calibrating on the target finds (a third of its outer radius).
struct SceneLayout {
  double target_x, target_y, target_radius; // outer radius; the bright disc has half of it
  double unit;                              // pixels per calibration unit
  double bar_x, bar_y;                      // centre of the 6 x 3 unit bar
  double disc_x, disc_y;                    // centre of the disc of diameter 4 units
  double square_x, square_y;                // centre of the 3 x 3 unit square
};
SceneLayout LayoutScene(uint32_t width, uint32_t height);

// Draws the scene without noise into `out` (B, G, R, x, top-down).
void DrawScene(uint32_t width, uint32_t height, Picture* out);

// Colours of the scene (B, G, R each the same grey).
inline constexpr uint8_t kSceneBackground = 190;
inline constexpr uint8_t kSceneRing = 30;
inline constexpr uint8_t kSceneCentre = 230;
inline constexpr uint8_t kScenePart = 60;
// The largest change the sensor noise makes to a byte.
inline constexpr int kSceneNoise = 2;

std::unique_ptr<VideoBackend> MakeVirtualBackend(VirtualCameraConfig config);

} // namespace orvane::video
