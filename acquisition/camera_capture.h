// The camera: lists the video input devices, opens one at a requested size
// and pixel format, keeps its picture running for the live video area, and
// takes snapshots into the frame. The format table and its choice rule are the
// station's own; the device is reached through the video layer
// (platform/video/).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "acquisition/rectification.h"
#include "platform/video/video.h"
#include "station/station.h"

namespace orvane {

// Compression codes of the accepted camera formats.
inline constexpr uint32_t kCompressionRgb = 0;
inline constexpr uint32_t kCompressionYuy2 = 0x32595559; // "YUY2"
inline constexpr uint32_t kMaxCameraFormats = 100;

// One accepted format of the device.
struct CameraFormat {
  uint32_t width;
  uint32_t height;
  uint32_t bit_count;   // 24 or 16; a GenICam format's bits (genicam_pixels.h)
  uint32_t compression; // kCompressionRgb, kCompressionYuy2 or a GenICam format's code
  uint32_t image_size;  // bytes, as the device states it
};
static_assert(sizeof(CameraFormat) == 20);

struct CameraFormatTable {
  CameraFormat rows[kMaxCameraFormats];
  uint32_t count;
  uint32_t chosen;
};

// The latest picture of the running camera, for the live video area:
// width x height pixels of B, G, R, x, rows top-down.
struct LivePicture {
  uint32_t width = 0;
  uint32_t height = 0;
  uint64_t sequence = 0; // grows with every new picture of the device
  std::vector<uint8_t> bgrx;
  uint64_t stream = 0; // with sequence: which picture this is
};

// The diagnostic file of the offered formats, rewritten at every open.
inline constexpr const char* kCameraFormatsFile = "VIDRANE.BIN";

// OpenCamera's failures besides "no such device" (1).
inline constexpr int32_t kCameraBusy = -16;       // the device is in use elsewhere
inline constexpr int32_t kCameraOpenFailed = -5;  // the device could not be opened
inline constexpr int32_t kCameraStartFailed = -6; // streaming could not start

// The station's camera: the video layer's backend and open device, the
// format table of the last open, and the fourth buffer that is allocated and
// freed with the camera's three image buffers (station.camera_buffers).
class CameraCapture {
 public:
  explicit CameraCapture(std::unique_ptr<video::VideoBackend> backend);
  ~CameraCapture();
  CameraCapture(const CameraCapture&) = delete;
  CameraCapture& operator=(const CameraCapture&) = delete;

  video::VideoBackend& backend() { return *backend_; }

  std::unique_ptr<video::VideoDevice> device; // null while closed
  int32_t device_index = 0;                   // the device start-up chose, reopened by a resolution change
  std::string wanted_name;                    // --camera NAME: start-up picks the device by this name
  std::string device_name;                    // the open device's name in the list
  std::string shown_note;                     // the device's note the status line shows
  uint32_t state = 0;                         // 0 stopped or being built, 2 running
  uint32_t native_width = 0;                  // size the device delivers, read back
  uint32_t native_height = 0;
  uint32_t size = 0; // bytes of each buffer: width x height x 3
  std::vector<uint8_t> spare;
  CameraFormatTable table{};
  std::vector<uint8_t> snapshot; // reused by every TakeSnapshot
  RectificationState rectification;

 private:
  std::unique_ptr<video::VideoBackend> backend_;
};

// The station's camera, created on first use with the system's video backend
// (video::SystemVideoBackend).
CameraCapture& CaptureOf(Station& station);

// Gives the station a camera on `backend` instead of the system's (tests,
// the batch runner). Closes a camera that is open.
void UseVideoBackend(Station& station, std::unique_ptr<video::VideoBackend> backend);

// Fills the device list (control 1003) with the devices' names; returns how
// many were added, or -1 when there is none.
int32_t EnumerateDevices(Station& station);

// Opens device `index` at width x height as the station's camera: builds the
// format table, chooses and sets the format, allocates the camera's buffers and
// points the image state at them, starts streaming. Negative: failure; 0:
// running; 1: no such device.
int32_t OpenCamera(Station& station, int32_t index, uint32_t width, uint32_t height);

// Stops streaming and frees the camera's buffers; a second call does nothing.
void CloseCamera(Station& station);

// The newest picture converted into the frame (colour mode applied); the
// bytes acquired, or 0 when no picture could be taken.
uint32_t TakeSnapshot(Station& station);

// The format table of the last open (empty before any).
const CameraFormatTable& CameraFormats(const Station& station);

// Copies the running camera's latest picture into `out`; false when there is
// no camera or no picture yet. Copies nothing when `out` already holds the
// latest picture (its sequence and stream say so). Safe to call on the front
// end's thread while the camera streams.
bool LatestPicture(Station& station, LivePicture* out);

// Receives a picture for the live area: width x height pixels of B, G, R, x,
// rows top-down, valid only during the call.
using PictureSink = std::function<void(const uint8_t* bgrx, uint32_t width, uint32_t height)>;

// The live area's picture: hands the running camera's latest picture to
// `show` unless it is the one `held` names (its stream and sequence), and
// makes `held` name it. Without rectification `show` sees the device's own
// picture, no copy made; with it, the picture rectified from the device's
// own straight into `held`'s buffer. False when nothing was shown.
bool ShowLatestPicture(Station& station, LivePicture* held, const PictureSink& show);

// The camera's part of start-up: lists the devices, opens device `index` (or
// the one called wanted_name, when it is set: "not found" is said in a
// message box) at
// the requested size when there is one, publishes the geometry, positions the
// video and switches to Live mode; otherwise (no device at that index, a busy
// device, no accepted format) sets no_camera, enters File mode, disables the
// File button and shows File mode. Returns true when a camera is in use.
bool StartCamera(Station& station, int32_t index);

// What the open device says beside its picture ("camera lost, reconnecting");
// empty without a camera or in File mode.
std::string CameraNote(Station& station);

// "NAME WxH FORMAT frames N incomplete M": the open camera, the size it
// delivers, its format's name and the pictures it received and dropped as
// incomplete since it was opened; "none" without a camera.
std::string DescribeCamera(Station& station);

// The live video area was moved or resized: re-position the video.
void RepositionVideo(Station& station);

} // namespace orvane
