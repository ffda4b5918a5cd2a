// Snap to edges: a measuring click moves to the nearest edge along the local
// intensity gradient, located to a fraction of a pixel by the gauge
// library's caliper; and the diameter gauge, a circle measured from three
// clicks near its rim.
//
// Positions here are the station's image coordinates: a whole number is the
// centre of that pixel (the gauge library counts from the pixel's corner).
#pragma once

#include <optional>

#include "station/image_state.h"
#include "results/session.h"

namespace orvane {

// How far a click may move, in image pixels.
inline constexpr double kSnapReach = 6.0;

// The edge nearest (x, y) along the local gradient within kSnapReach, with
// its standard uncertainty; nothing where the neighbourhood has no clear
// gradient or no edge is found (the click then stays where it is).
std::optional<SnapMark> SnapToEdge(const ImageState& image, double x, double y);

// The caliper SnapToEdge runs through a click, along the local gradient at
// `angle` (image coordinates, y down), and the edge it took: what an
// inspection program needs to find that edge again.
struct SnapCaliper {
  SnapMark edge;
  double angle = 0.0;
};
std::optional<SnapCaliper> SnapCaliperAt(const ImageState& image, double x, double y);

// The edges nearest the left and right sides of a rectangle (whole pixel
// coordinates, sides inclusive) on horizontal calipers through its middle
// row band: the width between them and its standard uncertainty, in pixels.
struct SnappedWidth {
  SnapMark left;
  SnapMark right;
  double width = 0.0;
  double sigma = 0.0;
};
std::optional<SnappedWidth> SnapWidth(const ImageState& image, int32_t left, int32_t top,
                                      int32_t right, int32_t bottom);

// A circle measured by radial calipers from the circle through three points
// near its rim: centre and radius in image pixels with their uncertainties.
struct GaugedCircle {
  double x = 0.0;
  double y = 0.0;
  double radius = 0.0;
  double sigma_radius = 0.0;
  double sigma_x = 0.0, sigma_y = 0.0; // the centre's
};
std::optional<GaugedCircle> GaugeCircle(const ImageState& image, const double (&xs)[3],
                                        const double (&ys)[3]);

// A straight edge measured from two clicks along it: calipers across the
// segment between the clicks, each taking the edge nearest the segment
// within kSnapReach, and a robust line through those edges. The ends are the
// clicks projected onto the line; the angle is the line's direction in image
// coordinates (y down), in (-pi/2, pi/2], with its standard uncertainty.
struct GaugedEdge {
  double x0 = 0.0, y0 = 0.0, x1 = 0.0, y1 = 0.0;
  double angle = 0.0;
  double sigma_angle = 0.0;
  double rms = 0.0;      // the edges' scatter about the line, px
  int32_t calipers = 0;  // edges the line was fitted to
  // The edges' weighted centroid on the line and the standard uncertainty
  // of the line's offset normal to itself there, px.
  double cx = 0.0, cy = 0.0;
  double sigma_offset = 0.0;
};
std::optional<GaugedEdge> GaugeStraightEdge(const ImageState& image, double x0, double y0,
                                            double x1, double y1);

// A width measured from two clicks across a bar: the strongest pair of
// opposite edges on a caliper along the segment (reaching a little past
// both clicks), refined together; its ends and width in pixels with the
// width's standard uncertainty.
struct GaugedWidth {
  double x0 = 0.0, y0 = 0.0, x1 = 0.0, y1 = 0.0;
  double width = 0.0;
  double sigma = 0.0;
};
std::optional<GaugedWidth> GaugeWidth(const ImageState& image, double x0, double y0, double x1,
                                      double y1);

} // namespace orvane
