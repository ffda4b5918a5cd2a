// The inspection report of rows of the station's results table: the rows'
// figures with what the station knows beside them (its name, the operator,
// the rectification in force and its figures, the picture as shown).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "results/report.h"
#include "station/station.h"

namespace orvane {

// The station's name on reports: ORVANE_STATION when set, else the host's
// name.
std::string StationName();

// The report of the rows with these numbers (the last part's rows when
// empty), with the picture as the view shows it (overlay and all) when one is
// shown.
InspectionReport StationReport(Station& station, std::vector<uint32_t> numbers = {});

} // namespace orvane
