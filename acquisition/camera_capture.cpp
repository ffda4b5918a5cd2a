#include "acquisition/camera_capture.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "acquisition/acquisition.h"
#include "acquisition/camera_settings.h"
#include "acquisition/file_mode.h"
#include "acquisition/pixels.h"
#include "platform/video/genicam_pixels.h"
#include "station/workspace.h"
#include "workspace/files.h"
#include "workspace/solutions.h"

namespace orvane {
namespace {

bool Accepted(const video::VideoFormat& f) {
  return (f.compression == kCompressionRgb && f.bit_count == 24) ||
         (f.compression == kCompressionYuy2 && f.bit_count == 16) ||
         (video::IsGenicamFormat(f.compression) && f.bit_count == video::GenicamBits(f.compression));
}

// The first row of exactly W x H in the preferred code, then in the other;
// failing both (or with a code that is neither), the row whose width is
// nearest to W, the earlier one on a tie, which also sets W, H and the
// preferred code. A GenICam camera's code is looked for exactly W x H in that
// code alone, so that a size chosen in Set-Up is found again among the rows
// of the same width. Returns 1 for an exact match, 0 otherwise.
int32_t ChooseFormat(CameraFormatTable& t, uint32_t* w, uint32_t* h, uint32_t* pixel_format) {
  t.chosen = 0;
  if (t.count == 0) return 0;
  if (video::IsGenicamFormat(*pixel_format)) {
    for (uint32_t i = 0; i < t.count; ++i) {
      const CameraFormat& r = t.rows[i];
      if (r.width == *w && r.height == *h && r.compression == *pixel_format) {
        t.chosen = i;
        return 1;
      }
    }
  }
  uint32_t order[2] = {};
  bool search = true;
  if (*pixel_format == kCompressionRgb) {
    order[0] = kCompressionRgb;
    order[1] = kCompressionYuy2;
  } else if (*pixel_format == kCompressionYuy2) {
    order[0] = kCompressionYuy2;
    order[1] = kCompressionRgb;
  } else {
    search = false;
  }
  if (search) {
    for (uint32_t code : order) {
      for (uint32_t i = 0; i < t.count; ++i) {
        const CameraFormat& r = t.rows[i];
        if (r.width == *w && r.height == *h && r.compression == code) {
          t.chosen = i;
          return 1;
        }
      }
    }
  }
  uint32_t best = 0;
  int64_t best_diff = std::llabs(int64_t{t.rows[0].width} - int64_t{*w});
  for (uint32_t i = 1; i < t.count; ++i) {
    const int64_t diff = std::llabs(int64_t{t.rows[i].width} - int64_t{*w});
    if (diff < best_diff) {
      best = i;
      best_diff = diff;
    }
  }
  t.chosen = best;
  *w = t.rows[best].width;
  *h = t.rows[best].height;
  *pixel_format = t.rows[best].compression;
  return 0;
}

// Builds the table from the device's formats, writing every offered format's
// header to the diagnostic file. False when the device cannot list them.
bool BuildFormatTable(Station& st, video::VideoDevice& device, CameraFormatTable& t) {
  const std::filesystem::path file = st.PathOf(kCameraFormatsFile);
  std::error_code ignored;
  std::filesystem::remove(file, ignored);
  std::vector<video::VideoFormat> offered;
  if (!device.Formats(&offered)) return false;
  for (const video::VideoFormat& f : offered) {
    uint8_t header[video::kBitmapHeaderSize];
    video::BitmapHeaderOf(f, header);
    AppendToFile(file, header, sizeof header);
    if (Accepted(f) && t.count < kMaxCameraFormats) {
      t.rows[t.count++] = CameraFormat{f.width, f.height, f.bit_count, f.compression, f.image_size};
    }
  }
  return true;
}

// Sets the first offered format that matches the chosen row at W x H.
void SetChosenFormat(video::VideoDevice& device, const CameraFormat& row, uint32_t w, uint32_t h) {
  std::vector<video::VideoFormat> offered;
  if (!device.Formats(&offered)) return;
  for (const video::VideoFormat& f : offered) {
    if (f.compression == row.compression && f.bit_count == row.bit_count && f.width == w &&
        f.height == h) {
      device.SetFormat(f);
      return;
    }
  }
}

// The camera's image lives in the image state, or in the saved image set
// while File mode shows a file.
void InstallCameraImage(Station& st, uint32_t w, uint32_t h) {
  ImageBuffers& b = st.camera_buffers;
  const uint32_t size = w * h * 3;
  ImageState& im = st.image;
  if (im.file_mode == 1) {
    st.saved_image = SavedImageSet{w, h, size, b.frame.data(), b.overlay.data(), b.display.data()};
    return;
  }
  im.width = w;
  im.height = h;
  im.size = size;
  im.bits_per_pixel = 24;
  im.bytes_per_pixel = 3;
  im.stride = w * 3;
  im.frame = b.frame.data();
  im.overlay = b.overlay.data();
  im.display = b.display.data();
}

// Forgets every pointer to the camera's buffers before they are freed.
void DetachCameraImage(Station& st) {
  ImageState& im = st.image;
  const ImageBuffers& b = st.camera_buffers;
  if (b.empty()) return;
  if (im.file_mode == 1) {
    if (st.saved_image.frame == b.frame.data()) st.saved_image = SavedImageSet{};
    return;
  }
  if (im.frame == b.frame.data()) {
    im.frame = nullptr;
    im.overlay = nullptr;
    im.display = nullptr;
    im.size = 0;
  }
}

// Width and height of the camera's image, wherever it is kept now.
ImageState CameraGeometry(const Station& st) {
  ImageState g;
  if (st.image.file_mode == 1) {
    g.width = st.saved_image.width;
    g.height = st.saved_image.height;
    g.size = st.saved_image.size;
  } else {
    g.width = st.image.width;
    g.height = st.image.height;
    g.size = st.image.size;
  }
  g.stride = g.width * 3;
  return g;
}

uint32_t HeaderU32(const std::vector<uint8_t>& bytes, size_t at) {
  return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
         uint32_t(bytes[at + 3]) << 24;
}

} // namespace

CameraCapture::CameraCapture(std::unique_ptr<video::VideoBackend> backend)
    : backend_(std::move(backend)) {}

CameraCapture::~CameraCapture() {
  if (device) device->Stop();
}

CameraCapture& CaptureOf(Station& st) {
  if (!st.camera) st.camera = std::make_unique<CameraCapture>(video::SystemVideoBackend());
  return *st.camera;
}

void UseVideoBackend(Station& st, std::unique_ptr<video::VideoBackend> backend) {
  CloseCamera(st);
  st.camera = std::make_unique<CameraCapture>(std::move(backend));
}

namespace {

// Fills the device list and gives the names it shows.
std::vector<std::string> ListDevices(Station& st) {
  std::vector<std::string> names = CaptureOf(st).backend().DeviceNames();
  for (const std::string& name : names) st.surface().AddComboItem(ControlId::DeviceList, name);
  return names;
}

std::string FormatName(uint32_t compression) {
  if (compression == kCompressionRgb) return "RGB";
  if (compression == kCompressionYuy2) return "YUY2";
  if (video::IsGenicamFormat(compression)) return std::string(video::GenicamFormatName(compression));
  return "none";
}

constexpr const char* kCameraCaption = "Camera";

} // namespace

int32_t EnumerateDevices(Station& st) {
  const std::vector<std::string> names = ListDevices(st);
  if (names.empty()) return -1;
  return static_cast<int32_t>(names.size());
}

int32_t OpenCamera(Station& st, int32_t index, uint32_t width, uint32_t height) {
  CameraCapture& cam = CaptureOf(st);
  if (cam.device) CloseCamera(st);
  cam.table.count = 0;
  cam.table.chosen = 0;
  st.camera_compression = kNoCameraFormat;

  if (index < 0) return 1;
  const std::vector<std::string> names = cam.backend().DeviceNames();
  if (static_cast<size_t>(index) >= names.size()) return 1;
  video::OpenError error = video::OpenError::None;
  std::unique_ptr<video::VideoDevice> device = cam.backend().Open(index, &error);
  if (!device) {
    if (error == video::OpenError::NoDevice) return 1;
    return error == video::OpenError::Busy ? kCameraBusy : kCameraOpenFailed;
  }
  cam.device = std::move(device);
  cam.device_name = names[static_cast<size_t>(index)];

  uint32_t w = width, h = height;
  if (BuildFormatTable(st, *cam.device, cam.table)) {
    ChooseFormat(cam.table, &w, &h, &st.settings.camera_pixel_format);
  }
  const bool have_format = cam.table.count > 0;
  if (have_format) {
    const CameraFormat& row = cam.table.rows[cam.table.chosen];
    st.camera_compression = row.compression;
    SetChosenFormat(*cam.device, row, w, h);
  }
  ApplyCameraSettings(st);
  cam.native_width = cam.device->CurrentWidth();
  cam.native_height = cam.device->CurrentHeight();
  // The driver may grant another size than the one asked for: the frame
  // takes the size of the pictures that will arrive.
  if (have_format && cam.native_width > 0 && cam.native_height > 0) {
    w = cam.native_width;
    h = cam.native_height;
  }

  cam.size = w * h * 3;
  st.camera_buffers.Allocate(cam.size);
  cam.spare.assign(cam.size, 0);
  InstallCameraImage(st, w, h);
  st.hooks.camera_snapshot = [&st] { return TakeSnapshot(st); };
  cam.device->SetPictureListener(st.hooks.live_picture_arrived);
  LoadRectification(st);

  cam.state = 0;
  if (!have_format) return 0;
  const int32_t started = cam.device->Start();
  if (started != 0) return kCameraStartFailed;
  cam.state = 2;
  return 0;
}

void CloseCamera(Station& st) {
  if (!st.camera) return;
  CameraCapture& cam = *st.camera;
  if (cam.device) {
    cam.device->Stop();
    cam.device.reset();
  }
  cam.state = 0;
  cam.rectification = RectificationState{};
  DetachCameraImage(st);
  st.camera_buffers.Free();
  cam.spare = {};
  cam.size = 0;
}

uint32_t TakeSnapshot(Station& st) {
  if (!st.camera || !st.camera->device || st.camera_buffers.empty()) return 0;
  CameraCapture& cam = *st.camera;
  const ImageState geometry = CameraGeometry(st);
  if (cam.rectification.active()) {
    // Rectification works on the whole bitmap before the frame takes it.
    if (!cam.device->Snapshot(&cam.snapshot)) return 0;
    RectifySnapshot(st, cam.snapshot);
    // A picture of another size than the frame would be laid out wrongly.
    if (cam.snapshot.size() < video::kBitmapHeaderSize || HeaderU32(cam.snapshot, 4) != geometry.width ||
        HeaderU32(cam.snapshot, 8) != geometry.height) {
      return 0;
    }
    SnapshotToFrame(cam.snapshot.data(), cam.snapshot.size(), geometry, st.working->option_index,
                    st.camera_buffers.frame.data());
    return cam.size;
  }
  // One pass from the device's picture into the frame, under the device's
  // lock; a picture of another size than the frame would be laid out
  // wrongly.
  bool fits = false;
  const bool taken = cam.device->SnapshotPicture([&](const video::Picture& picture) {
    fits = picture.width == geometry.width && picture.height == geometry.height &&
           picture.bgrx.size() >= size_t{picture.width} * picture.height * 4;
    if (fits) {
      PictureToFrame(picture.bgrx.data(), geometry, st.working->option_index,
                     st.camera_buffers.frame.data());
    }
  });
  return taken && fits ? cam.size : 0;
}

const CameraFormatTable& CameraFormats(const Station& st) {
  static const CameraFormatTable kEmpty{};
  return st.camera ? st.camera->table : kEmpty;
}

bool LatestPicture(Station& st, LivePicture* out) {
  if (!st.camera || !st.camera->device) return false;
  video::Picture picture;
  picture.width = out->width;
  picture.height = out->height;
  picture.sequence = out->sequence;
  picture.stream = out->stream;
  picture.bgrx.swap(out->bgrx);
  const bool ok = st.camera->device->LatestPicture(&picture);
  // An unchanged picture is not copied again and is already rectified.
  const bool fresh = picture.sequence != out->sequence || picture.stream != out->stream;
  if (ok && fresh) RectifyPicture(st, picture);
  out->bgrx.swap(picture.bgrx);
  if (!ok) return false;
  out->width = picture.width;
  out->height = picture.height;
  out->sequence = picture.sequence;
  out->stream = picture.stream;
  return true;
}

bool ShowLatestPicture(Station& st, LivePicture* held, const PictureSink& show) {
  if (!st.camera || !st.camera->device) return false;
  bool shown = false;
  st.camera->device->UseLatestPicture([&](const video::Picture& p) {
    const bool held_already = p.stream == held->stream && p.sequence == held->sequence;
    if (held_already || p.bgrx.size() < size_t{p.width} * p.height * 4) return;
    held->width = p.width;
    held->height = p.height;
    held->sequence = p.sequence;
    held->stream = p.stream;
    // Rectification writes from the device's picture into the area's own
    // buffer; otherwise the area names the picture and holds none of its
    // bytes.
    if (RectifyPictureInto(st, p, &held->bgrx)) {
      show(held->bgrx.data(), p.width, p.height);
    } else {
      held->bgrx.clear();
      show(p.bgrx.data(), p.width, p.height);
    }
    shown = true;
  });
  return shown;
}

bool StartCamera(Station& st, int32_t index) {
  ImageState& im = st.image;
  ControlSurface& ui = st.surface();
  CameraCapture& cam = CaptureOf(st);
  im.no_camera = 1;
  const std::vector<std::string> names = ListDevices(st);
  if (!cam.wanted_name.empty()) {
    const auto it = std::find(names.begin(), names.end(), cam.wanted_name);
    index = it == names.end() ? -1 : static_cast<int32_t>(it - names.begin());
    if (index < 0) ui.MessageBox("The camera \"" + cam.wanted_name + "\" was not found.", kCameraCaption, MessageButtons::Ok);
  }
  cam.device_index = index;
  const int32_t count = static_cast<int32_t>(names.size());
  if (count > index && index >= 0) {
    ui.SelectComboItem(ControlId::DeviceList, index);
    im.no_camera = 0;
    const int32_t opened = OpenCamera(st, index, im.width, im.height);
    PublishGeometry(st);
    if (CameraFormats(st).count == 0) im.no_camera = 1;
    if (opened < 0 && !cam.backend().OpenProblem().empty()) {
      ui.MessageBox(cam.backend().OpenProblem(), kCameraCaption, MessageButtons::Ok);
    }
  }
  if (im.no_camera == 1) {
    EnterFileMode(st);
    ui.Enable(ControlId::File, false);
    SetAcquisitionMode(st, AcquisitionMode::File);
    return false;
  }
  RepositionVideo(st);
  SetAcquisitionMode(st, AcquisitionMode::Live);
  return true;
}

std::string CameraNote(Station& st) {
  if (!st.camera || !st.camera->device || st.image.file_mode != 0) return {};
  return st.camera->device->StatusNote();
}

std::string DescribeCamera(Station& st) {
  if (!st.camera || !st.camera->device) return "none";
  CameraCapture& cam = *st.camera;
  const video::StreamCounts counts = cam.device->Counts();
  return cam.device_name + ' ' + std::to_string(cam.native_width) + 'x' + std::to_string(cam.native_height) +
         ' ' + FormatName(st.camera_compression) + " frames " + std::to_string(counts.frames) + " incomplete " +
         std::to_string(counts.incomplete);
}

void RepositionVideo(Station& st) {
  if (st.image.no_camera == 1 || !st.camera || !st.camera->device) return;
  st.surface().InvalidateControl(ControlId::LiveVideo, false);
}

} // namespace orvane
