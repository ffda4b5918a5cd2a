// Arbitrary bytes as the station's PART.QGM: the station takes an intact
// model (whose bytes it writes back the same) or refuses the file with one
// note, leaving it as it was; a search with whatever it took never crashes.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "fuzz/check.h"
#include "fuzz/temp_folder.h"
#include "inspect/part.h"
#include "station/fake_surface.h"
#include "station/station.h"

namespace {

std::vector<uint8_t> FileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::filesystem::path folder = fuzz::MakeTempFolder("orvane-part-file-");
  const std::filesystem::path file = folder / orvane::kPartModelName;
  const std::vector<uint8_t> input(data, data + size);
  std::ofstream(file, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  orvane::FakeSurface surface;
  orvane::Station st(folder, &surface);
  orvane::PartSession& part = orvane::PartOf(st);
  if (part.model() == nullptr) {
    CHECK(surface.notes().size() == 1);
  } else {
    CHECK(surface.notes().empty());
    CHECK(part.ModelBytes() == input);
  }
  CHECK(FileBytes(file) == input);
  // A small picture with a bright square to search.
  std::vector<uint8_t> pixels(size_t{64} * 48 * 3, 40);
  for (uint32_t y = 12; y < 36; ++y) {
    for (uint32_t x = 20; x < 44; ++x) {
      for (uint32_t k = 0; k < 3; ++k) pixels[(size_t{y} * 64 + x) * 3 + k] = 200;
    }
  }
  st.image.width = 64;
  st.image.height = 48;
  st.image.stride = 64 * 3;
  st.image.size = st.image.stride * 48;
  st.image.frame = pixels.data();
  std::string why;
  for (const orvane::PartPose& pose : part.Find(true, &why)) {
    CHECK(pose.angle_deg > -180.0 && pose.angle_deg <= 180.0);
  }
  st.image.frame = nullptr;
  return 0;
}
