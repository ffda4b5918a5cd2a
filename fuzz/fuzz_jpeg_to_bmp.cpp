// libFuzzer target: arbitrary bytes as a JPEG file through cvtJPEGTOBMP.
// Whatever the input, the call returns; a success leaves a BMP that passes
// the program's read rules (and converts back), a failure leaves nothing.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "pixora.h"

namespace {

// One folder per process, made and removed on every run: libFuzzer ends
// without running exit handlers, so nothing may outlive a run.
const std::string& WorkFolder() {
  static const std::string folder = [] {
    const char* base = std::getenv("TMPDIR");
    return std::string(base && *base ? base : "/tmp") + "/fuzz_jpeg_to_bmp_" + std::to_string(getpid());
  }();
  return folder;
}

std::vector<std::uint8_t> ReadAll(const std::string& path) {
  std::vector<std::uint8_t> data;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    std::uint8_t chunk[65536];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) data.insert(data.end(), chunk, chunk + n);
    std::fclose(f);
  }
  return data;
}

std::uint32_t Get32(const std::vector<std::uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

// The read rules for the 24-bit bottom-up files the converter writes.
bool PassesReadRules(const std::vector<std::uint8_t>& bmp) {
  if (bmp.size() < 54 || bmp[0] != 'B' || bmp[1] != 'M' || Get32(bmp, 10) != 54) return false;
  const auto width = static_cast<std::int32_t>(Get32(bmp, 18));
  const auto height = static_cast<std::int32_t>(Get32(bmp, 22));
  if (width < 1 || width > 8192 || height < 1 || height > 8192) return false;
  if ((bmp[28] | bmp[29] << 8) != 24 || Get32(bmp, 30) != 0) return false;
  const size_t row = (static_cast<size_t>(width) * 3 + 3) / 4 * 4;
  return bmp.size() == 54 + row * static_cast<size_t>(height);
}

size_t EntriesIn(const std::string& folder) {
  size_t count = 0;
  if (DIR* dir = opendir(folder.c_str())) {
    while (const dirent* entry = readdir(dir))
      if (entry->d_name[0] != '.' || (entry->d_name[1] != '\0' && std::string(entry->d_name) != "..")) ++count;
    closedir(dir);
  }
  return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  const std::string& folder = WorkFolder();
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) std::abort();
  const std::string source = folder + "/in.jpg";
  const std::string bmp_path = folder + "/out.bmp";
  const std::string jpeg_path = folder + "/back.jpg";

  FILE* f = std::fopen(source.c_str(), "wb");
  if (f == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);

  const int result = cvtJPEGTOBMP("-bmp", source.c_str(), bmp_path.c_str());
  if (result == PIXORA_OK) {
    const std::vector<std::uint8_t> bmp = ReadAll(bmp_path);
    if (!PassesReadRules(bmp)) std::abort();
    // Small pictures also go back through the encoder.
    if (bmp.size() <= (1u << 20) && cvtBMPTOJPEG("-quality", "95", bmp_path.c_str(), jpeg_path.c_str()) != PIXORA_OK)
      std::abort();
  } else if (access(bmp_path.c_str(), F_OK) == 0) {
    std::abort();  // a failed conversion wrote its destination
  }
  // Only the fuzz input and the outputs may exist: no temporary file left.
  if (EntriesIn(folder) > 3) std::abort();
  unlink(source.c_str());
  unlink(bmp_path.c_str());
  unlink(jpeg_path.c_str());
  rmdir(folder.c_str());
  return 0;
}
