// The video input layer: what the station's camera code needs of a capture
// device and nothing more. A backend lists devices by name and opens one by
// position; a device lists its formats, takes one, streams on a thread of its
// own and hands over its newest picture, either for the live video area or as
// a snapshot bitmap.
//
// Only LatestPicture, UseLatestPicture, Snapshot and SnapshotPicture may be
// called while the device streams on another thread; everything else runs on
// the caller's thread, one call at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace orvane::video {

// Compression codes of the two formats the station can take. Any other
// format is offered with its four-character code as its compression.
inline constexpr uint32_t kCompressionRgb = 0;
inline constexpr uint32_t kCompressionYuy2 = 0x32595559; // "YUY2"

constexpr uint32_t FourCc(char a, char b, char c, char d) {
  return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 |
         uint32_t(uint8_t(d)) << 24;
}

// One format a device offers.
struct VideoFormat {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t bit_count = 0;   // 24 (RGB), 16 (YUY2), or what the format stands for
  uint32_t compression = 0; // kCompressionRgb, kCompressionYuy2 or a fourcc
  uint32_t image_size = 0;  // bytes of one picture, as the device states it
  bool operator==(const VideoFormat&) const = default;
};

// Size of a snapshot's bitmap information header.
inline constexpr size_t kBitmapHeaderSize = 40;

// The 40-byte bitmap information header describing a format: size 40, width,
// height (positive), 1 plane, bit count, compression, image size, and zero
// resolutions and colour counts. Little-endian.
void BitmapHeaderOf(const VideoFormat& format, uint8_t out[kBitmapHeaderSize]);

// A picture in memory: width x height pixels of 4 bytes B, G, R, x, rows
// top-down, no padding.
struct Picture {
  uint32_t width = 0;
  uint32_t height = 0;
  uint64_t sequence = 0; // grows by one with every picture the device delivers
  std::vector<uint8_t> bgrx;
  uint64_t stream = 0; // which run of pictures the sequence counts in (unique in the process)
  // When the device began to receive the picture, in nanoseconds of the
  // system's real-time clock; 0 when the device does not say.
  uint64_t started_ns = 0;
  // The folder camera: which showing of one of its folder's pictures this
  // is, from 1, one more each time it turns to the next picture (the first
  // again after the last); 0 from every other source.
  uint64_t scene = 0;
};

// A snapshot bitmap of `picture` into `out`: a 40-byte header (32 bits per
// pixel, compression 0, image size width x height x 4) followed by the rows
// bottom-up.
void PictureToSnapshot(const Picture& picture, std::vector<uint8_t>* out);

// Pictures a device received since it was opened: every one, and those that
// arrived incomplete (counted, never shown or measured).
struct StreamCounts {
  uint64_t frames = 0;
  uint64_t incomplete = 0;
};

// A setting of the device within its range ("ExposureTime" in microseconds,
// "Gain" in the camera's unit, "FrameRate" in pictures a second).
struct DeviceControl {
  std::string name;
  double minimum = 0.0;
  double maximum = 0.0;
  double value = 0.0;
};

class VideoDevice {
 public:
  virtual ~VideoDevice() = default;

  // The offered formats in the device's order; false when the device cannot
  // list them.
  virtual bool Formats(std::vector<VideoFormat>* out) = 0;
  // Takes one of the offered formats; false when the device refused it.
  virtual bool SetFormat(const VideoFormat& format) = 0;
  // The picture size the device actually delivers, read back after
  // SetFormat (it may differ from the one asked for).
  virtual uint32_t CurrentWidth() const = 0;
  virtual uint32_t CurrentHeight() const = 0;
  // Starts and stops the capture thread. Start returns 0 or a negative
  // error number.
  virtual int32_t Start() = 0;
  virtual void Stop() = 0;

  // The newest picture into `out` (its buffer is reused); false while there
  // is none yet. When `out` already holds the newest picture (same stream
  // and sequence) nothing is copied. Keeps answering with the last picture
  // after the device was lost.
  virtual bool LatestPicture(Picture* out) = 0;
  // As LatestPicture without the copy: hands the newest picture itself to
  // `use`; false while there is none yet. The device leaves that picture
  // alone until `use` returns (its capture thread fills other buffers).
  virtual bool UseLatestPicture(const std::function<void(const Picture&)>& use) = 0;
  // The newest complete picture as a snapshot bitmap (see
  // PictureToSnapshot). Waits a bounded time for the first picture; false
  // when none came, the device is not streaming or was lost.
  virtual bool Snapshot(std::vector<uint8_t>* out) = 0;
  // As Snapshot, but hands the newest picture itself to `use`, under the
  // device's lock, instead of building the bitmap: the caller converts it
  // in one pass. `use` must be quick and must not call the device.
  virtual bool SnapshotPicture(const std::function<void(const Picture&)>& use) = 0;
  // Runs `listener` on the capture thread after every new picture (null:
  // none). Only while the device is not streaming.
  virtual void SetPictureListener(std::function<void()> listener) = 0;

  // What the device has to say beside the picture ("camera lost,
  // reconnecting"); empty when all is well. Devices that never lose
  // themselves this way say nothing.
  virtual std::string StatusNote() { return {}; }
  // The pictures received and incomplete since the device was opened, for
  // devices that count them.
  virtual StreamCounts Counts() { return {}; }
  // The settings the device offers beside its format, with their ranges.
  virtual std::vector<DeviceControl> Controls() { return {}; }
  // Sets one of Controls() (clamped to its range); false when the device has
  // no such setting or refused it.
  virtual bool SetControl(const std::string& /*name*/, double /*value*/) { return false; }
};

// Result of VideoBackend::Open besides the device.
enum class OpenError : int32_t { None = 0, NoDevice = 1, Busy = 2, Failed = 3 };

class VideoBackend {
 public:
  virtual ~VideoBackend() = default;
  // Names of the capture devices, in the order Open counts them.
  virtual std::vector<std::string> DeviceNames() = 0;
  // Opens device `index`; null with the reason when it cannot.
  virtual std::unique_ptr<VideoDevice> Open(int32_t index, OpenError* error) = 0;
  // Why the last Open of a listed device failed, in words for the user;
  // empty when the backend has nothing to add to the OpenError.
  virtual std::string OpenProblem() { return {}; }
};

// Several backends as one: the devices of the first, then those of the next,
// and so on; Open counts across them in the same order.
std::unique_ptr<VideoBackend> CombineBackends(std::vector<std::unique_ptr<VideoBackend>> parts);

// ORVANE_GENICAM=off leaves the GenICam cameras out of the system's list
// (their network search takes a second at every listing).
inline constexpr const char* kGenicamVariable = "ORVANE_GENICAM";

// The backend the program uses: the virtual camera when ORVANE_VIRTUAL_CAMERA
// is set (see virtual_camera.h), otherwise the system's V4L2 devices followed
// by the GenICam cameras (when the program was built with them).
std::unique_ptr<VideoBackend> SystemVideoBackend();

} // namespace orvane::video
