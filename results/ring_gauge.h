// The ring calibration target measured to a fraction of a pixel: found by a
// threshold as the largest dark annulus around a bright centre, then both of
// its rims gauged by the circle gauge. The target's outer diameter is 6
// units and its centre disc's 3, so each rim gives pixels per unit on its
// own; the two are cross-checked and combined. Plain data in, plain data
// out: nothing of the station.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include <qgauge.h>

namespace orvane {

// Where to look, in whole pixels (inclusive); an empty box searches the
// whole image.
struct RingSearchBox {
  int32_t left = 0, top = 0, right = -1, bottom = -1;
};

struct RingRim {
  qgCircle circle;           // pixel-edge coordinates, as the gauge gives them
  double units = 0.0;        // its diameter in target units (6 or 3)
  double scale = 0.0;        // pixels per unit from this rim alone
  double sigma = 0.0;        // its standard uncertainty
};

struct RingCalibration {
  RingRim outer, inner;
  double scale = 0.0; // pixels per unit, the rims weighted by their uncertainties
  double sigma = 0.0; // its standard uncertainty
  bool rims_agree = true; // within twice their combined uncertainty (the gauge's bias included)
};

// A precise calibration offered in place of the one in force: pixels per
// inch, its standard uncertainty, the distance (inches) and picture size it
// holds for, and how it was read. scale 0: nothing offered.
struct CalibrationOffer {
  double scale = 0.0;
  double sigma = 0.0;
  double distance = 0.0;
  uint32_t width = 0, height = 0;
  std::string note;
};

// Measures the ring target in `image`; nothing, with the reason in `why`,
// when no target is found or a rim cannot be gauged.
std::optional<RingCalibration> MeasureRing(const qgImage& image, RingSearchBox box, std::string* why);

// v with `decimals` digits after the point, whatever the locale.
std::string FixedText(double v, int decimals);

// "outer 299.98 px, inner 150.01 px, rims agree" (or "rims disagree by
// 0.12 %"): how the ring read, for a note.
std::string RingNote(const RingCalibration& ring);

} // namespace orvane
