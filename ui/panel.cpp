#include "ui/panel.h"

#include <string>

namespace orvane {

void ShowRoiCount(Station& station) {
  station.surface().SetText(ControlId::RoiCount,
                            "Regions of Interest: " + std::to_string(station.working->roi_count));
}

} // namespace orvane
