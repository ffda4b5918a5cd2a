// The virtual camera: a capture device without hardware, for demonstrations
// and tests. It serves either a synthetic scene (a ring calibration target
// and three parts of known size on a plain background, with a little sensor
// noise) or the BMP and JPEG images of a folder, scaled to the chosen format,
// at 30 pictures a second on a thread of its own. It is listed as
// "Virtual camera" and offers a configurable list of formats, so that every
// case of the format choice can be staged.
//
// ORVANE_VIRTUAL_CAMERA=scene          the synthetic scene
// ORVANE_VIRTUAL_CAMERA=grid           a dot grid for the grid calibration
// ORVANE_VIRTUAL_CAMERA=bars           nine 6 x 3 unit bars across the field
// ORVANE_VIRTUAL_CAMERA=/some/folder   the folder's *.bmp, *.jpg, *.jpeg
// ORVANE_VIRTUAL_FORMATS=640x480:RGB,640x480:YUY2,1280x720:MJPG
//                                      the offered formats, in order
// ORVANE_VIRTUAL_LENS=k1=-0.2,tilt=10  the synthetic scenes seen through a
//                                      lens (virtual_lens.h); unset, they are
//                                      drawn exactly as without one
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/video/video.h"
#include "platform/video/virtual_lens.h"

namespace orvane::video {

inline constexpr const char* kVirtualCameraVariable = "ORVANE_VIRTUAL_CAMERA";
inline constexpr const char* kVirtualFormatsVariable = "ORVANE_VIRTUAL_FORMATS";
inline constexpr const char* kVirtualCameraName = "Virtual camera";
// The name of the thread that draws its pictures (at most 15 characters).
inline constexpr const char* kVirtualCameraThreadName = "orvane-vcam";
inline constexpr const char* kVirtualSceneSource = "scene";
inline constexpr const char* kVirtualGridSource = "grid";
inline constexpr const char* kVirtualBarsSource = "bars";

struct VirtualCameraConfig {
  std::string source = kVirtualSceneSource; // "scene" or a folder
  std::vector<VideoFormat> formats;
  double frames_per_second = 30.0;
  bool noise = true; // sensor noise on the synthetic scene
  VirtualLens lens;   // the synthetic scenes' lens
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

// The dot grid: kGridRows x kGridCols dark dots centred on the picture,
// `pitch` pixels apart, covering about four fifths of it.
inline constexpr uint32_t kGridRows = 9;
inline constexpr uint32_t kGridCols = 15;
struct GridLayout {
  double first_x, first_y; // centre of the top-left dot
  double pitch;
  double radius;
};
GridLayout LayoutGrid(uint32_t width, uint32_t height);

// Centres of the nine bars of the bars scene (each 6 x 3 units, the scene's
// unit): three rows of three, corners included.
inline constexpr size_t kBarCount = 9;
struct BarCentre {
  double x, y;
};
std::vector<BarCentre> LayoutBars(uint32_t width, uint32_t height);

// Draws a synthetic scene ("scene", "grid" or "bars") without noise, through
// the lens when it is not a plain one. False for any other name.
bool DrawSyntheticScene(std::string_view name, const VirtualLens& lens, uint32_t width, uint32_t height,
                        Picture* out);

// Colours of the scene (B, G, R each the same grey).
inline constexpr uint8_t kSceneBackground = 190;
inline constexpr uint8_t kSceneRing = 30;
inline constexpr uint8_t kSceneCentre = 230;
inline constexpr uint8_t kScenePart = 60;
// The largest change the sensor noise makes to a byte.
inline constexpr int kSceneNoise = 2;

// The sensor noise of picture `sequence` over `base`, into `out` (already of
// base's size): a fixed table of 65536 small steps read from a start that
// moves with the sequence, one step a byte of B, G and R in turn, each sum
// clamped to 0 .. 255; the fourth bytes are 0.
void AddSensorNoise(const Picture& base, uint64_t sequence, Picture* out);
// The same by that rule byte by byte, a several times slower loop kept as
// the reference of the fast one.
void AddSensorNoiseByteByByte(const Picture& base, uint64_t sequence, Picture* out);

std::unique_ptr<VideoBackend> MakeVirtualBackend(VirtualCameraConfig config);

} // namespace orvane::video
