#include "station/station.h"

#include <string>

#include "algorithms/include/quellix.h"
#include "station/fake_surface.h"
#include "workspace/files.h"
#include "workspace/settings.h"
#include "workspace/solutions.h"

namespace orvane {

int32_t VisionLibraryVersion() {
  uint8_t scratch[4] = {};
  return qlxVersion(scratch);
}

std::string ApplicationTitle() {
  constexpr size_t kTextLimit = 127; // the window's text buffers hold 128 bytes
  std::string title = "Lumivor DXF Build " + std::to_string(kSettingsFormatTag) + "." +
                      std::to_string(SolutionEngineVersion()) + "." +
                      std::to_string(VisionLibraryVersion());
  return title.substr(0, kTextLimit);
}

Station::Station(std::filesystem::path folder, ControlSurface* surface, Clock* clock)
    : table(std::make_unique<SolutionTable>()),
      working(std::make_unique<SolutionRecord>()),
      folder_(std::move(folder)),
      surface_(surface),
      clock_(clock) {
  if (surface_ == nullptr) {
    own_surface_ = std::make_unique<FakeSurface>();
    surface_ = own_surface_.get();
  }
  if (clock_ == nullptr) {
    own_clock_ = std::make_unique<SteadyClock>();
    clock_ = own_clock_.get();
  }
}

Station::~Station() = default;

std::filesystem::path Station::PathOf(std::string_view name) const {
  return PathIn(folder_, name);
}

} // namespace orvane
