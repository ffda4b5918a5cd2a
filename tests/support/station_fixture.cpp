#include "support/station_fixture.h"

#include "results/db_sqlite.h"
#include "results/table_file.h"

#include "acquisition/acquisition.h"
#include "ui/window_hooks.h"

#include <csignal>
#include <sys/resource.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace orvane::testing {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "orvane-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

StationFixture::StationFixture() { InstallWindowHooks(station); }

void AttachImage(Station& station, uint32_t w, uint32_t h, uint8_t grey) {
  ImageState& im = station.image;
  im.width = w;
  im.height = h;
  im.stride = w * 3;
  im.size = im.stride * h;
  station.file_buffers.Allocate(im.size);
  std::fill(station.file_buffers.frame.begin(), station.file_buffers.frame.end(), grey);
  im.frame = station.file_buffers.frame.data();
  im.overlay = station.file_buffers.overlay.data();
  im.display = station.file_buffers.display.data();
  PublishGeometry(station);
}

FileSizeLimit::FileSizeLimit(uint64_t bytes) {
  rlimit limit{};
  ::getrlimit(RLIMIT_FSIZE, &limit);
  old_soft_ = limit.rlim_cur;
  limit.rlim_cur = bytes;
  old_handler_ = std::signal(SIGXFSZ, SIG_IGN);
  if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) throw std::runtime_error("setrlimit failed");
}

FileSizeLimit::~FileSizeLimit() {
  rlimit limit{};
  ::getrlimit(RLIMIT_FSIZE, &limit);
  limit.rlim_cur = old_soft_;
  ::setrlimit(RLIMIT_FSIZE, &limit);
  std::signal(SIGXFSZ, old_handler_);
}

std::vector<uint8_t> ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::filesystem::path& path, const void* data, size_t n) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char*>(data), static_cast<std::streamsize>(n));
}

std::vector<uint8_t> StoredResults(const std::filesystem::path& folder) {
  ResultsDb db;
  ResultsTable table;
  if (db.Open(folder / kResultsDbName, true) != DbOpen::Ok || !db.Load(&table)) return {};
  const std::string text = WriteResultsText(table);
  return std::vector<uint8_t>(text.begin(), text.end());
}

} // namespace orvane::testing
