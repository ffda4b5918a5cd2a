// End to end through real files: arbitrary bytes as "XModule201.CFG", loaded
// by the station, then the ROI pull, the clamped copies and the rescale of
// every stored solution through the disk. Slow (each run writes and reads a
// few 246 KiB files); fuzz_solution_file covers the same walkers in memory.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "fuzz/temp_folder.h"
#include "station/workspace.h"
#include "workspace/solutions.h"

namespace {

orvane::Station& FuzzStation() {
  static const std::filesystem::path dir = fuzz::MakeTempFolder("orvane-fuzz-solution-");
  static orvane::Station station(dir);
  static bool ready = [] {
    orvane::BuildDefaultSolutions(*station.table);
    return true;
  }();
  (void)ready;
  return station;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  orvane::Station& station = FuzzStation();
  {
    std::ofstream out(station.PathOf("XModule201.CFG"), std::ios::binary | std::ios::trunc);
    // Short inputs are padded so that most runs reach the record walkers.
    std::string bytes(reinterpret_cast<const char*>(data), size);
    if (bytes.size() < sizeof(orvane::SolutionRecord)) bytes.resize(sizeof(orvane::SolutionRecord));
    if (size > 0 && data[0] == 0xFF) bytes.resize(size); // keep some short files
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  auto record = std::make_unique<orvane::SolutionRecord>();
  if (orvane::LoadSolution(station, 3, record.get()) != 0) std::abort();
  orvane::PullRoisInside(*record, 320, 240);
  uint64_t sink = 0;
  for (uint32_t i = 0; i < record->roi_count; ++i) {
    RoiRecord clamped;
    if (orvane::ClampRoiToImage(record->rois[i], 320, 240, &clamped)) sink += clamped.right;
  }
  for (uint32_t e = 0; e < record->entity_count; ++e) sink += record->entities[e].point_count;
  *station.working = *record;
  station.image.width = 320;
  station.image.height = 240;
  orvane::RescaleAllRois(station, 640, 480);
  return sink == 1 ? 0 : 0;
}
