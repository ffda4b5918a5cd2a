// Zoom and pan of the image view, and the loupe's place.
//
// At "fit" the view shows the whole image stretched over the view, x and y
// independently, and the mouse maps by the image and view sizes, as it always
// did. Zoomed in, one scale serves both axes (view pixels per image pixel, up
// to 16) and an origin says which image position stands at the view's
// top-left corner. Every device pixel shows the image pixel under its centre,
// and a click maps by the same rule, so the pixel clicked is the pixel seen.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "station/image_view.h"
#include "station/station.h"

namespace orvane {

struct ImageState;

inline constexpr double kMaxZoom = 16.0;
inline constexpr double kZoomKeyStep = 2.0;    // the + and - keys
inline constexpr double kZoomWheelStep = 1.25; // one notch of the wheel

// The sizes a zoom is laid out in: the image's pixels and the view's.
struct ZoomArea {
  int32_t image_width = 0;
  int32_t image_height = 0;
  double view_width = 0.0;
  double view_height = 0.0;
};

// The current image in the current view.
ZoomArea AreaOf(const ImageState& image);

// The scale at which the whole image fits the view (the smaller of the two
// axes' stretch); 0 for an empty image or view.
double FitScale(const ZoomArea& area);

// The zoom as it can stand in this area: fit when its scale does not exceed
// the fit scale, at most kMaxZoom, and an origin that keeps the view on the
// image (an image narrower than the view at this scale is centred).
ViewZoom Settled(const ZoomArea& area, ViewZoom zoom);

// `scale` with the image position under view position (view_x, view_y) kept
// there; a scale at or below the fit scale gives fit.
ViewZoom ZoomAt(const ZoomArea& area, const ViewZoom& zoom, double scale, double view_x,
                double view_y);
// `scale` centred on image position (image_x, image_y).
ViewZoom CentreOn(const ZoomArea& area, double scale, double image_x, double image_y);
// The picture dragged by (dx, dy) view pixels; nothing at fit.
ViewZoom PanBy(const ZoomArea& area, const ViewZoom& zoom, double dx, double dy);
// The scale one step in (factor > 1) or out from the zoom as it stands;
// stepping in from fit starts from the fit scale.
double StepScale(const ZoomArea& area, const ViewZoom& zoom, double factor);

// The image pixel of one axis that a zoomed view shows at device pixel
// `device`: the one under the device pixel's centre. `device_scale` is the
// zoom's scale times the screen's device pixels per view pixel.
inline int64_t ZoomedPixel(double origin, int64_t device, double device_scale) {
  return static_cast<int64_t>(std::floor(origin + (static_cast<double>(device) + 0.5) / device_scale));
}

// How far from a mark a press still grabs it, in image pixels, for a reach
// of `view_pixels` as the user sees it: at fit the reach counts in image
// pixels as it always did; zoomed it counts in view pixels, so it does not
// grow with the zoom.
double GrabReach(const ViewZoom& zoom, int32_t view_pixels);

// The part of the image a zoomed view shows, in image pixels (for the
// overview); the whole image at fit.
struct ImageSpan {
  double x = 0.0, y = 0.0, width = 0.0, height = 0.0;
};
ImageSpan VisiblePart(const ZoomArea& area, const ViewZoom& zoom);

// Where a loupe of width x height view pixels goes for a cursor on pixel
// (cursor_x, cursor_y) of a view_width x view_height view: `gap` pixels
// right of and below the cursor's pixel, flipped to the other side on an axis
// where it would leave the view. It never covers the cursor's pixel; on an
// axis where neither side has room it takes the roomier side and leaves the
// view there.
struct LoupeSpot {
  int32_t x = 0;
  int32_t y = 0;
};
LoupeSpot PlaceLoupe(int32_t view_width, int32_t view_height, int32_t cursor_x, int32_t cursor_y,
                     int32_t width, int32_t height, int32_t gap);

// The overlay texts a zoomed view cannot show whole, for it to keep them
// readable in its corner: those not wholly inside `visible`, or reaching
// into `covered` (the part of the image under the view's own boxes), in
// drawing order. At most kMaxPinnedTexts: the first (the mode legend, which
// every redraw draws first) and the latest.
inline constexpr size_t kMaxPinnedTexts = 10;
std::vector<const OverlayText*> HiddenTexts(const std::vector<OverlayText>& texts,
                                            const ImageSpan& visible, const ImageSpan& covered);

} // namespace orvane
