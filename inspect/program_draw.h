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

// Draws `run` of `program` on `canvas` as the station's overlay shows it.
void DrawRun(const OverlayCanvas& canvas, const Program& program, const ProgramRun& run);

// Draws `run` straight into a picture of 3 bytes a pixel (B, G, R), as
// the overlay would show it over that picture: for a report made without a
// station.
void DrawRunOnPicture(uint8_t* bgr, uint32_t width, uint32_t height, uint32_t stride, const Program& program,
                      const ProgramRun& run);

} // namespace orvane
