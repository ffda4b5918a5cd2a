#include "acquisition/file_mode.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>
#include <vector>

#include "acquisition/acquisition.h"
#include "acquisition/bmp_file.h"
#include "draw/overlay.h"
#include "platform/pixora/include/pixora.h"
#include "station/workspace.h"
#include "workspace/files.h"
#include "workspace/solutions.h"

namespace orvane {
namespace {

constexpr size_t kMessageLimit = 127; // the message buffer holds 128 bytes
constexpr Rgb kBlankTextColour{255, 1, 255};

void SizeView(Station& st) {
  if (st.hooks.size_view) st.hooks.size_view();
}

void PointAtFileBuffers(Station& st) {
  st.image.frame = st.file_buffers.frame.data();
  st.image.overlay = st.file_buffers.overlay.data();
  st.image.display = st.file_buffers.display.data();
}

void FreeFileImage(Station& st) {
  st.file_buffers.Free();
  st.image.frame = nullptr;
  st.image.overlay = nullptr;
  st.image.display = nullptr;
  st.image.size = 0;
}

// The bytes of a still file, or of as much as decides that it cannot load: a
// file longer than any accepted BMP is only worth its first two bytes, the
// JPEG marker, so a huge drop never fills the memory.
std::vector<uint8_t> ReadStillFile(const std::filesystem::path& path) {
  std::vector<uint8_t> data;
  const int64_t length = FileLength(path);
  if (length <= 0) return data;
  if (static_cast<uint64_t>(length) > kBmpMaxFileBytes) {
    data.assign(2, 0);
    if (ReadFileInto(path, data.data(), 2) == 0) data.clear();
    return data;
  }
  ReadWholeFile(path, data);
  return data;
}

bool IsJpeg(const std::vector<uint8_t>& data) {
  return data.size() >= 2 && data[0] == 0xFF && data[1] == 0xD8;
}

// Converts a JPEG through a folder of this process's own under the system's
// temporary folder, for a working folder that takes no file (read-only or
// full). The bytes of the BMP, or nothing when the conversion fails.
std::vector<uint8_t> ConvertThroughPrivateFolder(const std::filesystem::path& source) {
  std::error_code error;
  std::string folder = (std::filesystem::temp_directory_path(error) / "orvane-XXXXXX").string();
  if (error || ::mkdtemp(folder.data()) == nullptr) return {};
  const std::filesystem::path temp = std::filesystem::path(folder) / kTempImageName;
  std::vector<uint8_t> data;
  if (cvtJPEGTOBMP("-bmp", source.c_str(), temp.c_str()) == PIXORA_OK) data = ReadStillFile(temp);
  std::filesystem::remove_all(folder, error);
  return data;
}

} // namespace

std::filesystem::path StillFilePath(const Station& st) {
  const std::filesystem::path path(st.image.still_path);
  return path.is_absolute() ? path : st.folder() / path;
}

void InstallBlankImage(Station& st) {
  ImageState& im = st.image;
  im.width = kBlankWidth;
  im.height = kBlankHeight;
  im.bits_per_pixel = 24;
  im.bytes_per_pixel = 3;
  im.stride = kBlankWidth * 3;
  im.size = im.stride * kBlankHeight;
  st.file_buffers.Allocate(im.size);
  PointAtFileBuffers(st);
  PublishGeometry(st);
}

void ShowBlankImage(Station& st) {
  ClearOverlay(st);
  const OverlayCanvas canvas = CanvasOf(st);
  const int32_t x = (static_cast<int32_t>(st.image.width) - 240) / 2;
  const int32_t y = static_cast<int32_t>(st.image.height) / 2;
  DrawText(canvas, x, y - 36, "Drag and Drop", kBlankTextColour);
  DrawText(canvas, x, y, " Files Here", kBlankTextColour);
  ComposeDisplay(st, st.image.frame);
}

void EnterFileMode(Station& st) {
  ImageState& im = st.image;
  if (im.file_mode == 1) return;
  st.saved_image = SavedImageSet{im.width, im.height, im.size, im.frame, im.overlay, im.display};
  im.frame = nullptr;
  im.overlay = nullptr;
  im.display = nullptr;

  im.width = kBlankWidth;
  im.height = kBlankHeight;
  im.bits_per_pixel = 24;
  RescaleAllRois(st, kBlankWidth, kBlankHeight);
  InstallBlankImage(st);

  ControlSurface& ui = st.surface();
  ui.Enable(ControlId::Live, false);
  ui.SetColourState(ControlId::File, 1);
  im.file_mode = 1;
  SetAcquisitionMode(st, AcquisitionMode::File);
  ShowBlankImage(st);
  // The status line describes the blank image now on show, not the camera's.
  if (st.hooks.update_status_line) st.hooks.update_status_line();
  ui.InvalidateWindow(true);
  st.hooks.reload_still = [&st] { return LoadStillImage(st); };
}

void LeaveFileMode(Station& st) {
  ImageState& im = st.image;
  if (im.file_mode != 1) return;
  st.file_buffers.Free();
  const SavedImageSet saved = st.saved_image;
  st.saved_image = SavedImageSet{};
  im.frame = saved.frame;
  im.overlay = saved.overlay;
  im.display = saved.display;
  im.width = saved.width;
  im.height = saved.height;
  im.size = saved.size;

  RescaleAllRois(st, im.width, im.height);
  im.bits_per_pixel = 24;
  im.bytes_per_pixel = 3;
  im.stride = im.width * 3;
  PublishGeometry(st);
  SizeView(st);

  ControlSurface& ui = st.surface();
  ui.Enable(ControlId::Live, true);
  ui.SetColourState(ControlId::File, 0);
  SetAcquisitionMode(st, AcquisitionMode::Live);
  if (st.hooks.update_status_line) st.hooks.update_status_line();
  im.file_mode = 0;
  ui.InvalidateWindow(true);
}

uint32_t LoadStillImage(Station& st) {
  ImageState& im = st.image;
  if (im.file_mode != 1) return 0;
  FreeFileImage(st);
  st.surface().SetText(ControlId::ImageStatus, "Loading...");

  const std::filesystem::path temp = st.PathOf(kTempImageName);
  std::error_code ignored;
  bool loaded = false;
  if (!im.still_path.empty()) {
    const std::filesystem::path source = StillFilePath(st);
    std::vector<uint8_t> data = ReadStillFile(source);
    if (IsJpeg(data)) {
      data = {};
      // A temporary file left by an earlier run must not pass for this
      // picture when the conversion fails.
      std::filesystem::remove(temp, ignored);
      const int converted = cvtJPEGTOBMP("-bmp", source.c_str(), temp.c_str());
      if (converted == PIXORA_OK) {
        data = ReadStillFile(temp);
      } else if (converted == PIXORA_ERR_WRITE) {
        data = ConvertThroughPrivateFolder(source);
      }
    }
    loaded = DecodeBmp(data.data(), data.size(), st.working->option_index, im, st.file_buffers);
    if (loaded) {
      PublishGeometry(st);
      SizeView(st);
    }
  }
  std::filesystem::remove(temp, ignored);

  if (!loaded) {
    FreeFileImage(st);
    InstallBlankImage(st);
    SizeView(st);
    ShowBlankImage(st);
    if (!im.still_path.empty()) {
      const std::string text = "Unable to load file " + im.still_path + ".";
      st.surface().MessageBox(text.substr(0, kMessageLimit), ApplicationTitle(),
                              MessageButtons::Ok);
    }
  }

  RescaleAllRois(st, im.width, im.height);
  if (st.hooks.update_status_line) st.hooks.update_status_line();
  return loaded ? im.size : 0;
}

} // namespace orvane
