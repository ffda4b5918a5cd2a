// A station in a fresh temporary folder, with a fake control surface and a
// manual clock, removed again when the test ends.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "station/clock.h"
#include "station/fake_surface.h"
#include "station/station.h"

namespace orvane::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// The station as the whole program has it: the window's hooks installed.
struct StationFixture {
  StationFixture();
  TempDir dir;
  FakeSurface surface;
  ManualClock clock;
  Station station{dir.path(), &surface, &clock};
};

// Gives the station a w x h image (stride w * 3) in its File-mode buffers,
// filled with `grey`, with a clear overlay, and publishes the geometry.
void AttachImage(Station& station, uint32_t w, uint32_t h, uint8_t grey = 0);

// While it lives, no file of this process may grow past `bytes`: a write
// beyond fails with EFBIG, as a write to a full disk fails with ENOSPC.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(uint64_t bytes);
  ~FileSizeLimit();
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  uint64_t old_soft_;
  void (*old_handler_)(int);
};

std::vector<uint8_t> ReadBytes(const std::filesystem::path& path);
// The results table "RESULTS.DB" in `folder` holds, in the text of the old
// table file (results/table_file.h); empty when it does not open.
std::vector<uint8_t> StoredResults(const std::filesystem::path& folder);
void WriteBytes(const std::filesystem::path& path, const void* data, size_t n);

} // namespace orvane::testing
