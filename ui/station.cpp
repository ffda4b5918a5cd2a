#include "ui/station.h"

#include <string>

#include "ui/fake_surface.h"

namespace orvane {

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
  std::string local(name);
  for (char& c : local) {
    if (c == '\\') c = '/';
  }
  return folder_ / local;
}

} // namespace orvane
