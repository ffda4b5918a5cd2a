// The last inspection run on the overlay: each gauge where it measured,
// each dimension's value in green (within tolerance), red (out of it or not
// measured) or yellow (no tolerance), the part's frame, and the part's
// verdict in large letters.
#pragma once

#include <string>
#include <vector>

#include "draw/overlay.h"
#include "inspect/program.h"
#include "station/station.h"

namespace orvane {

inline constexpr Rgb kPassColour{1, 200, 1};
inline constexpr Rgb kFailColour{255, 1, 1};
inline constexpr Rgb kNoToleranceColour{255, 220, 1};
inline constexpr Rgb kFeatureColour{1, 190, 255};

// What the overlay shows of a run: the verdict's words ("PASS", "FAIL",
// "NOT FOUND") and one text a dimension ("D1 36.0021 px"), with colours.
struct RunText {
  std::string text;
  Rgb colour;
};
RunText VerdictText(const ProgramRun& run);
std::vector<RunText> DimensionTexts(const ProgramRun& run);

// Draws the station's last run (nothing without one).
void DrawProgramRun(Station& station);

} // namespace orvane
