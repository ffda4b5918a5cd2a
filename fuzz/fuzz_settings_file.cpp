// Feeds arbitrary bytes to the settings loader as "XORVANE.CFG".
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "fuzz/temp_folder.h"
#include "station/workspace.h"
#include "workspace/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::filesystem::path dir = fuzz::MakeTempFolder("orvane-fuzz-settings-");
  static orvane::Station station(dir);
  {
    std::ofstream out(station.PathOf("XORVANE.CFG"), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  orvane::LoadSettings(station);
  const orvane::Settings& s = station.settings;
  if (!(s.unit_factor > 0.0) || !std::isfinite(s.unit_factor)) std::abort();
  if (std::strlen(s.last_file_path) >= sizeof s.last_file_path) std::abort();
  orvane::RescaleCalibration(station.settings, 640, 480);
  return 0;
}
