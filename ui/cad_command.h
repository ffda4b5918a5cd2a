// The window's comparison with a drawing, from the context menu: the drawing
// read (in its own unit, or the one the user chose), placed on the picture,
// fitted and compared with the profile tolerance; the figures said in one
// message box, the deviations drawn over the picture.
#pragma once

#include <filesystem>
#include <string_view>

#include "station/station.h"

namespace orvane {

// True when the drawing at `path` names its unit ($INSUNITS), so that the
// window need not ask for one. False also for a file it cannot read (the
// comparison then says why).
bool DrawingNamesUnit(const std::filesystem::path& path);

// Loads, fits and compares; every outcome, figures or problem, is told in a
// message box. `unit` may be empty for a drawing that names its own.
void CompareWithDrawing(Station& station, const std::filesystem::path& path, std::string_view unit,
                        double tolerance);

}  // namespace orvane
