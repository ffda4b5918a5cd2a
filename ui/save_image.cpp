#include "ui/save_image.h"

#include <cerrno>
#include <filesystem>
#include <system_error>
#include <vector>

#include "acquisition/bmp_file.h"
#include "acquisition/file_mode.h"
#include "acquisition/pixels.h"
#include "platform/pixora/include/pixora.h"
#include "solutions/process.h"
#include "workspace/files.h"
#include "station/workspace.h"

namespace orvane {
namespace {

constexpr size_t kNameLimit = 259;

const char* ExtensionOf(uint32_t preference) {
  switch (static_cast<SavePreference>(preference)) {
    case SavePreference::Bmp:
    case SavePreference::BmpOverlay:
      return ".BMP";
    case SavePreference::Jpeg:
    case SavePreference::HqJpeg:
    case SavePreference::JpegOverlay:
    case SavePreference::HqJpegOverlay:
      return ".JPG";
  }
  return "";
}

// The JPEG quality of a preference, or null for a BMP or no file at all.
const char* JpegQualityOf(uint32_t preference) {
  switch (static_cast<SavePreference>(preference)) {
    case SavePreference::Jpeg:
    case SavePreference::JpegOverlay:
      return "95";
    case SavePreference::HqJpeg:
    case SavePreference::HqJpegOverlay:
      return "100";
    default:
      return nullptr;
  }
}

bool WithOverlay(uint32_t preference) { return preference >= 3 && preference <= 5; }

// Where a picture went, for a note: the whole path, so the user can find it
// whatever folder the station works in.
std::string WhereText(const std::filesystem::path& path) {
  std::error_code ignored;
  const std::filesystem::path whole = std::filesystem::absolute(path, ignored).lexically_normal();
  return (whole.empty() ? path : whole).string();
}

// A number is taken by a file that can be opened, and also by anything there
// that is not a regular file, which a saved picture must never replace.
bool CanOpen(const std::filesystem::path& path) {
  uint8_t probe[16];
  int error = 0;
  return ReadFileInto(path, probe, sizeof probe, &error) != 0 || error == kNotRegularFile;
}

} // namespace

std::string SavedImageName(uint32_t n, uint32_t preference) {
  std::string name = "Saved\\IMAGE" + std::to_string(n) + ExtensionOf(preference);
  return name.substr(0, kNameLimit);
}

uint32_t NextFreeImageNumber(const Station& st, uint32_t first, uint32_t preference) {
  uint32_t n = first;
  while (CanOpen(st.PathOf(SavedImageName(n, preference)))) ++n;
  return n;
}

void SaveCommand(Station& st) {
  ControlSurface& ui = st.surface();
  SetButtonState(st, ControlId::Save, 1);
  ui.Enable(ControlId::Save, false);
  CommitEdits(st);

  std::error_code ignored;
  std::filesystem::create_directory(st.PathOf("Saved"), ignored);

  const uint32_t preference = st.settings.image_save_preference;
  const uint32_t n = NextFreeImageNumber(st, st.settings.save_counter, preference);
  st.settings.save_counter = n + 1;
  const std::filesystem::path target = st.PathOf(SavedImageName(n, preference));

  std::vector<uint8_t> block = FrameToBmpRows(st.image, WithOverlay(preference));
  const uint32_t size = static_cast<uint32_t>(block.size());
  const char* quality = JpegQualityOf(preference);
  int error = 0;
  bool failed = false;
  if (quality == nullptr && ExtensionOf(preference)[0] != '\0') {
    failed = size != 0 && WriteBmpFile(target, block.data(), size, st.image, &error) == 0;
  } else if (quality != nullptr) {
    const std::filesystem::path temp = st.PathOf(kTempImageName);
    // Convert only what was just written: a temporary file left from before
    // would otherwise be saved in place of the picture.
    std::filesystem::remove(temp, ignored);
    if (size != 0 && WriteBmpFile(temp, block.data(), size, st.image, &error) == 0) {
      failed = true;
    } else if (size != 0) {
      errno = 0;
      if (cvtBMPTOJPEG("-quality", quality, temp.c_str(), target.c_str()) != PIXORA_OK) {
        failed = true;
        error = errno != 0 ? errno : EIO;
      }
    }
    std::filesystem::remove(temp, ignored);
  }
  // The picture is named in the report even when its temporary file failed.
  if (failed && error != 0) ReportFileFailure(st, target, error, true);
  if (failed) {
    ui.ShowNote("Picture not saved: " + WhereText(target) + ": " + FileErrorText(error != 0 ? error : EIO));
  } else if (size != 0 && ExtensionOf(preference)[0] != '\0') {
    ui.ShowNote("Picture saved: " + WhereText(target));
  }

  block = {};
  ui.Enable(ControlId::Save, true);
  SetButtonState(st, ControlId::Save, 0);
  ui.InvalidateWindow(false);
}

bool WriteShownPicture(Station& st, const std::filesystem::path& path, int* error) {
  const ImageState& im = st.image;
  if (im.display == nullptr || st.view.bits == nullptr) {
    *error = ENODATA;
    return false;
  }
  ImageState shown = im;
  shown.frame = im.display;
  const std::vector<uint8_t> block = FrameToBmpRows(shown, false);
  *error = 0;
  if (WriteBmpFile(path, block.data(), static_cast<uint32_t>(block.size()), shown, error) != 0) return true;
  if (*error == 0) *error = EIO;
  return false;
}

std::string AnnotatedImageName(uint32_t n) { return "Saved\\IMAGE" + std::to_string(n) + "-annotated.BMP"; }

std::optional<std::filesystem::path> SaveAnnotatedPicture(Station& st,
                                                          const std::optional<std::filesystem::path>& path,
                                                          std::string* error) {
  std::filesystem::path target;
  if (path) {
    target = *path;
  } else {
    std::error_code ignored;
    std::filesystem::create_directory(st.PathOf("Saved"), ignored);
    uint32_t n = st.settings.save_counter;
    while (CanOpen(st.PathOf(AnnotatedImageName(n))) && n != UINT32_MAX) ++n;
    target = st.PathOf(AnnotatedImageName(n));
  }
  int why = 0;
  if (!WriteShownPicture(st, target, &why)) {
    *error = why == ENODATA ? "no picture is shown" : target.string() + ": " + FileErrorText(why);
    return std::nullopt;
  }
  return target;
}

void SaveAnnotatedCommand(Station& st) {
  std::string error;
  if (const std::optional<std::filesystem::path> saved = SaveAnnotatedPicture(st, std::nullopt, &error)) {
    st.surface().ShowNote("Picture with overlay saved: " + WhereText(*saved));
  } else {
    st.surface().ShowNote("Picture with overlay not saved: " + error);
  }
}

} // namespace orvane
