#include "view/zoom.h"

#include <algorithm>

#include "draw/font.h"
#include "station/image_state.h"

namespace orvane {
namespace {

// Keeps one axis of the view on the image: an image shorter than the view
// stands in the middle; a longer one never shows past its edges.
double SettleOrigin(double origin, int32_t image_size, double visible) {
  if (visible >= image_size) return (image_size - visible) / 2.0;
  return std::clamp(origin, 0.0, image_size - visible);
}

bool Empty(const ZoomArea& a) {
  return a.image_width <= 0 || a.image_height <= 0 || a.view_width <= 0.0 || a.view_height <= 0.0;
}

} // namespace

ZoomArea AreaOf(const ImageState& im) {
  return {static_cast<int32_t>(im.width), static_cast<int32_t>(im.height),
          static_cast<double>(im.view_width), static_cast<double>(im.view_height)};
}

double FitScale(const ZoomArea& a) {
  if (Empty(a)) return 0.0;
  return std::min(a.view_width / a.image_width, a.view_height / a.image_height);
}

ViewZoom Settled(const ZoomArea& a, ViewZoom z) {
  // A scale a hair above fit is fit: the view would show the whole image.
  if (Empty(a) || !(z.scale > FitScale(a) * (1.0 + 1e-9))) return {};
  z.scale = std::min(z.scale, kMaxZoom);
  z.origin_x = SettleOrigin(z.origin_x, a.image_width, a.view_width / z.scale);
  z.origin_y = SettleOrigin(z.origin_y, a.image_height, a.view_height / z.scale);
  return z;
}

ViewZoom ZoomAt(const ZoomArea& a, const ViewZoom& zoom, double scale, double view_x,
                double view_y) {
  const ViewZoom now = Settled(a, zoom);
  if (Empty(a)) return {};
  double image_x, image_y;
  if (now.fit()) {
    image_x = view_x * a.image_width / a.view_width;
    image_y = view_y * a.image_height / a.view_height;
  } else {
    image_x = now.origin_x + view_x / now.scale;
    image_y = now.origin_y + view_y / now.scale;
  }
  const double s = std::min(scale, kMaxZoom);
  return Settled(a, {s, image_x - view_x / s, image_y - view_y / s});
}

ViewZoom CentreOn(const ZoomArea& a, double scale, double image_x, double image_y) {
  if (Empty(a) || !(scale > 0.0)) return {};
  const double s = std::min(scale, kMaxZoom);
  return Settled(a, {s, image_x - a.view_width / 2.0 / s, image_y - a.view_height / 2.0 / s});
}

ViewZoom PanBy(const ZoomArea& a, const ViewZoom& zoom, double dx, double dy) {
  ViewZoom z = Settled(a, zoom);
  if (z.fit()) return z;
  z.origin_x -= dx / z.scale;
  z.origin_y -= dy / z.scale;
  return Settled(a, z);
}

double StepScale(const ZoomArea& a, const ViewZoom& zoom, double factor) {
  const ViewZoom now = Settled(a, zoom);
  return (now.fit() ? FitScale(a) : now.scale) * factor;
}

double GrabReach(const ViewZoom& zoom, int32_t view_pixels) {
  return zoom.fit() ? view_pixels : view_pixels / zoom.scale;
}

ImageSpan VisiblePart(const ZoomArea& a, const ViewZoom& zoom) {
  const ViewZoom z = Settled(a, zoom);
  if (z.fit()) return {0.0, 0.0, double(a.image_width), double(a.image_height)};
  const double x0 = std::max(z.origin_x, 0.0);
  const double y0 = std::max(z.origin_y, 0.0);
  const double x1 = std::min(z.origin_x + a.view_width / z.scale, double(a.image_width));
  const double y1 = std::min(z.origin_y + a.view_height / z.scale, double(a.image_height));
  return {x0, y0, x1 - x0, y1 - y0};
}

namespace {

int32_t PlaceAxis(int32_t view, int32_t cursor, int32_t size, int32_t gap) {
  const int32_t after = cursor + 1 + gap;
  const int32_t before = cursor - gap - size;
  if (after + size <= view) return after;
  if (before >= 0) return before;
  return view - cursor > cursor ? after : before;
}

} // namespace

LoupeSpot PlaceLoupe(int32_t view_width, int32_t view_height, int32_t cursor_x, int32_t cursor_y,
                     int32_t width, int32_t height, int32_t gap) {
  gap = std::max(gap, 0);
  return {PlaceAxis(view_width, cursor_x, width, gap), PlaceAxis(view_height, cursor_y, height, gap)};
}

namespace {

bool Inside(const ImageSpan& outer, double x, double y, double w, double h) {
  return x >= outer.x && y >= outer.y && x + w <= outer.x + outer.width && y + h <= outer.y + outer.height;
}

bool Overlaps(const ImageSpan& a, double x, double y, double w, double h) {
  return x < a.x + a.width && a.x < x + w && y < a.y + a.height && a.y < y + h;
}

} // namespace

std::vector<const OverlayText*> HiddenTexts(const std::vector<OverlayText>& texts,
                                            const ImageSpan& visible, const ImageSpan& covered) {
  std::vector<const OverlayText*> hidden;
  for (const OverlayText& t : texts) {
    const double advance = MarkScale(t.mark_size_class);
    const double w = advance * static_cast<double>(t.text.size());
    const double h = advance * kGlyphRows / kGlyphColumns;
    if (!Inside(visible, t.x, t.y, w, h) || Overlaps(covered, t.x, t.y, w, h)) hidden.push_back(&t);
  }
  if (hidden.size() > kMaxPinnedTexts) {
    hidden.erase(hidden.begin() + 1, hidden.end() - static_cast<ptrdiff_t>(kMaxPinnedTexts - 1));
  }
  return hidden;
}

} // namespace orvane
